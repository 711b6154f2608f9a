#include "common/NativeMessaging/InterAppMessage.h"

#include "common/JSONHelper.h"

namespace {
const char kNativeModuleName[] = "tvd.native";
// The lines a log reader knows from the per-observer queries this parse replaces.
const char kQueryFn[] = "CJSONHelper::QueryJson";

bool ReadQuietly(const boost::property_tree::ptree& tree, const char* path, std::string& out) {
    if (auto value = tree.get_optional<std::string>(path)) {
        out = std::move(*value);
        return true;
    }
    return false;
}
}  // namespace

bool SInterAppMessage::IsNative() const {
    return bHasTarget && target == kNativeModuleName;
}

bool SInterAppMessage::Query(const std::string& valuePath, std::string& valOut) const {
    if (!tree) return false;
    return CJSONHelper::QueryJsonTree(kQueryFn, *tree, valuePath, valOut);
}

SInterAppMessage ParseInterAppMessage(std::string text) {
    SInterAppMessage message;
    message.text = std::move(text);
    auto tree = std::make_shared<boost::property_tree::ptree>();
    if (!CJSONHelper::ParseJsonTree(kQueryFn, message.text, *tree)) return message;
    message.bIsJson = true;
    message.bHasTarget = CJSONHelper::QueryJsonTree(kQueryFn, *tree, "target", message.target);
    message.bHasType = ReadQuietly(*tree, "message.type", message.type);
    message.bHasSubType = ReadQuietly(*tree, "message.sub_type", message.subType);
    message.tree = std::move(tree);
    return message;
}
