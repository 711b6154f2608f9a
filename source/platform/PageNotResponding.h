// The dialog over the main window that offers to leave a page that stopped answering.
#pragma once

#include <functional>

namespace tvc::platform {
class IPageNotRespondingDialog {
  public:
    virtual ~IPageNotRespondingDialog() = default;
    // Shows the dialog, or brings it to the front when it is up. Exactly one of the two runs
    // when the user answers, after the dialog has gone; neither runs when Close takes it away.
    virtual void Show(std::function<void()> onReload, std::function<void()> onWait) = 0;
    // Does nothing when the dialog is not up.
    virtual void Close() = 0;
};
}  // namespace tvc::platform
