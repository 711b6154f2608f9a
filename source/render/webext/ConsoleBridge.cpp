#include "render/webext/ConsoleBridge.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc::render::webext {
namespace {
// A function of one argument, the native send; it replaces every console method that prints,
// keeping the originals. Each line is what a browser's console would show for the call.
constexpr const char* kWrapperSource = R"JS((function (send) {
  function text(a) {
    var t;
    try {
      t = (a !== null && typeof a === 'object' && !(a instanceof Error)) ? JSON.stringify(a) : String(a);
    } catch (e) {
      t = String(a);
    }
    return t === undefined ? String(a) : t;
  }
  function join(args, from) {
    var parts = [];
    for (var i = from || 0; i < args.length; ++i) parts.push(text(args[i]));
    return parts.join(' ');
  }
  function label(args) {
    return args.length > 0 && args[0] !== undefined ? String(args[0]) : 'default';
  }
  function withRest(head, args, from) {
    var rest = join(args, from);
    return rest ? head + ': ' + rest : head;
  }
  var counts = {}, timers = {};
  function elapsed(args) {
    var l = label(args);
    if (!(l in timers)) return 'Timer "' + l + '" does not exist';
    return withRest(l, [(Date.now() - timers[l]) + 'ms'].concat(Array.prototype.slice.call(args, 1)), 0);
  }
  var lines = {
    assert: function (args) { return args[0] ? null : withRest('Assertion failed', args, 1); },
    count: function (args) { var l = label(args); counts[l] = (counts[l] || 0) + 1; return l + ': ' + counts[l]; },
    countReset: function (args) { counts[label(args)] = 0; return null; },
    time: function (args) { timers[label(args)] = Date.now(); return null; },
    timeLog: elapsed,
    timeEnd: function (args) { var line = elapsed(args); delete timers[label(args)]; return line; },
    trace: function (args) {
      var stack = '';
      try { stack = String(new Error().stack || '').split('\n').slice(2).join('\n'); } catch (e) {}
      return withRest('Trace', args, 0) + (stack ? '\n' + stack : '');
    },
    groupEnd: function () { return null; },
    clear: function () { return null; }
  };
  ['log', 'info', 'warn', 'error', 'debug', 'dir', 'dirxml', 'table', 'group', 'groupCollapsed',
   'assert', 'count', 'countReset', 'time', 'timeLog', 'timeEnd', 'trace', 'groupEnd',
   'clear'].forEach(function (method) {
    var original = console[method];
    if (typeof original !== 'function') return;
    var line = lines[method] || function (args) { return join(args, 0); };
    console[method] = function () {
      try {
        var out = line(arguments);
        if (out !== null) send(out);
      } catch (e) {}
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
