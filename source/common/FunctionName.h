// The qualified name of the enclosing function ("Class::Method", namespaces dropped), made at
// compile time, for log lines: TVC_FN instead of a hand-typed copy that drifts from the code.
#pragma once

#include <cstddef>
#include <string_view>

namespace tvc::logname {
struct SName {
    char text[160] = {};
};

// From GCC's __PRETTY_FUNCTION__: the return type, the parameters and lower-case (namespace)
// components go; a lambda gives its enclosing function's name.
consteval SName Qualified(std::string_view pretty) {
    size_t end = pretty.size();
    int depth = 0;
    for (size_t i = 0; i < pretty.size(); ++i) {
        const char c = pretty[i];
        if (c == '<') ++depth;
        if (c == '>') --depth;
        if (c == '(' && depth == 0) {
            end = i;
            break;
        }
    }
    size_t begin = 0;
    depth = 0;
    for (size_t i = 0; i < end; ++i) {
        const char c = pretty[i];
        if (c == '<') ++depth;
        if (c == '>') --depth;
        if (c == ' ' && depth == 0) begin = i + 1;
    }
    std::string_view name = pretty.substr(begin, end - begin);
    for (size_t sep = name.find("::"); sep != std::string_view::npos; sep = name.find("::")) {
        const char first = name[0];
        if (!((first >= 'a' && first <= 'z') || first == '{')) break;
        name.remove_prefix(sep + 2);
    }
    SName result{};
    for (size_t i = 0; i < name.size() && i + 1 < sizeof(result.text); ++i)
        result.text[i] = name[i];
    return result;
}

template <SName N>
struct SHolder {
    static constexpr SName value = N;
};
}  // namespace tvc::logname

#define TVC_FN (::tvc::logname::SHolder<::tvc::logname::Qualified(__PRETTY_FUNCTION__)>::value.text)
