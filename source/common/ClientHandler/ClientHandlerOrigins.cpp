// What the application's own origins are trusted with: the page's messages and its permissions.
// Main thread.
#include "common/ClientHandler/AppUrls.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/Url.h"

namespace tvc {
namespace {
std::string OriginShown(const engine::BrowserRef& browser) {
    auto frame = browser ? browser->GetMainFrame() : nullptr;
    std::string origin = frame ? OriginOfUrl(frame->GetCommittedURL()) : "";
    return origin.empty() ? "null" : origin;
}
}  // namespace

const CAppOrigins& ClientHandler::GetAppOrigins() {
    if (!m_appOrigins)
        m_appOrigins.emplace(
            std::vector<std::string>{m_StartupURL, GetWebSiteURL(), GetDefaultStartUrlPrefix()});
    return *m_appOrigins;
}

bool ClientHandler::IsShowingOwnOrigin(engine::BrowserRef browser, const std::string& what) {
    const std::string origin = OriginShown(browser);
    if (GetAppOrigins().Contains(origin)) return true;
    if (m_loggedRefusals.IsFirst(origin + " " + what))
        TVC_LOG_WARN("%s : refused %s: the page shown is of %s, not one of the application's",
                     TVC_FN, what.c_str(), origin.c_str());
    return false;
}

// A third-party frame inside the application's page is not the application: where the engine
// names the frame that asks, its site decides as well.
bool ClientHandler::OnPermissionRequest(engine::BrowserRef browser, const std::string& kind,
                                        const std::string& requestingSite) {
    if (!IsShowingOwnOrigin(browser, "the " + kind + " permission")) return false;
    if (requestingSite.empty() || GetAppOrigins().ContainsSite(requestingSite)) return true;
    if (m_loggedRefusals.IsFirst(requestingSite + " " + kind))
        TVC_LOG_WARN(
            "%s : refused the %s permission: a frame of %s asks, not one of the "
            "application's",
            TVC_FN, kind.c_str(), requestingSite.c_str());
    return false;
}
}  // namespace tvc
