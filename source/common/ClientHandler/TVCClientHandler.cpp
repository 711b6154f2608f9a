#include "common/ClientHandler/TVCClientHandler.h"

#include "common/AppInfo.h"
#include "common/AppWindowHandler/AppWindowUtil.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/TaskRunner.h"
#include "common/UrlPolicy.h"

namespace tvc {

CTVCClientHandler::CTVCClientHandler(std::shared_ptr<CWindowOperations> windowOps,
                                     std::shared_ptr<CUpdateFlow> updates,
                                     std::shared_ptr<CPageRecovery> recovery,
                                     std::shared_ptr<CBrowserSet> browsers,
                                     std::shared_ptr<CInterAppMessaging> messaging)
    : ClientHandler(
          windowOps
              ? std::move(windowOps)
              : std::make_shared<CWindowOperations>(kMinimumWindowWidth, kMinimumWindowHeight),
          std::move(updates), std::move(recovery), std::move(browsers), std::move(messaging)) {
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
    // Batched: every inter-app message logs several lines.
    SetupLogger(true, "BROWSER_PROCESS_LOG_", true);  // starts once; later browsers find it running
    if (!m_missingStartPage.empty()) {
        // Said again now that the log file exists; the engine shows its load-error page.
        TVC_LOG_ERROR("%s : the start page %s is missing", TVC_FN, m_missingStartPage.c_str());
        m_missingStartPage.clear();
    }
    ClientHandler::OnAfterCreated(std::move(browser));
}

void CTVCClientHandler::OnBeforeClose(engine::BrowserRef browser) {
    if (!browser) {
        TVC_LOG_ERROR("%s : browser ref-null ref-count\n", TVC_FN);
        return;
    }
    ClientHandler::OnBeforeClose(browser);
    Browsers().ReleaseLiveBrowser();
}

void CTVCClientHandler::SetMessageBoxes(std::shared_ptr<platform::IMessageBoxes> boxes) {
    m_messageBoxes = std::move(boxes);
    // The dialog follows the listener's runs.
    auto call = [weak = weak_from_this()](void (CTVCClientHandler::*hook)()) {
        return [weak, hook] {
            if (auto self = weak.lock()) (static_cast<CTVCClientHandler&>(*self).*hook)();
        };
    };
    Messaging().SetListenerHooks(
        {.listening = call(&CTVCClientHandler::OnListening),
         .settled = call(&CTVCClientHandler::OnListenerAttemptsSettled),
         .failure = call(&CTVCClientHandler::HandleInterAppMessagingModuleFailure)});
}

void CTVCClientHandler::HandleInterAppMessagingModuleFailure() {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s : ++\n", fn);
    // Shown from a task of its own: the listener's report comes from inside its notification.
    runner::Post([weak = weak_from_this()] {
        if (auto self = weak.lock())
            static_cast<CTVCClientHandler&>(*self).ShowPortFailureMessageBox();
    });
    TVC_LOG_WARN("%s : --\n", fn);
}

void CTVCClientHandler::OnListenerAttemptsSettled() {
    if (!m_portFailureDeferred || Messaging().IsListenerAttemptPending()) return;
    m_portFailureDeferred = false;
    ShowPortFailureMessageBox();
}

void CTVCClientHandler::OnListening() {
    m_portFailureDeferred = false;
    // Its Close would end a program whose listener now works.
    if (m_messageBoxes) m_messageBoxes->CloseMessageBox(platform::IMessageBoxes::kTypePortFailure);
}

void CTVCClientHandler::ShowPortFailureMessageBox() {
    static const char* fn = TVC_FN;
    if (Messaging().IsListenerAttemptPending()) {
        TVC_LOG_WARN("%s : another listener run is still to come; the dialog waits for it", fn);
        m_portFailureDeferred = true;
        return;
    }
    // The port list's help address, else the default; only addresses that may leave the program.
    std::string helpUrl = Messaging().GetWSHelpUrl();
    if (helpUrl.empty()) helpUrl = GetDefaultHelpURL();
    if (!IsExternallyOpenableUrl(helpUrl)) {
        TVC_LOG_ERROR("%s : refused the help address %s; %s is offered instead", fn,
                      helpUrl.c_str(), kDefaultHelpURL);
        helpUrl = kDefaultHelpURL;
    }
    if (!m_messageBoxes) {
        TVC_LOG_ERROR("%s : no message boxes to show the dialog with", fn);
        return;
    }
    auto self = std::static_pointer_cast<CTVCClientHandler>(shared_from_this());
    if (!m_messageBoxes->ShowMessageBox(kPortFailureTitle, kPortFailureMessage,
                                        platform::IMessageBoxes::kTypePortFailure, helpUrl,
                                        std::weak_ptr<GUIUtils::IMessageBoxEventsListner>(self)))
        TVC_LOG_ERROR("%s : the dialog could not be shown", fn);
}

void CTVCClientHandler::HandleMessageBoxEvent(int eventType) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s : ++\n", fn);
    if (eventType == kMessageBoxEventCloseApplication)
        CAppWindowUtil::PerformUserWindowClose(GetMainHwnd());
    else
        TVC_LOG_WARN("%s recived event type = %u\n", fn, static_cast<unsigned>(eventType));
    TVC_LOG_WARN("%s : --\n", fn);
}
}  // namespace tvc
