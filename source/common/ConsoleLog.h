// The page-console file "TVCJSLog.log": one message a line, emptied once it passes 10 MiB.
#pragma once

#include <cstdint>
#include <string>

namespace tvc {
inline constexpr std::uint64_t kConsoleLogMaxBytes = 10485760;
// Appends `message` + "\r\n" to `path`; a file longer than the limit is emptied first.
bool AppendConsoleMessage(const std::string& path, const std::string& message);
}  // namespace tvc
