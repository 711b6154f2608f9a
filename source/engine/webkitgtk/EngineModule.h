// The engine's part of the browser process, built as a module of its own: WebKit and the ~150
// libraries it brings take the dynamic loader some 50 ms, which the shell spends once the splash
// is on screen rather than before main. Only this header crosses over.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "engine/Browser.h"
#include "engine/Client.h"
#include "engine/CookieStore.h"
#include "engine/webkitgtk/EngineStartParams.h"

namespace tvc::webkit {

// The started engine and its main view. Main thread.
class IEngineSession {
  public:
    virtual ~IEngineSession() = default;
    virtual std::shared_ptr<engine::ICookieStore> CookieStore() const = 0;
    // The main view; a floating reference until the window takes it.
    virtual GtkWidget* WebView() const = 0;
    // Connects the main view (and the popups it opens) to `client`.
    virtual std::shared_ptr<engine::IBrowser> Attach(std::shared_ptr<engine::IClient> client) = 0;
    // Disconnects from the views and the context; the engine itself stays until destruction.
    virtual void Detach() = 0;
    virtual void Load(const std::string& url) = 0;
    // Empty when the web processes run in WebKit's sandbox, otherwise why they do not.
    virtual const std::string& UnconfinedReason() const = 0;
};

struct EngineModuleApi {
    // Main thread, after gtk_init. Null with `error` filled on failure.
    std::unique_ptr<IEngineSession> (*start)(const EngineStartParams& params, std::string& error);
};

constexpr const char* kEngineModuleFile = "libTavistoEngine.so";
constexpr const char* kEngineModuleEntry = "tvc_engine_module";
using EngineModuleEntry = const EngineModuleApi* (*)();
}  // namespace tvc::webkit
