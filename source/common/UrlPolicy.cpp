#include "common/UrlPolicy.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tvc {
namespace {
// Control characters and spaces never belong in an address we pass on: they smuggle arguments and
// header lines into whatever parses it next.
bool HasControlOrSpace(const std::string& url) {
    return std::any_of(url.begin(), url.end(),
                       [](unsigned char c) { return c <= 0x20 || c == 0x7F; });
}

std::string SchemeOf(const std::string& url) {
    auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = url[i];
        bool ok =
            std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!ok) return {};
    }
    return ToLowerAscii(url.substr(0, colon));
}
}  // namespace

bool IsWebUrl(const std::string& url) {
    if (HasControlOrSpace(url)) return false;
    const std::string scheme = SchemeOf(url);
    if (scheme != "http" && scheme != "https") return false;
    // A host must follow: "http:foo" or "https:///x" are not addresses of a web page.
    const size_t rest = scheme.size() + 1;
    return url.compare(rest, 2, "//") == 0 && url.size() > rest + 2 && url[rest + 2] != '/';
}

bool IsExternallyOpenableUrl(const std::string& url) {
    if (IsWebUrl(url)) return true;
    if (HasControlOrSpace(url)) return false;
    const std::string scheme = SchemeOf(url);
    return (scheme == "mailto" || scheme == "spotify") && url.size() > scheme.size() + 1;
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
