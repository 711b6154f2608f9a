// Loads the system's EGL driver on a thread of its own, so the engine's own EGL start on the main
// thread finds it mapped and relocated. Without a GPU that driver is Mesa's llvmpipe with LLVM:
// some 40 ms of loading that would otherwise sit on the start-up's critical path.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <dlfcn.h>
#include <glob.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace tvc::glib {

// Without one, GL is Mesa's llvmpipe: some 100 MB of LLVM per process, slower than the engine's
// own CPU painting.
inline bool HasGpuRenderNode() {
    glob_t found{};
    const bool any = glob("/dev/dri/renderD*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    return any;
}

class CGraphicsDriverWarmUp {
  public:
    CGraphicsDriverWarmUp() = default;
    CGraphicsDriverWarmUp(const CGraphicsDriverWarmUp&) = delete;
    CGraphicsDriverWarmUp& operator=(const CGraphicsDriverWarmUp&) = delete;
    ~CGraphicsDriverWarmUp() { Join(); }

    void Start() {
        if (!m_thread.joinable()) m_thread = std::thread(&CGraphicsDriverWarmUp::Load);
    }
    void Join() {
        if (m_thread.joinable()) m_thread.join();
    }

  private:
    static void Load() {
        // Speculative work: it takes only what the drawing threads leave.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
        // The display stays initialised: terminating it would unload the driver again.
        void* egl = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!egl) return;
        auto getProc = reinterpret_cast<void* (*)(const char*)>(dlsym(egl, "eglGetProcAddress"));
        auto getDisplay = reinterpret_cast<EGLDisplay (*)(EGLenum, void*, const EGLAttrib*)>(
            getProc ? getProc("eglGetPlatformDisplay") : nullptr);
        auto initialize = reinterpret_cast<EGLBoolean (*)(EGLDisplay, EGLint*, EGLint*)>(
            dlsym(egl, "eglInitialize"));
        if (!getDisplay || !initialize) return;
        // Surfaceless needs no connection to the display server, which belongs to the main thread.
        EGLDisplay display =
            getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display != EGL_NO_DISPLAY) initialize(display, nullptr, nullptr);
    }

    std::thread m_thread;
};
}  // namespace tvc::glib
