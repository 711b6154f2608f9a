// The web process's main loop as the bridge's render thread.
#pragma once

#include <thread>

#include "render/RenderEnv.h"

namespace tvc::render::webext {

class CMainThreadRunner : public IRenderTaskRunner {
  public:
    // Constructed on the main thread (the extension's entry runs there).
    CMainThreadRunner() : m_mainThread(std::this_thread::get_id()) {}
    bool CurrentlyOnRenderThread() const override {
        return std::this_thread::get_id() == m_mainThread;
    }
    // Any thread: queues on the default main context, which the web process's main loop runs.
    bool PostTask(std::function<void()> task, int delayMs) override;

  private:
    std::thread::id m_mainThread;
};
}  // namespace tvc::render::webext
