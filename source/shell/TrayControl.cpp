#include "shell/TrayControl.h"

#include <memory>
#include <optional>
#include <string>

#include "common/AppInfo.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/LogHelper.h"
#include "common/Translate.h"
#include "common/Url.h"
#include "platform/gtk/TrayControlImpl.h"
#include "shell/WndProc.h"

namespace tvc::shell {
namespace {
constexpr const char* kToolTipText = "TavistoForWeb";
// The icon's picture, shipped beside the executable.
constexpr const char* kTrayIconName = "tavisto-for-web";

std::unique_ptr<platform::gtk::CTrayControlImpl> g_ptrTrayControlImpl;

std::string WebSiteHost() {
    const std::string url = GetWebSiteURL();
    const std::optional<SUrl> parts = ParseUrl(url);
    return parts && !parts->host.empty() ? parts->host : url;
}
void SetMenuTexts(platform::CTrayControlBase& tray) {
    tray.SetMenuInfo(CUSTOM_IDM_TRAY_CONTROL_OPTION_OPEN_WEB,
                     FormatText(_("Open %s"), WebSiteHost()));
    tray.SetMenuInfo(CUSTOM_IDM_TRAY_CONTROL_OPTION_EXIT, _("Quit"));
    tray.SetMenuInfo(CUSTOM_IDM_TRAY_CONTROL_OPTION_ABOUT, _("About Tavisto for Web"));
}
}  // namespace

void TrayControl_Relabel() {
    if (!g_ptrTrayControlImpl) return;
    SetMenuTexts(*g_ptrTrayControlImpl);
    g_ptrTrayControlImpl->RelabelMenu();
}

bool TrayControl_Setup(CMainWindowProc* window) {
    static const char* fn = "TrayControl_Setup";
    if (!g_ptrTrayControlImpl)
        g_ptrTrayControlImpl = std::make_unique<platform::gtk::CTrayControlImpl>();
    std::string appFolder;
    CAppPaths::GetPath(CAppPaths::eApplicationFolder, appFolder);
    g_ptrTrayControlImpl->SetIcon(kTrayIconName, appFolder);
    g_ptrTrayControlImpl->SetCommandSink(
        [window](unsigned commandId) { window->PostCommand(static_cast<int>(commandId)); });
    g_ptrTrayControlImpl->SetToolTipText(kToolTipText);
    SetMenuTexts(*g_ptrTrayControlImpl);
    const bool ok = g_ptrTrayControlImpl->Initialize();
    TVC_LOG_WARN("%s : Initialize() returned %u", fn, ok ? 1u : 0u);
    return ok;
}

bool TrayControl_Delete() {
    if (!g_ptrTrayControlImpl) {
        TVC_LOG_WARN("%s : g_ptrTrayControlImpl is already NULL", "TrayControl_Delete");
        return false;
    }
    g_ptrTrayControlImpl.reset();
    return true;
}
}  // namespace tvc::shell
