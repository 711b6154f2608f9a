// A folder of the program's own in a tree other programs of the user can write to (the update
// folder, the cache). Nothing here follows a symbolic link: the folder is opened once without
// following one, and what is in it is reached through that descriptor (openat and friends), so a
// link planted in the folder's place or in it leads nowhere. Any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace tvc {
// A file descriptor closed with its owner.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void reset();

  private:
    int m_fd = -1;
};

// `path` without its trailing "/": with one, the last name would be followed if it were a link.
std::string WithoutTrailingSlash(std::string path);

// The folder `path`, made (mode 0700) when absent and set to mode 0700. A link in its place is
// removed, never its target, and a folder made there; anything else that is no folder fails.
// Invalid with `why` set on failure; `why` also tells of a removed link on success.
UniqueFd OpenPrivateFolder(const std::string& path, std::string& why);
// The folder `path` as it is: invalid when it is absent, a link or no folder.
UniqueFd OpenFolderNoFollow(const std::string& path);
// A new folder in `dirFd` named `prefix` and six characters nobody can foresee, mode 0700.
UniqueFd MakeUniqueFolderAt(int dirFd, const std::string& prefix, std::string& nameOut);
// Removes `name` in `dirFd`: a folder with all it holds, anything else (a link too) by itself.
bool RemoveTreeAt(int dirFd, const std::string& name);
// Removes the entries of `dirFd` whose names `which` picks, as RemoveTreeAt does.
void RemoveEntriesAt(int dirFd, const std::function<bool(const std::string& name)>& which);
// Removes the folder `path` with all it holds; a link there is removed alone (`wasLink` tells).
// False when nothing was there or something stayed.
bool RemoveFolderNoFollow(const std::string& path, bool* wasLink = nullptr);

// A regular file of at most `maxSize` bytes in `dirFd` (AT_FDCWD: `name` is a path), never
// through a link. Larger files are refused after reading at most `maxSize` + 1 bytes of them.
// nullopt on failure, with `error` (when given) set to errno: EFBIG for a larger file, ELOOP
// for a link, ENOENT for none.
std::optional<std::string> ReadFileAt(int dirFd, const std::string& name, size_t maxSize,
                                      int* error = nullptr);
// A symbolic link named `name` in `dirFd`.
bool IsLinkAt(int dirFd, const std::string& name);
// A regular file named `name` in `dirFd` (a link is not one).
bool IsRegularFileAt(int dirFd, const std::string& name);
// Writes a new file in `dirFd` and renames it over `name`: a link there is replaced, not followed.
bool WriteFileAtomicallyAt(int dirFd, const std::string& name, const std::string& contents);
}  // namespace tvc
