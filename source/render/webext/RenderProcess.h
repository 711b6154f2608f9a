// Per-web-process set-up of the render side.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <map>
#include <string>

namespace tvc::render {
// Web process main thread, once: application information, folders, preferences, the log, and the
// bridge that lives until the process ends.
void OnRenderProcessStarted(WebKitWebExtension* extension,
                            const std::map<std::string, std::string>& init);
}  // namespace tvc::render
