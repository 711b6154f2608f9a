// The bridge between the page and the browser process: every `window.tvd` member, every message
// between the browser process and the web process, and every event the page can subscribe to,
// with its arguments and the page's answer. Both processes dispatch from this one list; names are
// compared exactly.
#pragma once

#include <initializer_list>
#include <iterator>
#include <string_view>

#include "engine/ProcessMessage.h"

namespace tvc::msg {

// Web process -> browser process.
inline constexpr const char* kTvdQuitCompletion = "v8_to_browser.tvd-quit-completion";
inline constexpr const char* kJavascriptBinderCommandBind =
    "browser_to_v8.javascript-binder-command-bind";
inline constexpr const char* kNativeMessageListenerCommandControl =
    "v8_to_browser.nativemessage-listener-command-control";
inline constexpr const char* kAppCommandVisibility = "v8_to_browser.app-command-visibility";
inline constexpr const char* kSetWindowSize = "SetWindowSizeMessage";
inline constexpr const char* kSetMinimumWindowSize = "SetMinimumWindowSizeMessage";
inline constexpr const char* kStickWindowOnTop = "StickWindowOnTopMessage";
inline constexpr const char* kIsWindowStickyOnTop = "IsWindowStickyOnTopMessage";
inline constexpr const char* kMaximizeWindow = "MaximizeWindowMessage";
inline constexpr const char* kMinimizeWindow = "MinimizeWindowMessage";
inline constexpr const char* kBringWindowToFront = "BringWindowToFrontMessage";
inline constexpr const char* kNativeMessageFromTvdJs = "v8_to_browser.nativemessage-from-tvd-js";
inline constexpr const char* kShowSplashScreen = "showSplashScreen";
inline constexpr const char* kHideSplashScreen = "hideSplashScreen";
inline constexpr const char* kFullScreen = "v8_to_browser.fullscreen";
inline constexpr const char* kJSOnAppReadyEvent = "JSOnAppReadyEvent";
inline constexpr const char* kSetAppcastURL = "SetAppcastURLMessage";
inline constexpr const char* kSetLocale = "SetLocaleMessage";
inline constexpr const char* kSetPopupDomain = "SetPopupDomainMessage";
inline constexpr const char* kHideApp = "HideAppMessage";
inline constexpr const char* kSetFocus = "SetFocusMessage";
inline constexpr const char* kLaunchURL = "LaunchURLMessage";
// Not in the page's protocol: the extension forwards the page's console lines, which the
// browser process writes to the console log (WebKit reports them only in the web process).
inline constexpr const char* kConsoleMessage = "tvc.console-message";

// Browser process -> web process.
inline constexpr const char* kNativeMessageCommandReceived =
    "browser_to_v8.nativemessage-command-received";
inline constexpr const char* kInterAppConnectionEstablished =
    "browser_to_v8.interapp-messaging-connection-established";
// Whether the inter-app output queue is full (sends refused) or has room again.
inline constexpr const char* kInterAppSendQueueFull = "browser_to_v8.interapp-send-queue-full";
inline constexpr const char* kAppBeforeQuitNotification =
    "browser_to_v8.app-before-quit-notification";
inline constexpr const char* kFullScreenToggle = "browser_to_v8.fullscreentoggle";
inline constexpr const char* kStreamStopForAppUpdate = "browser_to_v8.streamstopforappupdate";
inline constexpr const char* kNotificationOnNativeApplicationHide =
    "browser_to_v8.notification-on-native-application-hide";
inline constexpr const char* kOnTrayIconOpenApplicationSelect =
    "browser_to_v8.onTrayIconOpenApplicationSelect";
inline constexpr const char* kOnTrayIconOpenBrowser = "browser_to_v8.onTrayIconOpenBrowser";
inline constexpr const char* kGetLocalTimeMap = "GetLocalTimeMap";
inline constexpr const char* kPluginCrashEvent = "PluginCrashEvent";
inline constexpr const char* kIsAppActiveStatus = "IsAppActiveStatusMessage";
inline constexpr const char* kIsWindowMiniaturizedStatus = "IsWindowMiniaturizedStatusMessage";

// Connection: an int the page does not pass; the web process adds the inter-app connection the
// page heard of last, so that what it sends goes to that peer or nowhere.
enum class Arg { Bool, Int, String, Connection };
// ToPage: an event the web process fires to the page's `tvd.Subscribe` callbacks.
enum class Direction { ToBrowser, ToRenderer, ToPage };

// A row that has a receiver but no sender in this system, or the other way round, says so and why;
// every other row has both.
enum class Half { Both, ReceivedOnly, SentOnly };

// How a page function turns the page's arguments into the message's.
enum class Read {
    None,        // the message has no arguments
    Typed,       // each argument of the shape with its type (more are ignored), or the call fails
    Exact,       // exactly the shape's count ("failed args check"), then Typed
    ExactTerse,  // the same, the wrong count logged as "Invalid Arguments"
    Defaulted,   // a missing or mistyped argument reads as false or 0
};

// What the page gets back from its `window.tvd` member.
enum class Reply {
    None,              // no page member: a message the page does not send itself
    Value,             // a property: the web process sets its value
    Local,             // a named function of the web process answers
    Sent,              // bool: the message went out
    SentKeepAbove,     // sent, and false when keep-above is asked for where it cannot hold
    SentIfAboveHolds,  // sent, and keep-above can hold at all
    SentIfRoom,        // sent, and refused (false) while the output queue to the peer is full
};

// One row of the bridge: a `window.tvd` member and the process message it sends, a message alone,
// or a page event. `checked` is false where the receiver takes any list (the argument is not
// read). `label` names the member's native operation in the web process's log lines.
struct Entry {
    const char* page;
    const char* name;
    Direction direction;
    std::initializer_list<Arg> args;
    bool checked;
    Read read;
    Reply reply;
    const char* label;
    // Browser-to-page messages: the page event the web process fires for it, and whether the web
    // process answers the message itself rather than passing it on to the page's `app` callbacks.
    const char* event = nullptr;
    bool answered = false;
    Half half = Half::Both;
    const char* why = nullptr;  // why a half-wired row has one side only
};

// The members come first, in the order `window.tvd` shows them. Columns: page member, message,
// direction, arguments, checked by the receiver, read rule, reply, label.
inline constexpr Direction kOut = Direction::ToBrowser;
inline constexpr Direction kIn = Direction::ToRenderer;
inline constexpr Direction kEvent = Direction::ToPage;
// clang-format off
inline constexpr Entry kCatalogue[] = {
    {"available", nullptr, kOut, {}, false, Read::None, Reply::Value, nullptr},
    {"version", nullptr, kOut, {}, false, Read::None, Reply::Value, nullptr},
    {"Subscribe", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"Unsubscribe", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"onTavistoStatusChange", kAppCommandVisibility, kOut, {Arg::Bool}, false,
     Read::None, Reply::Local, nullptr},
    {"SendInterAppMessage", kNativeMessageFromTvdJs, kOut, {Arg::String, Arg::Connection}, true,
     Read::Exact, Reply::SentIfRoom, "JSHandle_SendChromeExtensionNativeMessage"},
    {"SetWindowSize", kSetWindowSize, kOut, {Arg::Int, Arg::Int}, true,
     Read::Typed, Reply::Sent, "SetWindowSize"},
    {"SetMinimumWindowSize", kSetMinimumWindowSize, kOut, {Arg::Int, Arg::Int}, true,
     Read::Typed, Reply::Sent, "SetMinimumWindowSize"},
    {"StickWindowOnTop", kStickWindowOnTop, kOut, {Arg::Bool}, true,
     Read::Defaulted, Reply::SentKeepAbove, "StickWindowOnTop"},
    {"IsWindowStickyOnTop", kIsWindowStickyOnTop, kOut, {Arg::Bool}, false,
     Read::Defaulted, Reply::SentIfAboveHolds, "IsWindowStickyOnTop"},
    {"MaximizeWindow", kMaximizeWindow, kOut, {}, false, Read::None, Reply::Sent, nullptr},
    {"MinimizeWindow", kMinimizeWindow, kOut, {}, false, Read::None, Reply::Sent, nullptr},
    {"BringWindowToFront", kBringWindowToFront, kOut, {Arg::Int}, true,
     Read::Defaulted, Reply::Sent, "JSHandle_BringWindowToFront"},
    {"showSplashScreen", kShowSplashScreen, kOut, {}, false, Read::None, Reply::Sent, nullptr},
    {"hideSplashScreen", kHideSplashScreen, kOut, {}, false, Read::None, Reply::Sent, nullptr},
    {"onJSAppReady", kJSOnAppReadyEvent, kOut, {}, false, Read::None, Reply::Sent, nullptr},
    {"quitApp", nullptr, kOut, {}, false, Read::None, Reply::Value, nullptr},
    {"appQuitResponseTimeout", nullptr, kOut, {}, false, Read::None, Reply::Value, nullptr},
    {"SetLocale", kSetLocale, kOut, {Arg::String}, true, Read::Typed, Reply::Sent, nullptr},
    {"GetLocale", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"GetMechineID", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"SetStartUrl", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"GetStartUrl", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"IsAppActive", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"IsAppMinimized", nullptr, kOut, {}, false, Read::None, Reply::Local, nullptr},
    {"SetAppcastURL", kSetAppcastURL, kOut, {Arg::String}, true,
     Read::ExactTerse, Reply::Sent, "JSHandle_SetAppcastURL"},
    {"propMDConfigBaseURL", nullptr, kOut, {}, false, Read::None, Reply::Value, nullptr},
    {"propLocalTimeMap", nullptr, kOut, {}, false, Read::None, Reply::Value, nullptr},
    {"setPopUpDomain", kSetPopupDomain, kOut, {Arg::String}, true,
     Read::Typed, Reply::Sent, nullptr},
    {"SetFocusToWindow", kSetFocus, kOut, {}, false, Read::None, Reply::Sent, nullptr},
    {"HideApp", kHideApp, kOut, {}, false, Read::None, Reply::Sent, nullptr},
    {"LaunchURL", kLaunchURL, kOut, {Arg::String}, true, Read::Typed, Reply::Sent, nullptr},

    {nullptr, kTvdQuitCompletion, kOut, {}, false, Read::None, Reply::None, nullptr},
    {nullptr, kJavascriptBinderCommandBind, kOut, {}, false, Read::None, Reply::None, nullptr,
     nullptr, false, Half::ReceivedOnly,
     "the browser recognises the name and does nothing; no process of this system sends it"},
    {nullptr, kNativeMessageListenerCommandControl, kOut, {Arg::Bool}, false,
     Read::None, Reply::None, nullptr},
    {nullptr, kFullScreen, kOut, {Arg::Bool}, true, Read::None, Reply::None, nullptr},
    {nullptr, kConsoleMessage, kOut, {Arg::String}, true, Read::None, Reply::None, nullptr},

    // Acted on by the web process before the page's `app` callbacks hear of them.
    {nullptr, kNativeMessageCommandReceived, kIn, {Arg::String, Arg::Connection}, true,
     Read::None, Reply::None, nullptr, "HandleInterAppMessage"},
    {nullptr, kAppBeforeQuitNotification, kIn, {}, false, Read::None, Reply::None, nullptr,
     "OnBeforeAppQuit"},
    {nullptr, kFullScreenToggle, kIn, {Arg::Bool}, true, Read::None, Reply::None, nullptr,
     "OnFullScreenToggle"},
    {nullptr, kStreamStopForAppUpdate, kIn, {}, false, Read::None, Reply::None, nullptr,
     "OnNativeAppUpdate"},
    {nullptr, kNotificationOnNativeApplicationHide, kIn, {}, false,
     Read::None, Reply::None, nullptr, "OnNativeAppHide"},
    {nullptr, kOnTrayIconOpenApplicationSelect, kIn, {}, false, Read::None, Reply::None, nullptr,
     "OnTrayIconMenuOpenApplication", false, Half::ReceivedOnly,
     "the tray's open item brings the window forward in the browser process and tells the page "
     "nothing"},
    {nullptr, kOnTrayIconOpenBrowser, kIn, {}, false, Read::None, Reply::None, nullptr,
     "OnTrayIconMenuOpenBrowser"},
    {nullptr, kInterAppSendQueueFull, kIn, {Arg::Bool}, true, Read::None, Reply::None, nullptr},
    {nullptr, kInterAppConnectionEstablished, kIn, {Arg::Connection}, true,
     Read::None, Reply::None, nullptr, "HandleInterAppConnectionStatusChange"},
    {nullptr, kGetLocalTimeMap, kIn, {Arg::String}, true, Read::None, Reply::None, nullptr,
     nullptr, true},
    {nullptr, kPluginCrashEvent, kIn, {Arg::String}, true, Read::None, Reply::None, nullptr,
     "pluginCrashCallback", true, Half::ReceivedOnly,
     "WebKitGTK has no plug-ins, so no plug-in crash is ever reported"},
    {nullptr, kIsAppActiveStatus, kIn, {Arg::Bool}, true, Read::None, Reply::None, nullptr,
     nullptr, true},
    {nullptr, kIsWindowMiniaturizedStatus, kIn, {Arg::Bool}, true,
     Read::None, Reply::None, nullptr, nullptr, true},

    // What a page callback subscribed under the event's name is called with.
    {nullptr, "HandleInterAppMessage", kEvent, {Arg::String}, true, Read::None, Reply::None,
     nullptr},
    {nullptr, "OnBeforeAppQuit", kEvent, {}, true, Read::None, Reply::None, nullptr},
    {nullptr, "OnFullScreenToggle", kEvent, {Arg::Bool}, true, Read::None, Reply::None, nullptr},
    {nullptr, "OnNativeAppUpdate", kEvent, {}, true, Read::None, Reply::None, nullptr},
    {nullptr, "OnNativeAppHide", kEvent, {}, true, Read::None, Reply::None, nullptr},
    {nullptr, "OnTrayIconMenuOpenApplication", kEvent, {}, true, Read::None, Reply::None,
     nullptr},
    {nullptr, "OnTrayIconMenuOpenBrowser", kEvent, {}, true, Read::None, Reply::None, nullptr},
    // Always 1: the page is told that a peer is there, not which.
    {nullptr, "HandleInterAppConnectionStatusChange", kEvent, {Arg::Int}, true,
     Read::None, Reply::None, nullptr},
    {nullptr, "pluginCrashCallback", kEvent, {Arg::String}, true, Read::None, Reply::None,
     nullptr},
};
// clang-format on

// A name is one row: looking a name up finds the row every process acts on.
constexpr bool NamesAreUnique() {
    for (const Entry& a : kCatalogue)
        for (const Entry* b = &a + 1; b != std::end(kCatalogue); ++b)
            if (a.name && b->name && std::string_view(a.name) == b->name) return false;
    return true;
}
static_assert(NamesAreUnique(), "two rows of the bridge table share a name");

// The catalogue row of `name`, or null for a name that is not in it.
inline const Entry* Find(std::string_view name) {
    for (const auto& e : kCatalogue)
        if (e.name && name == e.name) return &e;
    return nullptr;
}

// The row of `name` going the `direction` way, or null.
inline const Entry* Find(std::string_view name, Direction direction) {
    const Entry* e = Find(name);
    return e && e->direction == direction ? e : nullptr;
}

// The row of the `window.tvd` member `page`, or null.
inline const Entry* FindPage(std::string_view page) {
    for (const auto& e : kCatalogue)
        if (e.page && page == e.page) return &e;
    return nullptr;
}

// How the web process's log lines name the member's operation.
inline const char* Label(const Entry& e) {
    return e.label ? e.label : e.page;
}
}  // namespace tvc::msg

namespace tvc::engine {
// True when `args` has exactly the shape of `schema`.
inline bool ArgsMatch(const ListValue& args, std::initializer_list<msg::Arg> schema) {
    if (args.size() != schema.size()) return false;
    size_t i = 0;
    for (auto a : schema) {
        const Value& v = args[i++];
        if ((a == msg::Arg::Bool && !v.IsBool()) ||
            ((a == msg::Arg::Int || a == msg::Arg::Connection) && !v.IsInt()) ||
            (a == msg::Arg::String && !v.IsString()))
            return false;
    }
    return true;
}
}  // namespace tvc::engine
