// A package's control text as dpkg-deb hands it over from a hostile archive: parsed into fields,
// the package fields taken from it. Names are never empty and hold no blank or colon; the three
// package fields, when given, are single non-empty lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "update/DebianPackage.h"

FUZZ_QUIET_LOGS()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto fields = tvc::update::ParseControlFields(text);
    const auto package = tvc::update::PackageFieldsFromControl(text);
    FUZZ_CHECK(!package || fields);
    if (!fields) return 0;
    FUZZ_CHECK(!fields->empty());
    for (const auto& [name, value] : *fields) {
        FUZZ_CHECK(!name.empty());
        FUZZ_CHECK(name.find_first_of(" \t\n:") == std::string::npos);
    }
    if (package) {
        for (const std::string* value :
             {&package->package, &package->version, &package->architecture}) {
            FUZZ_CHECK(!value->empty());
            FUZZ_CHECK(value->find('\n') == std::string::npos);
        }
    }
    return 0;
}
