#include "render/SiteAddress.h"

#include <glib.h>

namespace tvc::render {
std::string TrayLaunchAddress(const std::string& webSiteURL) {
    // The configured address may carry a path, a query or a fragment of its own; the site is
    // opened at its root whatever they are.
    g_autoptr(GUri) site = g_uri_parse(webSiteURL.c_str(), G_URI_FLAGS_ENCODED, nullptr);
    if (!site || !g_uri_get_host(site) || !*g_uri_get_host(site)) return {};
    g_autofree gchar* url = g_uri_join(
        G_URI_FLAGS_ENCODED, g_uri_get_scheme(site), g_uri_get_userinfo(site), g_uri_get_host(site),
        g_uri_get_port(site), "/", "tvb_launched_from_sys_tray=true", nullptr);
    return url;
}
}  // namespace tvc::render
