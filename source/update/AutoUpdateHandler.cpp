// The update check: the appcast, the running version and the decision what to do next.
#include "update/AutoUpdateHandler.h"

#include <chrono>
#include <utility>

#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/PrivateFolder.h"
#include "common/UrlPolicy.h"
#include "update/ExecutableVersion.h"

namespace {
// The first installer download of a process waits; the flag is never cleared. Main thread.
bool g_downloadDelayUsed = false;
}  // namespace

CAutoUpdateHandler::CAutoUpdateHandler(Settings settings,
                                       std::shared_ptr<tvc::platform::IUpdateInstallerUi> ui)
    : m_pChecksumValidator(std::make_shared<CChecksumValidator>()),
      m_settings(std::move(settings)),
      m_ui(std::move(ui)) {
    m_bKeyPinned = !m_settings.pinnedPublicKey.empty();
    if (m_bKeyPinned && !m_signatureVerifier.SetPublicKey(m_settings.pinnedPublicKey)) {
        m_bKeyUsable = false;
        TVC_LOG_ERROR(
            "*[AUTOUPDATER]* %s : the pinned update key is not an Ed25519 public key; every "
            "installer will be refused",
            TVC_FN);
    }
}

CAutoUpdateHandler::~CAutoUpdateHandler() = default;

int CAutoUpdateHandler::GetState() {
    return m_state;
}

void CAutoUpdateHandler::SetState(int state) {
    m_state = state;
}

void CAutoUpdateHandler::SetCefBrowserReferance(tvc::engine::BrowserRef browser) {
    m_browserObject = std::move(browser);
    TVC_LOG_WARN("*[AUTOUPDATER]* %s 0x%X --", TVC_FN,
                 m_browserObject ? static_cast<unsigned>(m_browserObject->GetIdentifier()) : 0u);
}

void CAutoUpdateHandler::SetUpdateDirectoryPath(const std::string& folder) {
    m_strUpdateDirectoryPath = folder;
    if (!m_strUpdateDirectoryPath.empty() && m_strUpdateDirectoryPath.back() != '/')
        m_strUpdateDirectoryPath.push_back('/');
}

void CAutoUpdateHandler::SetApplicationCloser(std::function<void()> closeApplication) {
    m_closeApplication = std::move(closeApplication);
}

void CAutoUpdateHandler::FailUpdate(const char* why) {
    TVC_LOG_ERROR("*[AUTOUPDATER]* %s : %s", TVC_FN, why);
    PerformUpdateDirectoryCleanup();
    SetState(e_UpdateFailed);
}

void CAutoUpdateHandler::InitiateAutoUpdate() {
    static const char* fn = TVC_FN;
    tvc::runner::AssertOnMainThread();
    const int state = GetState();
    TVC_LOG_WARN(
        "*[AUTOUPDATER]* %s : Current-State=%u : "
        "e_NoState=0,e_AppcastDownloadInProgress=1,e_UpdateDownloadInProgress=2,e_UpdateAvailable="
        "3,e_UpdateFailed=4,e_AppUpToDate=5,e_AppInstallationTriggered=6",
        fn, static_cast<unsigned>(state));
    if (state == e_AppcastDownloadInProgress || state == e_UpdateDownloadInProgress ||
        state == e_AppInstallationTriggered) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s -- : Update activity already is in progress : skip.", fn);
        return;
    }
    if (!m_browserObject) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : m_browserObject is NULL.", fn);
        return;
    }
    const std::string directory =
        m_settings.appcastDirectory ? m_settings.appcastDirectory() : std::string();
    const std::string url = directory + m_settings.appcastFileName;
    TVC_LOG_WARN("*[AUTOUPDATER]* %s - Downloading the Appcast File from %s", fn, url.c_str());
    SetState(e_AppcastDownloadInProgress);
    m_browserObject->GetHost().StartDownload(url);
}

void CAutoUpdateHandler::SetDownloadParameters(int outcome, const std::string& path) {
    static const char* fn = TVC_FN;
    tvc::runner::AssertOnMainThread();
    if (outcome == kDownloadFailed) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Download failed. Invalid state", fn);
        PerformUpdateDirectoryCleanup();
        SetState(e_UpdateFailed);
        return;
    }
    if (path.empty()) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s - Download Path Not available!", fn);
        return;
    }
    const auto slash = path.find_last_of("/\\");
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    if (fileName.empty()) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s - No File name Present! Aborting Autoupdate Flow", fn);
        return;
    }
    if (fileName == m_settings.appcastFileName) {
        TVC_LOG_WARN("*[AUTOUPDATER]* - This is an Appcast File");
        m_strAppcastPath = path;
        if (!GetVersionInfoFromAppcast() && GetState() == e_AppcastDownloadInProgress)
            SetState(e_UpdateFailed);  // so the next trigger checks again
    } else if (fileName == m_settings.installerFileName) {
        TVC_LOG_WARN("*[AUTOUPDATER]* - This is the Application File");
        HandleDownloadedInstaller(outcome, path);
    } else if (fileName == m_settings.releaseNotesFileName) {
        TVC_LOG_WARN("*[AUTOUPDATER]* - This is the Release Notes");
        m_strReleaseNotesPath = path;
    } else {
        TVC_LOG_WARN("*[AUTOUPDATER]* - File Not Recognized. Cleaning up Directory");
        PerformUpdateDirectoryCleanup();
        // The download this check waited for will not come under another name.
        SetState(e_UpdateFailed);
    }
}

