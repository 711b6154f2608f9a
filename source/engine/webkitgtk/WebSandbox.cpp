#include "engine/webkitgtk/WebSandbox.h"

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace tvc::webkit {
namespace {
int ExitAtOnce(void*) {
    return 0;
}

// bubblewrap that is not set-user-ID builds its sandbox in a user namespace of the user's own.
// The child shares our memory and we wait for its end (CLONE_VFORK), so nothing is copied; clone
// rather than unshare because unshare refuses a user namespace to a process with threads.
int TryUserNamespace() {
    alignas(16) static std::array<char, 16 * 1024> stack;
    pid_t child = clone(&ExitAtOnce, stack.data() + stack.size(),
                        CLONE_NEWUSER | CLONE_VM | CLONE_VFORK | SIGCHLD, nullptr);
    if (child < 0) return errno;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}
}  // namespace

std::string WebSandboxUnavailableReason() {
    struct stat bwrap {};
    if (stat(kBubblewrapPath, &bwrap) != 0 || access(kBubblewrapPath, X_OK) != 0)
        return std::string(kBubblewrapPath) + " cannot be run";
    if (access(kDBusProxyPath, X_OK) != 0) return std::string(kDBusProxyPath) + " cannot be run";
    if (bwrap.st_mode & S_ISUID) return {};
    if (int error = TryUserNamespace())
        return std::string("no user namespace for an ordinary account (") + std::strerror(error) +
               ")";
    return {};
}
}  // namespace tvc::webkit
