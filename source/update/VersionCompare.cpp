// Version texts as the appcast and the executable give them: runs of digits, single periods and
// runs of anything else, compared part by part.
#include <cstring>

#include "update/AutoUpdateHandler.h"

namespace {
enum class CharClass { Digit, Period, Other };

CharClass ClassOf(char c) {
    if (c >= '0' && c <= '9') return CharClass::Digit;
    return c == '.' ? CharClass::Period : CharClass::Other;
}

// The decimal values of two digit runs, compared without converting them: a run of any length
// compares by value, where atoi would overflow.
int CompareDecimal(const std::string& a, const std::string& b) {
    const auto skipZeros = [](const std::string& s) {
        const auto first = s.find_first_not_of('0');
        return first == std::string::npos ? std::string() : s.substr(first);
    };
    const std::string x = skipZeros(a), y = skipZeros(b);
    if (x.size() != y.size()) return x.size() > y.size() ? 1 : -1;
    const int c = x.compare(y);
    return c > 0 ? 1 : (c < 0 ? -1 : 0);
}
}  // namespace

std::vector<std::string> CAutoUpdateHandler::SplitVersionString(const std::string& text) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    std::string current(1, text[0]);
    for (size_t i = 1; i < text.size(); ++i) {
        const char previous = text[i - 1];
        if (ClassOf(text[i]) != ClassOf(previous) || previous == '.') {
            parts.push_back(current);
            current.assign(1, text[i]);
        } else {
            current.push_back(text[i]);
        }
    }
    parts.push_back(current);
    return parts;
}

int CAutoUpdateHandler::CompareVersions(const std::string& a, const std::string& b) {
    const std::vector<std::string> pa = SplitVersionString(a), pb = SplitVersionString(b);
    const size_t common = std::min(pa.size(), pb.size());
    for (size_t i = 0; i < common; ++i) {
        const CharClass ca = ClassOf(pa[i][0]), cb = ClassOf(pb[i][0]);
        if (ca == cb) {
            if (ca == CharClass::Digit) {
                if (int c = CompareDecimal(pa[i], pb[i])) return c;
            } else if (ca == CharClass::Other) {
                if (int c = std::strcmp(pa[i].c_str(), pb[i].c_str())) return c;
            }
            continue;
        }
        if (ca == CharClass::Other) return -1;
        if (cb == CharClass::Other) return 1;
        return ca == CharClass::Period ? -1 : 1;  // a period against a digit run is older
    }
    if (pa.size() == pb.size()) return 0;
    // A trailing text part (1.2b) marks a pre-release: older than the plain version.
    if (pa.size() > pb.size()) return ClassOf(pa[common][0]) == CharClass::Other ? -1 : 1;
    return ClassOf(pb[common][0]) == CharClass::Other ? 1 : -1;
}
