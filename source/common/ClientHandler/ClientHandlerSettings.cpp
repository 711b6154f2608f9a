// Values the page sets at run time (appcast folder, locale, popup domains). Main thread.
#include <algorithm>

#include "common/AppProps.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "common/Url.h"
#include "common/UrlPolicy.h"

namespace tvc {

void ClientHandler::AddSettingsRoutes(CMessageRoutes& routes) {
    // Without its one string the appcast folder goes back to the default, and is checked all the
    // same.
    routes.Add(msg::kSetAppcastURL,
               {.arrival = "SetAppcastURL event received",
                .act = [this](auto, auto& m) { HandleSetAppcastURL(m.args[0].GetString()); },
                .mismatch = "SimpleHandler::OnProcessMessageReceived: SetAppcastURL argument "
                            "number mismatch",
                .otherwise = [this](auto, auto&) { HandleSetAppcastURL(std::nullopt); }});
    routes.Add(
        msg::kSetLocale,
        {.arrival = "ClientHandler::HandleSetLocale - SetLocale Called",
         .act = [this](auto browser, auto& m) { HandleSetLocale(browser, m.args[0].GetString()); },
         .mismatch = "SimpleHandler::OnProcessMessageReceived: kSetLocaleMessage argument "
                     "number mismatch"});
    routes.Add(msg::kSetPopupDomain,
               {.arrival = "ClientHandler::HandleSetPopupDomain SetPopupDomain",
                .act = [this](auto, auto& m) { HandleSetPopupDomain(m.args[0].GetString()); },
                .mismatch = "SimpleHandler::OnProcessMessageReceived: kSetPopupDomainMessage "
                            "argument number mismatch"});
    routes.Add(msg::kLaunchURL,
               {.arrival = "ClientHandler::OnProcessMessageReceived LaunchURLMessage\n",
                .act = [this](auto, auto& m) { OpenUrlExternally(m.args[0].GetString()); },
                .mismatch = "SimpleHandler::OnProcessMessageReceived: kLaunchURLMessage argument "
                            "number mismatch"});
}

void ClientHandler::HandleSetAppcastURL(std::optional<std::string> asked) {
    static const char* fn = TVC_FN;
    const std::string defaultUrl = GetAppcastDirectoryURL();
    std::string result = defaultUrl;
    if (asked) {
        std::string url = std::move(*asked);
        if (url.empty()) {
            url = defaultUrl;
            TVC_LOG_WARN("%s - Empty String got. Default Appcast URL is %s", fn, url.c_str());
        }
        url.erase(std::remove(url.begin(), url.end(), ' '), url.end());
        // The appcast names the installer we run: only a web address may supply it, and it must
        // end in the appcast file, in its path and in its text alike.
        const std::string file = std::string("/") + kAppcastFileName;
        const std::optional<SUrl> parts = IsWebUrl(url) ? ParseUrl(url) : std::nullopt;
        if (parts && parts->path.ends_with(file) && url.ends_with(file)) {
            result = url.substr(0, url.size() - file.size() + 1);
        } else {
            TVC_LOG_WARN(
                "SimpleHandler::OnProcessMessageReceived: SetAppcastURL is invalid , hence "
                "assinged to default "
                "appcast url");
            result = defaultUrl.substr(0, defaultUrl.rfind('/') + 1);
        }
    }
    CheckUpdateHandlerIntegrity();
    SetAppcastDirectoryURL(result);
    TVC_LOG_WARN("%s : appcast folder is %s", fn, result.c_str());
    TriggerApplicationUpdate();
}

void ClientHandler::HandleSetLocale(engine::BrowserRef browser, const std::string& locale) {
    static const char* fn = TVC_FN;
    if (locale.empty()) return;
    TVC_LOG_WARN("%s - Locale is %s", fn, locale.c_str());
    // A value the preferences refuse (CR, LF, NUL) is not put into an address either; a file that
    // cannot be written (read-only or full profile) still lets the locale's page load.
    if (!CAppProps::IsStorableValue(locale)) {
        TVC_LOG_ERROR("%s : the locale holds a line break or NUL; nothing loaded", fn);
        return;
    }
    if (!CAppProps::WriteProperty("language", "locale", locale))
        TVC_LOG_ERROR("%s : the locale could not be stored; loading its page anyway", fn);
    if (m_onLocaleSet) m_onLocaleSet(locale);
    std::string base = CAppProps::ReadProperty("url", "starturl");
    // One stored before the program checked what the page stores may name any site: it stays in
    // the file, unused, until the program is configured with its origin again.
    if (!base.empty() && !GetAppOrigins().IsOwnStartAddress(base)) {
        TVC_LOG_WARN("%s : the stored start address %s is not one of the application's; using %s",
                     fn, CLogHelper::MessageExcerpt(base, 256).c_str(),
                     GetDefaultStartUrlPrefix().c_str());
        base.clear();
    }
    if (base.empty()) base = GetDefaultStartUrlPrefix();
    auto frame = browser ? browser->GetMainFrame() : nullptr;
    if (!frame) {
        TVC_LOG_WARN("%s : no main frame, nothing loaded", fn);
        return;
    }
    frame->LoadURL(base + locale);
}

void ClientHandler::HandleSetPopupDomain(const std::string& domains) {
    if (domains.empty()) TVC_LOG_WARN("%s. Domain String is Empty", TVC_FN);
    m_popupDomainList = domains;
}
}  // namespace tvc
