#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/FileUtil.h"

namespace tvc::platform {

CSingleInstanceLock::CSingleInstanceLock(const std::string& name,
                                         const std::string& fallbackFolder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = (runtime && runtime[0] == '/') ? std::string(runtime) : fallbackFolder;
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    m_path = folder + name;
    // A fresh account has no per-user folder yet: without it the lock could not be opened, the
    // first process would run unlocked and a second one would take the lock beside it.
    if (!folder.empty()) tvc::MakeDirectories(folder.substr(0, folder.size() - 1));
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) return;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_owned = true;
    } else {
        m_heldElsewhere = (errno == EWOULDBLOCK);
    }
}

CSingleInstanceLock::~CSingleInstanceLock() {
    Release();
}

void CSingleInstanceLock::Release() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_owned = false;
}

std::string GetInstanceActivationSocketPath(const CSingleInstanceLock& lock) {
    return lock.GetPath() + ".sock";
}

bool RequestInstanceActivation(const std::string& socketPath, int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool answered = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        pollfd p{fd, POLLIN, 0};
        char ack = 0;
        int ready;
        do {
            ready = ::poll(&p, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        answered = ready > 0 && ::read(fd, &ack, 1) == 1 && ack == '1';
    }
    ::close(fd);
    return answered;
}

}  // namespace tvc::platform
