// A download as the handler's download callbacks see it.
#pragma once

#include <cstdint>
#include <string>

namespace tvc::engine {
struct DownloadItem {
    std::uint32_t id = 0;
    std::string url;
    std::string suggestedFileName;
    std::string fullPath;
    std::int64_t receivedBytes = 0;
    std::int64_t totalBytes = 0;  // -1 when unknown
    bool isInProgress = false;
    bool isComplete = false;
    bool isCanceled = false;
    bool startedByApp = false;  // started through IBrowserHost::StartDownload, not by the page
    std::string error;          // why it failed, when it did
    int PercentComplete() const {
        return totalBytes > 0 ? static_cast<int>(receivedBytes * 100 / totalBytes) : -1;
    }
};
}  // namespace tvc::engine
