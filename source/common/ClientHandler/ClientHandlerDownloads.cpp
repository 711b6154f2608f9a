// The engine's download callbacks go to the router; the port-list file is started here.
#include "common/ClientHandler/AppUrls.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"

namespace tvc {

bool ClientHandler::StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(
    engine::BrowserRef browser) {
    static const char* fn = TVC_FN;
    if (IsStarted_OnetimeDownload_WebSocketsTrialPortList) {
        TVC_LOG_WARN(
            "%s : IsStarted_OnetimeDownload_WebSocketsTrialPortList is true, not downloading. ",
            fn);
        return false;
    }
    if (!browser) {
        TVC_LOG_ERROR("%s : browser is NULL. ", fn);
        return false;
    }
    TVC_LOG_WARN("%s : Initiating... ", fn);
    IsStarted_OnetimeDownload_WebSocketsTrialPortList = true;
    m_portListDownloadPending = true;
    browser->GetHost().StartDownload(GetWSConfigFileURL());
    return true;
}

engine::DownloadTarget ClientHandler::OnBeforeDownload(engine::BrowserRef,
                                                       const engine::DownloadItem& item,
                                                       const std::string& suggestedName) {
    return m_downloads.OnBeforeDownload(item, suggestedName);
}

void ClientHandler::OnDownloadUpdated(engine::BrowserRef, const engine::DownloadItem& item) {
    m_downloads.OnDownloadUpdated(item);
}
}  // namespace tvc
