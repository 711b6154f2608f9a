// Version texts from an appcast: split, and compared as an order (a version equals itself, and
// swapping the sides swaps the answer).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "update/AutoUpdateHandler.h"

FUZZ_QUIET_LOGS()

// Input: two version texts separated by a NUL.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t sep = input.find('\0');
    const std::string a = input.substr(0, sep);
    const std::string b =
        sep == std::string::npos ? std::string("1.2.8.362") : input.substr(sep + 1);
    std::string joined;
    for (const auto& part : CAutoUpdateHandler::SplitVersionString(a)) joined += part;
    const int ab = CAutoUpdateHandler::CompareVersions(a, b);
    const int ba = CAutoUpdateHandler::CompareVersions(b, a);
    FUZZ_CHECK(ab >= -1 && ab <= 1);
    FUZZ_CHECK(ab == -ba);
    FUZZ_CHECK(CAutoUpdateHandler::CompareVersions(a, a) == 0);
    return 0;
}
