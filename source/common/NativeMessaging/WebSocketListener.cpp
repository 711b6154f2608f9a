// The one file that talks to libwebsockets. The loop runs on the listener's I/O thread; the send
// queue and the listener's stop and origin are shared with the main thread.
#include "common/NativeMessaging/WebSocketListener.h"

#include <libwebsockets.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/LogHelper.h"
#include "common/NativeMessaging/OriginPolicy.h"
#include "common/NativeMessaging/WebSocketFraming.h"
#include "common/PeerErrorGate.h"

namespace {
const char kClassName[] = "CWebSocketsMessagingManager";
const char kProtocolName[] = "tvb-websocket-message";
const char kNoPortError[] = "ERROR! Couldnt listen to any of the web-socket ports.!!\n";

int ListenerCallback(lws* wsi, lws_callback_reasons reason, void* user, void* in, size_t len);

const lws_protocols kProtocols[] = {
    {kProtocolName, ListenerCallback, 4, kWebSocketFrameSize, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

// The library's own lines go to our log; set before any context exists.
void EmitLibraryLog(int level, const char* line) {
    std::string text(line ? line : "");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (level & LLL_ERR)
        TVC_LOG_ERROR("libwebsockets : %s", text.c_str());
    else if (level & LLL_WARN)
        TVC_LOG_WARN("libwebsockets : %s", text.c_str());
    else
        TVC_LOG_INFO("libwebsockets : %s", text.c_str());
}

// "" when the header is absent or longer than the buffer.
std::string ReadHeader(lws* wsi, lws_token_indexes token, size_t bufferSize = 256) {
    const int length = lws_hdr_total_length(wsi, token);
    if (length <= 0) return {};
    std::vector<char> buffer(bufferSize, '\0');
    const int copied = lws_hdr_copy(wsi, buffer.data(), static_cast<int>(buffer.size()), token);
    return copied > 0 ? std::string(buffer.data(), static_cast<size_t>(copied)) : std::string();
}

struct SContextDeleter {
    void operator()(lws_context* context) const { lws_context_destroy(context); }
};
using ContextPtr = std::unique_ptr<lws_context, SContextDeleter>;
}  // namespace

class CWebSocketListenerLoop {
  public:
    explicit CWebSocketListenerLoop(CWebSocketListener& listener)
        : m_listener(listener),
          m_queue(*listener.m_sendQueue),
          m_backlog(*listener.m_backlog),
          m_sendBuffer(LWS_PRE + kWebSocketFrameSize) {}

    int Run();
    int OnCallback(lws* wsi, lws_callback_reasons reason, void* user, void* in, size_t len);

  private:
    bool OnFilterConnection(lws* wsi);
    void OnEstablished(lws* wsi);
    void OnClosed(lws* wsi);
    int OnReceive(lws* wsi, const char* in, size_t len);
    int OnWriteable(lws* wsi);
    int CloseWith(lws* wsi, lws_close_status status, const char* reason);
    bool UpdateActiveConnection(lws* wsi);
    bool HasPendingOutput() { return m_send.IsSendInProgress() || !m_queue.IsEmpty(); }
    int WriteFrame(lws* wsi, const SOutboundFrame& frame);
    void PauseReadingIfBacklogFull(lws* wsi);
    void ResumeReadingIfBacklogDrained();

    CWebSocketListener& m_listener;
    CWebSocketSendQueue& m_queue;
    CInboundBacklog& m_backlog;
    lws_context* m_pContext = nullptr;
    unsigned m_uiPort = 0;
    lws* m_pActiveWsi = nullptr;
    int m_iActiveConnection = 0;  // the send queue's id of the active connection
    lws* m_pPausedWsi = nullptr;  // the connection not read from while the backlog is full
    CInboundReassembler m_receive;
    COutboundFragmenter m_send;
    std::vector<unsigned char> m_sendBuffer;
};

namespace {
int ListenerCallback(lws* wsi, lws_callback_reasons reason, void* user, void* in, size_t len) {
    const CPeerInputLogScope peerInput;  // every event here is a peer's doing
    lws_context* context = wsi ? lws_get_context(wsi) : nullptr;
    auto* loop =
        context ? static_cast<CWebSocketListenerLoop*>(lws_context_user(context)) : nullptr;
    if (!loop) return lws_callback_http_dummy(wsi, reason, user, in, len);
    return loop->OnCallback(wsi, reason, user, in, len);
}
}  // namespace

// ---- CWebSocketSendQueue

CWebSocketSendQueue::t_enumPushResult CWebSocketSendQueue::Push(std::string text, int connection) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (connection != m_iConnection) return eOtherConnection;
    if (m_bytes + text.size() > kMaxQueuedBytes) {
        m_bRefused = true;
        return eFull;
    }
    m_bytes += text.size();
    // Texts already waiting mean the I/O thread was woken for them and writes until none is left.
    const bool bWasEmpty = m_texts.empty();
    m_texts.push_back(std::move(text));
    if (bWasEmpty && m_wake) m_wake();
    return eQueued;
}

int CWebSocketSendQueue::BeginConnection() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_iConnection = ++m_iLastConnection;
}

