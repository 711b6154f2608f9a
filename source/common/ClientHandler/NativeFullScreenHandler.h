// Full screen for the main window: remembers the windowed placement and gives it back on leaving.
#pragma once

#include <memory>

#include "platform/AppWindow.h"

namespace tvc {
class IFullScreenHandler {
  public:
    virtual ~IFullScreenHandler() = default;
    virtual void SetWindowHandle(std::shared_ptr<platform::IAppWindow> window) = 0;
    virtual void SetFullScreen(bool on) = 0;
    virtual bool IsFullScreen() const = 0;
};

// Main thread only (the window is a GTK window behind IAppWindow).
class NativeFullScreenHandler : public IFullScreenHandler {
  public:
    void SetWindowHandle(std::shared_ptr<platform::IAppWindow> window) override;
    // A request equal to the current state changes nothing.
    void SetFullScreen(bool on) override;
    bool IsFullScreen() const override { return m_bFullScreen; }

  private:
    std::weak_ptr<platform::IAppWindow> m_window;  // the client handler owns the window
    bool m_bFullScreen = false;
    bool m_bWasMaximized = false;
    platform::Rect m_savedRect;
};
}  // namespace tvc
