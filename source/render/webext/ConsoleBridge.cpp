#include "render/webext/ConsoleBridge.h"

#include <cstring>

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc::render::webext {
namespace {
// A function of one argument, the native send; it replaces the five methods, keeping the originals.
constexpr const char* kWrapperSource = R"JS((function (send) {
  ['log', 'info', 'warn', 'error', 'debug'].forEach(function (level) {
    var original = console[level];
    if (typeof original !== 'function') return;
    console[level] = function () {
      var parts = [];
      for (var i = 0; i < arguments.length; ++i) {
        var a = arguments[i];
        var text;
        try {
          text = (a !== null && typeof a === 'object' && !(a instanceof Error)) ? JSON.stringify(a) : String(a);
        } catch (e) {
          text = String(a);
        }
        parts.push(text === undefined ? String(a) : text);
      }
      try { send(parts.join(' ')); } catch (e) {}
      return original.apply(console, arguments);
    };
  });
}))JS";

class ConsoleSender : public engine::IJSHandler {
  public:
    bool Execute(const std::string&, const engine::JSContextRef& context, const engine::JSValueRef&,
                 const engine::JSValueList& args, engine::JSValueRef&, std::string&) override {
        auto page = context ? context->GetBrowser() : nullptr;
        if (page && !args.empty() && args[0] && args[0]->IsString())
            page->SendProcessMessage({msg::kConsoleMessage, {args[0]->GetStringValue()}});
        return false;
    }
};
}  // namespace

bool InstallConsoleWrapper(const std::shared_ptr<JscContext>& context) {
    JSCContext* ctx = context->get();
    JSCException* before = jsc_context_get_exception(ctx);
    auto installer = JscValue::Adopt(jsc_context_evaluate(ctx, kWrapperSource, -1));
    if (TakeException(ctx, before, "InstallConsoleWrapper") || !installer ||
        !installer->IsFunction())
        return false;
    return installer->ExecuteFunction(
               nullptr, {context->NewFunction("send", std::make_shared<ConsoleSender>())}) !=
           nullptr;
}

void ForwardConsoleMessage(const engine::RenderBrowserRef& page, WebKitConsoleMessage* message) {
    if (!page || !message) return;
    if (webkit_console_message_get_source(message) == WEBKIT_CONSOLE_MESSAGE_SOURCE_CONSOLE_API)
        return;
    const char* text = webkit_console_message_get_text(message);
    const char* source = webkit_console_message_get_source_id(message);
    std::string line = text ? text : "";
    if (source && *source)
        line += " (" + std::string(source) + ":" +
                std::to_string(webkit_console_message_get_line(message)) + ")";
    page->SendProcessMessage({msg::kConsoleMessage, {line}});
}
}  // namespace tvc::render::webext
