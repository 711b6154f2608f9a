// The verified installer: its record across runs, the user's consent, its start, and the cleaning
// of the update folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/archive/archive_exception.hpp>
#include <cerrno>
#include <cstring>

#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/PrivateFolder.h"
#include "common/ProcessMessages.h"
#include "common/Translate.h"
#include "update/AutoUpdateHandler.h"
#include "update/SealedCopy.h"
#include "update/UpdateState.h"

namespace {
constexpr const char* kStateFileName = "UpdateStateDetails.txt";
// The caption's default (AutoUpdateHandler.h), for the catalogue.
[[maybe_unused]] constexpr const char* kDefaultCaption = N_("Tavisto for Web Update");
}  // namespace

std::string CAutoUpdateHandler::InstallerPathInFolder() const {
    return m_strUpdateDirectoryPath + m_settings.installerFileName;
}

std::string CAutoUpdateHandler::StateFilePath() const {
    return m_strUpdateDirectoryPath + kStateFileName;
}

void CAutoUpdateHandler::HandleDownloadedInstaller(int outcome, const std::string& path) {
    if (!VerifyInstaller()) {
        PerformUpdateDirectoryCleanup();
        SetState(e_UpdateFailed);
        return;
    }
    SetState(outcome);
    m_strInstallerPath = path;
    SaveUpdateParams();
}

tvc::UniqueFd CAutoUpdateHandler::OpenInstaller() const {
    tvc::UniqueFd folder = tvc::OpenFolderNoFollow(m_strUpdateDirectoryPath);
    if (!folder) return {};
    // O_NONBLOCK: a FIFO in the installer's place must not hold the main thread.
    tvc::UniqueFd fd(::openat(folder.get(), m_settings.installerFileName.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return {};
    return fd;
}

bool CAutoUpdateHandler::VerifyInstaller() {
    return static_cast<bool>(SealVerifiedInstaller(OpenInstaller().get()));
}

bool CAutoUpdateHandler::VerifyInstaller(int fd) {
    return ValidateChecksum(fd) && ValidateSignature(fd) && ValidatePackage(fd);
}

tvc::UniqueFd CAutoUpdateHandler::SealVerifiedInstaller(int file) {
    std::string why;
    // Every check reads the same bytes, and they are the bytes that run or are installed: the
    // file in the update folder stays writable by the user's processes.
    tvc::UniqueFd sealed = file >= 0
                               ? tvc::update::CopyToSealedMemory(file, m_settings.installerFileName,
                                                                 kMaxInstallerSize, why)
                               : tvc::UniqueFd();
    if (file >= 0 && !sealed)
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : the installer cannot be read: %s", TVC_FN, why.c_str());
    // A missing file is the checksum's failure to report, as before.
    if (!VerifyInstaller(sealed ? sealed.get() : -1)) return {};
    return sealed;
}

bool CAutoUpdateHandler::ValidateChecksum() {
    tvc::UniqueFd fd = OpenInstaller();
    return ValidateChecksum(fd.get());
}

bool CAutoUpdateHandler::ValidateChecksum(int fd) {
    static const char* fn = TVC_FN;
    if (!m_pChecksumValidator) {
        TVC_LOG_ERROR("%s: m_pChecksumValidator is NULL", fn);
        return false;
    }
    std::string generated;
    int result = CChecksumValidator::eHashingFailed;
    if (m_strUpdateDirectoryPath.empty()) {
        TVC_LOG_ERROR("%s: m_strUpdateDirectoryPath is empty", fn);
    } else {
        TVC_LOG_WARN("%s: Update directory path is %s", fn, m_strUpdateDirectoryPath.c_str());
        result = fd < 0 ? static_cast<int>(CChecksumValidator::eFileMissing)
                        : m_pChecksumValidator->GenerateChecksumOfDescriptor(fd, generated);
        if (result != CChecksumValidator::eChecksumGenerated)
            TVC_LOG_ERROR("%s: GenerateChecksumOfDownloaedFile failed", fn);
    }
    TVC_LOG_WARN("%s: Generated Checksum is %s", fn, generated.c_str());
    if (m_appcast.checksum.empty() || result != CChecksumValidator::eChecksumGenerated) {
        TVC_LOG_ERROR("%s: no checksum to compare (appcast checksum empty or generation failed)",
                      fn);
        return false;
    }
    TVC_LOG_WARN("%s: Checksum saved in the Appcast File is %s", fn, m_appcast.checksum.c_str());
    if (m_pChecksumValidator->CheckForChecksumEqality(generated, m_appcast.checksum)) {
        TVC_LOG_WARN("%s: Checksum matches", fn);
        return true;
    }
    TVC_LOG_ERROR("%s: Checksum doesnot match", fn);
    return false;
}

bool CAutoUpdateHandler::ValidateSignature(int fd) {
    static const char* fn = TVC_FN;
    if (!m_bKeyPinned) return true;
    std::string why = "the pinned key is unusable";
    if (m_bKeyUsable &&
        m_signatureVerifier.VerifyDescriptor(fd, kMaxInstallerSize, m_appcast.signature, why)) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s: the installer's signature is valid", fn);
        return true;
    }
    TVC_LOG_ERROR("*[AUTOUPDATER]* %s: installer refused: %s", fn, why.c_str());
    return false;
}

void CAutoUpdateHandler::SaveUpdateParams() {
    static const char* fn = TVC_FN;
    if (m_strUpdateDirectoryPath.empty()) return;
    try {
        const UpdateStateHandle state(m_strInstallerPath, m_appcast.version, GetState());
        // A new file takes the old one's place whole, or not at all; a link there is replaced.
        tvc::UniqueFd folder = tvc::OpenFolderNoFollow(m_strUpdateDirectoryPath);
        if (!folder || !tvc::WriteFileAtomicallyAt(folder.get(), kStateFileName,
                                                   tvc::update::SerializeUpdateState(state)))
            TVC_LOG_ERROR("*[AUTOUPDATER]* %s - cannot write %s", fn, StateFilePath().c_str());
    } catch (const boost::archive::archive_exception& e) {
        TVC_LOG_ERROR("Archive Exception %d - Desc %s", static_cast<int>(e.code), e.what());
    } catch (const std::exception& e) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s. - Serialization Exception Caught!! - %s", fn, e.what());
    } catch (...) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Exception Caught!!", fn);
    }
}

