// The splash panel over the main window while the page loads.
#pragma once

namespace tvc::platform {
class ISplashScreen {
  public:
    virtual ~ISplashScreen() = default;
    // Shows the splash (again); a non-zero time-out hides it by itself after that many ms.
    virtual void ShowSplashScreen(int timeoutMs) = 0;
    // Does nothing when no splash is shown.
    virtual void HideSplashScreen() = 0;
    virtual bool IsShown() const = 0;
};
}  // namespace tvc::platform
