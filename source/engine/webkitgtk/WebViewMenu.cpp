#include "engine/webkitgtk/WebViewMenu.h"

#include <algorithm>
#include <string>
#include <utility>

#include "common/LogHelper.h"
#include "engine/Client.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {
namespace {
// What one activated item needs to reach the handler.
struct ItemTarget {
    std::weak_ptr<CWebViewMenu::Route> route;
    WebKitWebView* view;
    engine::ContextMenuParams params;
    int commandId;
};

class CWebKitMenuModel final : public engine::IContextMenuModel {
  public:
    CWebKitMenuModel(std::weak_ptr<CWebViewMenu::Route> route, WebKitContextMenu* menu,
                     WebKitWebView* view, const engine::ContextMenuParams& params)
        : m_route(std::move(route)), m_menu(menu), m_view(view), m_params(params) {}
    int GetCount() const override {
        return static_cast<int>(webkit_context_menu_get_n_items(m_menu));
    }
    void AddSeparator() override {
        webkit_context_menu_append(m_menu, webkit_context_menu_item_new_separator());
    }
    void AddItem(int commandId, const std::string& label) override {
        std::string name = "tvc-menu-" + std::to_string(commandId);
        auto action =
            glib::GObjectPtr<GSimpleAction>::Adopt(g_simple_action_new(name.c_str(), nullptr));
        auto target =
            std::make_shared<ItemTarget>(ItemTarget{m_route, m_view, m_params, commandId});
        // The action owns the target through the closure's data; both die with the menu.
        g_signal_connect_data(
            action.get(), "activate", G_CALLBACK(&CWebKitMenuModel::OnActivate),
            std::make_unique<std::shared_ptr<ItemTarget>>(target).release(),
            [](gpointer data, GClosure*) {
                std::unique_ptr<std::shared_ptr<ItemTarget>>(
                    static_cast<std::shared_ptr<ItemTarget>*>(data));
            },
            GConnectFlags(0));
        // GTK menus show "&" literally: drop the Windows mnemonic marker.
        std::string text;
        for (char c : label)
            if (c != '&') text.push_back(c);
        webkit_context_menu_append(m_menu, webkit_context_menu_item_new_from_gaction(
                                               G_ACTION(action.get()), text.c_str(), nullptr));
    }

  private:
    static void OnActivate(GSimpleAction*, GVariant*, gpointer data) {
        const ItemTarget& t = **static_cast<std::shared_ptr<ItemTarget>*>(data);
        auto route = t.route.lock();
        if (!route) return;
        auto browser = route->lookup(t.view);
        if (browser) route->client->OnContextMenuCommand(browser, t.params, t.commandId);
    }

    std::weak_ptr<CWebViewMenu::Route> m_route;
    WebKitContextMenu* m_menu;
    WebKitWebView* m_view;
    engine::ContextMenuParams m_params;
};

std::string ItemLabel(WebKitContextMenuItem* item) {
    if (webkit_context_menu_item_is_separator(item)) return "-";
    // The one reader of an item's label, deprecated with GtkAction.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkAction* action = webkit_context_menu_item_get_action(item);
    const char* label = action ? gtk_action_get_label(action) : nullptr;
    G_GNUC_END_IGNORE_DEPRECATIONS
    std::string text = label ? label : "?";
    text.erase(std::remove(text.begin(), text.end(), '_'), text.end());
    return text;
}

// The engine adds its own "Inspect Element" with developer extras on; the handler adds the
// program's, which is the one kept.
void RemoveEngineInspectItem(WebKitContextMenu* menu) {
    for (GList* l = webkit_context_menu_get_items(menu); l;) {
        auto* item = static_cast<WebKitContextMenuItem*>(l->data);
        l = l->next;
        if (webkit_context_menu_item_get_stock_action(item) ==
            WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT)
            webkit_context_menu_remove(menu, item);
    }
    // A separator left at the end would stand before nothing.
    const guint n = webkit_context_menu_get_n_items(menu);
    WebKitContextMenuItem* last =
        n ? webkit_context_menu_get_item_at_position(menu, n - 1) : nullptr;
    if (last && webkit_context_menu_item_is_separator(last)) webkit_context_menu_remove(menu, last);
}

gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                       WebKitHitTestResult* hit, gpointer data) {
    const auto& route = *static_cast<std::shared_ptr<CWebViewMenu::Route>*>(data);
    auto browser = route->lookup(view);
    if (!browser) return FALSE;
    RemoveEngineInspectItem(menu);
    engine::ContextMenuParams params;
    params.typeFlags = engine::CM_TYPEFLAG_PAGE;
    if (hit && webkit_hit_test_result_context_is_link(hit))
        params.typeFlags |= engine::CM_TYPEFLAG_LINK;
    gdouble x = 0, y = 0;
    if (event && gdk_event_get_coords(event, &x, &y)) {
        params.x = static_cast<int>(x);
        params.y = static_cast<int>(y);
    }
    CWebKitMenuModel model(route, menu, view, params);
    route->client->OnBeforeContextMenu(browser, params, model);
    std::string items;
    for (GList* l = webkit_context_menu_get_items(menu); l; l = l->next)
        items +=
            (items.empty() ? "" : " | ") + ItemLabel(static_cast<WebKitContextMenuItem*>(l->data));
    TVC_LOG_WARN("%s : %s", "ContextMenu : items", items.c_str());
    return FALSE;  // show the menu
}
}  // namespace

CWebViewMenu::CWebViewMenu(std::shared_ptr<engine::IContextMenuClient> client, BrowserLookup lookup)
    : m_route(std::make_shared<Route>(Route{std::move(client), std::move(lookup)})) {}

glib::ScopedSignal CWebViewMenu::Connect(WebKitWebView* view) {
    return {view, g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), &m_route)};
}
}  // namespace tvc::webkit
