// The updater's prompt as a GTK message box, and the installer started from its open file. Main
// thread.
#pragma once

#include "platform/UpdatePrompt.h"

namespace tvc::platform::gtk {
class GtkUpdateUi final : public IUpdateInstallerUi {
  public:
    bool ShowUpdatePrompt(const std::string& text, const std::string& caption,
                          std::function<void(bool accepted)> onAnswer) override;
    bool StartInstaller(int fd, const std::string& path, std::string& why) override;
    void ShowUpdateFailure(const std::string& text, const std::string& caption) override;
};
}  // namespace tvc::platform::gtk
