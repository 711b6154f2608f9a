// The one file that talks to libwebsockets. Its GLib event library adds the context's sockets and
// timers to the default main context, so every callback here runs on the main thread.
#include "common/NativeMessaging/WebSocketListener.h"

#include <glib.h>
#include <libwebsockets.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/LogHelper.h"
#include "common/NativeMessaging/ClientFrameMasks.h"
#include "common/NativeMessaging/OriginPolicy.h"
#include "common/NativeMessaging/SocketOwner.h"
#include "common/NativeMessaging/WebSocketFraming.h"
#include "common/PeerErrorGate.h"
#include "common/TaskRunner.h"

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

struct SMainLoopDeleter {
    void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};
using MainLoopPtr = std::unique_ptr<GMainLoop, SMainLoopDeleter>;
}  // namespace

class CWebSocketListenerLoop {
  public:
    CWebSocketListenerLoop(SWebSocketListenerSettings settings,
                           std::shared_ptr<CWebSocketSendQueue> sendQueue,
                           std::shared_ptr<CInboundBacklog> backlog,
                           std::weak_ptr<ILibWebSocketsCallbacksHandler> sink)
        : m_settings(std::move(settings)),
          m_sendQueue(std::move(sendQueue)),
          m_backlog(std::move(backlog)),
          m_sink(std::move(sink)),
          m_sendBuffer(LWS_PRE + kWebSocketFrameSize) {}
    // Closes every connection and the port.
    ~CWebSocketListenerLoop();

    // Binds the first trial port it can; false when none.
    bool Listen();
    // The owner hears of nothing from then on, and nothing is written.
    void Mute() { m_bMuted = true; }
    bool IsInCallback() const { return m_iCallbackDepth > 0; }
    int GetRunId() const { return m_settings.iRunId; }
    unsigned GetActivePort() const { return m_context ? m_uiPort : 0; }
    void SetAllowedWebSiteOrigins(std::vector<std::string> origins) {
        m_settings.allowedWebSiteOrigins = std::move(origins);
    }
    void ResumeReadingIfBacklogDrained();
    void RequestWrite() {
        if (m_pActiveWsi && !m_bMuted) lws_callback_on_writable(m_pActiveWsi);
    }

    int OnCallback(lws* wsi, lws_callback_reasons reason, void* user, void* in, size_t len);

  private:
    // Runs `tell` on the owner, unless it is gone or the listener is closing.
    template <typename Tell>
    void TellSink(Tell&& tell) {
        if (m_bMuted) return;
        if (auto sink = m_sink.lock()) tell(*sink);
    }
    bool IsOwnAccountsPeer(int fd);
    bool OnFilterConnection(lws* wsi);
    void OnEstablished(lws* wsi);
    void OnClosed(lws* wsi);
    int OnReceive(lws* wsi, const char* in, size_t len);
    int OnWriteable(lws* wsi);
    int CloseWith(lws* wsi, lws_close_status status, const char* reason);
    bool UpdateActiveConnection(lws* wsi);
    bool HasPendingOutput() const { return m_send.IsSendInProgress() || !m_sendQueue->IsEmpty(); }
    int WriteFrame(lws* wsi, const SOutboundFrame& frame);
    void PauseReadingIfBacklogFull(lws* wsi);

    SWebSocketListenerSettings m_settings;
    const std::shared_ptr<CWebSocketSendQueue> m_sendQueue;
    const std::shared_ptr<CInboundBacklog> m_backlog;
    const std::weak_ptr<ILibWebSocketsCallbacksHandler> m_sink;
    // The library's handle on the default main context; it must outlive the context.
    MainLoopPtr m_mainLoop{g_main_loop_new(nullptr, FALSE)};
    ContextPtr m_context;  // only while listening
    unsigned m_uiPort = 0;
    int m_iCallbackDepth = 0;
    bool m_bMuted = false;
    lws* m_pActiveWsi = nullptr;
    int m_iActiveConnection = 0;     // the send queue's id of the active connection
    lws* m_pPausedWsi = nullptr;     // the connection not read from while the backlog is full
    std::set<long> m_refusedOwners;  // accounts refused so far (-1: owner unknown), logged once
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
    if (connection != m_iConnection) return eOtherConnection;
    if (m_bytes + text.size() > kMaxQueuedBytes) {
        m_bRefused = true;
        return eFull;
    }
    m_bytes += text.size();
    // Texts already waiting mean a write was asked for, and writing goes on until none is left.
    const bool bWasEmpty = m_texts.empty();
    m_texts.push_back(std::move(text));
    if (bWasEmpty && m_wake) m_wake();
    return eQueued;
}

