#include "common/IniFile.h"

#include <strings.h>

#include <vector>

namespace tvc::ini {
namespace {
constexpr const char* kSpace = " \t\r";

std::string Trim(const std::string& s) {
    auto b = s.find_first_not_of(kSpace);
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(kSpace);
    return s.substr(b, e - b + 1);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = nl + 1;
    }
    return lines;
}

// Section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string> SectionOf(const std::string& line) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    auto close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// Key of a "key=value" line (comments and blank lines have none).
std::optional<std::string> KeyOf(const std::string& line, std::string* value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') return std::nullopt;
    auto eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    if (value) *value = Trim(line.substr(eq + 1));
    return Trim(line.substr(0, eq));
}
}  // namespace

std::optional<std::string> Lookup(const std::string& text, const std::string& section,
                                  const std::string& key) {
    bool inSection = false;
    for (const auto& line : SplitLines(text)) {
        if (auto s = SectionOf(line)) {
            inSection = EqualsNoCase(*s, section);
            continue;
        }
        if (!inSection) continue;
        std::string value;
        auto k = KeyOf(line, &value);
        if (k && EqualsNoCase(*k, key)) return value;
    }
    return std::nullopt;
}

std::string Update(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value) {
    std::vector<std::string> lines = SplitLines(text);
    const std::string entry = key + "=" + value;
    bool inSection = false;
    long sectionEnd = -1;  // index after the last non-blank line of the matching section
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto s = SectionOf(lines[i])) {
            if (inSection) break;
            inSection = EqualsNoCase(*s, section);
            if (inSection) sectionEnd = static_cast<long>(i) + 1;
            continue;
        }
        if (!inSection) continue;
        auto k = KeyOf(lines[i], nullptr);
        if (k && EqualsNoCase(*k, key)) {
            lines[i] = entry;
            sectionEnd = -2;
            break;
        }
        if (!Trim(lines[i]).empty()) sectionEnd = static_cast<long>(i) + 1;
    }
    if (sectionEnd >= 0) {
        lines.insert(lines.begin() + sectionEnd, entry);
    } else if (sectionEnd == -1) {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}
}  // namespace tvc::ini
