// One local package installed through the system's package service (PackageKit on the system
// bus): a transaction, its progress, and how it ended. The service asks the desktop's polkit agent
// for the user's consent; this program never sees a password. Main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tvc::update {
class CPackageKitInstall {
  public:
    enum class Outcome {
        Installed,
        Failed,
        // The user's "Cancel" in the consent dialog, or the transaction cancelled.
        Refused,
        // Nothing on the system bus owns or can start the package service.
        NoService,
    };
    struct Handlers {
        // Percent (0-100, or -1 when unknown) and the service's status in words.
        std::function<void(int percent, const std::string& status)> progress;
        // Once; `details` says what went wrong in the service's words.
        std::function<void(Outcome outcome, const std::string& details)> finished;
    };

    // Starts installing the package file at `path` (a path the service, running as root, opens).
    static std::shared_ptr<CPackageKitInstall> Start(const std::string& path, Handlers handlers);
    ~CPackageKitInstall();
    CPackageKitInstall(const CPackageKitInstall&) = delete;
    CPackageKitInstall& operator=(const CPackageKitInstall&) = delete;

    struct Impl;

  private:
    CPackageKitInstall() = default;
    std::shared_ptr<Impl> m_impl;
};

// PackageKit's status codes in words ("Waiting for authentication", "Installing"...), in English
// for the log; marked for translation, so _() gives the user's words.
std::string PackageKitStatusText(unsigned status);
}  // namespace tvc::update
