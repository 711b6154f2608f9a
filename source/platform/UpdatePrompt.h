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
    // Starts the program at `path` without arguments in a session of its own, so it outlives us.
    virtual bool StartInstaller(const std::string& path) = 0;
};
}  // namespace tvc::platform
