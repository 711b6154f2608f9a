// The application's own origins: the only ones whose frames get the bridge and the permissions, and
// whose pages may open the local WebSocket. Both processes hold the same list.
#pragma once

#include <string>
#include <vector>

namespace tvc {
class CAppOrigins {
  public:
    CAppOrigins() = default;
    // The addresses whose origins are the application's: the start address in use, the web site,
    // the start-address prefix. The start address the page stored is added at every question.
    explicit CAppOrigins(const std::vector<std::string>& urls);

    // `origin` as an engine serializes it (a frame's origin, an Origin header).
    bool Contains(const std::string& origin) const;
    // Every origin now, the stored start address's last.
    std::vector<std::string> Current() const;

    // One line of text for the web process's start data, and back.
    std::string Serialize() const;
    static CAppOrigins Deserialize(const std::string& text);

  private:
    std::vector<std::string> m_origins;  // without the stored start address's
};
}  // namespace tvc
