#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "TempDir.h"
#include "common/FileUtil.h"
#include "common/PrivateFolder.h"

namespace {
namespace fs = std::filesystem;
using tvc::UniqueFd;

unsigned Mode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A user's folder with a file in it: what a planted link points at, and must survive as it is.
struct UserFiles {
    explicit UserFiles(const std::string& root) : folder(root + "/user") {
        fs::create_directories(folder);
        ::chmod(folder.c_str(), 0755);
        std::ofstream(folder + "/precious.txt") << "mine";
    }
    bool Intact() const {
        return tvc::ReadFile(folder + "/precious.txt").value_or("") == "mine" &&
               Mode(folder) == 0755;
    }
    std::string folder;
};

TEST(PrivateFolderTest, OpenMakesAPrivateFolderAndNeverFollowsALinkInItsPlace) {
    struct Case {
        const char* name;
        std::function<void(const std::string& update, const UserFiles& user)> plant;
        bool opens;
    };
    const Case cases[] = {
        {"absent", [](auto&, auto&) {}, true},
        {"open to others",
         [](auto& update, auto&) {
             fs::create_directory(update);
             ::chmod(update.c_str(), 0755);
         },
         true},
        {"a link to the user's folder",
         [](auto& update, auto& user) { fs::create_directory_symlink(user.folder, update); }, true},
        {"a dangling link", [](auto& update, auto&) { fs::create_symlink("/nonexistent", update); },
         true},
        {"a file", [](auto& update, auto&) { std::ofstream(update) << "x"; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        UserFiles user(dir.path);
        const std::string update = dir.path + "/Update";
        c.plant(update, user);
        std::string why;
        UniqueFd fd = tvc::OpenPrivateFolder(update + "/", why);
        EXPECT_EQ(static_cast<bool>(fd), c.opens) << why;
        if (c.opens) {
            EXPECT_FALSE(fs::is_symlink(update));
            EXPECT_EQ(Mode(update), 0700u);
            // What is written through the descriptor lands in the new folder only.
            EXPECT_TRUE(tvc::WriteFileAtomicallyAt(fd.get(), "precious.txt", "ours"));
        }
        EXPECT_TRUE(user.Intact());
    }
}

TEST(PrivateFolderTest, RemovalTakesLinksAwayNeverWhatTheyPointAt) {
    TempDir dir;
    UserFiles user(dir.path);
    const std::string update = dir.path + "/Update";
    fs::create_directories(update + "/nested/deeper");
    std::ofstream(update + "/nested/deeper/file") << "x";
    fs::create_directory_symlink(user.folder, update + "/nested/to-folder");
    fs::create_symlink(user.folder + "/precious.txt", update + "/to-file");
    bool wasLink = true;
    EXPECT_TRUE(tvc::RemoveFolderNoFollow(update + "/", &wasLink));
    EXPECT_FALSE(wasLink);
    EXPECT_FALSE(fs::exists(fs::symlink_status(update)));
    EXPECT_TRUE(user.Intact());

    // The folder itself a link: the link goes, the user's folder stays whole.
    fs::create_directory_symlink(user.folder, update);
    EXPECT_TRUE(tvc::RemoveFolderNoFollow(update + "/", &wasLink));
    EXPECT_TRUE(wasLink);
    EXPECT_FALSE(fs::exists(fs::symlink_status(update)));
    EXPECT_TRUE(user.Intact());
    EXPECT_FALSE(tvc::RemoveFolderNoFollow(update));  // nothing there
}

TEST(PrivateFolderTest, ReadsOnlySmallRegularFilesAndWritesReplaceLinks) {
    TempDir dir;
    UserFiles user(dir.path);
    UniqueFd folder = tvc::OpenFolderNoFollow(dir.path);
    ASSERT_TRUE(folder);
    std::ofstream(dir.path + "/small") << "0123456789";
    fs::create_symlink(user.folder + "/precious.txt", dir.path + "/link");
    ASSERT_EQ(::mkfifo((dir.path + "/fifo").c_str(), 0600), 0);
    {
        // Sparse: looks like 200 MB, costs nothing to make.
        std::ofstream(dir.path + "/huge");
        fs::resize_file(dir.path + "/huge", 200u << 20);
    }
    struct Case {
        const char* name;
        size_t limit;
        int error;  // 0: read whole
    };
    const Case cases[] = {
        {"small", 10, 0},      {"small", 9, EFBIG},    {"huge", 64 * 1024, EFBIG},
        {"link", 1024, ELOOP}, {"fifo", 1024, EINVAL}, {"absent", 1024, ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " within " + std::to_string(c.limit));
        int error = 0;
        auto text = tvc::ReadFileAt(folder.get(), c.name, c.limit, &error);
        EXPECT_EQ(text.has_value(), c.error == 0);
        if (c.error) {
            EXPECT_EQ(error, c.error);
        }
    }

    EXPECT_TRUE(tvc::WriteFileAtomicallyAt(folder.get(), "link", "ours"));
    EXPECT_TRUE(tvc::IsRegularFileAt(folder.get(), "link"));
    EXPECT_TRUE(user.Intact());

    std::string first, second;
    UniqueFd a = tvc::MakeUniqueFolderAt(folder.get(), ".download-", first);
    UniqueFd b = tvc::MakeUniqueFolderAt(folder.get(), ".download-", second);
    ASSERT_TRUE(a && b);
    EXPECT_NE(first, second);
    EXPECT_EQ(Mode(dir.path + "/" + first), 0700u);
}
}  // namespace
