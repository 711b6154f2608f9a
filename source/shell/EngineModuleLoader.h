// The engine module (EngineModule.h) and, without a GPU, the GL driver the engine loads anyway.
// The driver loads on a thread of its own while the main thread brings up the window and its
// splash; the module loads on the main thread once the splash is on screen. Loading it on a thread
// too gains nothing: every dlsym the main thread makes meanwhile (GtkBuilder makes some) waits for
// the loader's lock, which such a load holds for its whole 50 ms.
// The driver's thread keeps the main thread's priority: it holds the loader's lock, which the main
// thread may need at any dlopen or dlsym, and a lowered holder starved by a busy machine held the
// splash and the page back by seconds.
#pragma once

#include <string>
#include <thread>

#include "engine/webkitgtk/EngineModule.h"

namespace tvc::shell {

class CEngineModuleLoader {
  public:
    // Main thread, after gtk_init (which loads GTK's own modules). `path`: the module file.
    explicit CEngineModuleLoader(std::string path);
    ~CEngineModuleLoader();
    CEngineModuleLoader(const CEngineModuleLoader&) = delete;
    CEngineModuleLoader& operator=(const CEngineModuleLoader&) = delete;

    // Main thread. Null with `error` filled when the module could not load.
    const webkit::EngineModuleApi* Get(std::string& error);

  private:
    const std::string m_path;
    const webkit::EngineModuleApi* m_api = nullptr;
    std::thread m_driverWarmUp;  // only loads; touches nothing of ours
};

// Main thread, before gtk_init and before any other thread starts: where there is no GPU, GDK is
// kept from loading a GL driver that nothing here draws with (the engine paints on the CPU).
void PrepareProcessForEngine();
}  // namespace tvc::shell
