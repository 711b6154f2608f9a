// The system's GL driver, as the engine meets it in the browser process.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <dlfcn.h>
#include <glob.h>

namespace tvc::glib {

// Without one, GL is Mesa's llvmpipe: some 100 MB of LLVM per process, slower than the engine's
// own CPU painting. Looked up once: the start-up asks three times, and a GPU added later would not
// change what the engine has already chosen.
inline bool HasGpuRenderNode() {
    static const bool any = [] {
        glob_t found{};
        const bool matched =
            glob("/dev/dri/renderD*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
        globfree(&found);
        return matched;
    }();
    return any;
}

// Loads and relocates the EGL driver the engine will load anyway, so that its own EGL start finds
// it in place: any thread, as it uses no connection to the display server (surfaceless). The
// display stays initialised, as terminating it would unload the driver again.
inline void LoadGraphicsDriver() {
    void* egl = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!egl) return;
    auto getProc = reinterpret_cast<void* (*)(const char*)>(dlsym(egl, "eglGetProcAddress"));
    auto getDisplay = reinterpret_cast<EGLDisplay (*)(EGLenum, void*, const EGLAttrib*)>(
        getProc ? getProc("eglGetPlatformDisplay") : nullptr);
    auto initialize =
        reinterpret_cast<EGLBoolean (*)(EGLDisplay, EGLint*, EGLint*)>(dlsym(egl, "eglInitialize"));
    if (!getDisplay || !initialize) return;
    EGLDisplay display = getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display != EGL_NO_DISPLAY) initialize(display, nullptr, nullptr);
}
}  // namespace tvc::glib
