// The engine's download callbacks go to the router.
#include "common/ClientHandler/ClientHandler.h"

namespace tvc {

engine::DownloadTarget ClientHandler::OnBeforeDownload(engine::BrowserRef,
                                                       const engine::DownloadItem& item,
                                                       const std::string& suggestedName) {
    return m_downloads.OnBeforeDownload(item, suggestedName);
}

void ClientHandler::OnDownloadUpdated(engine::BrowserRef, const engine::DownloadItem& item) {
    m_downloads.OnDownloadUpdated(item);
}
}  // namespace tvc
