#include "common/ClientHandler/DownloadRouter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>

#include "common/AppInfo.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/ClientHandler/WSPortConfig.h"
#include "common/CommandLine.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/PrivateFolder.h"
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

// What a download may leave free in its file system, for everything else the user runs.
constexpr long long kFreeSpaceMargin = 64LL * 1024 * 1024;

// The size limit `cap` (-1: none), lowered to what the folder's free space allows.
std::int64_t WithinFreeSpace(const std::string& folder, std::int64_t cap) {
    const long long available = AvailableBytes(folder);
    if (available < 0) return cap;
    const std::int64_t room = std::max<long long>(available - kFreeSpaceMargin, 0);
    return cap < 0 ? room : std::min(cap, room);
}

// A limit in milliseconds given on the command line for tests ("--download-stall-timeout-ms",
// "--download-deadline-ms"); `fallback` without a valid one.
std::chrono::milliseconds SwitchMs(const char* name, std::chrono::milliseconds fallback) {
    const std::string text = GetGlobalCommandLine()->GetSwitchValue(name);
    int ms = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || ms <= 0)
        return fallback;
    return std::chrono::milliseconds(ms);
}

// The program's own small files arrive well within a minute; one that does not is held back by
// its server, and the updater or the listener would wait for it for the rest of the run.
constexpr std::chrono::milliseconds kSmallFileDeadline{60000};
// 512 MiB at 1 Mbit/s take 72 minutes: two hours leave room for a slower line and a busy server.
constexpr std::chrono::milliseconds kInstallerDeadline{2 * 60 * 60 * 1000};

constexpr const char* kStagingPrefix = ".download-";

