#include "common/PrivateFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <random>
#include <vector>

#include "common/FileUtil.h"

namespace tvc {
namespace {
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folder holding `path` and the last name in it.
std::pair<UniqueFd, std::string> OpenParent(const std::string& path) {
    const std::string clean = WithoutTrailingSlash(path);
    const auto slash = clean.find_last_of('/');
    if (clean.empty() || slash == std::string::npos || slash + 1 == clean.size()) return {};
    const std::string parent = slash == 0 ? "/" : clean.substr(0, slash);
    // The folders above are the user's to arrange, links included.
    return {UniqueFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
            clean.substr(slash + 1)};
}

std::string RandomName(const std::string& prefix) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kChars[random() % (sizeof kChars - 1)];
    return name;
}

std::vector<std::string> EntryNames(int dirFd) {
    // fdopendir takes its descriptor: give it a copy so `dirFd` stays the caller's.
    const int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return {};
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(copy), ::closedir);
    if (!dir) {
        ::close(copy);
        return {};
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

bool RemoveContents(int dirFd) {
    bool ok = true;
    for (const auto& name : EntryNames(dirFd)) ok = RemoveTreeAt(dirFd, name) && ok;
    return ok;
}
}  // namespace

void UniqueFd::reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

UniqueFd OpenPrivateFolder(const std::string& path, std::string& why) {
    why.clear();
    auto [parent, name] = OpenParent(path);
    if (!parent) {
        why = "its parent folder cannot be opened";
        return {};
    }
    if (::mkdirat(parent.get(), name.c_str(), 0700) != 0 && errno == EEXIST &&
        IsLinkAt(parent.get(), name)) {
        if (::unlinkat(parent.get(), name.c_str(), 0) != 0) {
            why = "a link stands in its place and cannot be removed";
            return {};
        }
        why = "a link stood in its place; the link was removed";
        ::mkdirat(parent.get(), name.c_str(), 0700);
    }
    UniqueFd folder(::openat(parent.get(), name.c_str(), kFolderFlags));
    struct stat st {};
    if (!folder || ::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid()) {
        why = "it is no folder of ours";
        return {};
    }
    if ((st.st_mode & 07777) != 0700 && ::fchmod(folder.get(), 0700) != 0) {
        why = "its mode cannot be set to 0700";
        return {};
    }
    return folder;
}

UniqueFd OpenFolderNoFollow(const std::string& path) {
    return UniqueFd(::open(WithoutTrailingSlash(path).c_str(), kFolderFlags));
}

UniqueFd MakeUniqueFolderAt(int dirFd, const std::string& prefix, std::string& nameOut) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = RandomName(prefix);
        // mkdir never follows a link and fails on anything already there: the folder is new.
        if (::mkdirat(dirFd, name.c_str(), 0700) != 0) {
            if (errno == EEXIST) continue;
            return {};
        }
        nameOut = name;
        return UniqueFd(::openat(dirFd, name.c_str(), kFolderFlags));
    }
    return {};
}

bool RemoveTreeAt(int dirFd, const std::string& name) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(dirFd, name.c_str(), 0) == 0;
    UniqueFd folder(::openat(dirFd, name.c_str(), kFolderFlags));
    const bool emptied = folder && RemoveContents(folder.get());
    return ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 && emptied;
}

void RemoveEntriesAt(int dirFd, const std::function<bool(const std::string& name)>& which) {
    for (const auto& name : EntryNames(dirFd))
        if (which(name)) RemoveTreeAt(dirFd, name);
}

bool RemoveFolderNoFollow(const std::string& path, bool* wasLink) {
    auto [parent, name] = OpenParent(path);
    if (wasLink) *wasLink = parent && IsLinkAt(parent.get(), name);
    struct stat st {};
    if (!parent || ::fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return RemoveTreeAt(parent.get(), name);
}

std::optional<std::string> ReadFileAt(int dirFd, const std::string& name, size_t maxSize,
                                      int* error) {
    auto fail = [error](int code) -> std::optional<std::string> {
        if (error) *error = code;
        return std::nullopt;
    };
    // O_NONBLOCK: a FIFO planted in the file's place must not hold the reader.
    UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return fail(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(errno);
    if (!S_ISREG(st.st_mode)) return fail(EINVAL);
    if (static_cast<unsigned long long>(st.st_size) > maxSize) return fail(EFBIG);
    std::string out;
    char buffer[16384];
    // The file may grow after fstat: never read more than one byte past the limit.
    while (out.size() <= maxSize) {
        const size_t want = std::min(sizeof buffer, maxSize + 1 - out.size());
        const ssize_t n = ::read(fd.get(), buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        if (n == 0) return out;
        out.append(buffer, static_cast<size_t>(n));
    }
    return fail(EFBIG);
}

bool IsLinkAt(int dirFd, const std::string& name) {
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

bool IsRegularFileAt(int dirFd, const std::string& name) {
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

bool WriteFileAtomicallyAt(int dirFd, const std::string& name, const std::string& contents) {
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        temp = RandomName(name + ".tmp");
        fd = UniqueFd(::openat(dirFd, temp.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd && errno != EEXIST) return false;
    }
    if (!fd) return false;
    bool ok = WriteAll(fd.get(), contents) && ::fsync(fd.get()) == 0;
    fd.reset();
    ok = ok && ::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) == 0;
    if (!ok) ::unlinkat(dirFd, temp.c_str(), 0);
    return ok;
}
}  // namespace tvc
