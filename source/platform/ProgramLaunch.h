// Starting a program from an open file rather than from its name, so what runs is the file that
// was checked, whatever the name leads to by then. POSIX; any thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tvc::platform {
// Starts the program open at `fd` without arguments, in a session of its own, with `environment`
// and `name` as its argv[0]. A script runs too (its interpreter reads the same open file). -1
// with `why` set when it cannot be started, a file that is no program included (never handed to
// a shell); otherwise the child's id, which the caller reaps.
pid_t StartProgramFromDescriptor(int fd, const std::string& name, char* const environment[],
                                 std::string& why);
// Starts the program at `path` with `args` (argv[0] first) in a session of its own, with no
// descriptor of ours beyond the standard three. -1 with `why` when it cannot be started.
pid_t StartDetachedProgram(const std::string& path, const std::vector<std::string>& args,
                           char* const environment[], std::string& why);
}  // namespace tvc::platform
