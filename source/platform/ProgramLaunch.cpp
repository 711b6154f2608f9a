#include "platform/ProgramLaunch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>

namespace tvc::platform {
namespace {
// The descriptor the child finds the program at.
constexpr int kProgramFd = 3;

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Starts `path` with `args` in a session of its own, with signals as a fresh session has them and
// no descriptor of ours beyond the standard three, but `keepFd` as descriptor 3 when it is valid.
pid_t Spawn(const char* path, const std::vector<std::string>& args, int keepFd,
            char* const environment[], std::string& why) {
    SpawnSetup setup;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    int rc = 0;
    if (keepFd >= 0) rc = posix_spawn_file_actions_adddup2(&setup.actions, keepFd, kProgramFd);
    if (rc == 0)
        rc = posix_spawn_file_actions_addclosefrom_np(&setup.actions,
                                                      keepFd >= 0 ? kProgramFd + 1 : kProgramFd);
    if (rc == 0) rc = posix_spawnattr_setsigmask(&setup.attributes, &none);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&setup.attributes, &all);
    if (rc == 0)
        rc = posix_spawnattr_setflags(
            &setup.attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (rc == 0)
        rc = posix_spawn(&pid, path, &setup.actions, &setup.attributes, argv.data(), environment);
    if (rc != 0) {
        why = std::strerror(rc);
        return -1;
    }
    return pid;
}
}  // namespace

pid_t StartProgramFromDescriptor(int fd, const std::string& name, char* const environment[],
                                 std::string& why) {
    // dup2 onto itself would leave close-on-exec set: move it out of the way first.
    int source = fd;
    if (fd == kProgramFd) source = ::fcntl(fd, F_DUPFD_CLOEXEC, kProgramFd + 1);
    if (source < 0) {
        why = std::strerror(errno);
        return -1;
    }
    // /proc/self/fd/3 is the open file itself, not a name: the same road fexecve takes. Unlike
    // execvp, posix_spawn hands a file that is no program to no shell: it fails with ENOEXEC.
    const pid_t pid = Spawn("/proc/self/fd/3", {name}, source, environment, why);
    if (source != fd) ::close(source);
    return pid;
}

pid_t StartDetachedProgram(const std::string& path, const std::vector<std::string>& args,
                           char* const environment[], std::string& why) {
    return Spawn(path.c_str(), args, -1, environment, why);
}
}  // namespace tvc::platform
