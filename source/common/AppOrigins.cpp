#include "common/AppOrigins.h"

#include <algorithm>
#include <sstream>

#include "common/AppProps.h"
#include "common/Url.h"

namespace tvc {
CAppOrigins::CAppOrigins(const std::vector<std::string>& urls) {
    for (const auto& url : urls) {
        std::string origin = OriginOfUrl(url);
        if (!origin.empty() &&
            std::find(m_origins.begin(), m_origins.end(), origin) == m_origins.end())
            m_origins.push_back(std::move(origin));
    }
}

bool CAppOrigins::Contains(const std::string& origin) const {
    const std::string wanted = OriginOfUrl(origin);
    if (wanted.empty()) return false;
    if (std::find(m_origins.begin(), m_origins.end(), wanted) != m_origins.end()) return true;
    // Read only when the fixed ones do not match: the page may change it at any time.
    return OriginOfUrl(CAppProps::ReadProperty("url", "starturl")) == wanted;
}

std::vector<std::string> CAppOrigins::Current() const {
    std::vector<std::string> origins = m_origins;
    std::string stored = OriginOfUrl(CAppProps::ReadProperty("url", "starturl"));
    if (!stored.empty() && std::find(origins.begin(), origins.end(), stored) == origins.end())
        origins.push_back(std::move(stored));
    return origins;
}

std::string CAppOrigins::Serialize() const {
    std::string text;
    for (const auto& origin : m_origins) text += (text.empty() ? "" : " ") + origin;
    return text;
}

CAppOrigins CAppOrigins::Deserialize(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> origins;
    for (std::string origin; in >> origin;) origins.push_back(origin);
    return CAppOrigins(origins);
}
}  // namespace tvc
