#include "common/NativeMessaging/WebSocketsMessagingManager.h"

#include <boost/thread/thread.hpp>
#include <chrono>
#include <sstream>
#include <thread>

#include "common/CommandLine.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/OriginPolicy.h"
#include "common/NativeMessaging/WebSocketListener.h"

CWebSocketsMessagingManager::CWebSocketsMessagingManager()
    : m_trialPortList(GetDefaultTrialPortList()), m_strWebSiteOrigin(kDefaultWebSiteOrigin) {}

CWebSocketsMessagingManager::~CWebSocketsMessagingManager() {
    // The last reference may be dropped by the I/O thread itself, which has already left its
    // record.
    std::lock_guard<std::mutex> lock(m_threadLock);
    if (m_pIoThread) m_pIoThread->detach();
}

std::vector<unsigned> CWebSocketsMessagingManager::GetDefaultTrialPortList() {
    std::vector<unsigned> ports;
    std::istringstream items(GetGlobalCommandLine()->GetSwitchValue("ws-ports"));
    for (std::string item; std::getline(items, item, ',');) {
        if (int port = ParsePort(item)) ports.push_back(static_cast<unsigned>(port));
    }
    if (ports.empty()) ports = {51001, 51002, 51003, 51004, 51005};
    return ports;
}

bool CWebSocketsMessagingManager::Start() {
    TVC_LOG_WARN("%s\n", "CWebSocketsMessagingManager::Start");
    return StartListenTask();
}

bool CWebSocketsMessagingManager::Stop() {
    TVC_LOG_WARN("%s\n", "CWebSocketsMessagingManager::Stop");
    return StopListenTask();
}

bool CWebSocketsMessagingManager::Send(const std::string& text) {
    return PerformSend(text);
}

// UI thread. The state check, the thread's creation and the state change are one step under the
// state lock, so a second Start cannot slip in before the thread runs.
bool CWebSocketsMessagingManager::StartListenTask() {
    static const char* fn = "CWebSocketsMessagingManager::StartListenTask";
    std::lock_guard<std::recursive_mutex> stateLock(StateLock());
    if (GetManagerState() != eIdle) {
        TVC_LOG_WARN("%s : Not in eIdle state!\n", fn);
        return false;
    }
    auto self = std::static_pointer_cast<CWebSocketsMessagingManager>(weak_from_this().lock());
    if (!self) {
        TVC_LOG_ERROR("%s : the manager is not held by a shared pointer\n", fn);
        return false;
    }
    std::lock_guard<std::mutex> threadLock(m_threadLock);
    if (m_pIoThread) {
        TVC_LOG_ERROR("%s : sanity-failed : task-already present\n", fn);
        return false;
    }
    SetManagerState(eListening);
    SetActivePort(0);  // not listening until the new thread has bound a port
    m_pIoThread = std::make_unique<boost::thread>([self] { self->ThreadEntry(); });
    TVC_LOG_WARN("%s : io thread started.", fn);
    return true;
}

