#include "common/ClientHandler/TVCClientHandler.h"

#include "common/AppInfo.h"
#include "common/AppWindowHandler/AppWindowUtil.h"
#include "common/ClientHandler/UrlPolicy.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"

namespace tvc {

CTVCClientHandler::CTVCClientHandler() {
    m_minimumWindowWidth = kMinimumWindowWidth;
    m_minimumWindowHeight = kMinimumWindowHeight;
    InitializeProductAppInfo();
    if (GetStartupURL().empty()) {
        // The start page beside the executable, as the URI the engine will report for it.
        std::string folder;
        CAppPaths::GetPath(CAppPaths::eApplicationFolder, folder);
        SetStartupURL(FilePathToFileUri(folder + kStartPageFileName));
        TVC_LOG_WARN("m_StartupURL = %s\n", GetStartupURL().c_str());
        if (!tvc::FileExists(folder + kStartPageFileName))
            m_missingStartPage = folder + kStartPageFileName;
    }
}

void CTVCClientHandler::SetMainHwnd(std::shared_ptr<platform::IAppWindow> window) {
    if (!window) TVC_LOG_ERROR("CTVCClientHandler::SetMainHwnd: hawnd is NULL");
    ClientHandler::SetMainHwnd(std::move(window));
    DisplaySplashScreen(true);
}

void CTVCClientHandler::OnAfterCreated(engine::BrowserRef browser) {
    DebugPrint("LOGDEBUG : SetupLogger-OnAfterCreated");
    InitializeProductAppInfo();
    SetupLogger(true, "BROWSER_PROCESS_LOG_");  // starts once; later browsers find it running
    if (!m_missingStartPage.empty()) {
        // Said again now that the log file exists; the engine shows its load-error page.
        TVC_LOG_ERROR("%s : the start page %s is missing", "CTVCClientHandler::OnAfterCreated",
                      m_missingStartPage.c_str());
        m_missingStartPage.clear();
    }
    ClientHandler::OnAfterCreated(std::move(browser));
}

void CTVCClientHandler::OnBeforeClose(engine::BrowserRef browser) {
    if (!browser) {
        TVC_LOG_ERROR("%s : browser ref-null ref-count\n", "CTVCClientHandler::OnBeforeClose");
        return;
    }
    ClientHandler::OnBeforeClose(browser);
    ReleaseLiveBrowser();
}

void CTVCClientHandler::HandleInterAppMessagingModuleFailure() {
    // The "ports unavailable" message box belongs to the shell; it is shown from here once it
    // exists.
    TVC_LOG_ERROR("%s : the inter-app messaging module failed to listen on every port",
                  "CTVCClientHandler::HandleInterAppMessagingModuleFailure");
}

void CTVCClientHandler::HandleMessageBoxEvent(int eventType) {
    static const char* fn = "CTVCClientHandler::HandleMessageBoxEvent";
    if (eventType != kMessageBoxEventCloseApplication) {
        TVC_LOG_WARN("%s recived event type = %u\n", fn, static_cast<unsigned>(eventType));
        return;
    }
    CAppWindowUtil::PerformUserWindowClose(GetMainHwnd());
}
}  // namespace tvc
