// The Debian package road: the package's control fields, its installation through the system's
// package service (or the desktop's package installer when there is no such service), and the
// program's return in its new version.
#include <unistd.h>

#include "common/LogHelper.h"
#include "common/PrivateFolder.h"
#include "common/Translate.h"
#include "update/AutoUpdateHandler.h"
#include "update/SealedCopy.h"

namespace {
constexpr const char* kPackageContentType = "application/vnd.debian.binary-package";
constexpr const char* kHandoverPrefix = ".handover-";

// `headline`, the system's or the desktop's reason (in its words), and what happens now.
std::string FailureWithDetails(const std::string& headline, const std::string& details) {
    return headline + "\n\n" + details + "\n\n" + _("Tavisto for Web stays open.");
}
}  // namespace

bool CAutoUpdateHandler::ValidatePackage(int fd) {
    static const char* fn = TVC_FN;
    const auto& installed = m_settings.installedPackage;
    if (!installed) return true;
    std::string why, current;
    const auto fields = tvc::update::ReadPackageFields(fd, why);
    if (!fields) {
        why = "its control fields cannot be read: " + why;
    } else if (fields->package != installed->package) {
        why = "it is the package " + fields->package + ", not " + installed->package;
    } else if (fields->architecture != installed->architecture) {
        why = "its architecture is " + fields->architecture + ", not " + installed->architecture;
    } else if (fields->version != m_appcast.version) {
        why = "its version is " + fields->version + ", the appcast's " + m_appcast.version;
    } else if (!GetCurrentAppVersion(current) || CompareVersions(fields->version, current) <= 0) {
        why = "its version " + fields->version + " is not newer than the running " + current;
    } else {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s : the package is %s %s (%s)", fn, fields->package.c_str(),
                     fields->version.c_str(), fields->architecture.c_str());
        return true;
    }
    TVC_LOG_ERROR("*[AUTOUPDATER]* %s : package refused: %s", fn, why.c_str());
    return false;
}

void CAutoUpdateHandler::InstallPackage(tvc::UniqueFd sealed) {
    static const char* fn = TVC_FN;
    // The package service wants a name ending in ".deb" (a memory file's /proc path is refused),
    // so it gets a copy of the sealed bytes in a new folder of unforeseeable name, reached through
    // our open descriptor of it: renaming or replacing the folders above cannot redirect it.
    std::string why = "the update folder is gone", name;
    tvc::UniqueFd folder = tvc::OpenFolderNoFollow(m_strUpdateDirectoryPath);
    tvc::UniqueFd handover =
        folder ? tvc::MakeUniqueFolderAt(folder.get(), kHandoverPrefix, name) : tvc::UniqueFd();
    if (!handover || !tvc::update::WriteSealedCopyAt(sealed.get(), handover.get(),
                                                     m_settings.installerFileName, why)) {
        m_strLaunchFailedVersion = m_appcast.version;
        FailUpdate(("the package cannot be handed over: " + why).c_str());
        TellFailure(tvc::FormatText(_("The Tavisto for Web update (v%s) could not be installed.\n\n"
                                      "Tavisto for Web stays open."),
                                    m_appcast.version));
        return;
    }
    m_handoverPath = m_strUpdateDirectoryPath + name + "/" + m_settings.installerFileName;
    const std::string path = "/proc/" + std::to_string(::getpid()) + "/fd/" +
                             std::to_string(handover.get()) + "/" + m_settings.installerFileName;
    m_handoverFolder = std::move(handover);
    m_sealedPackage = std::move(sealed);
    // Recorded before the system gets it: whatever ends this run from here on, the next one
    // finds the package installed (and is up to date) or offers it again; it never installs or
    // restarts by itself.
    SetState(e_AppInstallationTriggered);
    SaveUpdateParams();
    TVC_LOG_WARN("*[AUTOUPDATER]* %s - Installing the package through the system: %s", fn,
                 path.c_str());
    if (m_ui)
        m_ui->ShowInstallProgress(
            tvc::FormatText(_("Installing the Tavisto for Web update (v%s)…"), m_appcast.version),
            // TRANSLATORS: the title of the window showing the update's installation; %s is the
            // title of the update's other windows ("Tavisto for Web Update").
            tvc::FormatText(_("%s: installing"), _(m_settings.promptCaption.c_str())));
    m_packageInstall = tvc::update::CPackageKitInstall::Start(
        path, {.progress =
                   [weak = Weak()](int percent, const std::string& status) {
                       auto self = weak.lock();
                       if (!self) return;
                       TVC_LOG_INFO("*[AUTOUPDATER]* PackageKit : %d%% %s", percent,
                                    status.c_str());
                       if (self->m_ui)
                           self->m_ui->UpdateInstallProgress(percent, _(status.c_str()));
                   },
               .finished =
                   [weak = Weak()](tvc::update::CPackageKitInstall::Outcome outcome,
                                   const std::string& details) {
                       if (auto self = weak.lock()) self->OnPackageInstallEnded(outcome, details);
                   }});
}

