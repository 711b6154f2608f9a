// The auto-updater: fetches the appcast through the browser, compares its version with the
// executable's, downloads and verifies a newer installer (SHA-1 checksum, and an Ed25519 signature
// when the build pins a key), keeps a record of the verified download for the next check, and on
// the user's consent starts the installer and closes the application through the quit road. A
// program running from the installed Debian package gets packages instead: their control fields
// are checked too, and the system's package service installs them, after which the program comes
// back in its new version.
//
// Threads: the browser process's main thread only. Downloads end there (the window's commands
// 32001/32002 call SetDownloadParameters) and the delayed download runs there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/PrivateFolder.h"
#include "common/TaskRunner.h"
#include "engine/Browser.h"
#include "platform/UpdatePrompt.h"
#include "update/Appcast.h"
#include "update/ChecksumValidator.h"
#include "update/DebianPackage.h"
#include "update/PackageKitInstall.h"
#include "update/SignatureVerifier.h"

class CAutoUpdateHandler : public std::enable_shared_from_this<CAutoUpdateHandler> {
  public:
    enum State {
        e_NoState = 0,
        e_AppcastDownloadInProgress = 1,
        e_UpdateDownloadInProgress = 2,
        e_UpdateAvailable = 3,
        e_UpdateFailed = 4,
        e_AppUpToDate = 5,
        e_AppInstallationTriggered = 6,
    };
    // SetDownloadParameters' outcomes.
    static constexpr int kDownloadSucceeded = e_UpdateAvailable;
    static constexpr int kDownloadFailed = e_UpdateFailed;
    // The largest files the updater downloads.
    static constexpr std::int64_t kMaxAppcastSize = 1024 * 1024;
    static constexpr std::int64_t kMaxInstallerSize = 512LL * 1024 * 1024;

    struct Settings {
        std::function<std::string()> appcastDirectory;  // read at every check
        std::string appcastFileName = "Appcast.json";
        std::string releaseNotesFileName = "ReleaseNotes.txt";
        std::string installerFileName = "TavistoForWebInstaller.run";
        std::string promptCaption = "Tavisto for Web Update";
        int downloadDelayMs = 40000;
        // Base64 Ed25519 public key; empty: installers need no signature.
        std::string pinnedPublicKey;
        std::string executablePath = "/proc/self/exe";
        // Set when the program runs from the installed package: the installer is then a package
        // of this name and architecture, and the system's package service installs it.
        std::optional<tvc::update::PackageFields> installedPackage;
        // Asks for the program to be started again once it has quit.
        std::function<void()> requestRestart;
    };
    CAutoUpdateHandler(Settings settings, std::shared_ptr<tvc::platform::IUpdateInstallerUi> ui);
    ~CAutoUpdateHandler();
    CAutoUpdateHandler(const CAutoUpdateHandler&) = delete;
    CAutoUpdateHandler& operator=(const CAutoUpdateHandler&) = delete;

    void InitiateAutoUpdate();
    void SetCefBrowserReferance(tvc::engine::BrowserRef browser);
    // The update folder, ending in "/".
    void SetUpdateDirectoryPath(const std::string& folder);
    // How the application closes once the installer runs.
    void SetApplicationCloser(std::function<void()> closeApplication);
    void SetDownloadParameters(int outcome, const std::string& path);
    // The size limit of the download the updater waits for now: the appcast's or the installer's.
    std::int64_t ExpectedDownloadSizeLimit();

    bool GetVersionInfoFromAppcast();
    // The whole file, or "" when it cannot be read or is larger than `maxSize`.
    static std::string GetStringFromFile(const std::string& path, size_t maxSize = kMaxAppcastSize);
    bool GetCurrentAppVersion(std::string& version);
    static std::vector<std::string> SplitVersionString(const std::string& text);
    // Negative: a is older; 0: equal; positive: a is newer.
    static int CompareVersions(const std::string& a, const std::string& b);
    bool IsUpdateRequired(const std::string& currentVersion);
    void DownloadUpdate();

    void SaveUpdateParams();
    bool LoadUpdateParams();
    bool IsUpdateStateFilePresent();
    bool ValidateChecksum();
    bool LaunchInstaller();
    void PerformUpdateDirectoryCleanup();
    static bool _RemoveDirectory(const std::string& path);

    int GetState();
    void SetState(int state);

  private:
    void HandleDownloadedInstaller(int outcome, const std::string& path);
    // The installer in the update folder, opened without following a link; invalid unless it is a
    // regular file of ours.
    tvc::UniqueFd OpenInstaller() const;
    // The installer open at `fd`: checksum, and signature under a pinned key. Without `fd`, the
    // one in the update folder.
    bool VerifyInstaller();
    bool VerifyInstaller(int fd);
    bool ValidateChecksum(int fd);
    bool ValidateSignature(int fd);
    // The package's control fields name this program's package, architecture and the appcast's
    // version, newer than the running one (always true for a program not run from its package).
    bool ValidatePackage(int fd);
    // The installer read once into sealed memory and verified there; invalid when either fails.
    tvc::UniqueFd SealVerifiedInstaller(int file);
    void InstallPackage(tvc::UniqueFd sealed);
    void OnPackageInstallEnded(tvc::update::CPackageKitInstall::Outcome outcome,
                               const std::string& details);
    void OfferPackageInstaller();
    void TellFailure(const std::string& text);
    std::string InstallerPathInFolder() const;
    std::string StateFilePath() const;
    void FailUpdate(const char* why);
    void OnPromptAnswered(bool accepted);
    std::weak_ptr<CAutoUpdateHandler> Weak() { return weak_from_this(); }

    // The last appcast read, whole; empty when it could not be read.
    tvc::update::Appcast m_appcast;

    std::string m_strUpdateDirectoryPath;
    std::string m_strAppcastPath;
    std::string m_strInstallerPath;
    std::string m_strReleaseNotesPath;
    std::string m_strDownloadedVersion;  // from the state file
    // A version whose verified installer could not be started: not offered again in this run.
    std::string m_strLaunchFailedVersion;
    tvc::engine::BrowserRef m_browserObject;

    int m_state = e_NoState;

    std::shared_ptr<CChecksumValidator> m_pChecksumValidator;
    tvc::update::CSignatureVerifier m_signatureVerifier;
    bool m_bKeyPinned = false;
    // False when a key is pinned but unreadable: every installer is refused then.
    bool m_bKeyUsable = true;

    Settings m_settings;
    tvc::runner::DelayedTask m_delayedDownload;
    std::shared_ptr<tvc::platform::IUpdateInstallerUi> m_ui;
    std::function<void()> m_closeApplication;
    // The verified package while the system installs it, and the folder of the copy it reads.
    tvc::UniqueFd m_sealedPackage;
    tvc::UniqueFd m_handoverFolder;
    std::string m_handoverPath;
    std::shared_ptr<tvc::update::CPackageKitInstall> m_packageInstall;
};
