#include "common/UrlPolicy.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "common/Url.h"

namespace tvc {
namespace {
// Control characters and spaces never belong in an address we pass on: they smuggle arguments and
// header lines into whatever parses it next.
bool HasControlOrSpace(const std::string& url) {
    return std::any_of(url.begin(), url.end(),
                       [](unsigned char c) { return c <= 0x20 || c == 0x7F; });
}

// The parts of an address we would pass on; nullopt for anything else.
std::optional<SUrl> PassableUrl(const std::string& url) {
    if (HasControlOrSpace(url)) return std::nullopt;
    return ParseUrl(url);
}

// A host must be named: "http:foo" or "https:///x" are not addresses of a web page.
bool IsWebAddress(const SUrl& parts) {
    return (parts.scheme == "http" || parts.scheme == "https") && !parts.host.empty();
}
}  // namespace

bool IsWebUrl(const std::string& url) {
    const std::optional<SUrl> parts = PassableUrl(url);
    return parts && IsWebAddress(*parts);
}

bool IsExternallyOpenableUrl(const std::string& url) {
    const std::optional<SUrl> parts = PassableUrl(url);
    if (!parts) return false;
    return IsWebAddress(*parts) || ((parts->scheme == "mailto" || parts->scheme == "spotify") &&
                                    url.size() > parts->scheme.size() + 1);
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string FilePathToFileUri(const std::string& absolutePath) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : absolutePath) {
        bool safe =
            std::isalnum(c) || std::string_view("-._~/!$&'()*+,;=:@").find(static_cast<char>(c)) !=
                                   std::string_view::npos;
        if (safe) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}
}  // namespace tvc
