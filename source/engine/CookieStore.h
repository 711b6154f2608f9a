// The browser's cookie store as the deciding code sees it: emptied and filled one cookie at a time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tvc::engine {

// One cookie, ready for the store: the caller has checked every field.
struct CookieRecord {
    std::string name;
    std::string value;
    // A host-only cookie carries its host ("a.example"), a domain cookie its domain with the
    // leading dot (".a.example").
    std::string domain;
    std::string path;
    bool secure = false;
    bool httpOnly = false;
    // Seconds since 1970-01-01 UTC, fractions kept; none for a session cookie.
    std::optional<double> expires;
};

// Main thread. Each operation reports once, later, on the main thread, whether it took effect.
class ICookieStore {
  public:
    using Done = std::function<void(bool succeeded)>;
    virtual ~ICookieStore() = default;
    // Every cookie of every host and domain, session cookies included.
    virtual void DeleteAllCookies(Done done) = 0;
    virtual void SetCookie(const CookieRecord& cookie, Done done) = 0;
    // Every cookie the store holds now; none when the store could not be read.
    using Cookies = std::function<void(std::optional<std::vector<CookieRecord>> cookies)>;
    virtual void GetAllCookies(Cookies done) = 0;
};
}  // namespace tvc::engine
