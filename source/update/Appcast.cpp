#include "update/Appcast.h"

#include <boost/property_tree/ptree.hpp>

#include "common/JSONHelper.h"

namespace tvc::update {
std::optional<Appcast> ParseAppcast(const std::string& text) {
    static const char* fn = "ParseAppcast";
    boost::property_tree::ptree tree;
    if (text.empty() || !CJSONHelper::ParseJsonTree(fn, text, tree)) return std::nullopt;
    Appcast appcast;
    const struct {
        const char* key;
        std::string* field;
    } required[] = {{"Title", &appcast.title},
                    {"ReleaseNotes", &appcast.releaseNotes},
                    {"Downloadpath", &appcast.downloadPath},
                    {"Version", &appcast.version},
                    {"Checksum", &appcast.checksum}};
    for (const auto& member : required)
        if (!CJSONHelper::QueryJsonTree(fn, tree, member.key, *member.field)) return std::nullopt;
    if (auto signature = tree.get_optional<std::string>("Signature"))
        appcast.signature = *signature;
    return appcast;
}
}  // namespace tvc::update
