#include "common/ClientHandler/QuitRoad.h"

#include "common/ClientHandler/BrowserSet.h"
#include "common/ClientHandler/InterAppMessaging.h"
#include "common/ClientHandler/UpdateFlow.h"
#include "common/LogHelper.h"

namespace tvc {
CQuitRoad::CQuitRoad(std::shared_ptr<CBrowserSet> browsers,
                     std::shared_ptr<CInterAppMessaging> messaging,
                     std::shared_ptr<CUpdateFlow> updates)
    : m_browsers(std::move(browsers)),
      m_messaging(std::move(messaging)),
      m_updates(std::move(updates)) {}

engine::BrowserRef CQuitRoad::GetBrowser() {
    return m_browsers->Main();
}
void CQuitRoad::UnregisterNativeMessageObservers() {
    m_messaging->UnregisterNativeMessageObservers();
}
void CQuitRoad::UnregisterQuitHandlerNativeMessageObserver() {
    m_messaging->UnregisterQuitHandlerNativeMessageObserver();
}
void CQuitRoad::StopNativeMessagingListener() {
    m_messaging->StopNativeMessagingListener();
}
void CQuitRoad::CleanupRefs() {
    TVC_LOG_WARN("releasing: m_pAutoUpdateHandler-before");
    m_updates->Release();
    TVC_LOG_WARN("releasing: m_pAutoUpdateHandler-after");
    m_messaging->CleanupRefs();
}
void CQuitRoad::CloseAllBrowsers(bool forceClose) {
    m_browsers->CloseAllBrowsers(forceClose);
}
void CQuitRoad::RetryNativeMessagingListener() {
    m_messaging->RetryNativeMessagingListener();
}
void CQuitRoad::HandleInterAppMessagingModuleFailure() {
    m_messaging->ReportModuleFailure();
}
void CQuitRoad::FinishWorkInFlight(std::function<void()> done) {
    m_messaging->FinishWorkInFlight(std::move(done));
}
}  // namespace tvc