void CAutoUpdateHandler::OnPackageInstallEnded(tvc::update::CPackageKitInstall::Outcome outcome,
                                               const std::string& details) {
    static const char* fn = TVC_FN;
    using Outcome = tvc::update::CPackageKitInstall::Outcome;
    m_packageInstall.reset();
    if (m_ui) m_ui->CloseInstallProgress();
    if (outcome == Outcome::NoService) {
        TVC_LOG_ERROR("*[AUTOUPDATER]* %s : no package service on the system bus: %s", fn,
                      details.c_str());
        OfferPackageInstaller();
        return;
    }
    m_handoverFolder = {};
    m_sealedPackage = {};
    if (outcome == Outcome::Installed) {
        TVC_LOG_WARN("*[AUTOUPDATER]* %s - the system installed v%s; restarting in it", fn,
                     m_appcast.version.c_str());
        if (m_settings.requestRestart) m_settings.requestRestart();
        if (m_closeApplication) {
            TVC_LOG_WARN("*[AUTOUPDATER]* %s - Closing the Application - posting WM_CLOSE", fn);
            m_closeApplication();
        }
        return;
    }
    // Told once: a failed version is not fetched again in this run; a refused one is kept for
    // the next check, which asks the user again.
    if (outcome == Outcome::Refused) {
        TVC_LOG_ERROR(
            "*[AUTOUPDATER]* %s : the installation was cancelled: %s; the package is kept", fn,
            details.c_str());
        tvc::UniqueFd folder = tvc::OpenFolderNoFollow(m_strUpdateDirectoryPath);
        const auto slash = m_handoverPath.find_last_of('/');
        const auto start = m_strUpdateDirectoryPath.size();
        if (folder && slash != std::string::npos && slash > start)
            tvc::RemoveTreeAt(folder.get(), m_handoverPath.substr(start, slash - start));
        SetState(e_UpdateAvailable);
        SaveUpdateParams();
        SetState(e_UpdateFailed);
        TellFailure(tvc::FormatText(
            _("The Tavisto for Web update (v%s) was not installed: the authentication was "
              "cancelled or refused.\n\nTavisto for Web stays open and will offer the update "
              "again."),
            m_appcast.version));
        return;
    }
    m_strLaunchFailedVersion = m_appcast.version;
    FailUpdate(("the system did not install the package: " + details).c_str());
    // The service's own words stay as it gives them.
    TellFailure(FailureWithDetails(
        tvc::FormatText(_("The Tavisto for Web update (v%s) could not be installed:"),
                        m_appcast.version),
        details));
}

void CAutoUpdateHandler::OfferPackageInstaller() {
    const std::string text = tvc::FormatText(
        _("Tavisto for Web cannot install the update (v%s) itself: the system's package service "
          "(PackageKit) is not available.\n\nOpen the update with the desktop's package "
          "installer?"),
        m_appcast.version);
    const std::string windowTitle = _(m_settings.promptCaption.c_str());
    const bool shown =
        m_ui && m_ui->ShowUpdateQuestion(text, windowTitle, [weak = Weak()](bool ok) {
            auto self = weak.lock();
            if (!self) return;
            static const char* fn = "CAutoUpdateHandler::OfferPackageInstaller";
            if (!ok) {
                TVC_LOG_WARN("*[AUTOUPDATER]* %s - Skipping Installer Launch", fn);
                return;
            }
            // The installer opens the file after we have gone: a real path, to the copy of the
            // verified bytes.
            std::string why;
            if (self->m_ui && self->m_ui->OpenWithDefaultApplication(self->m_handoverPath,
                                                                     kPackageContentType, why)) {
                if (self->m_closeApplication) {
                    TVC_LOG_WARN("*[AUTOUPDATER]* %s - Closing the Application - posting WM_CLOSE",
                                 fn);
                    self->m_closeApplication();
                }
                return;
            }
            self->m_strLaunchFailedVersion = self->m_appcast.version;
            self->FailUpdate(("the package cannot be opened: " + why).c_str());
            self->TellFailure(FailureWithDetails(
                tvc::FormatText(_("The Tavisto for Web update (v%s) could not be opened:"),
                                self->m_appcast.version),
                why));
        });
    if (!shown) {
        m_strLaunchFailedVersion = m_appcast.version;
        FailUpdate("no package service, and the question to open the package cannot be shown");
    }
}
