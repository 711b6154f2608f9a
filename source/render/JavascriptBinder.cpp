#include "render/JavascriptBinder.h"

#include <string_view>

#include "common/AppProps.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc::render {
using engine::JSContextRef;
using engine::JSValueRef;
using engine::RenderBrowserRef;
using engine::RenderFrameRef;

namespace {
constexpr int kMaxQuitWaitSeconds = 6;
constexpr int kQuitPollMs = 100;
}  // namespace

void CJavascriptBinder::OnContextCreated(const RenderBrowserRef& browser,
                                         const RenderFrameRef& frame, const JSContextRef& context) {
    ExecuteJSBinding(browser, frame, context);
}

void CJavascriptBinder::OnContextReleased(const RenderBrowserRef&, const RenderFrameRef&,
                                          const JSContextRef& context) {
    TVC_LOG_INFO("CJavascriptBinder OnContextReleased m_js_handler: %p++ \n",
                 static_cast<void*>(m_js_handler.get()));
    m_bridged.erase(context.get());
    if (m_js_handler) m_js_handler->ReleaseContext(context);
}

bool CJavascriptBinder::ExecuteJSBinding(const RenderBrowserRef& browser, const RenderFrameRef&,
                                         const JSContextRef& context) {
    return JSConstructNativeHostContext(context, browser);
}

bool CJavascriptBinder::JSConstructNativeHostContext(const JSContextRef& context,
                                                     const RenderBrowserRef& browser) {
    JSValueRef window = context ? context->GetGlobal() : nullptr;
    if (!window || !window->IsObject()) {
        TVC_LOG_ERROR(
            "CJavascriptBinder JSConstructNativeHostContext failed : no global |window| object \n");
        return false;
    }
    if (!m_js_handler) m_js_handler = std::make_shared<CJavascriptHandler>(browser, m_env);
    if (m_env->readMachineId) {
        // Left as it was when it cannot be read.
        std::string id = m_env->readMachineId();
        if (!id.empty()) m_env->state->strMachineId = id;
    }
    std::string configBase = CAppProps::ReadProperty("url", "mdurl");
    if (configBase.empty()) configBase = m_env->configBaseURL;
    const std::pair<std::string_view, JSValueRef> values[] = {
        {"available", context->NewUInt(1)},
        {"version", context->NewString(m_env->version)},
        {"quitApp", context->NewBool(false)},
        {"appQuitResponseTimeout", context->NewInt(kMaxQuitWaitSeconds)},
        {"propMDConfigBaseURL", context->NewString(configBase)},
        {"propLocalTimeMap", context->NewString("")},
    };
    // Every member in the bridge table's order: the page sees them in that order.
    JSValueRef host = context->NewObject();
    for (const msg::Entry& row : msg::kCatalogue) {
        if (!row.page) continue;
        if (row.reply != msg::Reply::Value) {
            host->SetValue(row.page, context->NewFunction(row.page, m_js_handler));
            continue;
        }
        for (const auto& [name, value] : values)
            if (name == row.page) host->SetValue(row.page, value);
    }

    if (!window->SetValue("tvd", host)) {
        TVC_LOG_ERROR(
            "CJavascriptBinder JSConstructNativeHostContext failed : attach nativeHostContext to "
            "|window| \n");
        m_js_handler.reset();
        return false;
    }
    m_pFullScreenAccessor = std::make_shared<FullScreenAccessor>(browser);
    JSValueRef fullscreen = context->NewObject();
    context->DefineAccessor(fullscreen, "fullscreen", m_pFullScreenAccessor);
    window->SetValue("fullscreenhandler", fullscreen);
    m_bridged.insert(context.get());
    return true;
}

bool CJavascriptBinder::HasBridge(const JSContextRef& context) const {
    return context && m_bridged.count(context.get()) != 0;
}

bool CJavascriptBinder::FireEventOnJavaScript(const std::string& event,
                                              const engine::ListValue& arguments) {
    if (!m_js_handler) {
        TVC_LOG_ERROR("%s : pHandler = NULL", TVC_FN);
        return false;
    }
    // The page is promised the events of the bridge table, each with its own arguments.
    const msg::Entry* row = msg::Find(event, msg::Direction::ToPage);
    if (!row || !engine::ArgsMatch(arguments, row->args)) {
        TVC_LOG_ERROR("%s : %s is not a page event with these arguments", TVC_FN, event.c_str());
        return false;
    }
    return m_js_handler->JSFireMethods(event, arguments);
}

void CJavascriptBinder::OnNativeMessageRceive(const std::string& text) {
    bool result = m_js_handler && m_js_handler->JSFireMethod_NativeMessageReceive(text);
    TVC_LOG_WARN("%s -- result : %d \n", TVC_FN, result ? 1 : 0);
}

struct CJavascriptBinder::QuitWait {
    JSContextRef context;
    JSValueRef tvd;
    std::vector<QuitDone> done;
};