bool CAutoUpdateHandler::IsUpdateStateFilePresent() {
    static const char* fn = TVC_FN;
    if (m_strUpdateDirectoryPath.empty()) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* - %s - Update Path Not Present!", fn);
        return false;
    }
    tvc::UniqueFd folder = tvc::OpenFolderNoFollow(m_strUpdateDirectoryPath);
    if (folder && tvc::IsRegularFileAt(folder.get(), kStateFileName)) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s - Update State File Present at Location %s", fn,
                     StateFilePath().c_str());
        return true;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* %s Update State File Not Present", fn);
    return false;
}

bool CAutoUpdateHandler::LoadUpdateParams() {
    static const char* fn = TVC_FN;
    if (m_strUpdateDirectoryPath.empty()) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s Update Directory Not present", fn);
        return false;
    }
    UpdateStateHandle saved;
    try {
        const std::string text = GetStringFromFile(StateFilePath(), tvc::update::kMaxStateFileSize);
        saved = tvc::update::DeserializeUpdateState(text);
        // Only a verified download of our own folder is worth resuming. A package handed to the
        // system and not installed now (the run ended before the system finished) is one like any
        // other: offered again, never installed without the user.
        if ((saved.m_iState != e_UpdateAvailable && saved.m_iState != e_AppInstallationTriggered) ||
            saved.m_strInstallerPath != InstallerPathInFolder())
            throw std::runtime_error("the record names another state or file");
    } catch (const std::exception& e) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Exception Caught!! - %s", fn, e.what());
        // An unreadable record would block every later check: start the download afresh.
        PerformUpdateDirectoryCleanup();
        DownloadUpdate();
        return false;
    }
    m_strInstallerPath = saved.m_strInstallerPath;
    m_strDownloadedVersion = saved.m_strVersion;
    SetState(e_UpdateAvailable);
    TVC_LOG_WARN("U*[AUTOUPDATER]* Version of Downloaded File= %s, Version on Appcast = %s",
                 m_strDownloadedVersion.c_str(), m_appcast.version.c_str());
    if (CompareVersions(m_strDownloadedVersion, m_appcast.version) < 0) {
        TVC_LOG_WARN(
            "*[AUTOUPDATER]* %s - A newer Version is available in Appcast. Flusing this update",
            fn);
        PerformUpdateDirectoryCleanup();
        DownloadUpdate();
        return true;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* %s - Launch installer if checksum is valid", fn);
    if (!VerifyInstaller()) {
        PerformUpdateDirectoryCleanup();
        SetState(e_UpdateFailed);
        return false;
    }
    if (m_browserObject) {
        TVC_LOG_WARN("Update Available. Sending Event to JS to Stop Stream");
        m_browserObject->SendProcessMessage(
            tvc::engine::ProcessId::Renderer,
            tvc::engine::ProcessMessage{tvc::msg::kStreamStopForAppUpdate, {}});
    }
    LaunchInstaller();
    return true;
}

