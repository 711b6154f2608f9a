// The application's own origins: the only ones whose frames get the bridge and the permissions, and
// whose pages may open the local WebSocket. Both processes hold the same list. It is what the
// program was configured with; nothing a page stores widens it.
#pragma once

#include <string>
#include <vector>

namespace tvc {
class CAppOrigins {
  public:
    CAppOrigins() = default;
    // The addresses whose origins are the application's: the start address in use, the web site,
    // the start-address prefix. Their file: addresses are the program's local pages.
    explicit CAppOrigins(const std::vector<std::string>& urls);

    // `origin` as an engine serializes it (a frame's origin, an Origin header).
    bool Contains(const std::string& origin) const;
    // Every origin.
    const std::vector<std::string>& Current() const { return m_origins; }
    // Whether `site` (a registrable domain, as an engine names a frame's site) is the site of one
    // of the origins.
    bool ContainsSite(const std::string& site) const;
    // Whether the page may keep `url` as its start address: an address of one of the origins, and
    // of file: addresses only a local page (every local file shares the file: origin).
    bool IsOwnStartAddress(const std::string& url) const;

    // One line of text for the web process's start data, and back.
    std::string Serialize() const;
    static CAppOrigins Deserialize(const std::string& text);

  private:
    std::vector<std::string> m_origins;
    std::vector<std::string> m_localPages;  // without their query and fragment
};
}  // namespace tvc
