// The web process's main loop as the bridge's task runner.
#pragma once

#include <chrono>

#include "common/TaskRunner.h"
#include "render/RenderEnv.h"

namespace tvc::render::webext {

class CMainThreadRunner : public IRenderTaskRunner {
  public:
    bool PostTask(std::function<void()> task, int delayMs) override {
        runner::PostDelayedDetached(std::chrono::milliseconds(delayMs), std::move(task));
        return true;
    }
};
}  // namespace tvc::render::webext
