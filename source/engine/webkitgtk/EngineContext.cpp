#include "engine/webkitgtk/EngineContext.h"

#include <cstdlib>

#include "common/LogHelper.h"
#include "engine/webkitgtk/WebSandbox.h"
#include "glibutil/GraphicsDriver.h"

namespace tvc::webkit {
namespace {
// A single-application window: bound the web process's memory so a long-running page is trimmed
// under pressure instead of growing until the system swaps.
std::unique_ptr<WebKitMemoryPressureSettings, void (*)(WebKitMemoryPressureSettings*)>
MakeMemoryPressureSettings() {
    WebKitMemoryPressureSettings* pressure = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(pressure, 1024);
    webkit_memory_pressure_settings_set_conservative_threshold(pressure, 0.33);
    webkit_memory_pressure_settings_set_strict_threshold(pressure, 0.5);
    return {pressure, webkit_memory_pressure_settings_free};
}

// Before the first web process: WebKit reads the setting when it launches one. Returns why the
// web processes stay unconfined, or "" when they run in the sandbox.
std::string ConfineWebProcesses(WebKitWebContext* context, const EngineStartParams& params) {
    if (!params.webSandbox) return "switched off with --disable-web-sandbox";
    std::string reason = WebSandboxUnavailableReason();
    if (!reason.empty()) return reason;
    webkit_web_context_set_sandbox_enabled(context, TRUE);
    for (const auto& folder : params.sandboxWritableFolders)
        if (!folder.empty()) webkit_web_context_add_path_to_sandbox(context, folder.c_str(), FALSE);
    // WebKit binds the compositor's socket only from the runtime folder; a display named by an
    // absolute path would leave web processes without one.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && wayland[0] == '/')
        webkit_web_context_add_path_to_sandbox(context, wayland, FALSE);
    return {};
}
}  // namespace

std::unique_ptr<CEngineContext> CEngineContext::Start(const EngineStartParams& params,
                                                      std::string& error) {
    // WebKit reads the inspector server address once, when the first context is made.
    if (params.inspectorPort > 0) {
        std::string address = "127.0.0.1:" + std::to_string(params.inspectorPort);
        setenv("WEBKIT_INSPECTOR_HTTP_SERVER", address.c_str(), 1);
        TVC_LOG_WARN("%s : remote inspector on http://%s", TVC_FN, address.c_str());
    } else {
        unsetenv("WEBKIT_INSPECTOR_HTTP_SERVER");
        unsetenv("WEBKIT_INSPECTOR_SERVER");
    }

    auto engine = std::make_unique<CEngineContext>();
    std::string dataFolder = params.cacheFolder + "data";
    engine->m_dataManager =
        glib::GObjectPtr<WebKitWebsiteDataManager>::Adopt(webkit_website_data_manager_new(
            "base-data-directory", dataFolder.c_str(), "base-cache-directory",
            params.cacheFolder.c_str(), nullptr));
    if (!engine->m_dataManager) {
        error = "cannot create the website data manager";
        return nullptr;
    }
    auto pressure = MakeMemoryPressureSettings();
    engine->m_context = glib::GObjectPtr<WebKitWebContext>::Adopt(WEBKIT_WEB_CONTEXT(
        g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", engine->m_dataManager.get(),
                     "memory-pressure-settings", pressure.get(), nullptr)));
    if (!engine->m_context) {
        error = "cannot create the web context";
        return nullptr;
    }
    WebKitCookieManager* cookies =
        webkit_website_data_manager_get_cookie_manager(engine->m_dataManager.get());
    std::string cookieFile = params.cacheFolder + "Cookies.sqlite";
    webkit_cookie_manager_set_persistent_storage(cookies, cookieFile.c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);

    engine->m_unconfinedReason = ConfineWebProcesses(engine->m_context.get(), params);
    webkit_web_context_set_web_extensions_directory(engine->m_context.get(),
                                                    params.extensionsFolder.c_str());
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{ss}"));
    for (const auto& [key, value] : params.extensionInitData)
        g_variant_builder_add(&builder, "{ss}", key.c_str(), value.c_str());
    webkit_web_context_set_web_extensions_initialization_user_data(engine->m_context.get(),
                                                                   g_variant_builder_end(&builder));

    engine->m_settings = glib::GObjectPtr<WebKitSettings>::Adopt(webkit_settings_new());
    WebKitSettings* settings = engine->m_settings.get();
    // Every popup must reach the popup policy rather than being blocked silently.
    webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
    webkit_settings_set_enable_developer_extras(settings, TRUE);
    // A file: page (the start page included) reads no other local file.
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    // A page restored from the back-forward cache keeps its old script context, which the bridge
    // has already released: such a page would have a `tvd` that does nothing. Pages load afresh.
    webkit_settings_set_enable_page_cache(settings, FALSE);
    if (!glib::HasGpuRenderNode()) {
        webkit_settings_set_hardware_acceleration_policy(settings,
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
        TVC_LOG_WARN("%s : no GPU render node, painting on the CPU", TVC_FN);
    }
    std::string userAgent = webkit_settings_get_user_agent(settings);
    userAgent += " " + params.productToken;
    webkit_settings_set_user_agent(settings, userAgent.c_str());
    TVC_LOG_WARN("%s : user agent is %s", TVC_FN, userAgent.c_str());
    return engine;
}

GtkWidget* CEngineContext::CreateWebView() const {
    return GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", m_context.get(), "settings",
                                   m_settings.get(), nullptr));
}

GtkWidget* CEngineContext::CreateRelatedWebView(WebKitWebView* related) const {
    return GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "settings",
                                   m_settings.get(), nullptr));
}
}  // namespace tvc::webkit