int CWebSocketSendQueue::BeginConnection() {
    return m_iConnection = ++m_iLastConnection;
}

bool CWebSocketSendQueue::Pop(std::string& text, bool& bMore) {
    if (m_texts.empty()) return bMore = false;
    text = std::move(m_texts.front());
    m_texts.pop_front();
    m_bytes -= text.size();
    bMore = !m_texts.empty();
    if (m_bRefused && m_bytes <= kMaxQueuedBytes / 2) {
        m_bRefused = false;
        if (m_onRoom) m_onRoom();
    }
    return true;
}

void CWebSocketSendQueue::SetRoomHandler(std::function<void()> onRoom) {
    m_onRoom = std::move(onRoom);
}

void CWebSocketSendQueue::SetWaker(std::function<void()> wake) {
    m_wake = std::move(wake);
}

// ---- CWebSocketListener

CWebSocketListener::CWebSocketListener(SWebSocketListenerSettings settings,
                                       std::shared_ptr<CWebSocketSendQueue> sendQueue,
                                       std::shared_ptr<CInboundBacklog> backlog,
                                       std::weak_ptr<ILibWebSocketsCallbacksHandler> sink)
    : m_loop(std::make_shared<CWebSocketListenerLoop>(std::move(settings), std::move(sendQueue),
                                                      std::move(backlog), sink)) {
    // Told on a later turn, so that the owner has finished starting the listener.
    const int runId = m_loop->GetRunId();
    const bool bListening = m_loop->Listen();
    tvc::runner::Post([sink, runId, bListening] {
        auto target = sink.lock();
        if (!target) return;
        if (bListening)
            target->HandleListening(runId);
        else
            target->HandleListenerExit(runId, false);
    });
}

// The library may not destroy its context from inside one of its callbacks: an owner that lets
// go of the listener there (an observer stopping the messaging) leaves it to a later turn.
CWebSocketListener::~CWebSocketListener() {
    if (!m_loop->IsInCallback()) return;
    m_loop->Mute();
    tvc::runner::Post([loop = m_loop] {});
}

int CWebSocketListener::GetRunId() const {
    return m_loop->GetRunId();
}

unsigned CWebSocketListener::GetActivePort() const {
    return m_loop->GetActivePort();
}

void CWebSocketListener::SetAllowedWebSiteOrigins(std::vector<std::string> origins) {
    m_loop->SetAllowedWebSiteOrigins(std::move(origins));
}

void CWebSocketListener::ResumeReadingIfBacklogDrained() {
    m_loop->ResumeReadingIfBacklogDrained();
}

void CWebSocketListener::RequestWrite() {
    m_loop->RequestWrite();
}

// ---- CWebSocketListenerLoop

