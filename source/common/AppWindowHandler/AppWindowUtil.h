// The close that the user's own close stands for, asked by the update installer, the port-failure
// dialog and the window procedure.
#pragma once

#include <memory>

#include "platform/AppWindow.h"

namespace tvc {
class CAppWindowUtil {
  public:
    // Main thread. Marks the close as expected and queues a close on the window; false when there
    // is no window or the close cannot be queued (nothing will close it then).
    static bool PerformUserWindowClose(const std::shared_ptr<platform::IAppWindow>& window);
};
}  // namespace tvc
