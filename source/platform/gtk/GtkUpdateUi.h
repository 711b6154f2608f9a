// The updater's prompt as a GTK message box, the installer started from its open file, the
// progress window of a system installation and the desktop's package installer. Main thread.
#pragma once

#include <gtk/gtk.h>

#include "platform/UpdatePrompt.h"

namespace tvc::platform::gtk {
class GtkUpdateUi final : public IUpdateInstallerUi {
  public:
    bool ShowUpdatePrompt(const std::string& text, const std::string& caption,
                          std::function<void(bool accepted)> onAnswer) override;
    bool StartInstaller(int fd, const std::string& path, std::string& why) override;
    void ShowUpdateFailure(const std::string& text, const std::string& caption) override;
    bool ShowUpdateQuestion(const std::string& text, const std::string& caption,
                            std::function<void(bool accepted)> onAnswer) override;
    void ShowInstallProgress(const std::string& text, const std::string& caption) override;
    void UpdateInstallProgress(int percent, const std::string& status) override;
    void CloseInstallProgress() override;
    bool OpenWithDefaultApplication(const std::string& path, const std::string& contentType,
                                    std::string& why) override;
    ~GtkUpdateUi() override;

  private:
    bool ShowBox(GtkMessageType type, bool withCancel, const std::string& text,
                 const std::string& caption, std::function<void(bool accepted)> onAnswer);
    GtkWidget* m_progressWindow = nullptr;
    GtkWidget* m_progressBar = nullptr;
    GtkWidget* m_progressStatus = nullptr;
};
}  // namespace tvc::platform::gtk
