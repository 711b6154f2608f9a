#include "common/NativeMessaging/OriginPolicy.h"

#include <algorithm>
#include <cctype>

namespace {
std::string ToLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
}  // namespace

std::string WebOriginOfUrl(const std::string& url) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return {};
    const size_t authorityEnd = url.find_first_of("/?#", schemeEnd + 3);
    return ToLower(url.substr(0, authorityEnd));
}

bool IsWebSocketOriginAllowed(const std::string& origin, const std::string& allowedWebSiteOrigin) {
    if (origin.empty()) return true;
    const std::string lowered = ToLower(origin);
    if (StartsWith(lowered, "chrome-extension://") || StartsWith(lowered, "moz-extension://"))
        return true;
    const std::string site = WebOriginOfUrl(allowedWebSiteOrigin);
    return !site.empty() && (lowered == site || lowered == site + "/");
}

bool IsWebSocketHostAllowed(const std::string& host, unsigned listeningPort) {
    const std::string lowered = ToLower(host);
    const std::string port = ":" + std::to_string(listeningPort);
    for (const char* name : {"127.0.0.1", "localhost", "[::1]"}) {
        if (lowered == name + port) return true;
    }
    return false;
}
