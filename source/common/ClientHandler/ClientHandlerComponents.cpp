// What the handler asks of the components it works with: the update controller's creation and
// the page's inter-app routes.
#include "common/AppInfo.h"
#include "common/AppWindowHandler/AppWindowUtil.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc {
void ClientHandler::AddInterAppRoutes(CMessageRoutes& routes) {
    // Every new script context asks; only the first request starts anything.
    routes.Add(msg::kNativeMessageListenerCommandControl, {.act = [this](auto browser, auto&) {
                   m_messaging->StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(browser);
                   m_messaging->StartNativeMessagingListener(*this);
                   TellPageAfterCrash(browser);
               }});
    routes.Add(msg::kNativeMessageFromTvdJs,
               {.act =
                    [this](auto, auto& m) {
                        // The page's text answers the connection it names, and no peer after it.
                        m_messaging->SendStringAsInterAppMessage(m.args[0].GetString(),
                                                                 m.args[1].GetInt());
                    },
                .mismatch = "SimpleHandler::OnProcessMessageReceived: kNativeMessageFromTVDJS "
                            "invalid argument."});
}

void ClientHandler::CheckUpdateHandlerIntegrity() {
    std::string userData;
    if (CAppPaths::GetPath(CAppPaths::eUserAppDataFolder, userData) != CAppPaths::eOk)
        userData.clear();
    // The installer runs: the application leaves through the ordinary quit, with the window
    // brought up first so the user sees what is going on.
    m_updates->EnsureController(GetBrowser(),
                                userData.empty() ? "" : userData + GetUpdateDirectoryPath(),
                                [weak = weak_from_this()] {
                                    auto self = weak.lock();
                                    auto window = self ? self->GetMainHwnd() : nullptr;
                                    if (!window) return;
                                    window->Show();
                                    window->Raise();
                                    CAppWindowUtil::PerformUserWindowClose(window);
                                });
}
}  // namespace tvc
