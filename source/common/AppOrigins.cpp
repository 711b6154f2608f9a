#include "common/AppOrigins.h"

#include <glib.h>

#include <algorithm>
#include <sstream>

#include "common/AppProps.h"
#include "common/StringUtil.h"

namespace tvc {
namespace {
int DefaultPort(const std::string& scheme) {
    if (scheme == "http" || scheme == "ws") return 80;
    if (scheme == "https" || scheme == "wss") return 443;
    return -1;
}
}  // namespace

std::string OriginOfUrl(const std::string& url) {
    g_autoptr(GUri) uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return {};
    const std::string scheme = ToLowerAscii(g_uri_get_scheme(uri));
    if (scheme == "file") return "file://";
    // Only schemes with a host have an origin that can be named; the rest are opaque.
    if (DefaultPort(scheme) < 0) return {};
    const char* rawHost = g_uri_get_host(uri);
    if (!rawHost || !*rawHost) return {};
    // Punycode and lower case, as an engine serializes the host.
    g_autofree gchar* ascii = g_hostname_to_ascii(rawHost);
    if (!ascii) return {};
    std::string host = ToLowerAscii(ascii);
    // No engine would load such an address: it names no origin.
    if (!std::all_of(host.begin(), host.end(), [](char c) {
            return g_ascii_isalnum(c) || c == '-' || c == '.' || c == '_' || c == ':';
        }))
        return {};
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    std::string origin = scheme + "://" + host;
    const int port = g_uri_get_port(uri);
    if (port > 0 && port != DefaultPort(scheme)) origin += ":" + std::to_string(port);
    return origin;
}

CAppOrigins::CAppOrigins(const std::vector<std::string>& urls) {
    for (const auto& url : urls) {
        std::string origin = OriginOfUrl(url);
        if (!origin.empty() &&
            std::find(m_origins.begin(), m_origins.end(), origin) == m_origins.end())
            m_origins.push_back(std::move(origin));
    }
}

bool CAppOrigins::Contains(const std::string& origin) const {
    const std::string wanted = OriginOfUrl(origin);
    if (wanted.empty()) return false;
    if (std::find(m_origins.begin(), m_origins.end(), wanted) != m_origins.end()) return true;
    // Read only when the fixed ones do not match: the page may change it at any time.
    return OriginOfUrl(CAppProps::ReadProperty("url", "starturl")) == wanted;
}

std::vector<std::string> CAppOrigins::Current() const {
    std::vector<std::string> origins = m_origins;
    std::string stored = OriginOfUrl(CAppProps::ReadProperty("url", "starturl"));
    if (!stored.empty() && std::find(origins.begin(), origins.end(), stored) == origins.end())
        origins.push_back(std::move(stored));
    return origins;
}

std::string CAppOrigins::Serialize() const {
    std::string text;
    for (const auto& origin : m_origins) text += (text.empty() ? "" : " ") + origin;
    return text;
}

CAppOrigins CAppOrigins::Deserialize(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> origins;
    for (std::string origin; in >> origin;) origins.push_back(origin);
    return CAppOrigins(origins);
}
}  // namespace tvc
