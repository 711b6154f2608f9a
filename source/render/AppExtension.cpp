#include "render/AppExtension.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "render/JSConvert.h"

namespace tvc::render {
using engine::JSValue;

void MessageCallbackMap::ReleaseContext(const engine::JSContextRef& context) {
    if (!context) return;
    for (auto it = m_map.begin(); it != m_map.end();) {
        if (it->second.first && it->second.first->IsSame(*context))
            it = m_map.erase(it);
        else
            ++it;
    }
}

bool ClientAppExtensionHandler::Execute(const std::string& name,
                                        const engine::JSContextRef& context,
                                        const engine::JSValueRef&, const engine::JSValueList& args,
                                        engine::JSValueRef& retval, std::string& exception) {
    auto browser = context ? context->GetBrowser() : nullptr;
    if (name == "sendMessage") {
        if ((args.size() == 1 || args.size() == 2) && args[0] && args[0]->IsString()) {
            engine::ProcessMessage message{args[0]->GetStringValue(), {}};
            const bool argsFit = args.size() != 2 || !args[1] || !args[1]->IsArray() ||
                                 ListFromJSArray(args[1], message.args);
            if (!argsFit)
                TVC_LOG_ERROR(
                    "%s sendMessage : %s : the "
                    "arguments are too deep or too large",
                    TVC_FN, message.name.c_str());
            // The channel carries the bridge's own requests, nothing the browser would not know.
            const bool known = msg::Find(message.name, msg::Direction::ToBrowser) != nullptr;
            if (!known)
                TVC_LOG_ERROR("%s sendMessage : %s is not a message the browser takes", TVC_FN,
                              CLogHelper::MessageExcerpt(message.name).c_str());
            if (known && argsFit) {
                if (!browser || !browser->SendProcessMessage(message))
                    TVC_LOG_ERROR("%s sendMessage : %s was not sent", TVC_FN, message.name.c_str());
                return true;
            }
        }
    } else if (name == "setMessageCallback") {
        if (args.size() == 2 && args[0] && args[0]->IsString() && args[1] &&
            args[1]->IsFunction() && browser) {
            if (!m_callbacks->Insert({args[0]->GetStringValue(), browser->GetIdentifier()},
                                     {context, args[1]}))
                TVC_LOG_WARN(
                    "%s setMessageCallback : %s already has a "
                    "callback",
                    TVC_FN, args[0]->GetStringValue().c_str());
            return true;
        }
    } else if (name == "removeMessageCallback") {
        if (args.size() == 1 && args[0] && args[0]->IsString() && browser) {
            retval = context->NewBool(
                m_callbacks->Erase({args[0]->GetStringValue(), browser->GetIdentifier()}));
            return true;
        }
    }
    exception = "Invalid method arguments";
    return true;
}

bool ClientAppExtensionHandler::Install(const engine::JSContextRef& context,
                                        const std::shared_ptr<ClientAppExtensionHandler>& handler) {
    engine::JSValueRef window = context ? context->GetGlobal() : nullptr;
    if (!window || !window->IsObject()) return false;
    engine::JSValueRef app = window->GetValue("app");
    if (!app || !app->IsObject()) {
        app = context->NewObject();
        if (!window->SetValue("app", app)) return false;
    }
    for (const char* fn : {"sendMessage", "setMessageCallback", "removeMessageCallback"})
        app->SetValue(fn, context->NewFunction(fn, handler));
    return true;
}
}  // namespace tvc::render
