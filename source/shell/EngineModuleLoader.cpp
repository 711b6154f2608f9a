#include "shell/EngineModuleLoader.h"

#include <gmodule.h>

#include "glibutil/GraphicsDriver.h"
#include "glibutil/OwnEnvironment.h"

namespace tvc::shell {

CEngineModuleLoader::CEngineModuleLoader(std::string path) : m_path(std::move(path)) {
    if (glib::HasGpuRenderNode()) return;
    m_driverWarmUp = std::thread(&glib::LoadGraphicsDriver);
}

CEngineModuleLoader::~CEngineModuleLoader() {
    if (m_driverWarmUp.joinable()) m_driverWarmUp.join();
}

const webkit::EngineModuleApi* CEngineModuleLoader::Get(std::string& error) {
    if (!m_api) {
        GModule* module = g_module_open(m_path.c_str(), G_MODULE_BIND_LOCAL);
        if (!module) {
            error = g_module_error();
            return nullptr;
        }
        g_module_make_resident(
            module);  // WebKit's threads outlive any point where unloading is safe
        gpointer entry = nullptr;
        if (g_module_symbol(module, webkit::kEngineModuleEntry, &entry) && entry)
            m_api = reinterpret_cast<webkit::EngineModuleEntry>(entry)();
        if (!m_api) {
            error = m_path + " has no engine entry";
            return nullptr;
        }
    }
    // The engine's own EGL start is next: it finds the driver in place once the load has ended.
    if (m_driverWarmUp.joinable()) m_driverWarmUp.join();
    return m_api;
}

void PrepareProcessForEngine() {
    // Without this GDK probes GLX when it opens the display: llvmpipe and LLVM loaded before the
    // splash can be drawn. The web process inherits it: its WebGL uses EGL, not GDK.
    if (!glib::HasGpuRenderNode()) glib::SetOwnVariable("GDK_GL", "disable");
}
}  // namespace tvc::shell
