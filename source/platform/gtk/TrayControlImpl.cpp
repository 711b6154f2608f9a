#include "platform/gtk/TrayControlImpl.h"

#include <libayatana-appindicator/app-indicator.h>

#include "common/LogHelper.h"

namespace tvc::platform::gtk {
namespace {
// The item's identity on the bus, the same on every run (hosts remember placement by it).
constexpr const char* kIndicatorId = "TavistoForWeb";
constexpr const char* kCommandIdKey = "tvc-command-id";
}  // namespace

CTrayControlImpl::~CTrayControlImpl() {
    PerformDeInit();
}

void CTrayControlImpl::SetCommandSink(CommandSink sink) {
    m_commandSink = std::move(sink);
}

void CTrayControlImpl::SetIcon(const std::string& iconName, const std::string& iconFolder) {
    TVC_LOG_INFO("%s ++ with icon=%s in %s", TVC_FN, iconName.c_str(), iconFolder.c_str());
    m_strIconName = iconName;
    m_strIconFolder = iconFolder;
}

bool CTrayControlImpl::Initialize() {
    static const char* fn = TVC_FN;
    if (m_bIsInitialized) {
        TVC_LOG_WARN("%s : already initialized, trying to de-init.", fn);
        PerformDeInit();
    }
    if (m_bIsInitialized) {
        TVC_LOG_WARN("%s : PerformDeInit did not suceed : m_bIsInitialized is still true.", fn);
        return false;
    }
    return PerformInit();
}

bool CTrayControlImpl::PerformInit() {
    static const char* fn = TVC_FN;
    if (!m_commandSink || m_strIconName.empty() || m_mapTrayControlData.empty()) {
        TVC_LOG_WARN("%s : sanity check fail : command sink=%u, icon=%s, menu items=%zu", fn,
                     m_commandSink ? 1u : 0u, m_strIconName.c_str(), m_mapTrayControlData.size());
        return false;
    }
    auto indicator = glib::GObjectPtr<AppIndicator>::Adopt(app_indicator_new(
        kIndicatorId, m_strIconName.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS));
    if (!indicator) {
        TVC_LOG_ERROR("%s : call to app_indicator_new() : failed.\n", fn);
        return false;
    }
    if (!m_strIconFolder.empty())
        app_indicator_set_icon_theme_path(indicator.get(), m_strIconFolder.c_str());
    // StatusNotifierItem has no tooltip of its own here: hosts show the title instead.
    app_indicator_set_title(indicator.get(), m_strToolTipText.c_str());

    GtkWidget* newMenu = gtk_menu_new();
    g_object_ref_sink(newMenu);
    auto menu = glib::GObjectPtr<GtkWidget>::Adopt(newMenu);
    GtkWidget* first = nullptr;
    for (const auto& [id, text] : m_mapTrayControlData) {
        TVC_LOG_INFO("%s : adding menu items id=%u , name=%s", fn, id, text.c_str());
        GtkWidget* item = gtk_menu_item_new_with_label(text.c_str());
        g_object_set_data(G_OBJECT(item), kCommandIdKey, GUINT_TO_POINTER(id));
        g_signal_connect(item, "activate", G_CALLBACK(OnItemActivate), this);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu.get()), item);
        if (!first) first = item;
    }
    gtk_widget_show_all(menu.get());
    app_indicator_set_menu(indicator.get(), GTK_MENU(menu.get()));
    // The first item is the default one: a host's secondary click (middle button) chooses it.
    if (first) app_indicator_set_secondary_activate_target(indicator.get(), first);
    app_indicator_set_status(indicator.get(), APP_INDICATOR_STATUS_ACTIVE);

    m_indicator = std::move(indicator);
    m_menu = std::move(menu);
    m_bIsInitialized = true;
    TVC_LOG_WARN("%s : setup : the item %s is exported with %zu menu items", fn, kIndicatorId,
                 m_mapTrayControlData.size());
    return true;
}

void CTrayControlImpl::RelabelMenu() {
    if (!m_menu) return;
    g_autoptr(GList) items = gtk_container_get_children(GTK_CONTAINER(m_menu.get()));
    for (GList* node = items; node; node = node->next) {
        const unsigned id =
            GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(node->data), kCommandIdKey));
        if (auto text = m_mapTrayControlData.find(id); text != m_mapTrayControlData.end())
            gtk_menu_item_set_label(GTK_MENU_ITEM(node->data), text->second.c_str());
    }
}

bool CTrayControlImpl::PerformDeInit() {
    if (m_indicator) {
        // Passive first, so a host that keeps the item while the process lives hides it.
        app_indicator_set_status(m_indicator.get(), APP_INDICATOR_STATUS_PASSIVE);
        m_indicator.reset();
    }
    if (m_menu) {
        gtk_widget_destroy(m_menu.get());
        m_menu.reset();
    }
    if (m_bIsInitialized) TVC_LOG_WARN("PerformDeInit: result : %d err: %d\n", 1, 0);
    m_bIsInitialized = false;
    return true;
}

void CTrayControlImpl::OnItemActivate(GtkMenuItem* item, gpointer self) {
    auto* tray = static_cast<CTrayControlImpl*>(self);
    const unsigned id = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kCommandIdKey));
    TVC_LOG_WARN("%s : menu item %u chosen", TVC_FN, id);
    if (tray->m_commandSink) tray->m_commandSink(id);
}
}  // namespace tvc::platform::gtk
