// The local WebSocket transport of the inter-app messaging manager.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/NativeMessaging/LibWebSocketsCallbacksHandler.h"

namespace boost {
class thread;
}
class CWebSocketListenerLoop;

// Create with std::make_shared: the I/O thread holds a shared reference while it runs.
// Threads: Start/Stop on the UI thread; Send from any thread; the ILibWebSocketsCallbacksHandler
// operations and every observer notification on the I/O thread.
class CWebSocketsMessagingManager : public CInterAppMessagingManagerBase,
                                    public ILibWebSocketsCallbacksHandler {
  public:
    // The send buffer of 102,400 bytes less the library's padding and a terminating NUL.
    static constexpr size_t kMaxSendTextLength = 102377;
    static constexpr char kDefaultWebSiteOrigin[] = "https://www.tavisto.example";

    CWebSocketsMessagingManager();
    ~CWebSocketsMessagingManager() override;

    bool Start() override;
    // Waits at most 10 seconds for the I/O thread.
    bool Stop() override;
    bool Send(const std::string& text) override;

    bool Set_Trial_PortList(const std::vector<unsigned>& list);
    bool GetActivePort(unsigned& port);
    // The maker's web site, allowed as a handshake Origin; an URL is reduced to its origin.
    void SetAllowedWebSiteOrigin(const std::string& originOrUrl);
    std::string GetAllowedWebSiteOrigin();

    // 51001-51005, or the "ws-ports" switch when it names at least one valid port.
    static std::vector<unsigned> GetDefaultTrialPortList();

    // ILibWebSocketsCallbacksHandler: I/O thread.
    void HandleMessage(const std::string& text) override;
    void HandleListenerExit(bool bDidListenSuceed) override;
    void HandleConnectionEstablished() override;
    bool SetActivePort(unsigned port) override;
    bool Get_Trial_PortList(std::vector<unsigned>& list) override;
    bool ReadFromSendQueue(std::string& text) override;

    // I/O thread: the running loop registers itself so Send and Stop can wake it.
    void PublishListenerLoop(CWebSocketListenerLoop* pLoop);
    bool HasQueuedText();
    bool IsStopRequested() { return GetManagerState() == eThreadTerminationPending; }

  private:
    bool StartListenTask();
    bool StopListenTask();
    bool PerformSend(const std::string& text);
    bool WriteToSendQueue(const std::string& text);
    void ThreadEntry();
    void WakeListenerLoop();

    std::mutex m_sendQueueLock;
    std::deque<std::string> m_sendQueue;
    std::mutex m_activePortLock;
    unsigned m_uiActivePort = 0;
    std::mutex m_portListLock;
    std::vector<unsigned> m_trialPortList;
    std::mutex m_threadLock;  // taken alone, or inside the state lock (Start); never the other way
    std::unique_ptr<boost::thread> m_pIoThread;
    std::mutex
        m_loopLock;  // guards the pointer; the loop object itself lives on the I/O thread's stack
    CWebSocketListenerLoop* m_pListenerLoop = nullptr;
    std::mutex m_originLock;
    std::string m_strWebSiteOrigin;
};
