// The application's message boxes over GTK. They are non-modal and live on the main loop, so
// neither the main loop nor the WebSocket thread waits for the user. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/MessageBox.h"

namespace GUIUtils {
// One showing of a box: what its request carried. Owned by its dialog and freed with it.
class CMessageBox {
  public:
    // Opens the help address; the caller decides which addresses may leave the program.
    using UrlOpener = std::function<bool(const std::string& url)>;

    CMessageBox(std::string title, std::string message, int type, std::string helpUrl,
                std::weak_ptr<IMessageBoxEventsListner> listener, UrlOpener openUrl);

    // Creates the dialog, hands it `box` and shows it; null (and logged) when it cannot be created.
    static GtkWidget* PerformMessageBoxShow(std::unique_ptr<CMessageBox> box);

  private:
    static void OnResponse(GtkDialog* dialog, gint response, gpointer self);

    std::string m_title;
    std::string m_message;
    int m_type;
    std::string m_helpUrl;
    std::weak_ptr<IMessageBoxEventsListner> m_listener;
    UrlOpener m_openUrl;
};
}  // namespace GUIUtils

namespace tvc::platform::gtk {
class CGtkMessageBoxes final : public IMessageBoxes {
  public:
    explicit CGtkMessageBoxes(GUIUtils::CMessageBox::UrlOpener openUrl);
    // Boxes still up go away without reporting a close.
    ~CGtkMessageBoxes() override;

    bool ShowMessageBox(const std::string& title, const std::string& message, int type,
                        const std::string& helpUrl,
                        std::weak_ptr<GUIUtils::IMessageBoxEventsListner> listener) override;
    void CloseMessageBox(int type) override;

  private:
    static void OnBoxDestroyed(GtkWidget* dialog, gpointer self);

    GUIUtils::CMessageBox::UrlOpener m_openUrl;
    std::map<int, GtkWidget*> m_openBoxes;  // by type; an entry leaves with its dialog
};
}  // namespace tvc::platform::gtk
