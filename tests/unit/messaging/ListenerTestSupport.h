// Loopback peers and a recording observer for the listener tests.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/NativeMessaging/InterAppMessageObserver.h"
#include "common/NativeMessaging/WebSocketsMessagingManager.h"

namespace tvtest {

using namespace std::chrono_literals;
// Every line the listener logs costs far more under ThreadSanitizer; big messages log many.
#if defined(__SANITIZE_THREAD__)
constexpr auto kDeadline = 60s;
#else
constexpr auto kDeadline = 10s;
#endif

// The listener runs on the default GLib main context: the test thread runs it whenever it waits
// (for an observer, a peer's answer or a state), as the program's loop would between its events.
// Waits up to `wait` for an event, then runs every pending one. Only on the main thread (peers
// on other threads wait without running anything).
void RunPending(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
std::shared_ptr<CWebSocketsMessagingManager> MakeManager();

// A port that was free a moment ago (bound to 127.0.0.1:0, then released).
unsigned FindFreePort();

// Holds 127.0.0.1:port in the listening state for its lifetime.
class CPortBlocker {
  public:
    explicit CPortBlocker(unsigned port);
    ~CPortBlocker();
    bool IsHolding() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

// Runs the main loop until pred holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds deadline = kDeadline);

// Records every notification; all on the test thread.
class CRecordingObserver : public CInterAppMessageBaseObserver {
  public:
    void OnInterAppMessageRceive(const SInterAppMessage& message) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;
    void OnInterAppMessagingConnectionEstablished() override;

    bool WaitForMessages(size_t count, std::chrono::milliseconds deadline = kDeadline);
    bool WaitForConnections(int count, std::chrono::milliseconds deadline = kDeadline);
    bool WaitForListenerExit(std::chrono::milliseconds deadline = kDeadline);
    std::vector<std::string> Messages() const { return m_messages; }
    // The connection each message came on.
    std::vector<int> MessageConnections() const { return m_messageConnections; }
    int Connections() const { return m_connections; }
    std::vector<bool> ListenerExits() const { return m_exits; }

    // Runs for every message, after it is recorded.
    void SetOnMessage(std::function<void(const std::string&)> onMessage);
    // While on, the texts stay in the inbound backlog, as texts the page has not taken do.
    void HoldTexts(bool bHold);

  private:
    std::function<void(const std::string&)> m_onMessage;
    bool m_bHoldTexts = false;
    std::vector<std::shared_ptr<const void>> m_holds;
    std::vector<std::string> m_messages;
    std::vector<int> m_messageConnections;
    int m_connections = 0;
    std::vector<bool> m_exits;
};

// A started manager with a recording observer, stopped at the end of the test.
struct SRunningListener {
    std::shared_ptr<CWebSocketsMessagingManager> spManager;
    std::shared_ptr<CRecordingObserver> spObserver;
    unsigned port = 0;

    // Listens on a fresh port; false when it did not come up before the deadline.
    bool Start(const std::vector<unsigned>& ports = {});
    ~SRunningListener();
};

// A WebSocket client on Boost.Beast; every operation gives up at its deadline.
class CBeastPeer {
  public:
    CBeastPeer();
    ~CBeastPeer();
    // host "" means "127.0.0.1:<port>"; origin "" sends no Origin header.
    bool Connect(unsigned port, const std::string& target, const std::string& host = "",
                 const std::string& origin = "");
    bool Write(const std::string& text);
    // False on a closed connection, an error or the deadline.
    bool Read(std::string& text, std::chrono::milliseconds deadline = kDeadline);
    // True when the server closes the connection (or it fails) before the deadline.
    bool WaitForClose(std::chrono::milliseconds deadline = kDeadline);

  private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

// A client that writes and reads WebSocket frames byte for byte.
struct SFrame {
    bool bFin = false;
    int iOpcode = 0;
    std::string strPayload;
};

class CRawPeer {
  public:
    ~CRawPeer();
    bool Connect(unsigned port);
    // Sends the upgrade request, and `after` in the same write; true when the answer is 101.
    bool Handshake(unsigned port, const std::string& target, const std::string& origin = "",
                   const std::string& after = "");
    bool SendFrame(int opcode, bool fin, const std::string& payload);
    // A client's frame as bytes; `masked` false leaves out the mask a client owes.
    static std::string Frame(int opcode, bool fin, const std::string& payload, bool masked = true);
    bool SendAll(const std::string& bytes);
    // False on end of stream or the deadline.
    bool ReadFrame(SFrame& frame, std::chrono::milliseconds deadline = kDeadline);
    void Close();

  private:
    bool ReadMore(std::chrono::steady_clock::time_point until);
    bool ReadExact(size_t count, std::string& out, std::chrono::steady_clock::time_point until);
    int m_fd = -1;
    std::string m_pending;
};

}  // namespace tvtest
