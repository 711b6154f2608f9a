// Download routing. Three kinds arrive through the engine's two download callbacks:
//  - the port-list configuration file and the updater's files, both started by us through
//    IBrowserHost::StartDownload (DownloadItem::startedByApp), told apart by the file name;
//  - everything else is the page's own download and goes to the user's download folder.
// A page can never make a file land in the update folder, and so never reach the updater.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/ClientHandler/UpdateFlow.h"
#include "engine/Download.h"
#include "engine/DownloadLimits.h"

namespace tvc {
// Main thread only.
class CDownloadRouter {
  public:
    // Commands the shell's window procedure answers for the updater's downloads.
    static constexpr int kCmdNotifyDownloadComplete = 32001;
    static constexpr int kCmdNotifyDownloadFailed = 32002;

    // The updater's downloads end in `updates`; the port-list file's in `configFileDone`.
    CDownloadRouter(std::shared_ptr<CUpdateFlow> updates, std::function<void(bool)> configFileDone)
        : m_updates(std::move(updates)), m_configFileDone(std::move(configFileDone)) {}

    // The destination ("" cancels the download) and its limits: its size (by kind, and never
    // more than its folder's free space leaves), "--download-stall-timeout-ms" (default 60 s) and,
    // for the program's own downloads, a deadline ("--download-deadline-ms"; default 60 s, two
    // hours for the installer).
    engine::DownloadTarget OnBeforeDownload(const engine::DownloadItem& item,
                                            const std::string& suggestedName);
    void OnDownloadUpdated(const engine::DownloadItem& item);
    // The port-list file's road, before it starts (`bDownloadStarted` false) and after.
    void HandleCEFDownloadStatus(bool bDownloadStarted, const engine::DownloadItem& item,
                                 bool& bIsHandledOut, std::string& pathToDownloadOut);
    // "CorvaneMedia/TavistoForWeb/Update/", below the user data folder.
    static std::string GetUpdateDirectoryPath();

  private:
    bool HandleCEFDownloadOnBeforeStart(const engine::DownloadItem& item,
                                        std::string& pathToDownloadOut);
    bool HandleCEFDownloadInProgress(const engine::DownloadItem& item,
                                     std::string& pathToDownloadOut);
    // A file made for the download in the user's download folder, under a name nothing had.
    std::string PageDownloadPath(const std::string& suggestedName);
    // Our own downloads are written into a fresh private folder inside `folder`, where nothing can
    // have been planted, and moved into `folder` once complete. The path to write to, or "".
    std::string StageDownload(std::uint32_t id, const std::string& folder, bool privateFolder,
                              const std::string& fileName);
    // Ends the staging of download `id`: a complete file moves into its folder (`finalPath`),
    // everything else goes. True when a regular file was moved into place.
    bool UnstageDownload(std::uint32_t id, bool complete, std::string& finalPath);
    static void LogDownloadProgress(const char* fn, const engine::DownloadItem& item);

    struct StagedDownload {
        std::string folder;  // ending in "/"
        bool privateFolder = false;
        std::string stagingName;
        std::string fileName;
    };
    const std::shared_ptr<CUpdateFlow> m_updates;
    const std::function<void(bool)> m_configFileDone;
    std::map<std::uint32_t, StagedDownload> m_stagedDownloads;
    // The page's downloads in flight: the file each one's name was taken with.
    std::map<std::uint32_t, std::string> m_pageFiles;
};
}  // namespace tvc
