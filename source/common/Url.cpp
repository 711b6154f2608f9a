#include "common/Url.h"

#include <glib.h>

#include <algorithm>

#include "common/StringUtil.h"

namespace tvc {
namespace {
int DefaultPort(const std::string& scheme) {
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    return -1;
}
}  // namespace

std::optional<SUrl> ParseUrl(const std::string& url) {
    g_autoptr(GUri) uri =
        g_uri_parse(url.c_str(), static_cast<GUriFlags>(G_URI_FLAGS_ENCODED), nullptr);
    if (!uri) return std::nullopt;
    SUrl out;
    out.scheme = ToLowerAscii(g_uri_get_scheme(uri));
    if (const char* host = g_uri_get_host(uri)) out.host = ToLowerAscii(host);
    out.port = g_uri_get_port(uri);
    out.path = g_uri_get_path(uri);
    return out;
}

std::string OriginOfUrl(const std::string& url) {
    const std::optional<SUrl> parts = ParseUrl(url);
    if (!parts) return {};
    if (parts->scheme == "file") return "file://";
    // Only schemes with a host have an origin that can be named; the rest are opaque.
    const int defaultPort = DefaultPort(parts->scheme);
    if (defaultPort < 0 || parts->host.empty()) return {};
    // Punycode and lower case, as an engine serializes the host.
    g_autofree gchar* ascii = g_hostname_to_ascii(parts->host.c_str());
    if (!ascii) return {};
    std::string host = ToLowerAscii(ascii);
    // No engine would load such an address: it names no origin.
    if (!std::all_of(host.begin(), host.end(), [](char c) {
            return g_ascii_isalnum(c) || c == '-' || c == '.' || c == '_' || c == ':';
        }))
        return {};
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    std::string origin = parts->scheme + "://" + host;
    if (parts->port > 0 && parts->port != defaultPort) origin += ":" + std::to_string(parts->port);
    return origin;
}
}  // namespace tvc
