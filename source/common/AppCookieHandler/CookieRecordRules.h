// Whether a cookie from a peer may go into the browser's store, and the record it goes in as.
#pragma once

#include <string>

#include "common/AppCookieHandler/AppCookie.h"
#include "engine/CookieStore.h"

namespace tvc {
// A cookie's name and value together; a browser refuses longer ones.
constexpr size_t kMaxCookieBytes = 4096;

// True with `out` filled when the cookie can be stored as the browser would store one its entry's
// address set; false with a short reason otherwise. The rules follow RFC 6265: the address is http
// or https; a domain must domain-match the address's host (an IP address only itself, a name
// without a dot only itself, and then as a host cookie); a path that does not start with "/"
// becomes the address's default path; no control characters or ';' anywhere, no '=' in the name.
// Stateless.
bool MakeCookieRecord(const CAppCookie& cookie, engine::CookieRecord& out, std::string& reason);
}  // namespace tvc