bool CAutoUpdateHandler::LaunchInstaller() {
    static const char* fn = TVC_FN;
    if (m_strInstallerPath.empty()) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Application Path String is Empty", fn);
        return false;
    }
    if (!OpenInstaller()) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s Update File Not Present", fn);
        DownloadUpdate();
        return false;
    }
    const std::string text = tvc::FormatText(
        _("A Tavisto for Web update is available (v%s).\n\nPlease hit OK to Update"),
        m_appcast.version);
    SetState(e_AppInstallationTriggered);
    // The box does not wait: the page and the inter-app messages go on while the user decides.
    const bool shown = m_ui && m_ui->ShowUpdatePrompt(text, _(m_settings.promptCaption.c_str()),
                                                      [weak = Weak()](bool accepted) {
                                                          if (auto self = weak.lock())
                                                              self->OnPromptAnswered(accepted);
                                                      });
    if (!shown) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - the update prompt could not be shown", fn);
        SetState(e_UpdateAvailable);  // the next check asks again
    }
    return true;
}

void CAutoUpdateHandler::OnPromptAnswered(bool accepted) {
    static const char* fn = TVC_FN;
    if (!accepted) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s - Skipping Installer Launch", fn);
        return;
    }
    // What runs is what is verified now, from sealed memory: a file renamed over the installer,
    // or written into, from here on never runs.
    tvc::UniqueFd installer = OpenInstaller();
    // Opened once: a second open could find a file renamed over it meanwhile.
    tvc::UniqueFd sealed = installer ? SealVerifiedInstaller(installer.get()) : tvc::UniqueFd();
    std::string current;
    if (!sealed) {
        FailUpdate("the installer changed after it was verified; not started");
        return;
    }
    if (!GetCurrentAppVersion(current) || CompareVersions(current, m_strDownloadedVersion) >= 0) {
        FailUpdate("the installer is not newer than the running version; not started");
        return;
    }
    if (m_settings.installedPackage) {
        InstallPackage(std::move(sealed));
        return;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* %s - Launching the Installer", fn);
    std::string why = "no way to start programs";
    // Executable for the user alone: set on the verified file, never through its name.
    if (::fchmod(installer.get(), 0700) != 0) {
        why = std::strerror(errno);
    } else if (m_ui && m_ui->StartInstaller(sealed.get(), InstallerPathInFolder(), why)) {
        if (m_browserObject && m_closeApplication) {
            TVC_LOG_WARN("*[AUTOUPDATER]* %s - Closing the Application - posting WM_CLOSE", fn);
            m_closeApplication();
        }
        return;
    }
    // A verified file that does not start stays a failure of this version for the whole run, so
    // the user is told once.
    m_strLaunchFailedVersion = m_appcast.version;
    FailUpdate(("the installer could not be started: " + why).c_str());
    TellFailure(tvc::FormatText(_("The Tavisto for Web update (v%s) could not be started.\n\n"
                                  "Tavisto for Web stays open."),
                                m_appcast.version));
}

void CAutoUpdateHandler::TellFailure(const std::string& text) {
    if (m_ui) m_ui->ShowUpdateFailure(text, _(m_settings.promptCaption.c_str()));
}

void CAutoUpdateHandler::PerformUpdateDirectoryCleanup() {
    if (m_strUpdateDirectoryPath.empty()) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Update Directory Path String is Empty!", TVC_FN);
        return;
    }
    _RemoveDirectory(m_strUpdateDirectoryPath);
}

bool CAutoUpdateHandler::_RemoveDirectory(const std::string& path) {
    static const char* fn = TVC_FN;
    if (path.empty() || path[0] != '/') {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s Directory Not Present", path.c_str());
        return false;
    }
    bool wasLink = false;
    // Nothing is followed: a link, in the folder's place or in it, is removed, never its target.
    const bool removed = tvc::RemoveFolderNoFollow(path, &wasLink);
    if (wasLink)
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : %s was a link; the link is removed, its target left",
                      fn, path.c_str());
    else if (removed)
        TVC_LOG_WARN("*[AUTOUPDATER]* %s Directory Present", path.c_str());
    else if (tvc::FileExists(path))
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : %s not removed whole", fn, path.c_str());
    else
        TVC_LOG_WARN("*[AUTOUPDATER]* %s Directory Not Present", path.c_str());
    return removed;
}