bool CWebSocketSendQueue::Pop(std::string& text, bool& bMore) {
    std::function<void()> onRoom;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_texts.empty()) return bMore = false;
        text = std::move(m_texts.front());
        m_texts.pop_front();
        m_bytes -= text.size();
        bMore = !m_texts.empty();
        if (m_bRefused && m_bytes <= kMaxQueuedBytes / 2) {
            m_bRefused = false;
            onRoom = m_onRoom;
        }
    }
    if (onRoom) onRoom();
    return true;
}

void CWebSocketSendQueue::SetRoomHandler(std::function<void()> onRoom) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_onRoom = std::move(onRoom);
}

bool CWebSocketSendQueue::IsEmpty() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts.empty();
}

void CWebSocketSendQueue::Wake() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_wake) m_wake();
}

void CWebSocketSendQueue::SetWaker(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_wake = std::move(wake);
}

// ---- CWebSocketListener

CWebSocketListener::CWebSocketListener(SWebSocketListenerSettings settings,
                                       std::shared_ptr<CWebSocketSendQueue> sendQueue,
                                       std::shared_ptr<CInboundBacklog> backlog,
                                       std::weak_ptr<ILibWebSocketsCallbacksHandler> sink,
                                       tvc::MainThreadPoster postToMainThread)
    : m_settings(std::move(settings)),
      m_sendQueue(std::move(sendQueue)),
      m_backlog(std::move(backlog)),
      m_sink(std::move(sink)),
      m_postToMainThread(std::move(postToMainThread)),
      m_allowedWebSiteOrigins(
          std::make_shared<const std::vector<std::string>>(m_settings.allowedWebSiteOrigins)),
      m_endedFuture(m_ended.get_future().share()),
      m_thread([this] { ThreadEntry(); }) {}

CWebSocketListener::~CWebSocketListener() {
    RequestStop();
    m_thread.join();
}

void CWebSocketListener::RequestStop() {
    m_bStopRequested = true;
    m_sendQueue->Wake();
}

bool CWebSocketListener::WaitForEnd(std::chrono::milliseconds timeout) {
    return m_endedFuture.wait_for(timeout) == std::future_status::ready;
}

void CWebSocketListener::SetAllowedWebSiteOrigins(std::vector<std::string> origins) {
    m_allowedWebSiteOrigins.store(
        std::make_shared<const std::vector<std::string>>(std::move(origins)));
}

std::vector<std::string> CWebSocketListener::GetAllowedWebSiteOrigins() {
    std::vector<std::string> origins = *m_allowedWebSiteOrigins.load();
    if (m_settings.moreWebSiteOrigins)
        for (auto& origin : m_settings.moreWebSiteOrigins()) origins.push_back(std::move(origin));
    return origins;
}

// I/O thread. A drain is posted only when none is pending: one already posted takes this work too.
void CWebSocketListener::PostToSink(SinkWork work) {
    {
        std::lock_guard<std::mutex> lock(m_inbox->lock);
        m_inbox->work.push_back(std::move(work));
        if (m_inbox->bDrainPosted) return;
        m_inbox->bDrainPosted = true;
    }
    m_postToMainThread(
        [inbox = m_inbox, sink = m_sink, post = m_postToMainThread] { Drain(inbox, sink, post); });
}

