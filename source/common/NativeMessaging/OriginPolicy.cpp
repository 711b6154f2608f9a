#include "common/NativeMessaging/OriginPolicy.h"

#include "common/StringUtil.h"
#include "common/Url.h"

namespace {
using tvc::ToLowerAscii;

// An extension origin names its extension after the scheme.
bool IsExtensionOrigin(const std::string& lowered) {
    for (const std::string scheme : {"chrome-extension://", "moz-extension://"})
        if (lowered.size() > scheme.size() && tvc::StartsWith(lowered, scheme)) return true;
    return false;
}
}  // namespace

bool IsWebSocketOriginAllowed(const std::string& origin, const std::string& allowedWebSiteOrigin) {
    if (origin.empty()) return true;
    const std::string lowered = ToLowerAscii(origin);
    if (IsExtensionOrigin(lowered)) return true;
    const std::string site = tvc::OriginOfUrl(allowedWebSiteOrigin);
    return !site.empty() && (lowered == site || lowered == site + "/");
}

bool IsWebSocketOriginAllowed(const std::string& origin,
                              const std::vector<std::string>& allowedWebSites) {
    if (origin.empty() || IsExtensionOrigin(ToLowerAscii(origin))) return true;
    for (const auto& site : allowedWebSites)
        if (IsWebSocketOriginAllowed(origin, site)) return true;
    return false;
}

bool IsWebSocketHostAllowed(const std::string& host, unsigned listeningPort) {
    const std::string lowered = ToLowerAscii(host);
    const std::string port = ":" + std::to_string(listeningPort);
    for (const char* name : {"127.0.0.1", "localhost", "[::1]"}) {
        if (lowered == name + port) return true;
    }
    return false;
}
