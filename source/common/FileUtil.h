// Small POSIX file helpers shared by the modules that keep files.
#pragma once

#include <optional>
#include <string>

namespace tvc {
// mkdir -p with mode 0700 for new folders; true when the folder exists afterwards.
bool MakeDirectories(const std::string& path);
std::string ReadLink(const std::string& path);
// Whole file, or nullopt when it cannot be read; then `error` (when given) holds errno
// (ENOENT for a file that does not exist).
std::optional<std::string> ReadFile(const std::string& path, int* error = nullptr);
// Every byte of `data` to `fd`, across short writes and EINTR.
bool WriteAll(int fd, const std::string& data);
// Writes a temporary file beside `path`, flushes it and renames it over `path`.
bool WriteFileAtomically(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);
// Bytes an unprivileged writer may still put in the file system of `folder`; -1 when unknown.
long long AvailableBytes(const std::string& folder);
// Copies `source` to `target` unless `target` exists (a user's edits there win).
// Returns "" on success, otherwise the reason.
std::string CopyFileNoOverwrite(const std::string& source, const std::string& target);

// An exclusive advisory lock held for the object's life (flock on `lockPath`, created if needed).
class ScopedFileLock {
  public:
    explicit ScopedFileLock(const std::string& lockPath);
    ~ScopedFileLock();
    ScopedFileLock(const ScopedFileLock&) = delete;
    ScopedFileLock& operator=(const ScopedFileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};
}  // namespace tvc