// The sink is held weakly: a manager released meanwhile makes the rest of the batch a no-op. A
// batch is bounded so that a flood does not keep the main loop from drawing or from WebKit.
void CWebSocketListener::Drain(const std::shared_ptr<SInbox>& inbox,
                               const std::weak_ptr<ILibWebSocketsCallbacksHandler>& sink,
                               const tvc::MainThreadPoster& post) {
    constexpr size_t kMaxBatch = 256;
    std::vector<SinkWork> batch;
    bool bMore = false;
    {
        std::lock_guard<std::mutex> lock(inbox->lock);
        const size_t count = std::min(inbox->work.size(), kMaxBatch);
        batch.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            batch.push_back(std::move(inbox->work.front()));
            inbox->work.pop_front();
        }
        bMore = !inbox->work.empty();
        inbox->bDrainPosted = bMore;
    }
    // Posted before this batch runs, so that work after it keeps its place behind it.
    if (bMore) post([inbox, sink, post] { Drain(inbox, sink, post); });
    for (auto& work : batch) {
        if (auto target = sink.lock()) work(*target);
    }
}

void CWebSocketListener::ThreadEntry() {
    TVC_LOG_WARN("CInterAppMessagingManagerBase:ThreadEntry ++ \n");
    const int result = CWebSocketListenerLoop(*this).Run();
    PostToSink([runId = m_settings.iRunId, ok = result == 0](ILibWebSocketsCallbacksHandler& sink) {
        sink.HandleListenerExit(runId, ok);
    });
    TVC_LOG_WARN("CInterAppMessagingManagerBase:ThreadEntry -- \n");
    m_ended.set_value();
}

// ---- CWebSocketListenerLoop: I/O thread

int CWebSocketListenerLoop::Run() {
    static const char* fn = "websocket_core_task";
    lws_set_log_level(LLL_ERR | LLL_WARN | LLL_NOTICE, EmitLibraryLog);
    m_pActiveWsi = nullptr;

    ContextPtr context;
    for (unsigned port : m_listener.m_settings.trialPorts) {
        if (m_listener.IsStopRequested()) return 0;
        if (port == 0 || port > 65535) {
            TVC_LOG_WARN("%s : skipping invalid trial port %u", fn, port);
            continue;
        }
        lws_context_creation_info info;
        std::memset(&info, 0, sizeof(info));
        info.port = static_cast<int>(port);
        info.iface = "127.0.0.1";
        info.protocols = kProtocols;
        info.gid = -1;
        info.uid = -1;
        // Without DISABLE_IPV6 this version listens on every interface despite iface.
        info.options = LWS_SERVER_OPTION_DISABLE_IPV6 | LWS_SERVER_OPTION_FAIL_UPON_UNABLE_TO_BIND;
        info.user = this;
        m_uiPort = port;
        context.reset(lws_create_context(&info));
        if (context) break;
        TVC_LOG_WARN("%s : could not listen on port %u", fn, port);
    }
    if (!context) {
        lwsl_err("%s", kNoPortError);
        TVC_LOG_ERROR("%s", kNoPortError);
        return -1;
    }
    m_pContext = context.get();
    m_listener.m_uiActivePort = m_uiPort;
    TVC_LOG_WARN("%s : listening on 127.0.0.1:%u", fn, m_uiPort);
    m_listener.PostToSink(
        [runId = m_listener.m_settings.iRunId](ILibWebSocketsCallbacksHandler& sink) {
            sink.HandleListening(runId);
        });

    // Set before the stop check: a stop either finds the waker, or was requested before the check.
    m_queue.SetWaker([pContext = m_pContext] { lws_cancel_service(pContext); });
    int result = 0;
    while (true) {
        if (m_listener.IsStopRequested()) {
            TVC_LOG_WARN("%s : eThreadTerminationPending state detected - breaking listen.\n", fn);
            break;
        }
        // The timeout is ignored by this library version: it sleeps until an event or a wake.
        result = lws_service(m_pContext, 0);
        if (result < 0) break;
    }
    m_queue.SetWaker(nullptr);  // no wake-up may reach the context once it is gone
    context.reset();  // closes every connection; their CLOSED callbacks still find this object
    m_pContext = nullptr;
    m_listener.m_uiActivePort = 0;
    return result < 0 ? -1 : 0;
}

