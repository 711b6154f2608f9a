// Which account owns the other end of an accepted loopback TCP connection: the kernel's
// socket-diagnostics netlink interface is asked for the socket with the connection's exact
// addresses and ports. No state: any thread.
#pragma once

#include <sys/types.h>

#include <optional>

namespace tvc {
// The owner of the socket that connected to `acceptedFd`; nullopt when the kernel does not say
// (the peer is already gone, or the interface is unavailable).
std::optional<uid_t> LoopbackPeerOwner(int acceptedFd);
}  // namespace tvc
