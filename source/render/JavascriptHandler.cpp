#include "render/JavascriptHandler.h"

#include "common/AppProps.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "render/JSConvert.h"
#include "render/PageArguments.h"

namespace tvc::render {
using engine::JSContextRef;
using engine::JSValue;
using engine::JSValueList;
using engine::JSValueRef;
using engine::ProcessMessage;

namespace {
// Argument `i` exists and has type `t`: nothing here reads past the page's arguments.
bool ArgIs(const JSValueList& args, size_t i, JSValue::Type t) {
    return i < args.size() && args[i] && args[i]->GetType() == t;
}

JSValueRef Bool(const JSContextRef& ctx, bool b) {
    return ctx ? ctx->NewBool(b) : nullptr;
}
}  // namespace

const CJavascriptHandler::LocalEntry CJavascriptHandler::kLocal[] = {
    {"Subscribe", &CJavascriptHandler::JSHandle_Register},
    {"Unsubscribe", &CJavascriptHandler::JSHandle_UnRegister},
    {"onTavistoStatusChange", &CJavascriptHandler::JSHandle_EventListener},
    {"GetLocale", &CJavascriptHandler::JSHandle_GetLocale},
    {"GetMechineID", &CJavascriptHandler::JSHandle_GetMechineID},
    {"SetStartUrl", &CJavascriptHandler::JSHandle_SetStartUrl},
    {"GetStartUrl", &CJavascriptHandler::JSHandle_GetStartUrl},
    {"IsAppActive", &CJavascriptHandler::IsAppActive},
    {"IsAppMinimized", &CJavascriptHandler::IsAppMinimized},
};

CJavascriptHandler::CJavascriptHandler(engine::RenderBrowserRef browser, RenderEnvRef env)
    : m_pBrowser(std::move(browser)), m_env(std::move(env)) {}

bool CJavascriptHandler::Execute(const std::string& name, const JSContextRef& context,
                                 const JSValueRef&, const JSValueList& arguments,
                                 JSValueRef& retval, std::string&) {
    TVC_LOG_INFO("CJavascriptHandler Execute() name: %s \n", name.c_str());
    const msg::Entry* row = msg::FindPage(name);
    if (row && row->reply == msg::Reply::Local) {
        for (const auto& local : kLocal) {
            if (name == local.page) {
                retval = (this->*local.operation)(context, arguments);
                return true;
            }
        }
    } else if (row && row->name && row->reply != msg::Reply::None) {
        retval = SendRow(*row, context, arguments);
        return true;
    }
    TVC_LOG_WARN("%s handle - skipping unknown JS invoke : %s\n", TVC_FN, name.c_str());
    return false;
}

JSValueRef CJavascriptHandler::SendRow(const msg::Entry& row, const JSContextRef& ctx,
                                       const JSValueList& args) {
    if (!PageArgumentCountFits(row, args)) return Bool(ctx, false);
    if (row.reply == msg::Reply::SentIfRoom && m_env->state->bSendQueueFull) {
        TVC_LOG_WARN(
            "CJavascriptHandler::%s : the peer is not reading and the output queue is full : not "
            "sent",
            msg::Label(row));
        return Bool(ctx, false);
    }
    std::optional<engine::ListValue> list =
        ReadPageArguments(row, args, m_env->state->iInterAppConnection);
    if (!list) return Bool(ctx, false);
    const bool sent = Send({row.name, *list});
    return Bool(ctx, PageAnswer(row, sent, *list, m_env->canKeepAbove));
}

bool CJavascriptHandler::Send(const ProcessMessage& message) {
    if (!m_pBrowser) {
        TVC_LOG_ERROR("CJavascriptHandler::%s browser-ref-NULL\n", message.name.c_str());
        return false;
    }
    if (m_pBrowser->SendProcessMessage(message)) {
        TVC_LOG_WARN("CJavascriptHandler::%s - SendProcessMessage success", message.name.c_str());
        return true;
    }
    TVC_LOG_ERROR("CJavascriptHandler::%s - SendProcessMessage failure", message.name.c_str());
    return false;
}

JSValueRef CJavascriptHandler::JSHandle_Register(const JSContextRef& ctx, const JSValueList& args) {
    if (args.size() != 2) {
        TVC_LOG_ERROR(
            "%s failed args check : actual : %lu  required: %d "
            "\n",
            TVC_FN, static_cast<unsigned long>(args.size()), 2);
    } else if (!ArgIs(args, 0, JSValue::Type::String) || !ArgIs(args, 1, JSValue::Type::Function)) {
        TVC_LOG_ERROR("%s failed args type check: not-a-function \n", TVC_FN);
    } else if (!ctx) {
        TVC_LOG_ERROR("%s failed to aquire current V8Context\n", TVC_FN);
    } else {
        std::string event = args[0]->GetStringValue();
        m_registry.Add(event, CallbackCtxType(ctx, args[1]));
        TVC_LOG_WARN("%s added the context: ctx=%p, arg_str_id=%s\n", TVC_FN,
                     static_cast<void*>(ctx.get()), event.c_str());
    }
    return Bool(ctx, true);
}

JSValueRef CJavascriptHandler::JSHandle_UnRegister(const JSContextRef& ctx,
                                                   const JSValueList& args) {
    if (!ArgIs(args, 0, JSValue::Type::String)) {
        TVC_LOG_ERROR(
            "%s failed args check : an event name is "
            "required\n",
            TVC_FN);
    } else if (m_registry.RemoveFirst(args[0]->GetStringValue())) {
        TVC_LOG_WARN("%s : success : callbacks un-registered\n", TVC_FN);
    } else {
        TVC_LOG_WARN("%s : failed : no callbacks registered\n", TVC_FN);
    }
    return Bool(ctx, true);
}

JSValueRef CJavascriptHandler::JSHandle_EventListener(const JSContextRef& ctx,
                                                      const JSValueList& args) {
    if (args.size() != 3) {
        TVC_LOG_ERROR(
            "%s failed args check : actual : %lu  "
            "required: %d \n",
            TVC_FN, static_cast<unsigned long>(args.size()), 3);
        return Bool(ctx, true);
    }
    if (!ArgIs(args, 0, JSValue::Type::String) || !ArgIs(args, 1, JSValue::Type::String) ||
        !ArgIs(args, 2, JSValue::Type::Int)) {
        TVC_LOG_ERROR("%s failed args type check: not-a-function \n", TVC_FN);
        return Bool(ctx, true);
    }
    if (!ctx) {
        TVC_LOG_ERROR("%s failed to aquire current V8Context\n", TVC_FN);
        return Bool(ctx, true);
    }
    std::string first = args[0]->GetStringValue();
    std::string second = args[1]->GetStringValue();
    int state = args[2]->GetIntValue();
    if (m_pBrowser) {
        if (m_pBrowser->SendProcessMessage({msg::kAppCommandVisibility, {state == 2}}))
            TVC_LOG_WARN("%s SendProcessMessage : %s sent-success\n", TVC_FN,
                         msg::kAppCommandVisibility);
        else
            TVC_LOG_ERROR("%s SendProcessMessage : failed\n", TVC_FN);
    } else {
        TVC_LOG_ERROR("%s browser-ref-NULL\n", TVC_FN);
    }
    TVC_LOG_WARN("%s %s : [%s, %s, %d]--\n", TVC_FN, "onTavistoStatusChange",
                 first.empty() ? "[null]" : first.c_str(),
                 second.empty() ? "[null]" : second.c_str(), state);
    return Bool(ctx, true);
}

JSValueRef CJavascriptHandler::JSHandle_GetLocale(const JSContextRef& ctx, const JSValueList&) {
    std::string locale = CAppProps::ReadProperty("language", "locale");
    if (locale.empty()) locale = "en_US";
    return ctx ? ctx->NewString(locale) : nullptr;
}

JSValueRef CJavascriptHandler::JSHandle_GetMechineID(const JSContextRef& ctx, const JSValueList&) {
    return ctx ? ctx->NewString(m_env->state->strMachineId) : nullptr;
}

JSValueRef CJavascriptHandler::JSHandle_SetStartUrl(const JSContextRef& ctx,
                                                    const JSValueList& args) {
    if (!ArgIs(args, 0, JSValue::Type::String)) {
        TVC_LOG_ERROR("%s invalid arguments : a string is required", TVC_FN);
        return Bool(ctx, true);
    }
    const std::string url = args[0]->GetStringValue();
    if (url.empty()) return Bool(ctx, true);
    if (!m_env->appOrigins.IsOwnStartAddress(url)) {
        // Every later locale change would open it, with the bridge: a script the page runs must
        // not choose whom the program trusts.
        TVC_LOG_ERROR("%s refused : %s is not an address of the application's own origins", TVC_FN,
                      CLogHelper::MessageExcerpt(url, 256).c_str());
    } else if (!CAppProps::WriteProperty("url", "starturl", url)) {
        // The preferences refuse (and log) a value with a line break or NUL.
        TVC_LOG_ERROR("%s the start URL was not stored", TVC_FN);
    }
    return Bool(ctx, true);
}

JSValueRef CJavascriptHandler::JSHandle_GetStartUrl(const JSContextRef& ctx, const JSValueList&) {
    return ctx ? ctx->NewString(CAppProps::ReadProperty("url", "starturl")) : nullptr;
}

JSValueRef CJavascriptHandler::IsAppActive(const JSContextRef& ctx, const JSValueList&) {
    return Bool(ctx, m_env->state->bAppActive);
}

JSValueRef CJavascriptHandler::IsAppMinimized(const JSContextRef& ctx, const JSValueList&) {
    return Bool(ctx, m_env->state->bWindowMinimized);
}

bool CJavascriptHandler::JSFireMethods(const std::string& name,
                                       const engine::ListValue& arguments) {
    if (name.empty()) {
        TVC_LOG_ERROR("CJavascriptHandler::JSFireMethod_NativeMessageReceive empty message\n");
        return false;
    }
    // Subscribers may subscribe or unsubscribe while they are called: fire over a copy, and skip
    // entries removed meanwhile; subscriptions added meanwhile wait for the next event.
    std::vector<CallbackCtxType> matched = m_registry.Snapshot(name);
    TVC_LOG_WARN("%s method: %s  matched-methods: %d: \n", TVC_FN, name.c_str(),
                 static_cast<int>(matched.size()));
    if (matched.empty()) {
        TVC_LOG_WARN("%s method: no matches - bad-iterator\n", TVC_FN);
        return false;
    }
    int fired = 0;
    for (const CallbackCtxType& entry : matched) {
        TVC_LOG_INFO("%s registerd callback : %s : %p \n", TVC_FN, name.c_str(),
                     static_cast<void*>(entry.callback.get()));
        if (!m_registry.Contains(entry.m_uiSerial)) {
            TVC_LOG_INFO("%s callback unsubscribed while firing : %s\n", TVC_FN, name.c_str());
            continue;
        }
        if (!entry.m_pContext || !entry.m_pContext->IsValid()) {
            TVC_LOG_ERROR("%s failed to enter context : %p\n", TVC_FN,
                          static_cast<void*>(entry.m_pContext.get()));
            TVC_LOG_ERROR("%s entry context %p, present %d", TVC_FN,
                          static_cast<void*>(entry.m_pContext.get()), entry.m_pContext ? 1 : 0);
            TVC_LOG_ERROR("%s entry context valid %d", TVC_FN,
                          entry.m_pContext && entry.m_pContext->IsValid() ? 1 : 0);
            continue;
        }
        if (entry.callback) {
            engine::JSValueList args;
            for (const auto& v : arguments) args.push_back(JSValueFromValue(entry.m_pContext, v));
            // A subscriber that throws is logged by the engine and does not stop the others.
            entry.callback->ExecuteFunction(nullptr, args);
            ++fired;
        } else {
            TVC_LOG_ERROR("%s js-callback-func nullref :\n", TVC_FN);
        }
        TVC_LOG_INFO("%s context-exit : %p\n", TVC_FN, static_cast<void*>(entry.m_pContext.get()));
    }
    return fired > 0;
}

bool CJavascriptHandler::JSFireMethod_NativeMessageReceive(const std::string& text) {
    if (text.empty()) {
        TVC_LOG_ERROR("%s empty message\n", TVC_FN);
        return false;
    }
    bool result = JSFireMethods("HandleInterAppMessage", {text});
    TVC_LOG_WARN("%s message: %s fire-result: %d\n", TVC_FN,
                 CLogHelper::MessageExcerpt(text).c_str(), result ? 1 : 0);
    return result;
}

void CJavascriptHandler::ReleaseContext(const JSContextRef& context) {
    m_registry.ReleaseContext(context);
}
}  // namespace tvc::render
