#include "common/ClientHandler/WSPortConfig.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cctype>
#include <sstream>

#include "common/JSONHelper.h"

namespace pt = boost::property_tree;

namespace tvc {
namespace {
constexpr int kMaxDepth = 32;

// The property tree keeps no types: an array is a node whose children all have empty keys, a
// string (or number) a node with data and no children.
bool IsArray(const pt::ptree& node) {
    if (node.empty()) return node.data().empty();
    for (const auto& child : node)
        if (!child.first.empty()) return false;
    return true;
}
}  // namespace

unsigned ParseWSPort(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long value = 0;
    bool any = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        any = true;
        if (value <= 65535) value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (!any || negative || value == 0 || value > 65535) return 0;
    return static_cast<unsigned>(value);
}

bool ParseWSPortConfig(const std::string& text, CWSPortConfig& out, std::string& error) {
    out = {};
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        error = "the file is empty";
        return false;
    }
    // The reader recurses once per level: a deep text is refused before it is read.
    if (!CJSONHelper::IsNestingWithinLimit(text, kMaxDepth)) {
        error = "nesting deeper than the allowed limit";
        return false;
    }
    pt::ptree tree;
    try {
        std::istringstream stream(text);
        pt::read_json(stream, tree);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    if (auto list =
            tree.get_child_optional(pt::ptree::path_type("config.websocket.remotePortList", '.'))) {
        if (!IsArray(*list)) {
            error = "config.websocket.remotePortList is not an array";
            return false;
        }
        for (const auto& item : *list) {
            if (!item.second.empty()) {
                error = "config.websocket.remotePortList holds something other than strings";
                return false;
            }
            if (unsigned port = ParseWSPort(item.second.data()))
                out.remotePorts.push_back(port);
            else
                out.skipped.push_back(item.second.data());
        }
    }
    if (auto help =
            tree.get_child_optional(pt::ptree::path_type("config.websocket.helpUrl", '.'))) {
        if (!help->empty()) {
            error = "config.websocket.helpUrl is not a string";
            return false;
        }
        out.helpUrl = help->data();
    }
    return true;
}
}  // namespace tvc
