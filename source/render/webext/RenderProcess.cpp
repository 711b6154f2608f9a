#include "render/webext/RenderProcess.h"

#include <memory>

#include "common/AppInfo.h"
#include "common/AppProps.h"
#include "common/LogHelper.h"
#include "render/ClientApp.h"
#include "render/MachineId.h"
#include "render/webext/MainThreadRunner.h"
#include "render/webext/RenderExtension.h"

namespace tvc::render {
namespace {
std::string Get(const std::map<std::string, std::string>& m, const char* key) {
    auto it = m.find(key);
    return it == m.end() ? std::string() : it->second;
}

// Lives as long as the web process; WebKit never unloads the extension.
std::unique_ptr<webext::CRenderExtension> g_renderExtension;
}  // namespace

void OnRenderProcessStarted(WebKitWebExtension* extension,
                            const std::map<std::string, std::string>& init) {
    // The web process is WebKit's executable, not ours: the folders come from the browser process.
    CAppPaths::SetApplicationFolderOverride(Get(init, "app-folder"));
    tvc::InitializeProductAppInfo();
    // Batched: every inter-app message and bridge call logs several lines here too.
    SetupLogger(false, "RENDER_PROCESS_LOG_", true);
    CAppProps::SetFilePath(Get(init, "prefs-path"));
    TVC_LOG_WARN("%s : web-process extension loaded, AppProps file path is %s", TVC_FN,
                 Get(init, "prefs-path").c_str());

    auto env = std::make_shared<CRenderEnv>();
    env->runner = std::make_shared<webext::CMainThreadRunner>();
    env->readMachineId = [] { return ReadMechineID(); };
    env->version = CAppInfo::GetVersion();
    // Optional overrides from the browser process (its command-line switches).
    if (auto v = Get(init, "config-base-url"); !v.empty()) env->configBaseURL = v;
    if (auto v = Get(init, "web-site-url"); !v.empty()) env->webSiteURL = v;
    env->canKeepAbove = Get(init, "window-keep-above") != "0";
    env->appOrigins = CAppOrigins::Deserialize(Get(init, "app-origins"));
    while (!env->webSiteURL.empty() && env->webSiteURL.back() == '/') env->webSiteURL.pop_back();

    g_renderExtension =
        std::make_unique<webext::CRenderExtension>(extension, std::make_shared<CTVCApp>(env));
}
}  // namespace tvc::render
