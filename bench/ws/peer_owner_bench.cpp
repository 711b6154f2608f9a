// What the listener's owner check adds to every accepted connection: the time of the socket
// diagnostics query for freshly accepted loopback connections. Prints p50/p99/mean. Not a test:
// run it by hand.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/NativeMessaging/SocketOwner.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kConnections = 5000;
constexpr int kWarmup = 200;
}  // namespace

int main() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(addr);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        std::perror("listen");
        return 1;
    }
    std::vector<double> micros;
    int foreign = 0;
    for (int i = 0; i < kWarmup + kConnections; ++i) {
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
            std::perror("connect");
            return 1;
        }
        const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        const auto start = Clock::now();
        const auto owner = tvc::LoopbackPeerOwner(accepted);
        const auto end = Clock::now();
        if (!owner || *owner != geteuid()) ++foreign;
        if (i >= kWarmup)
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        ::close(accepted);
        ::close(client);
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double m : micros) sum += m;
    std::printf(
        "owner lookup per accepted connection (%d): p50 %.1f us, p99 %.1f us, mean %.1f us%s\n",
        kConnections, micros[micros.size() / 2], micros[micros.size() * 99 / 100],
        sum / micros.size(), foreign ? " (SOME OWNERS WRONG)" : "");
    ::close(listener);
    return foreign ? 1 : 0;
}