// UI thread (or any thread but the I/O thread, which it would wait for).
bool CWebSocketsMessagingManager::StopListenTask() {
    static const char* fn = "CWebSocketsMessagingManager::StopListenTask";
    if (!ChangeManagerStateIf({eListening, eConnected}, eThreadTerminationPending)) {
        TVC_LOG_WARN("%s : Not in listen or connect states.\n", fn);
        return false;
    }
    WakeListenerLoop();
    std::unique_ptr<boost::thread> pThread;
    {
        std::lock_guard<std::mutex> lock(m_threadLock);
        pThread = std::move(m_pIoThread);
    }
    if (pThread) {
        TVC_LOG_WARN("%s - begin\n", fn);
        if (pThread->get_id() != boost::this_thread::get_id()) {
            pThread->try_join_until(boost::chrono::steady_clock::now() +
                                    boost::chrono::seconds(10));
        }
        TVC_LOG_WARN("%s - join-thread - end\n", fn);
        if (pThread->joinable()) pThread->detach();  // it still ends at its next check
    } else {
        // The thread dropped its record on its way out already; its eIdle follows at once.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (GetManagerState() == eThreadTerminationPending &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool CWebSocketsMessagingManager::PerformSend(const std::string& text) {
    return WriteToSendQueue(text);
}

// Any thread: queue under the send-queue lock, then wake the I/O thread, which asks for a
// writeable event itself (asking from here would lose wake-ups).
bool CWebSocketsMessagingManager::WriteToSendQueue(const std::string& text) {
    if (text.size() > kMaxSendTextLength) return false;
    {
        std::lock_guard<std::mutex> lock(m_sendQueueLock);
        m_sendQueue.push_back(text);
    }
    WakeListenerLoop();
    return true;
}

bool CWebSocketsMessagingManager::ReadFromSendQueue(std::string& text) {
    std::lock_guard<std::mutex> lock(m_sendQueueLock);
    if (m_sendQueue.empty()) return false;
    text = std::move(m_sendQueue.front());
    m_sendQueue.pop_front();
    return true;
}

bool CWebSocketsMessagingManager::HasQueuedText() {
    std::lock_guard<std::mutex> lock(m_sendQueueLock);
    return !m_sendQueue.empty();
}

bool CWebSocketsMessagingManager::Set_Trial_PortList(const std::vector<unsigned>& list) {
    std::lock_guard<std::mutex> lock(m_portListLock);
    for (size_t i = 0; i < list.size(); ++i) {
        TVC_LOG_WARN("port[%u]=%u", static_cast<unsigned>(i), list[i]);
    }
    m_trialPortList = list;
    return true;
}

bool CWebSocketsMessagingManager::Get_Trial_PortList(std::vector<unsigned>& list) {
    std::lock_guard<std::mutex> lock(m_portListLock);
    list = m_trialPortList;
    return true;
}

bool CWebSocketsMessagingManager::SetActivePort(unsigned port) {
    std::lock_guard<std::mutex> lock(m_activePortLock);
    m_uiActivePort = port;
    return true;
}

bool CWebSocketsMessagingManager::GetActivePort(unsigned& port) {
    static const char* fn = "CWebSocketsMessagingManager::GetActivePort";
    port = 0;
    const auto state = GetManagerState();
    if (state != eListening && state != eConnected) {
        TVC_LOG_WARN("%s : Not in listen or connect states.\n", fn);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_activePortLock);
        port = m_uiActivePort;
    }
    TVC_LOG_INFO("%s -- : port=%u, retVal=%u", fn, port, 1u);
    return true;
}

void CWebSocketsMessagingManager::SetAllowedWebSiteOrigin(const std::string& originOrUrl) {
    std::lock_guard<std::mutex> lock(m_originLock);
    m_strWebSiteOrigin = WebOriginOfUrl(originOrUrl);
}

std::string CWebSocketsMessagingManager::GetAllowedWebSiteOrigin() {
    std::lock_guard<std::mutex> lock(m_originLock);
    return m_strWebSiteOrigin;
}

void CWebSocketsMessagingManager::HandleMessage(const std::string& text) {
    NotifyMessageArrival(text);
}

void CWebSocketsMessagingManager::HandleConnectionEstablished() {
    NotifyOnConnectionEstablished();
}

// I/O thread, at its very end: the record goes first and then the state, so a Start right after
// this succeeds; a concurrent Stop that already took the record waits for this thread instead.
void CWebSocketsMessagingManager::HandleListenerExit(bool bDidListenSuceed) {
    {
        std::lock_guard<std::mutex> lock(m_threadLock);
        if (m_pIoThread) {
            m_pIoThread->detach();
            m_pIoThread.reset();
        }
    }
    SetManagerState(eIdle);
    NotifyListenerExit(bDidListenSuceed);
}

void CWebSocketsMessagingManager::PublishListenerLoop(CWebSocketListenerLoop* pLoop) {
    std::lock_guard<std::mutex> lock(m_loopLock);
    m_pListenerLoop = pLoop;
}

void CWebSocketsMessagingManager::WakeListenerLoop() {
    std::lock_guard<std::mutex> lock(m_loopLock);
    if (m_pListenerLoop) WakeWebSocketListenerLoop(*m_pListenerLoop);
}

// I/O thread.
void CWebSocketsMessagingManager::ThreadEntry() {
    TVC_LOG_WARN("CInterAppMessagingManagerBase:ThreadEntry ++ \n");
    const int result = websocket_core_task(*this);
    HandleListenerExit(result == 0);
    TVC_LOG_WARN("CInterAppMessagingManagerBase:ThreadEntry -- \n");
}
