#include "common/NativeMessaging/SocketOwner.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstring>

#include "common/PrivateFolder.h"

namespace tvc {
namespace {
// Copies one end of the connection into the request's 4-word address and big-endian port.
bool PutAddress(const sockaddr_storage& address, __be32 (&out)[4], __be16& port) {
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(out, &in.sin_addr, sizeof(in.sin_addr));
        port = in.sin_port;
        return true;
    }
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        std::memcpy(out, &in6.sin6_addr, sizeof(in6.sin6_addr));
        port = in6.sin6_port;
        return true;
    }
    return false;
}
}  // namespace

std::optional<uid_t> LoopbackPeerOwner(int acceptedFd) {
    sockaddr_storage ours{}, theirs{};
    socklen_t oursLength = sizeof(ours), theirsLength = sizeof(theirs);
    if (getsockname(acceptedFd, reinterpret_cast<sockaddr*>(&ours), &oursLength) != 0 ||
        getpeername(acceptedFd, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0 ||
        ours.ss_family != theirs.ss_family)
        return std::nullopt;

    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = static_cast<__u8>(ours.ss_family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    // The peer's socket: its source is our connection's remote end.
    auto& id = message.request.id;
    id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    if (!PutAddress(theirs, id.idiag_src, id.idiag_sport) ||
        !PutAddress(ours, id.idiag_dst, id.idiag_dport))
        return std::nullopt;

    UniqueFd diag(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!diag) return std::nullopt;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(diag.get(), &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof(kernel)) != static_cast<ssize_t>(sizeof(message)))
        return std::nullopt;

    // One answer: the socket's diagnostics, or an error when there is no such socket.
    alignas(nlmsghdr) char answer[512];
    const ssize_t length = recv(diag.get(), answer, sizeof(answer), 0);
    const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
    if (length <= 0 || !NLMSG_OK(header, static_cast<unsigned>(length)) ||
        header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
        header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
        return std::nullopt;
    return static_cast<uid_t>(static_cast<const inet_diag_msg*>(NLMSG_DATA(header))->idiag_uid);
}
}  // namespace tvc
