// What the render-side bridge takes from its process: the main-thread task runner, the
// process-wide values, and the few services the tests replace.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/AppInfo.h"
#include "common/AppOrigins.h"

namespace tvc::render {

// Later work on the web process's main loop. The web process is single-threaded: everything of the
// bridge runs on that loop's thread, so nothing here crosses threads.
class IRenderTaskRunner {
  public:
    virtual ~IRenderTaskRunner() = default;
    // Runs `task` after `delayMs`; false when it cannot be queued.
    virtual bool PostTask(std::function<void()> task, int delayMs) = 0;
};

// Values shared by the application object, the binder and the handler. Render thread only.
struct CRenderProcessState {
    bool bAppActive = false;        // "IsAppActiveStatusMessage"
    bool bWindowMinimized = false;  // "IsWindowMiniaturizedStatusMessage"
    std::string strMachineId;       // empty until it could be read
    bool bSendQueueFull = false;    // the browser refuses inter-app sends until it has room
    int iInterAppConnection = 0;    // the peer's connection the page heard of last: it answers it
};

inline constexpr const char* kDefaultConfigBaseURL = "https://config.tavisto.example/";

struct CRenderEnv {
    std::shared_ptr<IRenderTaskRunner> runner;
    std::shared_ptr<CRenderProcessState> state = std::make_shared<CRenderProcessState>();
    // The machine identifier, or "" when it cannot be read.
    std::function<std::string()> readMachineId;
    std::string version;
    std::string configBaseURL =
        kDefaultConfigBaseURL;                    // "propMDConfigBaseURL" without a stored value
    std::string webSiteURL = kDefaultWebSiteURL;  // opened by the tray's web-site item
    // False where the desktop cannot keep the window above the others (Wayland).
    bool canKeepAbove = true;
    // The frames that get the bridge: the browser process's list.
    CAppOrigins appOrigins;
};
using RenderEnvRef = std::shared_ptr<CRenderEnv>;
}  // namespace tvc::render
