// The small façade through which the inter-app side and the dialogs reach the window operations.
#pragma once

#include <memory>
#include <mutex>

#include "platform/AppWindow.h"

namespace tvc {
// What the façade asks of the window's owner (the client handler).
class IAppWindowClient {
  public:
    virtual ~IAppWindowClient() = default;
    virtual void BringWindowToFront(bool bDontPerformForegroundCheck) = 0;
};

// Main thread (the window observer posts its work there). The reference has its own lock, so a
// replacement never races a reader.
class CAppWindowUtil {
  public:
    void SetClientHandler(std::shared_ptr<IAppWindowClient> handler);
    // False when there is no handler.
    bool BringWindowToFrontTask(bool bDontPerformForegroundCheck);
    // Marks the close as expected and queues a close on the window; false when there is no window
    // or the close cannot be queued (nothing will close it then).
    static bool PerformUserWindowClose(const std::shared_ptr<platform::IAppWindow>& window);

  private:
    std::mutex m_lock;
    // Weak: the handler owns the window observer that owns this façade.
    std::weak_ptr<IAppWindowClient> m_spClientHandler;
};
}  // namespace tvc
