// What the updater needs from the desktop: its question to the user and the start of the installer.
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
};
}  // namespace tvc::platform
