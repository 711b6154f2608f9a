#include "update/SealedCopy.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tvc::update {
namespace {
// Copies `from` (from offset 0) to the end of `to`; at most `maxSize` bytes.
bool CopyAll(int from, int to, size_t maxSize, std::string& why) {
    std::vector<char> block(256 * 1024);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(from, block.data(), block.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::string("cannot read the file: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) return true;
        if (static_cast<size_t>(offset) + static_cast<size_t>(n) > maxSize) {
            why = "the file is too large";
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, block.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                why = std::string("cannot copy the file: ") + std::strerror(errno);
                return false;
            }
            done += w;
        }
        offset += n;
    }
}
}  // namespace

UniqueFd CopyToSealedMemory(int fd, const std::string& name, size_t maxSize, std::string& why) {
    if (fd < 0) {
        why = "the file is not there";
        return {};
    }
    UniqueFd memory(::memfd_create(name.c_str(), MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory) {
        why = std::string("no memory file: ") + std::strerror(errno);
        return {};
    }
    if (!CopyAll(fd, memory.get(), maxSize, why)) return {};
    if (::fcntl(memory.get(), F_ADD_SEALS,
                F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0) {
        why = std::string("cannot seal the memory file: ") + std::strerror(errno);
        return {};
    }
    return memory;
}

bool WriteSealedCopyAt(int sealed, int dirFd, const std::string& name, std::string& why) {
    UniqueFd out(
        ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out) {
        why = "cannot create " + name + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(sealed, &st) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return CopyAll(sealed, out.get(), static_cast<size_t>(st.st_size), why) &&
           ::fsync(out.get()) == 0;
}
}  // namespace tvc::update