// One context on the main loop, and a server tried on each port in turn: a context that fails
// to create leaves its idle source behind on the main loop (this library version), which would
// then call into freed memory.
bool CWebSocketListenerLoop::Listen() {
    static const char* fn = "websocket_core_task";
    lws_set_log_level(LLL_ERR | LLL_WARN | LLL_NOTICE, EmitLibraryLog);
    void* foreignLoops[] = {m_mainLoop.get()};
    lws_context_creation_info info;
    std::memset(&info, 0, sizeof(info));
    info.port = CONTEXT_PORT_NO_LISTEN;
    info.gid = -1;
    info.uid = -1;
    info.options =
        LWS_SERVER_OPTION_EXPLICIT_VHOSTS | LWS_SERVER_OPTION_DISABLE_IPV6 | LWS_SERVER_OPTION_GLIB;
    info.foreign_loops = foreignLoops;
    info.user = this;
    m_context.reset(lws_create_context(&info));
    if (!m_context) TVC_LOG_ERROR("%s : the WebSocket context could not be created", fn);
    bool bListening = false;
    for (unsigned port : m_context ? m_settings.trialPorts : std::vector<unsigned>{}) {
        if (port == 0 || port > 65535) {
            TVC_LOG_WARN("%s : skipping invalid trial port %u", fn, port);
            continue;
        }
        std::memset(&info, 0, sizeof(info));
        info.port = static_cast<int>(port);
        info.iface = "127.0.0.1";
        info.protocols = kProtocols;
        // Without DISABLE_IPV6 this version listens on every interface despite iface.
        info.options = LWS_SERVER_OPTION_DISABLE_IPV6 | LWS_SERVER_OPTION_FAIL_UPON_UNABLE_TO_BIND;
        m_uiPort = port;
        if ((bListening = lws_create_vhost(m_context.get(), &info) != nullptr)) break;
        TVC_LOG_WARN("%s : could not listen on port %u", fn, port);
    }
    if (!bListening) {
        m_context.reset();
        lwsl_err("%s", kNoPortError);
        TVC_LOG_ERROR("%s", kNoPortError);
        return false;
    }
    TVC_LOG_WARN("%s : listening on 127.0.0.1:%u", fn, m_uiPort);
    return true;
}

CWebSocketListenerLoop::~CWebSocketListenerLoop() {
    m_bMuted = true;
    if (!m_context) return;
    TVC_LOG_WARN("%s : closing the listener on port %u", kClassName, m_uiPort);
    m_context.reset();  // closes every connection; their CLOSED callbacks still find this object
}

int CWebSocketListenerLoop::OnCallback(lws* wsi, lws_callback_reasons reason, void* user, void* in,
                                       size_t len) {
    struct SDepth {
        int& depth;
        explicit SDepth(int& d) : depth(++d) {}
        ~SDepth() { --depth; }
    } depth(m_iCallbackDepth);
    if (m_bMuted) {
        // Released by its owner during an event: the context goes on a later turn.
        switch (reason) {
            case LWS_CALLBACK_FILTER_NETWORK_CONNECTION:
            case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION:
                return 1;
            case LWS_CALLBACK_RECEIVE:
            case LWS_CALLBACK_SERVER_WRITEABLE:
                return CloseWith(wsi, LWS_CLOSE_STATUS_GOINGAWAY, "the listener is stopping");
            default:
                return lws_callback_http_dummy(wsi, reason, user, in, len);
        }
    }
    switch (reason) {
        case LWS_CALLBACK_FILTER_NETWORK_CONNECTION: {
            // Right after the accept, before a byte is read: `in` carries the new socket.
            const int fd = static_cast<int>(reinterpret_cast<lws_intptr_t>(in));
            if (!IsOwnAccountsPeer(fd)) return 1;
            tvc::client_frames::Watch(fd);
            return 0;
        }
        case LWS_CALLBACK_CLOSED_HTTP:
            tvc::client_frames::Forget(lws_get_socket_fd(wsi));
            return lws_callback_http_dummy(wsi, reason, user, in, len);
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
        default:
            return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}

// Every local account reaches 127.0.0.1: only the processes of the account the program runs as
// may talk to the page.
bool CWebSocketListenerLoop::IsOwnAccountsPeer(int fd) {
    const std::optional<uid_t> owner = tvc::LoopbackPeerOwner(fd);
    if (owner && *owner == geteuid()) return true;
    const long shown = owner ? static_cast<long>(*owner) : -1;
    if (m_refusedOwners.insert(shown).second) {
        if (owner)
            TVC_LOG_WARN("%s : refusing connections of account %ld: not this program's account",
                         kClassName, shown);
        else
            TVC_LOG_ERROR("%s : refusing a connection whose owning account is unknown", kClassName);
    }
    return false;
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
                        : IsWebSocketOriginAllowed(origin, m_settings.allowedWebSiteOrigins));
    if (bOriginAllowed && IsWebSocketHostAllowed(host, m_uiPort)) return true;
    TVC_LOG_WARN("%s : refusing handshake : Origin=%s%s, Host=%s", kClassName, origin.c_str(),
                 bOneOrigin ? "" : " (more than one Origin header)", host.c_str());
    return false;
}

