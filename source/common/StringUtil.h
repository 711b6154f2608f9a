// Locale-free string helpers shared by the modules that compare addresses, switches and headers.
#pragma once

#include <string>

namespace tvc {
// ASCII letters only: addresses and header values are compared this way, whatever the locale.
inline std::string ToLowerAscii(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

inline bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
}  // namespace tvc
