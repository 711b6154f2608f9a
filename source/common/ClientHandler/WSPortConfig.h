// The WebSocket port list's pieces: the port text rule and the downloaded configuration file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tvc {
// A port list is a few hundred bytes; anything far larger is not one.
inline constexpr std::size_t kMaxWSConfigFileSize = 64 * 1024;

// A port as the preferences and the configuration file give it: decimal digits read the way atoi
// reads them (leading blanks, a sign, digits up to the first other character). 0 when the value
// is not a port (outside 1..65535).
unsigned ParseWSPort(const std::string& text);

// The cache folder's copy of the configuration file; "" without a cache folder.
std::string GetWSConfigFilePath();

struct CWSPortConfig {
    std::vector<unsigned> remotePorts;  // "config.websocket.remotePortList", in file order
    std::vector<std::string> skipped;   // its entries that are not ports
    std::string helpUrl;                // "config.websocket.helpUrl"
};

// False with `error` set when the text is not a JSON object, or when the list or the help address
// has the wrong type. A missing list or help address is no error: it is empty.
bool ParseWSPortConfig(const std::string& text, CWSPortConfig& out, std::string& error);
}  // namespace tvc
