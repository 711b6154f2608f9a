// The update flow as the browser side drives it: the update controller, made once when the page
// names its appcast folder, the checks that every bring-to-front starts, and the end of each of
// the updater's downloads, told to the window procedure.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/Browser.h"

class CAutoUpdateHandler;

namespace tvc {
// Main thread.
class CUpdateFlow {
  public:
    using ControllerFactory = std::function<std::shared_ptr<CAutoUpdateHandler>()>;
    // Without a factory there is no updater. `notifyDownload` is called with the command that ends
    // a download of the updater's (complete or failed) and the path of that download: a
    // notification handled later must not read another download's path.
    using DownloadNotice = std::function<void(int commandId, const std::string& path)>;
    CUpdateFlow(ControllerFactory factory = {}, DownloadNotice notifyDownload = {})
        : m_factory(std::move(factory)), m_notifyDownload(std::move(notifyDownload)) {}

    // Makes the controller once; false when there is none.
    bool EnsureController(engine::BrowserRef browser, const std::string& updateFolder,
                          std::function<void()> closeApplication);
    const std::shared_ptr<CAutoUpdateHandler>& Controller() const { return m_controller; }
    // An update check, logged when there is no controller.
    void Trigger();
    void Release() { m_controller.reset(); }

    // A download of the updater's ended at `path`; `commandId` says how.
    void DownloadEnded(const std::string& path, int commandId);

  private:
    const ControllerFactory m_factory;
    const DownloadNotice m_notifyDownload;
    std::shared_ptr<CAutoUpdateHandler> m_controller;
};
}  // namespace tvc
