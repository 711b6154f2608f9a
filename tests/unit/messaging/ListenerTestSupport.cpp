#include "ListenerTestSupport.h"

#include <arpa/inet.h>
#include <glib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cstring>
#include <optional>
#include <random>
#include <thread>

#include "common/TaskRunner.h"

namespace tvtest {
namespace {
int BindLoopback(unsigned port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
}  // namespace

unsigned FindFreePort() {
    int fd = BindLoopback(0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    socklen_t len = sizeof(addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

CPortBlocker::CPortBlocker(unsigned port) : m_fd(BindLoopback(port)) {}
CPortBlocker::~CPortBlocker() {
    if (m_fd >= 0) ::close(m_fd);
}

void RunPending(std::chrono::milliseconds wait) {
    if (!tvc::runner::OnMainThread()) {
        std::this_thread::sleep_for(wait);
        return;
    }
    GMainContext* context = g_main_context_default();
    if (wait.count() > 0 && !g_main_context_pending(context)) {
        const auto timer = tvc::runner::PostDelayed(wait, [] {});
        g_main_context_iteration(context, TRUE);
    }
    // Bounded: a source that is always ready must not hold the test here.
    for (int i = 0; i < 1000 && g_main_context_iteration(context, FALSE); ++i) {
    }
}

std::shared_ptr<CWebSocketsMessagingManager> MakeManager() {
    return std::make_shared<CWebSocketsMessagingManager>();
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        RunPending(2ms);
    }
    return true;
}

// ---- CRecordingObserver

void CRecordingObserver::OnInterAppMessageRceive(const SInterAppMessage& message) {
    m_messages.push_back(message.text);
    m_messageConnections.push_back(message.connection);
    if (m_bHoldTexts) m_holds.push_back(message.backlogHold);
    if (m_onMessage) m_onMessage(message.text);
}

void CRecordingObserver::SetOnMessage(std::function<void(const std::string&)> onMessage) {
    m_onMessage = std::move(onMessage);
}

void CRecordingObserver::HoldTexts(bool bHold) {
    m_bHoldTexts = bHold;
    if (!bHold) m_holds.clear();
}

void CRecordingObserver::OnInterAppMessagingListenerExit(bool listenSucceeded) {
    m_exits.push_back(listenSucceeded);
}

void CRecordingObserver::OnInterAppMessagingConnectionEstablished() {
    ++m_connections;
}

bool CRecordingObserver::WaitForMessages(size_t count, std::chrono::milliseconds deadline) {
    return WaitUntil([&] { return m_messages.size() >= count; }, deadline);
}

bool CRecordingObserver::WaitForConnections(int count, std::chrono::milliseconds deadline) {
    return WaitUntil([&] { return m_connections >= count; }, deadline);
}

bool CRecordingObserver::WaitForListenerExit(std::chrono::milliseconds deadline) {
    return WaitUntil([&] { return !m_exits.empty(); }, deadline);
}

// ---- SRunningListener

bool SRunningListener::Start(const std::vector<unsigned>& ports) {
    spManager = MakeManager();
    spObserver = std::make_shared<CRecordingObserver>();
    spManager->Subscribe(spObserver);
    spManager->Set_Trial_PortList(ports.empty() ? std::vector<unsigned>{FindFreePort()} : ports);
    if (!spManager->Start()) return false;
    return WaitUntil([&] { return spManager->GetActivePort(port) && port != 0; });
}

SRunningListener::~SRunningListener() {
    if (spManager) {
        spManager->Stop();
        spManager->Cleanup();
    }
}

// ---- CBeastPeer: asynchronous operations driven with run_for, so each has a deadline.

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

struct CBeastPeer::SImpl {
    asio::io_context ioc;
    std::optional<websocket::stream<beast::tcp_stream>> ws;
    beast::flat_buffer buffer;

    // Runs until the operation's handler set done, or cancels it at the deadline.
    bool Run(bool& done, std::chrono::milliseconds deadline) {
        ioc.restart();
        const auto until = std::chrono::steady_clock::now() + deadline;
        // In slices, so the main loop runs while the peer waits (observers answer from there).
        while (!done && std::chrono::steady_clock::now() < until) {
            ioc.run_one_for(std::min<std::chrono::steady_clock::duration>(
                1ms, until - std::chrono::steady_clock::now()));
            RunPending();
        }
        if (!done) {
            beast::get_lowest_layer(*ws).cancel();
            ioc.restart();
            ioc.run();
        }
        return done;
    }

    // One read with a deadline; false when it timed out. `error` is the read's own result.
    bool ReadOnce(std::chrono::milliseconds deadline, beast::error_code& error) {
        buffer.clear();
        bool done = false;
        ws->async_read(buffer, [&](beast::error_code ec, size_t) {
            error = ec;
            done = true;
        });
        return Run(done, deadline);
    }
};

CBeastPeer::CBeastPeer() : m_pImpl(std::make_unique<SImpl>()) {
    m_pImpl->ws.emplace(m_pImpl->ioc);
}
CBeastPeer::~CBeastPeer() {
    beast::error_code ec;
    beast::get_lowest_layer(*m_pImpl->ws).socket().close(ec);
}

bool CBeastPeer::Connect(unsigned port, const std::string& target, const std::string& host,
                         const std::string& origin) {
    auto& ws = *m_pImpl->ws;
    beast::error_code result = asio::error::would_block;
    bool done = false;
    tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port));
    beast::get_lowest_layer(ws).async_connect(endpoint, [&](beast::error_code ec) {
        result = ec;
        done = true;
    });
    if (!m_pImpl->Run(done, kDeadline) || result) return false;
    beast::get_lowest_layer(ws).socket().set_option(tcp::no_delay(true));
    ws.set_option(websocket::stream_base::decorator([origin](websocket::request_type& req) {
        req.set(beast::http::field::sec_websocket_protocol, "tvb-websocket-message");
        if (!origin.empty()) req.set(beast::http::field::origin, origin);
    }));
    done = false;
    const std::string hostHeader = host.empty() ? "127.0.0.1:" + std::to_string(port) : host;
    ws.async_handshake(hostHeader, target, [&](beast::error_code ec) {
        result = ec;
        done = true;
    });
    return m_pImpl->Run(done, kDeadline) && !result;
}

bool CBeastPeer::Write(const std::string& text) {
    auto& ws = *m_pImpl->ws;
    ws.text(true);
    beast::error_code result;
    bool done = false;
    ws.async_write(asio::buffer(text), [&](beast::error_code ec, size_t) {
        result = ec;
        done = true;
    });
    return m_pImpl->Run(done, kDeadline) && !result;
}

bool CBeastPeer::Read(std::string& text, std::chrono::milliseconds deadline) {
    beast::error_code result;
    if (!m_pImpl->ReadOnce(deadline, result) || result) return false;
    text = beast::buffers_to_string(m_pImpl->buffer.data());
    return true;
}

bool CBeastPeer::WaitForClose(std::chrono::milliseconds deadline) {
    beast::error_code result;
    return m_pImpl->ReadOnce(deadline, result) && result;
}

// ---- CRawPeer

CRawPeer::~CRawPeer() {
    Close();
}

void CRawPeer::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool CRawPeer::Connect(unsigned port) {
    Close();
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
}

bool CRawPeer::SendAll(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool CRawPeer::ReadMore(std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{m_fd, POLLIN, 0};
    // In slices, so the main loop runs while the peer waits.
    for (int ready = 0; ready <= 0;) {
        if (std::chrono::steady_clock::now() >= until) return false;
        ready = ::poll(&pfd, 1, 1);
        if (ready < 0) return false;
        RunPending();
    }
    char chunk[65536];
    const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
    if (n <= 0) return false;
    m_pending.append(chunk, static_cast<size_t>(n));
    return true;
}

bool CRawPeer::ReadExact(size_t count, std::string& out,
                         std::chrono::steady_clock::time_point until) {
    while (m_pending.size() < count) {
        if (!ReadMore(until)) return false;
    }
    out = m_pending.substr(0, count);
    m_pending.erase(0, count);
    return true;
}

bool CRawPeer::Handshake(unsigned port, const std::string& target, const std::string& origin,
                         const std::string& after) {
    if (!Connect(port)) return false;
    std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
        "Sec-WebSocket-Protocol: tvb-websocket-message\r\n";
    if (!origin.empty()) request += "Origin: " + origin + "\r\n";
    request += "\r\n";
    if (!SendAll(request + after)) return false;
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (m_pending.find("\r\n\r\n") == std::string::npos) {
        if (!ReadMore(until)) return false;
    }
    const size_t end = m_pending.find("\r\n\r\n") + 4;
    const std::string response = m_pending.substr(0, end);
    m_pending.erase(0, end);
    return response.rfind("HTTP/1.1 101", 0) == 0;
}

bool CRawPeer::SendFrame(int opcode, bool fin, const std::string& payload) {
    return SendAll(Frame(opcode, fin, payload));
}

std::string CRawPeer::Frame(int opcode, bool fin, const std::string& payload, bool masked) {
    const char maskBit = masked ? static_cast<char>(0x80) : 0;
    std::string frame;
    frame.push_back(static_cast<char>((fin ? 0x80 : 0) | (opcode & 0x0f)));
    const size_t len = payload.size();
    if (len < 126) {
        frame.push_back(static_cast<char>(maskBit | len));
    } else if (len <= 0xffff) {
        frame.push_back(static_cast<char>(maskBit | 126));
        frame.push_back(static_cast<char>(len >> 8));
        frame.push_back(static_cast<char>(len & 0xff));
    } else {
        frame.push_back(static_cast<char>(maskBit | 127));
        for (int shift = 56; shift >= 0; shift -= 8)
            frame.push_back(static_cast<char>((len >> shift) & 0xff));
    }
    if (!masked) return frame + payload;
    static thread_local std::mt19937 random{12345};
    char mask[4];
    for (char& m : mask) m = static_cast<char>(random());
    frame.append(mask, 4);
    for (size_t i = 0; i < len; ++i) frame.push_back(static_cast<char>(payload[i] ^ mask[i % 4]));
    return frame;
}

bool CRawPeer::ReadFrame(SFrame& frame, std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    std::string head;
    if (!ReadExact(2, head, until)) return false;
    frame.bFin = (head[0] & 0x80) != 0;
    frame.iOpcode = head[0] & 0x0f;
    uint64_t len = static_cast<unsigned char>(head[1]) & 0x7f;
    std::string ext;
    if (len == 126 || len == 127) {
        const size_t bytes = len == 126 ? 2 : 8;
        if (!ReadExact(bytes, ext, until)) return false;
        len = 0;
        for (char c : ext) len = (len << 8) | static_cast<unsigned char>(c);
    }
    return ReadExact(static_cast<size_t>(len), frame.strPayload, until);
}

}  // namespace tvtest
