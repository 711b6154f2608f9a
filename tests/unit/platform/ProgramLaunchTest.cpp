#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/ProgramLaunch.h"

namespace {
struct Folder {
    std::string path;
    Folder() {
        char name[] = "/tmp/tvc-launch-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~Folder() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string file = path + "/" + name;
        std::ofstream(file) << text;
        ::chmod(file.c_str(), 0700);
        return file;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(path + "/" + name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST(ProgramLaunchTest, RunsTheOpenFileNeverAnotherAndNeverANonProgram) {
    Folder dir;
    const std::string script = "#!/bin/sh\necho \"$WHO $(basename $0)\" > '" + dir.path + "/ran'\n";
    struct Case {
        const char* name;
        std::string text;
        std::string swappedIn;  // renamed over the file after it is opened
        const char* ran;        // what the program wrote; nullptr: it must not start
    };
    const Case cases[] = {
        {"a script", script, "", "verified 3\n"},
        {"a script swapped after opening", script,
         "#!/bin/sh\necho intruder > '" + dir.path + "/ran'\n", "verified 3\n"},
        {"text that is no program", "echo this is no program\n", "", nullptr},
        {"an empty file", "", "", nullptr},
    };
    char who[] = "WHO=verified";
    char* const environment[] = {who, nullptr};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink((dir.path + "/ran").c_str());
        const std::string path = dir.Write("installer", c.text);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        if (!c.swappedIn.empty())
            ASSERT_EQ(::rename(dir.Write("other", c.swappedIn).c_str(), path.c_str()), 0);
        std::string why;
        const pid_t pid = tvc::platform::StartProgramFromDescriptor(fd, path, environment, why);
        ::close(fd);
        if (!c.ran) {
            EXPECT_EQ(pid, -1);
            EXPECT_FALSE(why.empty());
            EXPECT_EQ(dir.Read("ran"), "");
            continue;
        }
        ASSERT_GT(pid, 0) << why;
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_EQ(dir.Read("ran"), c.ran);
    }
}
}  // namespace
