// One cookie of a "setCookies" request, as read from its JSON.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct CAppCookie {
    std::string name;
    std::string value;
    std::string domain;  // empty for a host-only cookie
    std::string path;
    bool secure = false;
    bool httpOnly = false;
    bool session = false;
    double expirationDate = 0;  // seconds since 1970-01-01 UTC; read only for non-session cookies
    std::string hostURL;        // the "url" of the domain entry the cookie came in
};

using CAppCookieList = std::vector<std::shared_ptr<CAppCookie>>;