bool CJavascriptBinder::HandleWebAppQuit(const RenderBrowserRef& browser, QuitDone onDone) {
    const char* fn = TVC_FN;
    auto finish = [&](bool result) {
        if (onDone) onDone(result);
        return result;
    };
    if (m_bWebAppExitFlag) {
        TVC_LOG_WARN(
            "%s HandleWebAppQuit : m_bWebAppExitFlag : true : handling in progress. Should not be "
            "re-rentrant",
            fn);
        // A request during the wait is answered with it, never ahead of the page.
        if (m_quitWait) {
            if (onDone) m_quitWait->done.push_back(std::move(onDone));
            return true;
        }
        return finish(true);
    }
    if (!browser) {
        TVC_LOG_ERROR("%s HandleWebAppQuit : browser is NULL", fn);
        return finish(false);
    }
    RenderFrameRef frame = browser->GetMainFrame();
    if (!frame) {
        TVC_LOG_ERROR("%s HandleWebAppQuit : frame is NULL", fn);
        return finish(false);
    }
    JSContextRef context = frame->GetContext();
    // A page of another origin hears nothing of the quit, whatever `tvd` it made itself.
    JSValueRef global = HasBridge(context) && context->IsValid() ? context->GetGlobal() : nullptr;
    if (!global || !global->IsObject()) {
        TVC_LOG_ERROR("%s HandleWebAppQuit : globalobject is NULL", fn);
        return finish(false);
    }
    JSValueRef tvd = global->GetValue("tvd");
    if (!tvd || !tvd->IsObject()) {
        TVC_LOG_ERROR("%s HandleWebAppQuit : tvdObject is NULL", fn);
        return finish(false);
    }
    TVC_LOG_WARN("%s HandleWebAppQuit : firing OnBeforeAppQuit.", fn);
    const char* event = "OnBeforeAppQuit";
    bool status = FireEventOnJavaScript(event, {});
    TVC_LOG_WARN("%s HandleWebAppQuit : FireEventOnJavaScript (%s) status: %d \n", fn, event,
                 status ? 1 : 0);
    if (!status) {
        TVC_LOG_ERROR("%s HandleWebAppQuit : FireEventOnJavaScript (%s) failed - bailing out\n", fn,
                      event);
        return finish(false);
    }
    m_bWebAppExitFlag = true;

    if (JSValueRef timeout = tvd->GetValue("appQuitResponseTimeout")) {
        // Anything but an integer reads as 0: no wait.
        int seconds = timeout->GetIntValue();
        TVC_LOG_WARN("%s HandleWebAppQuit : propCloseAppDelay=%u", fn,
                     static_cast<unsigned>(seconds));
        if (seconds < 0 || seconds > kMaxQuitWaitSeconds) seconds = kMaxQuitWaitSeconds;
        m_iExitCounter = seconds * 10;
    }
    TVC_LOG_WARN("%s HandleWebAppQuit : wait-start: ExitCounter=%u", fn,
                 static_cast<unsigned>(m_iExitCounter));
    m_quitWait = std::make_shared<QuitWait>();
    m_quitWait->context = std::move(context);
    m_quitWait->tvd = std::move(tvd);
    if (onDone) m_quitWait->done.push_back(std::move(onDone));
    // The first poll is now: a page that answered inside its subscriber is not waited for.
    PollQuitAnswer();
    return true;
}

void CJavascriptBinder::PollQuitAnswer() {
    const char* fn = "CJavascriptBinder::HandleWebAppQuit";
    if (!m_quitWait) return;
    if (m_iExitCounter > 0 && !m_quitWait->context->IsValid()) {
        TVC_LOG_WARN("%s HandleWebAppQuit : the page's context is gone, not waiting any longer",
                     fn);
    } else if (m_iExitCounter > 0) {
        JSValueRef quit = m_quitWait->tvd->GetValue("quitApp");
        TVC_LOG_INFO("waiting.for web-app to reply-quit...%d \n", m_iExitCounter);
        if (quit && quit->IsBool() && quit->GetBoolValue()) {
            TVC_LOG_WARN("%s HandleWebAppQuit : breaking on JS appQuit property.", fn);
        } else {
            --m_iExitCounter;
            std::weak_ptr<CJavascriptBinder> weak = weak_from_this();
            auto next = [weak] {
                if (auto self = weak.lock()) self->PollQuitAnswer();
            };
            if (m_env->runner && m_env->runner->PostTask(next, kQuitPollMs)) return;
            TVC_LOG_ERROR("%s HandleWebAppQuit : the next poll cannot be queued", fn);
        }
    }
    TVC_LOG_WARN("%s HandleWebAppQuit : wait-end: ExitCounter=%u", fn,
                 static_cast<unsigned>(m_iExitCounter));
    auto done = std::move(m_quitWait->done);
    m_quitWait.reset();
    for (auto& callback : done) callback(true);
}
}  // namespace tvc::render
