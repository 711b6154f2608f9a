// The local WebSocket transport of the inter-app messaging manager.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/NativeMessaging/WebSocketListener.h"

// Create with std::make_shared: the listener reaches the manager through a weak reference.
// Main thread only: the listener runs on the main loop, and the observers hear of its events as
// they happen.
class CWebSocketsMessagingManager : public CInterAppMessagingManagerBase,
                                    public ILibWebSocketsCallbacksHandler {
  public:
    // The send buffer of 102,400 bytes less the library's padding and a terminating NUL.
    static constexpr size_t kMaxSendTextLength = 102377;
    static constexpr char kDefaultWebSiteOrigin[] = "https://www.tavisto.example";

    CWebSocketsMessagingManager();
    ~CWebSocketsMessagingManager() override;

    bool Start() override;
    // Closes the port and every connection at once; the observers hear of the end on a later turn.
    bool Stop() override;
    bool Send(const std::string& text) override;
    bool SendToConnection(int connection, const std::string& text) override;
    int GetActiveConnection() override { return m_iConnection; }

    bool Set_Trial_PortList(const std::vector<unsigned>& list) override;
    bool GetActivePort(unsigned& port) override;
    // The web sites allowed as a handshake Origin (URLs are reduced to their origins).
    void SetAllowedWebSiteOrigins(const std::vector<std::string>& sites);

    // 51001-51005, or the "ws-ports" switch when it names at least one valid port.
    static std::vector<unsigned> GetDefaultTrialPortList();

    // ILibWebSocketsCallbacksHandler.
    void HandleMessage(std::string text, int connection, CInboundBacklog::Hold hold) override;
    void HandleConnectionEstablished() override;
    // Told when the output queue starts refusing texts (true) and when it has room again (false).
    void SetSendQueueStateHandler(std::function<void(bool bFull)> onState);

    // Told each time a listener run has bound a port.
    void SetListeningHandler(std::function<void()> onListening);
    void HandleListening(int iRunId) override;

    // eConnected while a peer is the active connection, eListening otherwise.
    void HandleActiveConnectionChanged(bool bConnected, int connection) override;
    void HandleListenerExit(int iRunId, bool bDidListenSuceed) override;

  private:
    static void GiveMemoryBack();
    bool StartListenTask();
    bool StopListenTask();
    bool WriteToSendQueue(const std::string& text, int connection);
    void OnSendQueueRoom();

    const std::shared_ptr<CWebSocketSendQueue> m_sendQueue;
    const std::shared_ptr<CInboundBacklog> m_backlog;
    std::vector<unsigned> m_trialPortList;
    std::function<void(bool)> m_onSendQueueState;
    std::function<void()> m_onListening;
    int m_iConnection = 0;
    bool m_bDropping = false;  // refusing texts since the queue was last full
    unsigned m_uiDropped = 0;
    std::vector<std::string> m_webSiteOrigins;
    int m_iLastRunId = 0;
    std::unique_ptr<CWebSocketListener> m_pListener;
};