// The update folder is ours alone; the cache folder is the engine's too, and the user may have
// put it elsewhere through a link.
UniqueFd OpenDownloadFolder(const std::string& folder, bool privateFolder) {
    if (!privateFolder) return UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string why;
    UniqueFd fd = OpenPrivateFolder(folder, why);
    if (!why.empty()) TVC_LOG_ERROR("*[AUTOUPDATER]* %s : %s", folder.c_str(), why.c_str());
    return fd;
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

std::string CDownloadRouter::StageDownload(std::uint32_t id, const std::string& folder,
                                           bool privateFolder, const std::string& fileName) {
    static const char* fn = TVC_FN;
    UniqueFd dir = OpenDownloadFolder(folder, privateFolder);
    // What a download cut short by the end of an earlier run left behind.
    if (dir)
        RemoveEntriesAt(dir.get(), [this](const std::string& name) {
            if (name.rfind(kStagingPrefix, 0) != 0) return false;
            for (const auto& [id, staged] : m_stagedDownloads)
                if (staged.stagingName == name) return false;
            return true;
        });
    std::string staging;
    UniqueFd stage = dir ? MakeUniqueFolderAt(dir.get(), kStagingPrefix, staging) : UniqueFd();
    if (!stage) {
        TVC_LOG_ERROR("%s : no private folder for a download in %s, download cancelled", fn,
                      folder.c_str());
        return {};
    }
    m_stagedDownloads[id] = {WithSlash(folder), privateFolder, staging, fileName};
    return WithSlash(folder) + staging + "/" + fileName;
}

bool CDownloadRouter::UnstageDownload(std::uint32_t id, bool complete, std::string& finalPath) {
    static const char* fn = TVC_FN;
    auto it = m_stagedDownloads.find(id);
    if (it == m_stagedDownloads.end()) return false;
    const StagedDownload staged = std::move(it->second);
    m_stagedDownloads.erase(it);
    finalPath = staged.folder + staged.fileName;
    UniqueFd dir = staged.privateFolder ? OpenFolderNoFollow(staged.folder)
                                        : OpenDownloadFolder(staged.folder, false);
    if (!dir) {
        TVC_LOG_ERROR("%s : %s is gone or no longer a folder", fn, staged.folder.c_str());
        return false;
    }
    bool moved = false;
    if (complete) {
        UniqueFd stage(
            ::openat(dir.get(), staged.stagingName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        if (IsLinkAt(dir.get(), staged.fileName))
            TVC_LOG_ERROR("%s : a link stood at %s%s; it is replaced, its target left", fn,
                          staged.folder.c_str(), staged.fileName.c_str());
        // Replaces whatever has the name in the folder, a link included, and never follows it.
        moved = stage && IsRegularFileAt(stage.get(), staged.fileName) &&
                ::renameat(stage.get(), staged.fileName.c_str(), dir.get(),
                           staged.fileName.c_str()) == 0;
        if (!moved)
            TVC_LOG_ERROR("%s : the download is not a file in %s%s, dropped", fn,
                          staged.folder.c_str(), staged.stagingName.c_str());
    }
    // What a failed or refused download left goes with its folder.
    RemoveTreeAt(dir.get(), staged.stagingName);
    return moved;
}

std::string CDownloadRouter::GetUpdateDirectoryPath() {
    TVC_LOG_INFO("*[AUTOUPDATER]* Inside %s", TVC_FN);
    return std::string(kCompanyFolderName) + "/" + kProductName + "/Update/";
}

// The user's download folder: XDG_DOWNLOAD_DIR, then user-dirs.dirs, then ~/Downloads.
static std::string GetUserDownloadFolder() {
    const char* env = std::getenv("XDG_DOWNLOAD_DIR");
    if (env && env[0] == '/') return WithSlash(env);
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    std::string fromUserDirs = DownloadDirFromUserDirs(home);
    if (!fromUserDirs.empty()) return WithSlash(fromUserDirs);
    return std::string(home) + "/Downloads/";
}

std::string CDownloadRouter::PageDownloadPath(const std::string& suggestedName) {
    static const char* fn = TVC_FN;
    const std::string folder = GetUserDownloadFolder();
    if (folder.empty() || !MakeDirectories(folder)) {
        TVC_LOG_ERROR("%s : no usable download folder (%s), download cancelled", fn,
                      folder.c_str());
        return {};
    }
    // Never overwrite a file: the name is taken by creating the file exclusively, so neither a
    // second download of the same name nor a file saved meanwhile can lose it. On a clash:
    // "name (1).ext", "name (2).ext", ...
    const std::string name = SafeFileName(suggestedName);
    const auto dot = name.find_last_of('.');
    const std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    const std::string ext = (dot == std::string::npos || dot == 0) ? "" : name.substr(dot);
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; dir && i < 1000; ++i) {
        const std::string candidate = i == 0 ? name : stem + " (" + std::to_string(i) + ")" + ext;
        UniqueFd file(::openat(dir.get(), candidate.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file) return folder + candidate;
        if (errno != EEXIST) break;
    }
    TVC_LOG_ERROR("%s : no file could be made for %s in %s, download cancelled", fn, name.c_str(),
                  folder.c_str());
    return {};
}

void CDownloadRouter::HandleCEFDownloadStatus(bool bDownloadStarted,
                                              const engine::DownloadItem& item, bool& bIsHandledOut,
                                              std::string& pathToDownloadOut) {
    static const char* fn = TVC_FN;
    // A download's start and end are worth its state; its progress is logged on its own.
    if (!bDownloadStarted || !item.isInProgress) {
        TVC_LOG_INFO("%s with : HasStarted=%u,", fn, bDownloadStarted ? 1u : 0u);
        TVC_LOG_INFO("%s with : path=%s, ", fn, item.fullPath.c_str());
        TVC_LOG_INFO("%s with : url=%s, ", fn, item.url.c_str());
        TVC_LOG_INFO("%s with : isComplete=%u,", fn, item.isComplete ? 1u : 0u);
        TVC_LOG_INFO("%s with : isInProgress=%u", fn, item.isInProgress ? 1u : 0u);
        TVC_LOG_INFO("%s with : IsCanceled=%u", fn, item.isCanceled ? 1u : 0u);
    }
    bIsHandledOut = false;
    pathToDownloadOut.clear();
    bIsHandledOut = bDownloadStarted ? HandleCEFDownloadInProgress(item, pathToDownloadOut)
                                     : HandleCEFDownloadOnBeforeStart(item, pathToDownloadOut);
}

bool CDownloadRouter::HandleCEFDownloadOnBeforeStart(const engine::DownloadItem& item,
                                                     std::string& pathToDownloadOut) {
    static const char* fn = TVC_FN;
    bool handled = false;
    if (IsConfigFileDownload(item)) {
        std::string cache;
        if (CAppPaths::GetPath(CAppPaths::eCacheFolder, cache) == CAppPaths::eOk &&
            !cache.empty()) {
            // Handled even when no staging folder can be made: the empty path cancels it.
            handled = true;
            pathToDownloadOut = StageDownload(item.id, cache, false, kWSConfigFileName);
        } else {
            TVC_LOG_ERROR("%s : no cache folder for %s", fn, kWSConfigFileName);
        }
    }
    TVC_LOG_WARN("%s -- : bIsHandledOut=%u, pathToDownloadOut=%s", fn, handled ? 1u : 0u,
                 pathToDownloadOut.c_str());
    return handled;
}

bool CDownloadRouter::HandleCEFDownloadInProgress(const engine::DownloadItem& item,
                                                  std::string& pathToDownloadOut) {
    static const char* fn = TVC_FN;
    if (!IsConfigFileDownload(item)) return false;
    if (item.isCanceled) {
        TVC_LOG_ERROR("%s : %s failed: %s", fn, item.url.c_str(), item.error.c_str());
        UnstageDownload(item.id, false, pathToDownloadOut);
        m_configFileDone(false);
    } else if (item.isComplete) {
        m_configFileDone(UnstageDownload(item.id, true, pathToDownloadOut));
    } else {
        LogDownloadProgress(fn, item);
        return true;
    }
    TVC_LOG_WARN("%s -- : bIsHandledOut=%u, pathToDownloadOut=%s", fn, 1u,
                 pathToDownloadOut.c_str());
    return true;
}

engine::DownloadTarget CDownloadRouter::OnBeforeDownload(const engine::DownloadItem& item,
                                                         const std::string& suggestedName) {
    static const char* fn = TVC_FN;
    bool handled = false;
    engine::DownloadTarget target;
    target.limits.stallLimit =
        SwitchMs("download-stall-timeout-ms", engine::kDefaultDownloadStallLimit);
    HandleCEFDownloadStatus(false, item, handled, target.path);
    if (handled) {
        target.limits.maxBytes = static_cast<std::int64_t>(kMaxWSConfigFileSize);
        target.limits.deadline = SwitchMs("download-deadline-ms", kSmallFileDeadline);
        return target;
    }
    if (!item.startedByApp) {
        target.path =
            PageDownloadPath(suggestedName.empty() ? item.suggestedFileName : suggestedName);
        // The page's own downloads may be large, but may not fill the disk.
        if (!target.path.empty()) {
            target.limits.maxBytes = WithinFreeSpace(GetUserDownloadFolder(), -1);
            m_pageFiles[item.id] = target.path;
        }
        TVC_LOG_WARN("%s : page download of %s to %s", fn, item.url.c_str(), target.path.c_str());
        return target;
    }
    std::string userData;
    if (CAppPaths::GetPath(CAppPaths::eUserAppDataFolder, userData) != CAppPaths::eOk ||
        userData.empty()) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : no user data folder, download cancelled", fn);
        return {};
    }
    const std::string folder = userData + GetUpdateDirectoryPath();
    // The folders above the update folder are the user's: made as they are, links followed.
    if (!MakeDirectories(folder.substr(0, folder.find_last_of('/', folder.size() - 2)))) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : cannot create %s, download cancelled", fn,
                      folder.c_str());
        return {};
    }
    const auto updater = m_updates->Controller();
    if (updater) updater->SetUpdateDirectoryPath(folder);
    target.path =
        StageDownload(item.id, folder, true,
                      SafeFileName(suggestedName.empty() ? item.suggestedFileName : suggestedName));
    if (target.path.empty()) return {};
    const std::int64_t cap =
        updater ? updater->ExpectedDownloadSizeLimit() : CAutoUpdateHandler::kMaxAppcastSize;
    target.limits.maxBytes = WithinFreeSpace(folder, cap);
    target.limits.deadline = SwitchMs(
        "download-deadline-ms",
        cap > CAutoUpdateHandler::kMaxAppcastSize ? kInstallerDeadline : kSmallFileDeadline);
    TVC_LOG_WARN("*[AUTOUPDATER]* %s : update download of %s to %s, at most %lld bytes", fn,
                 item.url.c_str(), target.path.c_str(),
                 static_cast<long long>(target.limits.maxBytes));
    return target;
}

