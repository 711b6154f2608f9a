#include "common/AppCookieHandler/CookieRecordRules.h"

#include <libpsl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "common/StringUtil.h"
#include "common/Url.h"

namespace tvc {
namespace {
// The store keeps expiry dates between the years 1 and 9999; beyond them a date is held at the end
// of that range, so a far-future cookie stays persistent instead of turning into a session cookie.
constexpr double kEarliestExpiry = -62135596800.0;  // 0001-01-01T00:00:00Z
constexpr double kLatestExpiry = 253402300799.0;    // 9999-12-31T23:59:59Z

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// Sent back as "name=value; ..." in a Cookie header: a ';' would smuggle a second cookie in and a
// line break a second header.
bool HasForbidden(const std::string& text, const char* alsoForbidden) {
    return std::any_of(text.begin(), text.end(), [&](char c) {
        return IsControl(c) || (c != '\0' && std::strchr(alsoForbidden, c) != nullptr);
    });
}

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

bool IsIpLiteral(const std::string& host) {
    if (host.find(':') != std::string::npos) return true;  // IPv6, brackets already removed
    return !host.empty() && host.find('.') != std::string::npos &&
           std::all_of(host.begin(), host.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

struct HttpUrl {
    std::string host;  // lower case, IPv6 without brackets
    std::string path;  // "/" at least
};

bool ParseHttpUrl(const std::string& url, HttpUrl& out) {
    const std::optional<SUrl> parts = ParseUrl(url);
    if (!parts || (parts->scheme != "http" && parts->scheme != "https")) return false;
    const std::string& host = parts->host;
    if (host.empty()) return false;
    const bool valid = host.find(':') != std::string::npos
                           ? std::all_of(host.begin(), host.end(),
                                         [](char c) {
                                             return std::isxdigit(static_cast<unsigned char>(c)) ||
                                                    c == ':' || c == '.';
                                         })
                           : std::all_of(host.begin(), host.end(), IsHostChar);
    if (!valid) return false;
    out.host = host;
    out.path = parts->path.empty() || parts->path[0] != '/' ? "/" : parts->path;
    return true;
}

// RFC 6265 5.1.4: the address's path up to, not including, its last '/'; "/" when that is empty.
std::string DefaultPath(const std::string& urlPath) {
    const size_t last = urlPath.rfind('/');
    if (last == std::string::npos || last == 0) return "/";
    return urlPath.substr(0, last);
}

// The list the browser's network stack judges by: the system's copy, or libpsl's own when that one
// is newer. The rule "*" stays off, so a name the list does not know ("localhost") is no suffix.
bool IsPublicSuffix(const std::string& domain) {
    struct Free {
        void operator()(psl_ctx_t* context) const { psl_free(context); }
    };
    static const std::unique_ptr<psl_ctx_t, Free> list(psl_latest(nullptr));
    return list && psl_is_public_suffix2(list.get(), domain.c_str(),
                                         PSL_TYPE_ANY | PSL_TYPE_NO_STAR_RULE) != 0;
}

// The record's domain: the host itself for a host-only cookie, "." + domain for a domain cookie.
bool ResolveDomain(const std::string& given, const std::string& host, std::string& out,
                   std::string& reason) {
    std::string domain = ToLowerAscii(given);
    if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
    if (domain.empty()) {
        out = host;
        return true;
    }
    const bool ip = IsIpLiteral(host);
    // The store drops such a cookie without a word; a site must not set one for its neighbours.
    if (!ip && IsPublicSuffix(domain)) {
        reason = "its domain is a public suffix";
        return false;
    }
    const bool matches =
        domain == host || (!ip && host.size() > domain.size() &&
                           host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
                           host[host.size() - domain.size() - 1] == '.');
    if (!matches) {
        reason = "its domain does not match the host of its address";
        return false;
    }
    if (ip || domain.find('.') == std::string::npos) {
        // An address, or a name without a dot ("localhost", "com"): only its own host, as a host
        // cookie.
        if (domain != host) {
            reason = "its domain is too wide for its address";
            return false;
        }
        out = host;
        return true;
    }
    out = "." + domain;
    return true;
}
}  // namespace

bool MakeCookieRecord(const CAppCookie& cookie, engine::CookieRecord& out, std::string& reason) {
    HttpUrl url;
    if (!ParseHttpUrl(cookie.hostURL, url)) {
        reason = "its address is not an http or https address with a host";
        return false;
    }
    if (cookie.name.empty() && cookie.value.empty()) {
        reason = "it has neither a name nor a value";
        return false;
    }
    if (HasForbidden(cookie.name, ";=")) {
        reason = "its name holds a control character, ';' or '='";
        return false;
    }
    if (HasForbidden(cookie.value, ";")) {
        reason = "its value holds a control character or ';'";
        return false;
    }
    if (cookie.name.size() + cookie.value.size() > kMaxCookieBytes) {
        reason = "its name and value are longer than 4096 bytes";
        return false;
    }
    if (HasForbidden(cookie.path, ";")) {
        reason = "its path holds a control character or ';'";
        return false;
    }
    engine::CookieRecord record;
    if (!ResolveDomain(cookie.domain, url.host, record.domain, reason)) return false;
    record.name = cookie.name;
    record.value = cookie.value;
    record.path =
        !cookie.path.empty() && cookie.path[0] == '/' ? cookie.path : DefaultPath(url.path);
    record.secure = cookie.secure;
    record.httpOnly = cookie.httpOnly;
    if (!cookie.session && std::isfinite(cookie.expirationDate))
        record.expires = std::clamp(cookie.expirationDate, kEarliestExpiry, kLatestExpiry);
    out = std::move(record);
    return true;
}

size_t CountNotHeld(const std::vector<engine::CookieRecord>& wanted,
                    const std::vector<engine::CookieRecord>& held, double now) {
    using Key = std::tuple<std::string, std::string, std::string>;
    std::map<Key, const std::string*> expected;
    for (const auto& cookie : wanted) {
        const Key key{cookie.name, cookie.domain, cookie.path};
        if (cookie.expires && *cookie.expires <= now)
            expected.erase(key);
        else
            expected[key] = &cookie.value;
    }
    size_t found = 0;
    for (const auto& cookie : held) {
        auto it = expected.find(Key{cookie.name, cookie.domain, cookie.path});
        if (it != expected.end() && it->second && *it->second == cookie.value) {
            it->second = nullptr;  // found once
            ++found;
        }
    }
    return expected.size() - found;
}
}  // namespace tvc
