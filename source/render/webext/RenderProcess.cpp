#include "render/webext/RenderProcess.h"

#include "common/AppInfo.h"
#include "common/AppProps.h"
#include "common/LogHelper.h"

namespace tvc::render {
namespace {
std::string Get(const std::map<std::string, std::string>& m, const char* key) {
    auto it = m.find(key);
    return it == m.end() ? std::string() : it->second;
}
}  // namespace

void OnRenderProcessStarted(WebKitWebExtension* extension, const std::map<std::string, std::string>& init) {
    // The web process is WebKit's executable, not ours: the folders come from the browser process.
    CAppPaths::SetApplicationFolderOverride(Get(init, "app-folder"));
    tvc::InitializeProductAppInfo();
    SetupLogger(false, "RENDER_PROCESS_LOG_");
    CAppProps::SetFilePath(Get(init, "prefs-path"));
    TVC_LOG_WARN("%s : web-process extension loaded, AppProps file path is %s", "CTVCApp::OnRenderThreadCreated",
                 Get(init, "prefs-path").c_str());
}
}  // namespace tvc::render
