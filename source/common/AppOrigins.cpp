#include "common/AppOrigins.h"

#include <algorithm>
#include <sstream>

#include "common/StringUtil.h"
#include "common/Url.h"

namespace tvc {
namespace {
const char kFileOrigin[] = "file://";

// A local page's address without its query and fragment: a locale may be appended to it.
std::string WithoutQuery(const std::string& url) {
    return url.substr(0, url.find_first_of("?#"));
}
}  // namespace

CAppOrigins::CAppOrigins(const std::vector<std::string>& urls) {
    for (const auto& url : urls) {
        std::string origin = OriginOfUrl(url);
        if (origin == kFileOrigin) m_localPages.push_back(WithoutQuery(url));
        if (!origin.empty() &&
            std::find(m_origins.begin(), m_origins.end(), origin) == m_origins.end())
            m_origins.push_back(std::move(origin));
    }
}

bool CAppOrigins::Contains(const std::string& origin) const {
    const std::string wanted = OriginOfUrl(origin);
    return !wanted.empty() &&
           std::find(m_origins.begin(), m_origins.end(), wanted) != m_origins.end();
}

bool CAppOrigins::ContainsSite(const std::string& site) const {
    if (site.empty()) return false;
    const std::string wanted = ToLowerAscii(site);
    return std::any_of(m_origins.begin(), m_origins.end(), [&wanted](const std::string& origin) {
        const std::optional<SUrl> parts = ParseUrl(origin);
        return parts && !parts->host.empty() &&
               (parts->host == wanted || parts->host.ends_with("." + wanted));
    });
}

bool CAppOrigins::IsOwnStartAddress(const std::string& url) const {
    const std::string origin = OriginOfUrl(url);
    if (origin == kFileOrigin)
        return std::find(m_localPages.begin(), m_localPages.end(), WithoutQuery(url)) !=
               m_localPages.end();
    return Contains(origin);
}

// The local pages stand for the file: origin, so that the web process knows them too.
std::string CAppOrigins::Serialize() const {
    std::string text;
    for (const auto& origin : m_origins) {
        if (origin != kFileOrigin)
            text += (text.empty() ? "" : " ") + origin;
        else
            for (const auto& page : m_localPages) text += (text.empty() ? "" : " ") + page;
    }
    return text;
}

CAppOrigins CAppOrigins::Deserialize(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> origins;
    for (std::string origin; in >> origin;) origins.push_back(origin);
    return CAppOrigins(origins);
}
}  // namespace tvc