std::int64_t CAutoUpdateHandler::ExpectedDownloadSizeLimit() {
    return GetState() == e_AppcastDownloadInProgress ? kMaxAppcastSize : kMaxInstallerSize;
}

std::string CAutoUpdateHandler::GetStringFromFile(const std::string& path, size_t maxSize) {
    // Neither the folder nor the file is reached through a link.
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    tvc::UniqueFd folder = tvc::OpenFolderNoFollow(path.substr(0, slash));
    if (!folder) return {};
    return tvc::ReadFileAt(folder.get(), path.substr(slash + 1), maxSize).value_or(std::string());
}

bool CAutoUpdateHandler::GetVersionInfoFromAppcast() {
    static const char* fn = TVC_FN;
    std::string current;
    if (!GetCurrentAppVersion(current)) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Could Not fetch App Version", fn);
        return false;
    }
    const std::string appcast = GetStringFromFile(m_strAppcastPath);
    TVC_LOG_WARN("*[AUTOUPDATER]* - %s - ****AppCast String****\n - %s", fn,
                 CLogHelper::Excerpt(appcast).c_str());
    std::optional<tvc::update::Appcast> parsed = tvc::update::ParseAppcast(appcast);
    m_appcast = parsed.value_or(tvc::update::Appcast{});
    if (!parsed) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Could Not Parse Json File. Cleaning up Directory!", fn);
        PerformUpdateDirectoryCleanup();
        return false;
    }
    if (!tvc::IsWebUrl(m_appcast.downloadPath)) {
        // The installer is a program we run: only a web address may supply it.
        TVC_LOG_ERROR(
            "*[AUTOUPDATER]* %s - Downloadpath %s is not an http(s) address. Cleaning up "
            "Directory!",
            fn, m_appcast.downloadPath.c_str());
        PerformUpdateDirectoryCleanup();
        return false;
    }
    if (!IsUpdateRequired(current)) {
        SetState(e_AppUpToDate);
        return true;
    }
    if (m_appcast.version == m_strLaunchFailedVersion) {
        FailUpdate("this version's installer could not be started in this run; not fetched again");
        return true;
    }
    if (m_bKeyPinned && m_appcast.signature.empty()) {
        FailUpdate("the appcast carries no Signature and this build requires signed installers");
        return true;
    }
    if (IsUpdateStateFilePresent()) {
        LoadUpdateParams();
    } else {
        PerformUpdateDirectoryCleanup();
        DownloadUpdate();
    }
    return true;
}

bool CAutoUpdateHandler::GetCurrentAppVersion(std::string& version) {
    static const char* fn = TVC_FN;
    const std::string exe = tvc::ReadLink(m_settings.executablePath);
    const std::string name = exe.empty() ? m_settings.executablePath : exe;
    TVC_LOG_WARN("*[AUTOUPDATER]* %s - App Name is %s", fn, name.c_str());
    // From the package, the version is what dpkg has installed: the same as the executable's for
    // every release, and the one that says whether the system has taken an update in already.
    const auto installed =
        m_settings.installedPackage
            ? tvc::update::QueryInstalledPackage(m_settings.installedPackage->package)
            : std::nullopt;
    if (installed) {
        version = installed->version;
    } else if (!tvc::update::ReadExecutableFileVersion(m_settings.executablePath, version)) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - no file version in %s", fn, name.c_str());
        return false;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* %s - App Version is %s", fn, version.c_str());
    return true;
}

bool CAutoUpdateHandler::IsUpdateRequired(const std::string& currentVersion) {
    static const char* fn = TVC_FN;
    if (CompareVersions(currentVersion, m_appcast.version) < 0) {
        TVC_LOG_WARN("*[AUTOUPDATER]* - %s - App Version is %s, Newer Version %s Available!", fn,
                     currentVersion.c_str(), m_appcast.version.c_str());
        return true;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* - %s - App is Up-to-Date or is at Newer Version", fn);
    PerformUpdateDirectoryCleanup();
    return false;
}

void CAutoUpdateHandler::DownloadUpdate() {
    static const char* fn = TVC_FN;
    if (!std::exchange(g_downloadDelayUsed, true)) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s - Delaying the Download", fn);
        m_delayedDownload = tvc::runner::PostDelayed(
            std::chrono::milliseconds(m_settings.downloadDelayMs), [weak = Weak()] {
                if (auto self = weak.lock()) self->DownloadUpdate();
            });
        return;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* %s Starting Download", fn);
    if (m_appcast.downloadPath.empty()) return;
    if (!m_browserObject) {
        FailUpdate("no browser to download the installer with");
        return;
    }
    SetState(e_UpdateDownloadInProgress);
    m_browserObject->GetHost().StartDownload(m_appcast.downloadPath);
}
