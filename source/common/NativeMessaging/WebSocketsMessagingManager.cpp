#include "common/NativeMessaging/WebSocketsMessagingManager.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <sstream>
#include <utility>

#include "common/CommandLine.h"
#include "common/LogHelper.h"
#include "common/PeerErrorGate.h"
#include "common/TaskRunner.h"
#include "common/Url.h"

CWebSocketsMessagingManager::CWebSocketsMessagingManager()
    : m_sendQueue(std::make_shared<CWebSocketSendQueue>()),
      m_backlog(std::make_shared<CInboundBacklog>()),
      m_trialPortList(GetDefaultTrialPortList()),
      m_webSiteOrigins{kDefaultWebSiteOrigin} {
    // The queue and the backlog outlive listener runs; they reach whichever listener runs now.
    // glibc keeps what a flood's texts freed: it is asked to give it back whenever a pause ends
    // and once the backlog is empty, after the turn that freed it.
    m_backlog->SetHandlers(
        [this] {
            if (m_pListener) m_pListener->ResumeReadingIfBacklogDrained();
            tvc::runner::Post(&CWebSocketsMessagingManager::GiveMemoryBack);
        },
        [] { tvc::runner::Post(&CWebSocketsMessagingManager::GiveMemoryBack); });
    m_sendQueue->SetWaker([this] {
        if (m_pListener) m_pListener->RequestWrite();
    });
    m_sendQueue->SetRoomHandler([this] { OnSendQueueRoom(); });
}

void CWebSocketsMessagingManager::GiveMemoryBack() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Holds, and a listener released during its own event, may outlive the manager.
CWebSocketsMessagingManager::~CWebSocketsMessagingManager() {
    m_backlog->SetHandlers({}, {});
    m_sendQueue->SetWaker({});
    m_sendQueue->SetRoomHandler({});
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
    TVC_LOG_WARN("%s\n", TVC_FN);
    return StartListenTask();
}

bool CWebSocketsMessagingManager::Stop() {
    TVC_LOG_WARN("%s\n", TVC_FN);
    return StopListenTask();
}

bool CWebSocketsMessagingManager::Send(const std::string& text) {
    return WriteToSendQueue(text, m_iConnection);
}

bool CWebSocketsMessagingManager::SendToConnection(int connection, const std::string& text) {
    return WriteToSendQueue(text, connection);
}

bool CWebSocketsMessagingManager::StartListenTask() {
    static const char* fn = TVC_FN;
    if (GetManagerState() != eIdle) {
        TVC_LOG_WARN("%s : Not in eIdle state!\n", fn);
        return false;
    }
    if (m_pListener) {
        TVC_LOG_ERROR("%s : sanity-failed : task-already present\n", fn);
        return false;
    }
    auto self = std::static_pointer_cast<CWebSocketsMessagingManager>(weak_from_this().lock());
    if (!self) {
        TVC_LOG_ERROR("%s : needs a shared owner\n", fn);
        return false;
    }
    SetManagerState(eListening);
    std::weak_ptr<ILibWebSocketsCallbacksHandler> sink =
        std::static_pointer_cast<ILibWebSocketsCallbacksHandler>(self);
    m_pListener = std::make_unique<CWebSocketListener>(
        SWebSocketListenerSettings{++m_iLastRunId, m_trialPortList, m_webSiteOrigins}, m_sendQueue,
        m_backlog, sink);
    return true;
}
// The observers hear of the end on a later turn, as they would of a listener that found no port.
bool CWebSocketsMessagingManager::StopListenTask() {
    static const char* fn = TVC_FN;
    if (!ChangeManagerStateIf({eListening, eConnected}, eThreadTerminationPending)) {
        TVC_LOG_WARN("%s : Not in listen or connect states.\n", fn);
        return false;
    }
    if (m_pListener) {
        const int runId = m_pListener->GetRunId();
        m_pListener.reset();
        std::weak_ptr<CInterAppMessagingManagerBase> weak = weak_from_this();
        tvc::runner::Post([weak, runId] {
            if (auto self = std::static_pointer_cast<CWebSocketsMessagingManager>(weak.lock()))
                self->HandleListenerExit(runId, true);
        });
    }
    SetManagerState(eIdle);
    return true;
}

