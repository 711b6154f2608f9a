#include "BareEchoServer.h"

#include <libwebsockets.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {
// Per connection: the message being gathered and those waiting to go back (a client that does not
// wait for each echo has several). Each server runs on its own thread, so the map is that thread's.
struct SSession {
    std::string strIn;
    std::deque<std::string> replies;
};
thread_local std::unordered_map<lws*, SSession> t_sessions;

int EchoCallback(lws* wsi, lws_callback_reasons reason, void* user, void* in, size_t len) {
    switch (reason) {
        case LWS_CALLBACK_ESTABLISHED:
            t_sessions[wsi] = SSession{};
            return 0;
        case LWS_CALLBACK_CLOSED:
            t_sessions.erase(wsi);
            return 0;
        case LWS_CALLBACK_RECEIVE: {
            SSession& session = t_sessions[wsi];
            session.strIn.append(static_cast<const char*>(in), len);
            if (lws_is_final_fragment(wsi)) {
                session.replies.push_back(std::move(session.strIn));
                session.strIn.clear();
                lws_callback_on_writable(wsi);
            }
            return 0;
        }
        case LWS_CALLBACK_SERVER_WRITEABLE: {
            SSession& session = t_sessions[wsi];
            // The library also calls here when a partly sent frame has drained.
            if (session.replies.empty()) return 0;
            const std::string reply = std::move(session.replies.front());
            session.replies.pop_front();
            std::vector<unsigned char> buffer(LWS_PRE + reply.size());
            std::memcpy(buffer.data() + LWS_PRE, reply.data(), reply.size());
            const int n = lws_write(wsi, buffer.data() + LWS_PRE, reply.size(), LWS_WRITE_TEXT);
            if (!session.replies.empty()) lws_callback_on_writable(wsi);
            return n < 0 ? -1 : 0;
        }
        default:
            return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}

const lws_protocols kEchoProtocols[] = {
    {"tvb-websocket-message", EchoCallback, 0, 2048, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};
}  // namespace

struct CBareEchoServer::SImpl {
    std::thread thread;
    std::atomic<bool> bStop{false};
    std::mutex contextLock;  // orders Stop's wake-up against the context's destruction
    lws_context* pContext = nullptr;
};

CBareEchoServer::CBareEchoServer() : m_pImpl(std::make_unique<SImpl>()) {}
CBareEchoServer::~CBareEchoServer() {
    Stop();
}

bool CBareEchoServer::Start(unsigned port) {
    std::promise<bool> started;
    auto result = started.get_future();
    m_pImpl->thread = std::thread([this, port, &started] {
        lws_set_log_level(LLL_ERR, nullptr);
        lws_context_creation_info info;
        std::memset(&info, 0, sizeof(info));
        info.port = static_cast<int>(port);
        info.iface = "127.0.0.1";
        info.protocols = kEchoProtocols;
        info.gid = -1;
        info.uid = -1;
        info.options = LWS_SERVER_OPTION_DISABLE_IPV6 | LWS_SERVER_OPTION_FAIL_UPON_UNABLE_TO_BIND;
        lws_context* context = lws_create_context(&info);
        {
            std::lock_guard<std::mutex> lock(m_pImpl->contextLock);
            m_pImpl->pContext = context;
        }
        started.set_value(context != nullptr);
        if (!context) return;
        while (!m_pImpl->bStop && lws_service(context, 0) >= 0) {
        }
        {
            std::lock_guard<std::mutex> lock(m_pImpl->contextLock);
            m_pImpl->pContext = nullptr;
        }
        lws_context_destroy(context);
    });
    return result.get();
}

void CBareEchoServer::Stop() {
    m_pImpl->bStop = true;
    {
        std::lock_guard<std::mutex> lock(m_pImpl->contextLock);
        if (m_pImpl->pContext) lws_cancel_service(m_pImpl->pContext);
    }
    if (m_pImpl->thread.joinable()) m_pImpl->thread.join();
}
