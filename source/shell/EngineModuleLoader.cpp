#include "shell/EngineModuleLoader.h"

#include <gmodule.h>

#include "glibutil/GraphicsDriver.h"
#include "glibutil/OwnEnvironment.h"

namespace tvc::shell {

CEngineModuleLoader::CEngineModuleLoader(std::string path) : m_path(std::move(path)) {
    if (glib::HasGpuRenderNode()) return;
    // Speculative: it takes only what the window's drawing leaves, until the engine needs it.
    m_driverWarmUp = std::make_unique<CBackgroundWork>(&glib::LoadGraphicsDriver);
}

CEngineModuleLoader::~CEngineModuleLoader() = default;

const webkit::EngineModuleApi* CEngineModuleLoader::Get(std::string& error) {
    // Loading the module waits for the loader lock the driver's load may be holding.
    if (m_driverWarmUp) m_driverWarmUp->Lift();
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
    // The engine's own EGL start is next: it finds the driver in place, once the (lifted) load has
    // ended.
    m_driverWarmUp.reset();
    return m_api;
}

void PrepareProcessForEngine() {
    // Without this GDK probes GLX when it opens the display: llvmpipe and LLVM loaded before the
    // splash can be drawn. The web process inherits it: its WebGL uses EGL, not GDK.
    if (!glib::HasGpuRenderNode()) glib::SetOwnVariable("GDK_GL", "disable");
}
}  // namespace tvc::shell
