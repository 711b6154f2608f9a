#include "common/JSONHelper.h"

#include <algorithm>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <sstream>
#include <string_view>

#include "common/LogHelper.h"

namespace pt = boost::property_tree;

namespace {
const char kNativeModuleName[] = "tvd.native";

// "cookies." is the same path as "cookies".
std::string NormalisePath(const std::string& path) {
    if (!path.empty() && path.back() == '.') return path.substr(0, path.size() - 1);
    return path;
}
}  // namespace

bool CJSONHelper::IsNestingWithinLimit(const std::string& text, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    // The reader takes a leading 0xEF and the two bytes after it for a byte-order mark, unread.
    const size_t start = !text.empty() && static_cast<unsigned char>(text[0]) == 0xEF ? 3 : 0;
    for (char c : std::string_view(text).substr(std::min(start, text.size()))) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '{' || c == '[') {
            if (++depth > limit) return false;
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return true;
}

// A malformed text is refused with an ERROR line; it never ends the process.
bool CJSONHelper::ParseJsonTree(const char* fn, const std::string& text, pt::ptree& tree) {
    if (!IsNestingWithinLimit(text, CJSONHelper::kMaxNestingDepth)) {
        TVC_LOG_ERROR("%s :  exception : %s\n", fn, "nesting deeper than the allowed limit");
        return false;
    }
    try {
        // From the text itself: through a stream the reader takes a 10 KB message five times as
        // long.
        pt::json_parser::detail::standard_callbacks<pt::ptree> callbacks;
        pt::json_parser::detail::encoding<char> encoding;
        pt::json_parser::detail::read_json_internal(text.data(), text.data() + text.size(),
                                                    encoding, callbacks, std::string());
        tree.swap(callbacks.output());
        return true;
    } catch (const std::exception& e) {
        TVC_LOG_ERROR("%s :  exception : %s\n", fn, e.what());
        return false;
    }
}

bool CJSONHelper::QueryJsonTree(const char* fn, const pt::ptree& tree, const std::string& valuePath,
                                std::string& valOut) {
    try {
        valOut = tree.get<std::string>(pt::ptree::path_type(NormalisePath(valuePath), '.'));
        return true;
    } catch (const pt::ptree_bad_path&) {
        TVC_LOG_ERROR("%s : ptree_bad_path exception!!\n", fn);
    } catch (const pt::ptree_bad_data&) {
        TVC_LOG_ERROR("%s : ptree_bad_data exception!!\n", fn);
    }
    return false;
}

bool CJSONHelper::QueryJson(const std::string& aJsonMessage, const std::string& valuePath,
                            std::string& valOut) {
    static const char* fn = TVC_FN;
    TVC_LOG_INFO("%s ++ with aJsonMessage=%s, valuePath=%s, ... \n", fn,
                 CLogHelper::MessageExcerpt(aJsonMessage).c_str(), valuePath.c_str());
    pt::ptree tree;
    const bool bRetVal =
        ParseJsonTree(fn, aJsonMessage, tree) && QueryJsonTree(fn, tree, valuePath, valOut);
    TVC_LOG_INFO("%s -- with bRetVal=%u, with valOut=%s\n", fn, bRetVal ? 1u : 0u,
                 CLogHelper::MessageExcerpt(valOut, 128).c_str());
    return bRetVal;
}

bool IsMessageTargetedToNativeModule(const std::string& message, bool& bIsNative) {
    bIsNative = false;
    std::string target;
    if (!CJSONHelper::QueryJson(message, "target", target)) return false;
    bIsNative = (target == kNativeModuleName);
    return true;
}
