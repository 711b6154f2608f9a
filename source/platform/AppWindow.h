// What the deciding code may do with the application's window and desktop.
// Implemented over GTK in platform/gtk; every call on the browser process's main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvc::platform {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

class IAppWindow {
  public:
    virtual ~IAppWindow() = default;
    virtual bool IsValid() const = 0;
    virtual bool IsVisible() const = 0;
    virtual bool IsForeground() const = 0;
    virtual bool IsMaximized() const = 0;
    virtual bool IsMinimized() const = 0;
    // The window's outer rectangle in screen coordinates.
    virtual Rect GetRect() const = 0;
    virtual void SetRect(const Rect& rect) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void ShowNormal() = 0;
    virtual void ShowMaximized() = 0;
    virtual void ShowMinimized() = 0;
    virtual void Unmaximize() = 0;
    virtual void SetKeepAbove(bool above) = 0;
    virtual void Raise() = 0;
    // Brings the window to the user: onto the workspace they are on, out of the minimised state
    // (a maximised window stays maximised), shown, on top and focused.
    virtual void Present() = 0;
    virtual void SetFullscreen(bool on) = 0;
    virtual void SetMinimumSizePacked(std::uint32_t packed) = 0;
    virtual std::uint32_t GetMinimumSizePacked() const = 0;
    // Queued on the main loop, as a posted message is; false when it cannot be queued.
    virtual bool PostClose() = 0;
    virtual bool PostFocus() = 0;
};

class IDesktop {
  public:
    virtual ~IDesktop() = default;
    // Work area of the monitor a maximised window would fill (the primary one).
    virtual Rect GetMaximizedArea() const = 0;
    virtual std::vector<Rect> GetWorkAreas() const = 0;
    // Opens `url` in the user's default handler; false when that fails.
    virtual bool OpenUrlExternally(const std::string& url) = 0;
    // False when the query itself failed.
    virtual bool GetIsSystemShutdownInProgress(bool& inProgress) = 0;
};
}  // namespace tvc::platform
