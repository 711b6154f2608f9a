// What the updater needs from the desktop: its questions to the user, the start of the installer,
// the progress of an installation the system carries out, and the desktop's package installer.
// Implemented over GTK in platform/gtk; main thread of the browser process.
#pragma once

#include <functional>
#include <string>

namespace tvc::platform {
class IUpdateInstallerUi {
  public:
    virtual ~IUpdateInstallerUi() = default;
    // An information box with one OK button, kept above other windows and owned by none. Returns at
    // once; `onAnswer` runs once, with true for OK and false when the box was closed otherwise.
    // False (and `onAnswer` never called) when the box cannot be shown.
    virtual bool ShowUpdatePrompt(const std::string& text, const std::string& caption,
                                  std::function<void(bool accepted)> onAnswer) = 0;
    // Starts the program open at `fd` (the verified file itself, whatever `path` leads to by now)
    // without arguments in a session of its own, so it outlives us. False with `why` when it
    // cannot be started, a file that is no program included.
    virtual bool StartInstaller(int fd, const std::string& path, std::string& why) = 0;
    // An error box with one OK button; returns at once.
    virtual void ShowUpdateFailure(const std::string& text, const std::string& caption) = 0;
    // A question with OK and Cancel; as ShowUpdatePrompt otherwise.
    virtual bool ShowUpdateQuestion(const std::string& text, const std::string& caption,
                                    std::function<void(bool accepted)> onAnswer) = 0;
    // A small window with `text`, a progress bar and a status line, until CloseInstallProgress.
    virtual void ShowInstallProgress(const std::string& text, const std::string& caption) = 0;
    // `percent` from 0 to 100, or -1 when the system does not know.
    virtual void UpdateInstallProgress(int percent, const std::string& status) = 0;
    virtual void CloseInstallProgress() = 0;
    // Opens the file at `path` with the desktop's default application for `contentType`. False
    // with `why` when there is none or it cannot be started.
    virtual bool OpenWithDefaultApplication(const std::string& path, const std::string& contentType,
                                            std::string& why) = 0;
};
}  // namespace tvc::platform
