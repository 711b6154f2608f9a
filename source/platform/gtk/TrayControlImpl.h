// The tray icon as a StatusNotifierItem (libayatana-appindicator): the host on the session bus
// draws the icon and the menu, which is exported over D-Bus. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "glibutil/GObjectPtr.h"
#include "platform/TrayControlBase.h"

struct _AppIndicator;

namespace tvc::platform::gtk {
class CTrayControlImpl final : public CTrayControlBase {
  public:
    // Stands in for the window that receives the menu's commands; called on the main thread.
    using CommandSink = std::function<void(unsigned commandId)>;

    CTrayControlImpl() = default;
    ~CTrayControlImpl() override;
    CTrayControlImpl(const CTrayControlImpl&) = delete;
    CTrayControlImpl& operator=(const CTrayControlImpl&) = delete;

    void SetCommandSink(CommandSink sink);
    // The icon: a picture's name without its extension and the folder it lies in.
    void SetIcon(const std::string& iconName, const std::string& iconFolder);
    // Builds the item and its menu from the base's data; an icon already up is replaced.
    bool Initialize() override;
    bool IsInitialized() const { return m_bIsInitialized; }
    // Gives the menu's items the base's current texts in place: the host keeps the icon.
    void RelabelMenu();

  private:
    bool PerformInit();
    bool PerformDeInit();
    static void OnItemActivate(GtkMenuItem* item, gpointer self);

    CommandSink m_commandSink;
    std::string m_strIconName;
    std::string m_strIconFolder;
    glib::GObjectPtr<_AppIndicator> m_indicator;
    glib::GObjectPtr<GtkWidget> m_menu;
    bool m_bIsInitialized = false;
};
}  // namespace tvc::platform::gtk