int CWebSocketListenerLoop::OnCallback(lws* wsi, lws_callback_reasons reason, void* user, void* in,
                                       size_t len) {
    switch (reason) {
        case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION:
            return OnFilterConnection(wsi) ? 0 : 1;
        case LWS_CALLBACK_ESTABLISHED:
            OnEstablished(wsi);
            return 0;
        case LWS_CALLBACK_CLOSED:
            OnClosed(wsi);
            return 0;
        case LWS_CALLBACK_RECEIVE:
            return OnReceive(wsi, static_cast<const char*>(in), len);
        case LWS_CALLBACK_SERVER_WRITEABLE:
            return OnWriteable(wsi);
        case LWS_CALLBACK_EVENT_WAIT_CANCELLED:
            // Woken by Send, Stop or a drained backlog from another thread: only this thread may
            // ask for writeable or read again.
            if (m_pActiveWsi && HasPendingOutput()) lws_callback_on_writable(m_pActiveWsi);
            ResumeReadingIfBacklogDrained();
            return 0;
        default:
            return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}

bool CWebSocketListenerLoop::OnFilterConnection(lws* wsi) {
    const std::string origin = ReadHeader(wsi, WSI_TOKEN_ORIGIN, 1024);
    const std::string host = ReadHeader(wsi, WSI_TOKEN_HOST, 1024);
    // Two Origin headers are read as one joined value: whichever the browser meant, refuse.
    const bool bOneOrigin = lws_hdr_fragment_length(wsi, WSI_TOKEN_ORIGIN, 1) <= 0 &&
                            origin.find(',') == std::string::npos;
    const bool bOriginAllowed =
        bOneOrigin &&
        (origin.empty() ? lws_hdr_total_length(wsi, WSI_TOKEN_ORIGIN) <= 0
                        : IsWebSocketOriginAllowed(origin, m_listener.GetAllowedWebSiteOrigins()));
    if (bOriginAllowed && IsWebSocketHostAllowed(host, m_uiPort)) return true;
    TVC_LOG_WARN("%s : refusing handshake : Origin=%s%s, Host=%s", kClassName, origin.c_str(),
                 bOneOrigin ? "" : " (more than one Origin header)", host.c_str());
    return false;
}

void CWebSocketListenerLoop::OnEstablished(lws* wsi) {
    static const char* fn = "CWebSocketsMessagingManager::LWS_CALLBACK_ESTABLISHED";
    for (int token = 0; token < WSI_TOKEN_COUNT; ++token) {
        const auto index = static_cast<lws_token_indexes>(token);
        if (lws_hdr_total_length(wsi, index) == 0) continue;
        const auto* name = reinterpret_cast<const char*>(lws_token_to_string(index));
        // Credentials never reach the log.
        if (index == WSI_TOKEN_HTTP_COOKIE || index == WSI_TOKEN_HTTP_AUTHORIZATION ||
            index == WSI_TOKEN_HTTP_SET_COOKIE || index == WSI_TOKEN_HTTP_PROXY_AUTHORIZATION) {
            TVC_LOG_INFO("%s = (%d bytes, not shown)\n", name ? name : "?",
                         lws_hdr_total_length(wsi, index));
            continue;
        }
        TVC_LOG_INFO("%s = %s\n", name ? name : "?",
                     CLogHelper::MessageExcerpt(ReadHeader(wsi, index), 256).c_str());
    }
    if (UpdateActiveConnection(wsi)) {
        // Texts queued for an earlier connection (or none) are not this peer's.
        bool bMore = false;
        for (std::string text; m_queue.Pop(text, bMore);) {
            TVC_LOG_WARN("%s : discarding message from old connection : %s \n", fn,
                         CLogHelper::MessageExcerpt(text).c_str());
        }
    }
    m_listener.PostToSink(
        [](ILibWebSocketsCallbacksHandler& sink) { sink.HandleConnectionEstablished(); });
    // A connection that is not active is closed at this event; the active one waits for output.
    if (wsi != m_pActiveWsi || HasPendingOutput()) lws_callback_on_writable(wsi);
}

// A connection qualifies when its request URI contains "browser". It then replaces the active
// one, which is closed at its next event, and starts with clean fragment states.
bool CWebSocketListenerLoop::UpdateActiveConnection(lws* wsi) {
    static const char* fn = "CWebSocketsMessagingManager::update_websocket_instance";
    if (lws_hdr_total_length(wsi, WSI_TOKEN_GET_URI) == 0) {
        TVC_LOG_ERROR("%s : lws_hdr_total_length() returned 0.", fn);
        return false;
    }
    const std::string uri = ReadHeader(wsi, WSI_TOKEN_GET_URI);
    if (uri.empty()) {
        TVC_LOG_ERROR("%s : szGetHeaderVal is empty!!", fn);
        return false;
    }
    if (uri.find("browser") == std::string::npos) {
        TVC_LOG_ERROR("%s : Unknown connection tocken!", fn);
        return false;
    }
    if (m_pActiveWsi && m_pActiveWsi != wsi) lws_callback_on_writable(m_pActiveWsi);
    m_pActiveWsi = wsi;
    m_iActiveConnection = m_queue.BeginConnection();
    m_receive.Reset();
    m_send.Reset();
    m_listener.PostToSink([connection = m_iActiveConnection](ILibWebSocketsCallbacksHandler& sink) {
        sink.HandleActiveConnectionChanged(true, connection);
    });
    TVC_LOG_WARN("%s : WebSocket Socket Context Updated.", fn);
    return true;
}

void CWebSocketListenerLoop::OnClosed(lws* wsi) {
    TVC_LOG_WARN("%s : LWS_CALLBACK_CLOSED : wsi=%p%s", kClassName, static_cast<void*>(wsi),
                 wsi == m_pActiveWsi ? " (active)" : "");
    if (wsi == m_pPausedWsi) m_pPausedWsi = nullptr;
    if (wsi != m_pActiveWsi) return;
    m_pActiveWsi = nullptr;
    m_receive.Reset();
    m_send.Reset();
    m_listener.PostToSink([connection = m_iActiveConnection](ILibWebSocketsCallbacksHandler& sink) {
        sink.HandleActiveConnectionChanged(false, connection);
    });
}

int CWebSocketListenerLoop::CloseWith(lws* wsi, lws_close_status status, const char* reason) {
    lws_close_reason(wsi, status, reinterpret_cast<unsigned char*>(const_cast<char*>(reason)),
                     std::strlen(reason));
    return -1;
}

int CWebSocketListenerLoop::OnReceive(lws* wsi, const char* in, size_t len) {
    static const char* fn = "CWebSocketsMessagingManager::HandlleWSMessageReception";
    if (wsi != m_pActiveWsi) {
        TVC_LOG_WARN("%s : closing the existing socket : wsi=%p", kClassName,
                     static_cast<void*>(wsi));
        return CloseWith(wsi, LWS_CLOSE_STATUS_POLICY_VIOLATION, "not the active connection");
    }
    if (lws_frame_is_binary(wsi)) {
        TVC_LOG_ERROR("%s : binary frame refused : wsi=%p", fn, static_cast<void*>(wsi));
        m_receive.Reset();
        return CloseWith(wsi, LWS_CLOSE_STATUS_UNACCEPTABLE_OPCODE,
                         "binary frames are not accepted");
    }
    if (!in && len) {
        TVC_LOG_ERROR("%s : invalid input : wsi=%p, inputBuffer=%p", fn, static_cast<void*>(wsi),
                      nullptr);
        return 0;
    }
    // Once per message, at its first piece: a message sent in 1-byte fragments would otherwise
    // write a line per byte.
    if (!m_receive.IsReceiveInProgress()) {
        TVC_LOG_INFO(
            "%s : LWS_CALLBACK_RECEIVE : %s\n", kClassName,
            CLogHelper::MessageExcerpt(std::string(in ? in : "", in ? len : 0), 128).c_str());
        TVC_LOG_INFO("%s : Fragment Count = %u", fn,
                     static_cast<unsigned>(lws_remaining_packet_payload(wsi)));
    }
    std::string message;
    switch (m_receive.Append(in, len, lws_is_final_fragment(wsi) != 0, message,
                             lws_remaining_packet_payload(wsi))) {
        case CInboundReassembler::eTooBig:
            TVC_LOG_ERROR("%s : message over %u bytes : closing the connection", fn,
                          static_cast<unsigned>(kMaxInboundMessageSize));
            return CloseWith(wsi, LWS_CLOSE_STATUS_MESSAGE_TOO_LARGE, "message too big");
        case CInboundReassembler::eComplete: {
            // Checked here rather than by the library, which would close without a word in our log.
            if (!IsValidUtf8(message)) {
                TVC_LOG_ERROR("%s : message is not valid UTF-8 : closing the connection", fn);
                return CloseWith(wsi, LWS_CLOSE_STATUS_INVALID_PAYLOAD, "invalid UTF-8");
            }
            CInboundBacklog::Hold hold = m_backlog.Add(message.size());
            m_listener.PostToSink(
                [text = std::move(message), connection = m_iActiveConnection,
                 hold = std::move(hold)](ILibWebSocketsCallbacksHandler& sink) mutable {
                    sink.HandleMessage(std::move(text), connection, std::move(hold));
                });
            PauseReadingIfBacklogFull(wsi);
            break;
        }
        case CInboundReassembler::eIncomplete:
            break;
    }
    return 0;
}

void CWebSocketListenerLoop::PauseReadingIfBacklogFull(lws* wsi) {
    if (wsi == m_pPausedWsi || !m_backlog.PauseIfFull()) return;
    // What the library has read already is kept and handed over once reading resumes.
    lws_rx_flow_control(wsi, 0);
    m_pPausedWsi = wsi;
    TVC_LOG_INFO("%s : %zu bytes wait for the page : reading paused", kClassName,
                 m_backlog.GetBytes());
}

void CWebSocketListenerLoop::ResumeReadingIfBacklogDrained() {
    if (!m_pPausedWsi || m_backlog.IsPaused()) return;
    lws_rx_flow_control(m_pPausedWsi, 1);
    m_pPausedWsi = nullptr;
    TVC_LOG_INFO("%s : %zu bytes wait for the page : reading resumed", kClassName,
                 m_backlog.GetBytes());
}

// One frame per writeable event; the next event is asked for only while output is pending.
int CWebSocketListenerLoop::OnWriteable(lws* wsi) {
    if (wsi != m_pActiveWsi) {
        TVC_LOG_WARN("%s : closing the existing socket : wsi=%p", kClassName,
                     static_cast<void*>(wsi));
        return CloseWith(wsi, LWS_CLOSE_STATUS_POLICY_VIOLATION, "not the active connection");
    }
    std::string text;
    bool bMore = false;
    if (m_send.IsSendInProgress()) {
        if (WriteFrame(wsi, m_send.Next()) < 0) return -1;
        bMore = m_send.IsSendInProgress() || !m_queue.IsEmpty();
    } else if (m_queue.Pop(text, bMore)) {
        if (WriteFrame(wsi, m_send.Begin(std::move(text))) < 0) return -1;
        bMore = bMore || m_send.IsSendInProgress();
    }
    if (bMore) lws_callback_on_writable(wsi);
    return 0;
}

int CWebSocketListenerLoop::WriteFrame(lws* wsi, const SOutboundFrame& frame) {
    static const char* fn = "CWebSocketsMessagingManager::HandleWSMessageSend";
    unsigned char* payload = m_sendBuffer.data() + LWS_PRE;
    std::memcpy(payload, frame.strPayload.data(), frame.strPayload.size());
    int mode = frame.bContinuation ? LWS_WRITE_CONTINUATION : LWS_WRITE_TEXT;
    if (!frame.bFinal) mode |= LWS_WRITE_NO_FIN;
    const int written =
        lws_write(wsi, payload, frame.strPayload.size(), static_cast<lws_write_protocol>(mode));
    if (written < 0) {
        TVC_LOG_ERROR("%s : lws_write failed : wsi=%p", fn, static_cast<void*>(wsi));
        return -1;
    }
    if (static_cast<size_t>(written) != frame.strPayload.size()) {
        TVC_LOG_ERROR("%s : partial write : %d of %u bytes", fn, written,
                      static_cast<unsigned>(frame.strPayload.size()));
    }
    return 0;
}
