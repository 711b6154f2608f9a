// Whether a cookie from a peer may go into the browser's store, and the record it goes in as.
#pragma once

#include <string>
#include <vector>

#include "common/AppCookieHandler/AppCookie.h"
#include "engine/CookieStore.h"

namespace tvc {
// A cookie's name and value together; a browser refuses longer ones.
constexpr size_t kMaxCookieBytes = 4096;

// True with `out` filled when the cookie can be stored as the browser would store one its entry's
// address set; false with a short reason otherwise. The rules follow RFC 6265: the address is http
// or https; a domain must domain-match the address's host (an IP address only itself, a name
// without a dot only itself, and then as a host cookie) and must not be a public suffix
// ("co.uk", "github.io"); a path that does not start with "/"
// becomes the address's default path; no control characters or ';' anywhere, no '=' in the name.
// Stateless.
bool MakeCookieRecord(const CAppCookie& cookie, engine::CookieRecord& out, std::string& reason);

// How many of `wanted` the store does not hold with their value: a cookie is known by its name,
// domain and path, and a later one replaces an earlier one. Cookies that had expired by `now`
// (seconds since 1970) are not expected: the store drops them.
size_t CountNotHeld(const std::vector<engine::CookieRecord>& wanted,
                    const std::vector<engine::CookieRecord>& held, double now);
}  // namespace tvc