// A text for a peer that is gone is dropped as one queued for it would be.
bool CWebSocketsMessagingManager::WriteToSendQueue(const std::string& text, int connection) {
    if (text.size() > kMaxSendTextLength) return false;
    switch (m_sendQueue->Push(text, connection)) {
        case CWebSocketSendQueue::eQueued:
            return true;
        case CWebSocketSendQueue::eOtherConnection:
            TVC_LOG_WARN("%s : discarding message from old connection : %s \n", TVC_FN,
                         CLogHelper::MessageExcerpt(text).c_str());
            return true;
        case CWebSocketSendQueue::eFull:
            break;
    }
    // Logged once per burst: a page sending into a peer that does not read would log each one.
    ++m_uiDropped;
    if (!m_bDropping) {
        m_bDropping = true;
        TVC_LOG_ERROR(
            "%s : the peer is not reading; the output queue holds %zu MiB : refusing "
            "messages until it has room",
            TVC_FN, CWebSocketSendQueue::kMaxQueuedBytes / (1024 * 1024));
        if (m_onSendQueueState) m_onSendQueueState(true);
    }
    return false;
}

void CWebSocketsMessagingManager::OnSendQueueRoom() {
    if (!m_bDropping) return;
    m_bDropping = false;
    TVC_LOG_WARN("%s : the output queue has room again; %u messages were refused", TVC_FN,
                 std::exchange(m_uiDropped, 0u));
    if (m_onSendQueueState) m_onSendQueueState(false);
}

void CWebSocketsMessagingManager::SetSendQueueStateHandler(std::function<void(bool)> onState) {
    m_onSendQueueState = std::move(onState);
}

bool CWebSocketsMessagingManager::Set_Trial_PortList(const std::vector<unsigned>& list) {
    for (size_t i = 0; i < list.size(); ++i) {
        TVC_LOG_WARN("port[%u]=%u", static_cast<unsigned>(i), list[i]);
    }
    m_trialPortList = list;
    return true;
}

bool CWebSocketsMessagingManager::GetActivePort(unsigned& port) {
    static const char* fn = TVC_FN;
    port = 0;
    const auto state = GetManagerState();
    if (state != eListening && state != eConnected) {
        TVC_LOG_WARN("%s : Not in listen or connect states.\n", fn);
        return false;
    }
    if (m_pListener) port = m_pListener->GetActivePort();
    TVC_LOG_INFO("%s -- : port=%u, retVal=%u", fn, port, 1u);
    return true;
}

void CWebSocketsMessagingManager::SetAllowedWebSiteOrigins(const std::vector<std::string>& sites) {
    m_webSiteOrigins.clear();
    for (const auto& site : sites)
        if (std::string origin = tvc::OriginOfUrl(site); !origin.empty())
            m_webSiteOrigins.push_back(origin);
    if (m_pListener) m_pListener->SetAllowedWebSiteOrigins(m_webSiteOrigins);
}

void CWebSocketsMessagingManager::HandleMessage(std::string text, int connection,
                                                CInboundBacklog::Hold hold) {
    const CPeerInputLogScope peerInput;  // what a peer's text makes us log is the peer's doing
    SInterAppMessage message = ParseInterAppMessage(std::move(text));
    message.connection = connection;
    message.backlogHold = std::move(hold);
    NotifyMessageArrival(message);
}

void CWebSocketsMessagingManager::HandleConnectionEstablished() {
    NotifyOnConnectionEstablished();
}

// A connection that went keeps its id: what is still sent for it is discarded, by the next one.
void CWebSocketsMessagingManager::HandleActiveConnectionChanged(bool bConnected, int connection) {
    if (bConnected) {
        m_iConnection = connection;
        ChangeManagerStateIf({eListening}, eConnected);
    } else {
        ChangeManagerStateIf({eConnected}, eListening);
    }
}

void CWebSocketsMessagingManager::SetListeningHandler(std::function<void()> onListening) {
    m_onListening = std::move(onListening);
}

void CWebSocketsMessagingManager::HandleListening(int iRunId) {
    // A run that Stop has already let go of is no news.
    if (m_pListener && m_pListener->GetRunId() == iRunId && m_onListening) m_onListening();
}

// A run that found no port is released here; one that Stop already released only has its end
// told.
void CWebSocketsMessagingManager::HandleListenerExit(int iRunId, bool bDidListenSuceed) {
    if (m_pListener && m_pListener->GetRunId() == iRunId) {
        m_pListener.reset();
        SetManagerState(eIdle);
    }
    NotifyListenerExit(bDidListenSuceed);
}
