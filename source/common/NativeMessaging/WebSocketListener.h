// The WebSocket listener: one I/O thread that does sockets and framing only. Complete inbound
// texts, connection notices and its own end reach the manager on the main thread through the
// poster; outbound texts come from one locked queue. It reads only while the inbound backlog
// lets it. The library's types stay inside the .cpp.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/MainThreadPoster.h"
#include "common/NativeMessaging/InboundBacklog.h"

// What the listener asks of its owner. Main thread, in the order the I/O thread saw the events.
class ILibWebSocketsCallbacksHandler {
  public:
    virtual ~ILibWebSocketsCallbacksHandler() = default;
    // A complete inbound message, checked to be UTF-8, from the active connection `connection`.
    // It counts in the inbound backlog for as long as `hold` or a copy of it lives.
    virtual void HandleMessage(std::string text, int connection, CInboundBacklog::Hold hold) = 0;
    virtual void HandleConnectionEstablished() = 0;
    // The active connection came (a peer became the one served, under a new `connection` id) or
    // went.
    virtual void HandleActiveConnectionChanged(bool bConnected, int connection) = 0;
    // Listener `iRunId` has bound one of its ports.
    virtual void HandleListening(int /*iRunId*/) {}
    // The I/O thread of listener `iRunId` has ended.
    virtual void HandleListenerExit(int iRunId, bool bDidListenSuceed) = 0;
};

// Outbound texts, oldest first, for one connection. Any thread pushes; the I/O thread pops. The
// lock also orders a wake-up against the end of the listening context it wakes.
class CWebSocketSendQueue {
  public:
    // A peer that does not read must not make the program hold its texts without end.
    static constexpr size_t kMaxQueuedBytes = 64u * 1024 * 1024;

    enum t_enumPushResult { eQueued, eFull, eOtherConnection };
    // eFull (nothing queued) when the text would take the queue over kMaxQueuedBytes;
    // eOtherConnection (nothing queued) when it was written for a connection that is not the
    // queue's: a successor never hears what was meant for its predecessor.
    t_enumPushResult Push(std::string text, int connection);
    // I/O thread: the texts pushed from now on are for a new connection, whose id this returns.
    // Those already queued are not; the caller pops them to discard them.
    int BeginConnection();
    // False when empty; `bMore` tells whether texts remain.
    bool Pop(std::string& text, bool& bMore);
    bool IsEmpty();
    // Wakes the I/O thread, if one is listening.
    void Wake();
    // I/O thread: how to wake it; an empty function before its context ends.
    void SetWaker(std::function<void()> wake);
    // Called (on the thread that pops) once a queue that refused a text is down to half its cap.
    void SetRoomHandler(std::function<void()> onRoom);

  private:
    std::mutex m_lock;
    std::deque<std::string> m_texts;
    size_t m_bytes = 0;
    int m_iConnection = 0;  // 0 until the first; texts for none wait for it, and are discarded
    int m_iLastConnection = 0;
    bool m_bRefused = false;
    std::function<void()> m_wake;
    std::function<void()> m_onRoom;
};

struct SWebSocketListenerSettings {
    int iRunId = 0;  // echoed in HandleListenerExit
    std::vector<unsigned> trialPorts;
    // Web sites allowed as a handshake Origin, and a source asked at every handshake for more
    // (on the I/O thread: it must be safe there).
    std::vector<std::string> allowedWebSiteOrigins;
    std::function<std::vector<std::string>()> moreWebSiteOrigins;
};

// Starts its I/O thread on construction; destruction requests a stop and joins the thread.
// The backlog's owner wakes the thread (through the send queue) when a pause ends.
class CWebSocketListener {
  public:
    CWebSocketListener(SWebSocketListenerSettings settings,
                       std::shared_ptr<CWebSocketSendQueue> sendQueue,
                       std::shared_ptr<CInboundBacklog> backlog,
                       std::weak_ptr<ILibWebSocketsCallbacksHandler> sink,
                       tvc::MainThreadPoster postToMainThread);
    ~CWebSocketListener();
    CWebSocketListener(const CWebSocketListener&) = delete;
    CWebSocketListener& operator=(const CWebSocketListener&) = delete;

    int GetRunId() const { return m_settings.iRunId; }
    // Any thread.
    void RequestStop();
    bool IsStopRequested() const { return m_bStopRequested; }
    // True when the I/O thread ended within `timeout`.
    bool WaitForEnd(std::chrono::milliseconds timeout);
    // The port listened on; 0 until then.
    unsigned GetActivePort() const { return m_uiActivePort; }
    // Takes effect at the next handshake.
    void SetAllowedWebSiteOrigins(std::vector<std::string> origins);
    // The list and what the settings' source adds now.
    std::vector<std::string> GetAllowedWebSiteOrigins();

  private:
    friend class CWebSocketListenerLoop;
    using SinkWork = std::function<void(ILibWebSocketsCallbacksHandler&)>;
    // What the I/O thread has for the main thread, in order. One posted drain takes what has
    // come meanwhile: under load the main loop runs one task per batch, not one per message.
    struct SInbox {
        std::mutex lock;
        std::deque<SinkWork> work;
        bool bDrainPosted = false;
    };
    // Main thread: runs a batch of the inbox; posts another drain when more is left.
    static void Drain(const std::shared_ptr<SInbox>& inbox,
                      const std::weak_ptr<ILibWebSocketsCallbacksHandler>& sink,
                      const tvc::MainThreadPoster& post);

    void ThreadEntry();
    void PostToSink(SinkWork work);

    const SWebSocketListenerSettings m_settings;
    const std::shared_ptr<CWebSocketSendQueue> m_sendQueue;
    const std::shared_ptr<CInboundBacklog> m_backlog;
    const std::weak_ptr<ILibWebSocketsCallbacksHandler> m_sink;
    const tvc::MainThreadPoster m_postToMainThread;
    // Shared with the posted drains, which may run after the listener is gone.
    const std::shared_ptr<SInbox> m_inbox = std::make_shared<SInbox>();
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<unsigned> m_uiActivePort{0};
    // Replaced whole by the main thread, read at each handshake: no lock between the two.
    std::atomic<std::shared_ptr<const std::vector<std::string>>> m_allowedWebSiteOrigins;
    std::promise<void> m_ended;
    std::shared_future<void> m_endedFuture;
    std::thread m_thread;  // last: starts once everything above exists
};
