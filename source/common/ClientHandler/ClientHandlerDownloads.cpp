// Download routing. Three kinds arrive through the same two callbacks:
//  - the port-list configuration file and the updater's files, both started by us through
//    IBrowserHost::StartDownload (DownloadItem::startedByApp), told apart by the file name;
//  - everything else is the page's own download and goes to the user's download folder.
// A page can never make a file land in the update folder, and so never reach the updater.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/AppInfo.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "update/AutoUpdateHandler.h"

namespace tvc {
namespace {
bool IsConfigFileDownload(const engine::DownloadItem& item) {
    return item.startedByApp && item.url.find(kWSConfigFileName) != std::string::npos;
}

// A name the page suggested, reduced to a plain file name: no folders, no "..", no control bytes.
std::string SafeFileName(const std::string& suggested) {
    std::string name = suggested.substr(
        suggested.find_last_of('/') == std::string::npos ? 0 : suggested.find_last_of('/') + 1);
    std::string out;
    for (unsigned char c : name) out += (c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
    if (out.empty() || out == "." || out == "..") out = "download";
    return out;
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

// XDG_DOWNLOAD_DIR from user-dirs.dirs: XDG_DOWNLOAD_DIR="$HOME/Downloads".
std::string DownloadDirFromUserDirs(const std::string& home) {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string file =
        (configHome && configHome[0] == '/') ? std::string(configHome) : home + "/.config";
    std::ifstream in(file + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOWNLOAD_DIR=\"";
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return {};
}
}  // namespace

std::string ClientHandler::GetUpdateDirectoryPath() {
    TVC_LOG_INFO("*[AUTOUPDATER]* Inside %s", TVC_FN);
    return std::string(kCompanyFolderName) + "/" + kProductName + "/Update/";
}

std::string ClientHandler::GetUserDownloadFolder() {
    const char* env = std::getenv("XDG_DOWNLOAD_DIR");
    if (env && env[0] == '/') return WithSlash(env);
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    std::string fromUserDirs = DownloadDirFromUserDirs(home);
    if (!fromUserDirs.empty()) return WithSlash(fromUserDirs);
    return std::string(home) + "/Downloads/";
}

std::string ClientHandler::PageDownloadPath(const std::string& suggestedName) {
    static const char* fn = TVC_FN;
    const std::string folder = GetUserDownloadFolder();
    if (folder.empty() || !MakeDirectories(folder)) {
        TVC_LOG_ERROR("%s : no usable download folder (%s), download cancelled", fn,
                      folder.c_str());
        return {};
    }
    // Never overwrite a file the user already has: "name (1).ext", "name (2).ext", ...
    const std::string name = SafeFileName(suggestedName);
    const auto dot = name.find_last_of('.');
    const std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    const std::string ext = (dot == std::string::npos || dot == 0) ? "" : name.substr(dot);
    std::string path = folder + name;
    for (int i = 1; FileExists(path) && i < 1000; ++i)
        path = folder + stem + " (" + std::to_string(i) + ")" + ext;
    if (FileExists(path)) {
        TVC_LOG_ERROR("%s : no free name for %s, download cancelled", fn, name.c_str());
        return {};
    }
    return path;
}

bool ClientHandler::StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(
    engine::BrowserRef browser) {
    static const char* fn = TVC_FN;
    if (IsStarted_OnetimeDownload_WebSocketsTrialPortList) {
        TVC_LOG_WARN(
            "%s : IsStarted_OnetimeDownload_WebSocketsTrialPortList is true, not downloading. ",
            fn);
        return false;
    }
    if (!browser) {
        TVC_LOG_ERROR("%s : browser is NULL. ", fn);
        return false;
    }
    TVC_LOG_WARN("%s : Initiating... ", fn);
    IsStarted_OnetimeDownload_WebSocketsTrialPortList = true;
    m_portListDownloadPending = true;
    browser->GetHost().StartDownload(GetWSConfigFileURL());
    return true;
}

void ClientHandler::HandleCEFDownloadStatus(bool bDownloadStarted, const engine::DownloadItem& item,
                                            bool& bIsHandledOut, std::string& pathToDownloadOut) {
    static const char* fn = TVC_FN;
    TVC_LOG_INFO("%s with : HasStarted=%u,", fn, bDownloadStarted ? 1u : 0u);
    TVC_LOG_INFO("%s with : path=%s, ", fn, item.fullPath.c_str());
    TVC_LOG_INFO("%s with : url=%s, ", fn, item.url.c_str());
    TVC_LOG_INFO("%s with : isComplete=%u,", fn, item.isComplete ? 1u : 0u);
    TVC_LOG_INFO("%s with : isInProgress=%u", fn, item.isInProgress ? 1u : 0u);
    TVC_LOG_INFO("%s with : IsCanceled=%u", fn, item.isCanceled ? 1u : 0u);
    bIsHandledOut = false;
    pathToDownloadOut.clear();
    bIsHandledOut = bDownloadStarted ? HandleCEFDownloadInProgress(item, pathToDownloadOut)
                                     : HandleCEFDownloadOnBeforeStart(item, pathToDownloadOut);
}

bool ClientHandler::HandleCEFDownloadOnBeforeStart(const engine::DownloadItem& item,
                                                   std::string& pathToDownloadOut) {
    static const char* fn = TVC_FN;
    bool handled = false;
    if (IsConfigFileDownload(item)) {
        std::string cache;
        if (CAppPaths::GetPath(CAppPaths::eCacheFolder, cache) == CAppPaths::eOk &&
            !cache.empty()) {
            handled = true;
            pathToDownloadOut = cache + kWSConfigFileName;
        } else {
            TVC_LOG_ERROR("%s : no cache folder for %s", fn, kWSConfigFileName);
        }
    }
    TVC_LOG_WARN("%s -- : bIsHandledOut=%u, pathToDownloadOut=%s", fn, handled ? 1u : 0u,
                 pathToDownloadOut.c_str());
    return handled;
}

bool ClientHandler::HandleCEFDownloadInProgress(const engine::DownloadItem& item,
                                                std::string& pathToDownloadOut) {
    static const char* fn = TVC_FN;
    bool handled = false;
    if (IsConfigFileDownload(item)) {
        handled = true;
        if (item.isCanceled)
            HandleWebsocketsConfigFileDownloadProcessCompletion(false);
        else if (item.isComplete)
            HandleWebsocketsConfigFileDownloadProcessCompletion(true);
    }
    TVC_LOG_WARN("%s -- : bIsHandledOut=%u, pathToDownloadOut=%s", fn, handled ? 1u : 0u,
                 pathToDownloadOut.c_str());
    return handled;
}

std::string ClientHandler::OnBeforeDownload(engine::BrowserRef, const engine::DownloadItem& item,
                                            const std::string& suggestedName) {
    static const char* fn = TVC_FN;
    bool handled = false;
    std::string path;
    HandleCEFDownloadStatus(false, item, handled, path);
    if (handled) return path;
    if (!item.startedByApp) {
        path = PageDownloadPath(suggestedName.empty() ? item.suggestedFileName : suggestedName);
        TVC_LOG_WARN("%s : page download of %s to %s", fn, item.url.c_str(), path.c_str());
        return path;
    }
    std::string userData;
    if (CAppPaths::GetPath(CAppPaths::eUserAppDataFolder, userData) != CAppPaths::eOk ||
        userData.empty()) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : no user data folder, download cancelled", fn);
        return {};
    }
    const std::string folder = userData + GetUpdateDirectoryPath();
    if (!MakeDirectories(folder)) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : cannot create %s, download cancelled", fn,
                      folder.c_str());
        return {};
    }
    if (auto updater = m_pAutoUpdateHandler) updater->SetUpdateDirectoryPath(folder);
    path = folder + SafeFileName(suggestedName.empty() ? item.suggestedFileName : suggestedName);
    TVC_LOG_WARN("*[AUTOUPDATER]* %s : update download of %s to %s", fn, item.url.c_str(),
                 path.c_str());
    return path;
}

void ClientHandler::LogDownloadProgress(const char* fn, const engine::DownloadItem& item) {
    TVC_LOG_INFO("%s : %s - %.2f KB (%d%%)", fn, item.url.c_str(),
                 static_cast<double>(item.receivedBytes) / 1024.0, item.PercentComplete());
}

void ClientHandler::OnDownloadUpdated(engine::BrowserRef, const engine::DownloadItem& item) {
    static const char* fn = TVC_FN;
    bool handled = false;
    std::string path;
    HandleCEFDownloadStatus(true, item, handled, path);
    if (handled) return;
    const bool failed = item.isCanceled || (!item.isInProgress && !item.isComplete);
    if (!item.startedByApp) {
        if (item.isComplete)
            TVC_LOG_WARN("%s : page download complete: %s", fn, item.fullPath.c_str());
        else if (failed)
            TVC_LOG_WARN("%s : page download failed: %s", fn, item.url.c_str());
        else
            LogDownloadProgress(fn, item);
        return;
    }
    if (item.isComplete) {
        TVC_LOG_WARN("*[AUTOUPDATER]* - Download Complete");
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lastDownloadPath = item.fullPath;
        }
        if (m_notifyDownload) m_notifyDownload(kCmdNotifyDownloadComplete);
        return;
    }
    if (failed) {
        // Every failed update download is reported, so the update state can end in failure.
        TVC_LOG_ERROR("*[AUTOUPDATER]* - Download failed: %s", item.url.c_str());
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lastDownloadPath = item.fullPath;
        }
        if (m_notifyDownload) m_notifyDownload(kCmdNotifyDownloadFailed);
        return;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* - Downloading..... %.2f KB",
                 static_cast<double>(item.receivedBytes) / 1024.0);
}
}  // namespace tvc
