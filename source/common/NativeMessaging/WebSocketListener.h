// The WebSocket listener: the library's context runs on the program's GLib main loop (the default
// main context, which GTK runs), so sockets, framing, the state machine and the observers share
// the main thread and need no lock. It reads only while the inbound backlog lets it. The
// library's types stay inside the .cpp.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/NativeMessaging/InboundBacklog.h"

// What the listener asks of its owner, in the order the events happened. Called from inside the
// library's event handling: the owner may send, and may release the listener (see below).
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
    // Listener `iRunId` has bound one of its ports (told on a later turn of the loop).
    virtual void HandleListening(int /*iRunId*/) {}
    // Listener `iRunId` could bind none of its ports (told on a later turn of the loop).
    virtual void HandleListenerExit(int iRunId, bool bDidListenSuceed) = 0;
};

// Outbound texts, oldest first, for one connection.
class CWebSocketSendQueue {
  public:
    // A peer that does not read must not make the program hold its texts without end.
    static constexpr size_t kMaxQueuedBytes = 64u * 1024 * 1024;

    enum t_enumPushResult { eQueued, eFull, eOtherConnection };
    // eFull (nothing queued) when the text would take the queue over kMaxQueuedBytes;
    // eOtherConnection (nothing queued) when it was written for a connection that is not the
    // queue's: a successor never hears what was meant for its predecessor.
    t_enumPushResult Push(std::string text, int connection);
    // The texts pushed from now on are for a new connection, whose id this returns. Those
    // already queued are not; the caller pops them to discard them.
    int BeginConnection();
    // False when empty; `bMore` tells whether texts remain.
    bool Pop(std::string& text, bool& bMore);
    bool IsEmpty() const { return m_texts.empty(); }
    // Called when a text arrives in an empty queue: the listener asks to write.
    void SetWaker(std::function<void()> wake);
    // Called once a queue that refused a text is down to half its cap.
    void SetRoomHandler(std::function<void()> onRoom);

  private:
    std::deque<std::string> m_texts;
    size_t m_bytes = 0;
    int m_iConnection = 0;  // 0 until the first; texts for none wait for it, and are discarded
    int m_iLastConnection = 0;
    bool m_bRefused = false;
    std::function<void()> m_wake;
    std::function<void()> m_onRoom;
};

struct SWebSocketListenerSettings {
    int iRunId = 0;  // echoed in HandleListening and HandleListenerExit
    std::vector<unsigned> trialPorts;
    // Web sites allowed as a handshake Origin.
    std::vector<std::string> allowedWebSiteOrigins;
};

class CWebSocketListenerLoop;

// Binds the first trial port it can on construction. Destruction closes every connection and the
// port; when it happens inside one of the listener's own events (an observer stopping the
// messaging), the library's context is released right after that event instead.
class CWebSocketListener {
  public:
    CWebSocketListener(SWebSocketListenerSettings settings,
                       std::shared_ptr<CWebSocketSendQueue> sendQueue,
                       std::shared_ptr<CInboundBacklog> backlog,
                       std::weak_ptr<ILibWebSocketsCallbacksHandler> sink);
    ~CWebSocketListener();
    CWebSocketListener(const CWebSocketListener&) = delete;
    CWebSocketListener& operator=(const CWebSocketListener&) = delete;

    int GetRunId() const;
    // The port listened on; 0 when none could be bound.
    unsigned GetActivePort() const;
    // Takes effect at the next handshake.
    void SetAllowedWebSiteOrigins(std::vector<std::string> origins);
    // Reads from a connection paused for the backlog again, once the backlog lets it.
    void ResumeReadingIfBacklogDrained();
    // The send queue has a text for the active connection.
    void RequestWrite();

  private:
    std::shared_ptr<CWebSocketListenerLoop> m_loop;
};
