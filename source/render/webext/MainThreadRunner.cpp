#include "render/webext/MainThreadRunner.h"

#include "glibutil/MainLoopTask.h"

namespace tvc::render::webext {
bool CMainThreadRunner::PostTask(std::function<void()> task, int delayMs) {
    return glib::PostMainLoopTask(std::move(task), delayMs);
}
}  // namespace tvc::render::webext
