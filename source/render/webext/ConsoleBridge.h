// The page's console lines to the browser process, which writes them to the console log.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <memory>

#include "engine/JSValue.h"
#include "render/webext/JscBinding.h"

namespace tvc::render::webext {

// Wraps every console method that prints in `context` so each call also sends its whole line
// (arguments joined by spaces, assert/count/time/trace as a browser prints them); WebKit's own
// report carries only the first argument.
bool InstallConsoleWrapper(const std::shared_ptr<JscContext>& context);

// WebKit's report of a line that did not come from the console methods (script errors, network,
// security): forwarded with its place. Console-method lines are left to the wrapper.
void ForwardConsoleMessage(const engine::RenderBrowserRef& page, WebKitConsoleMessage* message);
}  // namespace tvc::render::webext
