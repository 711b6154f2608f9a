#include "common/ClientHandler/UpdateFlow.h"

#include "common/LogHelper.h"
#include "update/AutoUpdateHandler.h"

namespace tvc {
bool CUpdateFlow::EnsureController(engine::BrowserRef browser, const std::string& updateFolder,
                                   std::function<void()> closeApplication) {
    if (m_controller) return true;
    if (!m_factory || !(m_controller = m_factory())) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : no update controller could be created",
                      "ClientHandler::CheckUpdateHandlerIntegrity");
        return false;
    }
    m_controller->SetCefBrowserReferance(std::move(browser));
    if (!updateFolder.empty()) m_controller->SetUpdateDirectoryPath(updateFolder);
    m_controller->SetApplicationCloser(std::move(closeApplication));
    return true;
}

void CUpdateFlow::Trigger() {
    // Held for the call: the quit sequence may release the controller.
    const auto controller = m_controller;
    if (!controller) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : m_pAutoUpdateHandler is NULL. \n",
                      "ClientHandler::TriggerApplicationUpdate");
        return;
    }
    controller->InitiateAutoUpdate();
}

void CUpdateFlow::DownloadEnded(const std::string& path, int commandId) {
    if (m_notifyDownload) m_notifyDownload(commandId, path);
}
}  // namespace tvc