void CDownloadRouter::LogDownloadProgress(const char* fn, const engine::DownloadItem& item) {
    TVC_LOG_INFO("%s : %s - %.2f KB (%d%%)", fn, item.url.c_str(),
                 static_cast<double>(item.receivedBytes) / 1024.0, item.PercentComplete());
}

void CDownloadRouter::OnDownloadUpdated(const engine::DownloadItem& item) {
    static const char* fn = TVC_FN;
    bool handled = false;
    std::string path;
    HandleCEFDownloadStatus(true, item, handled, path);
    if (handled) return;
    const bool failed = item.isCanceled || (!item.isInProgress && !item.isComplete);
    if (!item.startedByApp) {
        if (item.isComplete) {
            TVC_LOG_WARN("%s : page download complete: %s", fn, item.fullPath.c_str());
            m_pageFiles.erase(item.id);
        } else if (failed) {
            TVC_LOG_WARN("%s : page download failed: %s: %s", fn, item.url.c_str(),
                         item.error.c_str());
            // The file made to hold the name, or what came before the failure.
            auto it = m_pageFiles.find(item.id);
            if (it != m_pageFiles.end()) {
                ::unlink(it->second.c_str());
                m_pageFiles.erase(it);
            }
        } else {
            LogDownloadProgress(fn, item);
        }
        return;
    }
    std::string finalPath = item.fullPath;
    if (item.isComplete && UnstageDownload(item.id, true, finalPath)) {
        TVC_LOG_WARN("*[AUTOUPDATER]* - Download Complete");
        m_updates->DownloadEnded(finalPath, kCmdNotifyDownloadComplete);
        return;
    }
    if (failed || item.isComplete) {
        UnstageDownload(item.id, false, finalPath);
        // Every failed update download is reported, so the update state can end in failure.
        TVC_LOG_ERROR("*[AUTOUPDATER]* - Download failed: %s: %s", item.url.c_str(),
                      item.error.c_str());
        m_updates->DownloadEnded(finalPath, kCmdNotifyDownloadFailed);
        return;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* - Downloading..... %.2f KB",
                 static_cast<double>(item.receivedBytes) / 1024.0);
}
}  // namespace tvc
