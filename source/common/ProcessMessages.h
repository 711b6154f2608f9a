// Every message between the browser process and the web process, with its arguments.
// Both processes include this one list; names are compared exactly.
#pragma once

#include <initializer_list>
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

enum class Arg { Bool, Int, String };
enum class Direction { ToBrowser, ToRenderer };

// One row of the catalogue: a name, its direction and the argument list it must carry.
// `checked` is false where the receiver takes any list (the argument is not read).
struct Entry {
    const char* name;
    Direction direction;
    std::initializer_list<Arg> args;
    bool checked;
};

inline constexpr Entry kCatalogue[] = {
    {kTvdQuitCompletion, Direction::ToBrowser, {}, false},
    {kJavascriptBinderCommandBind, Direction::ToBrowser, {}, false},
    {kNativeMessageListenerCommandControl, Direction::ToBrowser, {Arg::Bool}, false},
    {kAppCommandVisibility, Direction::ToBrowser, {Arg::Bool}, false},
    {kSetWindowSize, Direction::ToBrowser, {Arg::Int, Arg::Int}, true},
    {kSetMinimumWindowSize, Direction::ToBrowser, {Arg::Int, Arg::Int}, true},
    {kStickWindowOnTop, Direction::ToBrowser, {Arg::Bool}, true},
    {kIsWindowStickyOnTop, Direction::ToBrowser, {Arg::Bool}, false},
    {kMaximizeWindow, Direction::ToBrowser, {}, false},
    {kMinimizeWindow, Direction::ToBrowser, {}, false},
    {kBringWindowToFront, Direction::ToBrowser, {Arg::Int}, true},
    {kNativeMessageFromTvdJs, Direction::ToBrowser, {Arg::String}, true},
    {kShowSplashScreen, Direction::ToBrowser, {}, false},
    {kHideSplashScreen, Direction::ToBrowser, {}, false},
    {kFullScreen, Direction::ToBrowser, {Arg::Bool}, true},
    {kJSOnAppReadyEvent, Direction::ToBrowser, {}, false},
    {kSetAppcastURL, Direction::ToBrowser, {Arg::String}, true},
    {kSetLocale, Direction::ToBrowser, {Arg::String}, true},
    {kSetPopupDomain, Direction::ToBrowser, {Arg::String}, true},
    {kHideApp, Direction::ToBrowser, {}, false},
    {kSetFocus, Direction::ToBrowser, {}, false},
    {kLaunchURL, Direction::ToBrowser, {Arg::String}, true},
    {kConsoleMessage, Direction::ToBrowser, {Arg::String}, true},
    {kNativeMessageCommandReceived, Direction::ToRenderer, {Arg::String}, true},
    {kInterAppConnectionEstablished, Direction::ToRenderer, {}, false},
    {kInterAppSendQueueFull, Direction::ToRenderer, {Arg::Bool}, true},
    {kAppBeforeQuitNotification, Direction::ToRenderer, {}, false},
    {kFullScreenToggle, Direction::ToRenderer, {Arg::Bool}, true},
    {kStreamStopForAppUpdate, Direction::ToRenderer, {}, false},
    {kNotificationOnNativeApplicationHide, Direction::ToRenderer, {}, false},
    {kOnTrayIconOpenApplicationSelect, Direction::ToRenderer, {}, false},
    {kOnTrayIconOpenBrowser, Direction::ToRenderer, {}, false},
    {kGetLocalTimeMap, Direction::ToRenderer, {Arg::String}, true},
    {kPluginCrashEvent, Direction::ToRenderer, {Arg::String}, true},
    {kIsAppActiveStatus, Direction::ToRenderer, {Arg::Bool}, true},
    {kIsWindowMiniaturizedStatus, Direction::ToRenderer, {Arg::Bool}, true},
};

// The catalogue row of `name`, or null for a name that is not in it.
inline const Entry* Find(std::string_view name) {
    for (const auto& e : kCatalogue)
        if (name == e.name) return &e;
    return nullptr;
}
}  // namespace tvc::msg

namespace tvc::engine {
// True when `args` has exactly the shape of `schema`.
inline bool ArgsMatch(const ListValue& args, std::initializer_list<msg::Arg> schema) {
    if (args.size() != schema.size()) return false;
    size_t i = 0;
    for (auto a : schema) {
        const Value& v = args[i++];
        if ((a == msg::Arg::Bool && !v.IsBool()) || (a == msg::Arg::Int && !v.IsInt()) ||
            (a == msg::Arg::String && !v.IsString()))
            return false;
    }
    return true;
}

// True when the message carries what its catalogue row asks for (unchecked rows always do).
inline bool MatchesCatalogue(const ProcessMessage& message) {
    const msg::Entry* e = msg::Find(message.name);
    if (!e) return false;
    return !e->checked || ArgsMatch(message.args, e->args);
}
}  // namespace tvc::engine
