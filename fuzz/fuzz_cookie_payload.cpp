// The extension's "setCookies" payload read into cookie records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "common/AppCookieHandler/CookieObserver.h"

FUZZ_QUIET_LOGS()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CAppCookieList cookies;
    if (CCookieObserver::QueryArrayOfCookieObject(text, cookies)) {
        for (const auto& cookie : cookies) (void)cookie;
    }
    return 0;
}
