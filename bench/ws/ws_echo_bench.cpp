// Round trips of a Beast client against a bare libwebsockets echo server (the floor) and against
// CWebSocketsMessagingManager with an observer that echoes through Send. Prints p50/p99 and the
// manager's idle CPU with a connected peer. Not a test: run it by hand.
#include <arpa/inet.h>
#include <glib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BareEchoServer.h"
#include "common/NativeMessaging/WebSocketsMessagingManager.h"
#include "common/TaskRunner.h"

namespace {
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr int kMessages = 10000;
constexpr int kWarmup = 500;

unsigned FindFreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// Runs on the main loop, as every observer does.
class CEchoObserver : public CInterAppMessageBaseObserver {
  public:
    explicit CEchoObserver(std::weak_ptr<CWebSocketsMessagingManager> manager)
        : m_manager(std::move(manager)) {}
    void OnInterAppMessageRceive(const SInterAppMessage& message) override {
        if (auto manager = m_manager.lock()) manager->Send(message.text);
    }
    void OnInterAppMessagingConnectionEstablished() override {}

  private:
    std::weak_ptr<CWebSocketsMessagingManager> m_manager;
};

struct SFigures {
    double p50_us = 0, p99_us = 0;
};

class CClient {
  public:
    bool Connect(unsigned port) {
        beast::error_code ec;
        m_ws.next_layer().connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"),
                                                static_cast<unsigned short>(port)),
                                  ec);
        if (ec) return false;
        m_ws.next_layer().set_option(tcp::no_delay(true));
        m_ws.auto_fragment(false);
        m_ws.handshake("127.0.0.1:" + std::to_string(port), "/browser", ec);
        return !ec;
    }
    bool RoundTrip(const std::string& text) {
        beast::error_code ec;
        m_ws.text(true);
        m_ws.write(boost::asio::buffer(text), ec);
        if (ec) return false;
        m_buffer.clear();
        m_ws.read(m_buffer, ec);
        if (ec || m_buffer.size() != text.size()) {
            std::printf("round trip: %s, %zu of %zu bytes\n", ec.message().c_str(), m_buffer.size(),
                        text.size());
            return false;
        }
        return true;
    }
    bool Measure(size_t size, SFigures& figures) {
        const std::string text(size, 'q');
        std::vector<double> samples;
        samples.reserve(kMessages);
        for (int i = 0; i < kWarmup + kMessages; ++i) {
            const auto start = Clock::now();
            if (!RoundTrip(text)) return false;
            if (i >= kWarmup)
                samples.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        std::sort(samples.begin(), samples.end());
        figures.p50_us = samples[samples.size() / 2];
        figures.p99_us = samples[samples.size() * 99 / 100];
        return true;
    }

  private:
    boost::asio::io_context m_ioc;
    websocket::stream<tcp::socket> m_ws{m_ioc};
    beast::flat_buffer m_buffer;
};

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// "--serve-only PORT": only the bare echo server, for clients of other programs (the end-to-end
// bench's floor). Prints "LISTENING PORT" once it listens and serves until standard input ends.
int ServeOnly(const char* portText) {
    const unsigned port = static_cast<unsigned>(std::strtoul(portText, nullptr, 10));
    CBareEchoServer server;
    if (!port || !server.Start(port)) return std::puts("bare server failed"), 1;
    std::printf("LISTENING %u\n", port);
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    server.Stop();
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--serve-only") return ServeOnly(argv[2]);
    // The manager logs every message, as in the product; keep it off the figures' output.
    if (!std::freopen("/dev/null", "w", stderr)) return 1;
    const size_t sizes[] = {100, 10 * 1024};
    SFigures floor[2], manager[2];

    {
        CBareEchoServer server;
        const unsigned port = FindFreePort();
        CClient client;
        if (!server.Start(port) || !client.Connect(port)) return std::puts("bare server failed"), 1;
        for (int i = 0; i < 2; ++i) {
            if (!client.Measure(sizes[i], floor[i]))
                return std::printf("bare round trip failed at %zu B\n", sizes[i]), 1;
        }
    }

    // The manager runs on this thread's GLib loop, as in the program; the client on its own thread.
    double idleCpuPercent = 0;
    bool bManagerOk = false;
    {
        auto spManager = std::make_shared<CWebSocketsMessagingManager>();
        spManager->Subscribe(std::make_shared<CEchoObserver>(spManager));
        spManager->Set_Trial_PortList({FindFreePort()});
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        unsigned port = 0;
        spManager->Start();
        spManager->GetActivePort(port);  // bound by Start, or never
        std::thread client([&] {
            CClient peer;
            bManagerOk = port && peer.Connect(port);
            for (int i = 0; bManagerOk && i < 2; ++i)
                bManagerOk = peer.Measure(sizes[i], manager[i]);
            if (bManagerOk) {
                const double cpuBefore = ProcessCpuSeconds();
                const auto wallBefore = Clock::now();
                std::this_thread::sleep_for(std::chrono::seconds(3));
                const double wall =
                    std::chrono::duration<double>(Clock::now() - wallBefore).count();
                idleCpuPercent = 100.0 * (ProcessCpuSeconds() - cpuBefore) / wall;
            }
            tvc::runner::Post([loop] { g_main_loop_quit(loop); });
        });
        g_main_loop_run(loop);
        client.join();
        g_main_loop_unref(loop);
        spManager->Stop();
        spManager->Cleanup();
    }
    if (!bManagerOk) return std::puts("manager round trip failed"), 1;

    std::printf("round trip over %d messages (after %d warm-up), microseconds\n", kMessages,
                kWarmup);
    std::printf("%-34s %10s %10s\n", "", "p50", "p99");
    for (int i = 0; i < 2; ++i) {
        std::printf("%-28s %5zu B %10.1f %10.1f\n", "bare libwebsockets echo", sizes[i],
                    floor[i].p50_us, floor[i].p99_us);
        std::printf("%-28s %5zu B %10.1f %10.1f\n", "CWebSocketsMessagingManager", sizes[i],
                    manager[i].p50_us, manager[i].p99_us);
    }
    std::printf("manager idle CPU with a connected peer over 3 s: %.2f %%\n", idleCpuPercent);
    return 0;
}