void CWebSocketListenerLoop::OnEstablished(lws* wsi) {
    static const char* fn = TVC_FN;
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
        for (std::string text; m_sendQueue->Pop(text, bMore);) {
            TVC_LOG_WARN("%s : discarding message from old connection : %s \n", fn,
                         CLogHelper::MessageExcerpt(text).c_str());
        }
    }
    TellSink([](ILibWebSocketsCallbacksHandler& sink) { sink.HandleConnectionEstablished(); });
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
    m_iActiveConnection = m_sendQueue->BeginConnection();
    m_receive.Reset();
    m_send.Reset();
    TellSink([connection = m_iActiveConnection](ILibWebSocketsCallbacksHandler& sink) {
        sink.HandleActiveConnectionChanged(true, connection);
    });
    TVC_LOG_WARN("%s : WebSocket Socket Context Updated.", fn);
    return true;
}

void CWebSocketListenerLoop::OnClosed(lws* wsi) {
    tvc::client_frames::Forget(lws_get_socket_fd(wsi));
    TVC_LOG_WARN("%s : LWS_CALLBACK_CLOSED : wsi=%p%s", kClassName, static_cast<void*>(wsi),
                 wsi == m_pActiveWsi ? " (active)" : "");
    if (wsi == m_pPausedWsi) m_pPausedWsi = nullptr;
    if (wsi != m_pActiveWsi) return;
    m_pActiveWsi = nullptr;
    m_receive.Reset();
    m_send.Reset();
    TellSink([connection = m_iActiveConnection](ILibWebSocketsCallbacksHandler& sink) {
        sink.HandleActiveConnectionChanged(false, connection);
    });
}

int CWebSocketListenerLoop::CloseWith(lws* wsi, lws_close_status status, const char* reason) {
    lws_close_reason(wsi, status, reinterpret_cast<unsigned char*>(const_cast<char*>(reason)),
                     std::strlen(reason));
    return -1;
}

int CWebSocketListenerLoop::OnReceive(lws* wsi, const char* in, size_t len) {
    static const char* fn = TVC_FN;
    // The library takes a frame without a client's mask as any other: nothing of it is delivered.
    if (!tvc::client_frames::TakePayload(lws_get_socket_fd(wsi), len)) {
        TVC_LOG_ERROR("%s : unmasked client frame : closing the connection : wsi=%p", fn,
                      static_cast<void*>(wsi));
        if (wsi == m_pActiveWsi) m_receive.Reset();
        return CloseWith(wsi, LWS_CLOSE_STATUS_PROTOCOL_ERR, "unmasked frame");
    }
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
            CInboundBacklog::Hold hold = m_backlog->Add(message.size());
            TellSink([text = std::move(message), connection = m_iActiveConnection,
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
    if (wsi == m_pPausedWsi || !m_backlog->PauseIfFull()) return;
    // What the library has read already is kept and handed over once reading resumes.
    lws_rx_flow_control(wsi, 0);
    m_pPausedWsi = wsi;
    TVC_LOG_INFO("%s : %zu bytes wait for the page : reading paused", kClassName,
                 m_backlog->GetBytes());
}

void CWebSocketListenerLoop::ResumeReadingIfBacklogDrained() {
    if (!m_pPausedWsi || m_backlog->IsPaused()) return;
    lws_rx_flow_control(m_pPausedWsi, 1);
    m_pPausedWsi = nullptr;
    TVC_LOG_INFO("%s : %zu bytes wait for the page : reading resumed", kClassName,
                 m_backlog->GetBytes());
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
        bMore = m_send.IsSendInProgress() || !m_sendQueue->IsEmpty();
    } else if (m_sendQueue->Pop(text, bMore)) {
        if (WriteFrame(wsi, m_send.Begin(std::move(text))) < 0) return -1;
        bMore = bMore || m_send.IsSendInProgress();
    }
    if (bMore) lws_callback_on_writable(wsi);
    return 0;
}

int CWebSocketListenerLoop::WriteFrame(lws* wsi, const SOutboundFrame& frame) {
    static const char* fn = TVC_FN;
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
