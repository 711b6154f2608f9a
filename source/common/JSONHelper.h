// Reading inter-app JSON texts by one dotted path.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <string>

// Stateless: any thread may call these. Each call parses the whole text again.
class CJSONHelper {
  public:
    // Deeper texts are refused before parsing: the reader recurses once per level.
    static constexpr int kMaxNestingDepth = 64;

    // Counts bracket depth outside strings; the text need not be valid JSON for this.
    static bool IsNestingWithinLimit(const std::string& text, int limit);

    // True and valOut set when the path exists; otherwise false and valOut unchanged.
    // Every value reads as text: a number as its literal, an object or array as "".
    static bool QueryJson(const std::string& aJsonMessage, const std::string& valuePath,
                          std::string& valOut);

    // The two halves of QueryJson, for a reader that parses a text once and reads it many times.
    // Each logs as QueryJson does, under `fn`; neither logs the text itself.
    static bool ParseJsonTree(const char* fn, const std::string& aJsonMessage,
                              boost::property_tree::ptree& tree);
    static bool QueryJsonTree(const char* fn, const boost::property_tree::ptree& tree,
                              const std::string& valuePath, std::string& valOut);
};

// Returns whether "target" could be read; bIsNative tells whether it is exactly "tvd.native".
bool IsMessageTargetedToNativeModule(const std::string& message, bool& bIsNative);
