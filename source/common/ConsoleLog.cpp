#include "common/ConsoleLog.h"

#include <cstdio>
#include <memory>

namespace tvc {
bool AppendConsoleMessage(const std::string& path, const std::string& message) {
    using File = std::unique_ptr<FILE, int (*)(FILE*)>;
    File f(std::fopen(path.c_str(), "a"), &std::fclose);
    if (!f) return false;
    std::fseek(f.get(), 0, SEEK_END);
    long size = std::ftell(f.get());
    if (size > static_cast<long>(kConsoleLogMaxBytes)) {
        f.reset(std::fopen(path.c_str(), "w"));
        if (!f) return false;
    }
    std::string line = message + "\r\n";
    return std::fwrite(line.data(), 1, line.size(), f.get()) == line.size();
}
}  // namespace tvc
