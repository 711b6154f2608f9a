// The local WebSocket transport of the inter-app messaging manager.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/MainThreadPoster.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/NativeMessaging/WebSocketListener.h"

// Create with std::make_shared: the listener reaches the manager through a weak reference.
// Threads: everything on the main thread, whose loop runs the posted tasks, except the sends and
// GetManagerState (any thread). The listener's I/O thread only frames; the state machine, the
// registry and the observers run here, in the order the I/O thread saw the events.
class CWebSocketsMessagingManager : public CInterAppMessagingManagerBase,
                                    public ILibWebSocketsCallbacksHandler {
  public:
    // The send buffer of 102,400 bytes less the library's padding and a terminating NUL.
    static constexpr size_t kMaxSendTextLength = 102377;
    static constexpr char kDefaultWebSiteOrigin[] = "https://www.tavisto.example";

    explicit CWebSocketsMessagingManager(tvc::MainThreadPoster postToMainThread);
    ~CWebSocketsMessagingManager() override;

    bool Start() override;
    // Waits at most 10 seconds for the I/O thread.
    bool Stop() override;
    bool Send(const std::string& text) override;
    bool SendToConnection(int connection, const std::string& text) override;
    int GetActiveConnection() override { return m_iConnection; }

    bool Set_Trial_PortList(const std::vector<unsigned>& list) override;
    bool Get_Trial_PortList(std::vector<unsigned>& list);
    bool GetActivePort(unsigned& port) override;
    // The web sites allowed as a handshake Origin (URLs are reduced to their origins): one, or a
    // list and a source the I/O thread asks at every handshake for more (values that change while
    // running; it must be safe on that thread).
    void SetAllowedWebSiteOrigin(const std::string& originOrUrl);
    void SetAllowedWebSiteOrigins(const std::vector<std::string>& sites,
                                  std::function<std::vector<std::string>()> more = {});

    // 51001-51005, or the "ws-ports" switch when it names at least one valid port.
    static std::vector<unsigned> GetDefaultTrialPortList();

    // ILibWebSocketsCallbacksHandler.
    void HandleMessage(std::string text, int connection, CInboundBacklog::Hold hold) override;
    void HandleConnectionEstablished() override;
    // Told (main thread) when the output queue starts refusing texts (true) and when it has room
    // again (false).
    void SetSendQueueStateHandler(std::function<void(bool bFull)> onState);

    // Told (main thread) each time a listener run has bound a port.
    void SetListeningHandler(std::function<void()> onListening);
    void HandleListening(int iRunId) override;

    // eConnected while a peer is the active connection, eListening otherwise.
    void HandleActiveConnectionChanged(bool bConnected, int connection) override;
    void HandleListenerExit(int iRunId, bool bDidListenSuceed) override;

  private:
    static void GiveMemoryBack();
    bool StartListenTask();
    bool StopListenTask();
    bool PerformSend(const std::string& text, int connection);
    bool WriteToSendQueue(const std::string& text, int connection);

    const tvc::MainThreadPoster m_postToMainThread;
    const std::shared_ptr<CWebSocketSendQueue> m_sendQueue;
    const std::shared_ptr<CInboundBacklog> m_backlog;
    std::vector<unsigned> m_trialPortList;
    std::function<void(bool)> m_onSendQueueState;
    std::function<void()> m_onListening;
    std::atomic<int> m_iConnection{0};  // set on the main thread, read by senders on any
    std::atomic<bool> m_bDropping{false};
    std::atomic<unsigned> m_uiDropped{0};
    std::vector<std::string> m_webSiteOrigins;
    std::function<std::vector<std::string>()> m_moreWebSiteOrigins;
    int m_iLastRunId = 0;
    std::unique_ptr<CWebSocketListener> m_pListener;
    // Listeners whose stop outlasted its bound: joined when their end arrives, or at destruction.
    std::vector<std::unique_ptr<CWebSocketListener>> m_stoppingListeners;
};
