// The application's own message boxes (the "ports unavailable" dialog). Main thread only.
#pragma once

#include <memory>
#include <string>

namespace GUIUtils {
class IMessageBoxEventsListner {
  public:
    // The only event sent: the box was closed (its Close button, Esc or its close box).
    static constexpr int kEventClosed = 2;

    virtual ~IMessageBoxEventsListner() = default;
    virtual void HandleMessageBoxEvent(int eventType) = 0;
};
}  // namespace GUIUtils

namespace tvc::platform {
class IMessageBoxes {
  public:
    // The port-failure dialog: its caption, texts and buttons are the dialog's own.
    static constexpr int kTypePortFailure = 1;

    virtual ~IMessageBoxes() = default;
    // Shows a non-modal box of `type` and returns at once; its Help button opens `helpUrl`.
    // While a box of that type is up a second request only brings it to the front.
    // False when the box cannot be shown (nothing will report a close then).
    virtual bool ShowMessageBox(const std::string& title, const std::string& message, int type,
                                const std::string& helpUrl,
                                std::weak_ptr<GUIUtils::IMessageBoxEventsListner> listener) = 0;
    // Takes a box of `type` off the screen, if one is up, without reporting a close: what it
    // said is no longer true.
    virtual void CloseMessageBox(int type) = 0;
};
}  // namespace tvc::platform
