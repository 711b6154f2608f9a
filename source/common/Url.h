// Addresses taken apart one way, by GLib's RFC 3986 parser, instead of by hand at each use.
#pragma once

#include <optional>
#include <string>

namespace tvc {
struct SUrl {
    std::string scheme;  // lower case
    std::string host;    // lower case; an IPv6 literal without its brackets; "" when none
    int port = -1;       // -1 when the address gives none
    std::string path;    // as written (percent-escapes kept); "" when none
};

// nullopt for text that is no absolute address.
std::optional<SUrl> ParseUrl(const std::string& url);

// The serialized origin of an address: "HTTPS://Example.COM:443/x?y" gives "https://example.com"
// (scheme and host in lower case, the host in punycode, the scheme's default port dropped); every
// file: address gives "file://". "" for an origin that matches nothing: no scheme, data:, about:,
// javascript:, "null".
std::string OriginOfUrl(const std::string& url);
}  // namespace tvc
