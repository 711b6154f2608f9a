// Entry point of the web-process extension: unpacks the start data and hands off.
#include <webkit2/webkit-web-extension.h>

#include <map>
#include <string>

#include "common/AppInfo.h"
#include "common/AppProps.h"
#include "common/LogHelper.h"
#include "render/webext/RenderProcess.h"

namespace {
std::map<std::string, std::string> UnpackInitData(GVariant* data) {
    std::map<std::string, std::string> out;
    if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE("a{ss}"))) return out;
    GVariantIter iter;
    g_variant_iter_init(&iter, data);
    const gchar* key = nullptr;
    const gchar* value = nullptr;
    while (g_variant_iter_next(&iter, "{&s&s}", &key, &value)) out[key] = value;
    return out;
}
}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, GVariant* userData) {
    auto init = UnpackInitData(userData);
    tvc::render::OnRenderProcessStarted(extension, init);
}
