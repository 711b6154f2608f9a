// The preferences reader on any file, and a write read back: Update then Lookup gives the value
// written, and every other key keeps its value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "common/IniFile.h"

FUZZ_QUIET_LOGS()

namespace {
// What the preferences accept as a name or a value (AppProps refuses the rest before writing).
bool Writable(const std::string& s, const char* alsoForbidden) {
    return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
           s.find_first_of(alsoForbidden) == std::string::npos;
}

std::string Trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
}  // namespace

// Input: section, key and value separated by 0x01, then the file's text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[4];
    size_t at = 0;
    for (int p = 0; p < 3; ++p) {
        const size_t sep = input.find('\x01', at);
        if (sep == std::string::npos) return 0;
        parts[p] = input.substr(at, sep - at);
        at = sep + 1;
    }
    parts[3] = input.substr(at);
    const std::string section = Trimmed(parts[0]), key = Trimmed(parts[1]),
                      value = Trimmed(parts[2]), &text = parts[3];

    tvc::ini::Lookup(text, section, key);
    if (section.empty() || key.empty() || !Writable(section, "[]\x01") ||
        !Writable(key, "=[;\x01") || !Writable(value, "\x01"))
        return 0;
    const auto before = tvc::ini::Lookup(text, "windowpos", "x");
    const std::string updated = tvc::ini::Update(text, section, key, value);
    const auto after = tvc::ini::Lookup(updated, section, key);
    FUZZ_CHECK(after.has_value());
    FUZZ_CHECK(*after == value);
    // A write to another key leaves this one alone (case-blind names, as the reader matches them).
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    if (lower(section) != "windowpos" || lower(key) != "x")
        FUZZ_CHECK(tvc::ini::Lookup(updated, "windowpos", "x") == before);
    return 0;
}
