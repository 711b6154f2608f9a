// A file's bytes read once into memory that nobody can change any more: what is verified from it
// is what is started from it or handed on. Any thread.
#pragma once

#include <string>

#include "common/PrivateFolder.h"

namespace tvc::update {
// The file open at `fd`, from its start, in a sealed memory file named `name` (no writes, no
// growing, no shrinking, no further seals). Invalid, with `why`, when it cannot be read whole, is
// larger than `maxSize` or memory files cannot be sealed.
UniqueFd CopyToSealedMemory(int fd, const std::string& name, size_t maxSize, std::string& why);
// Writes the whole of `sealed` to a new file `name` in `dirFd` (mode 0644, replacing nothing).
bool WriteSealedCopyAt(int sealed, int dirFd, const std::string& name, std::string& why);
}  // namespace tvc::update
