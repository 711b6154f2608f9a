#include "platform/gtk/PageNotRespondingDialog.h"

#include <utility>

#include "common/Translate.h"

namespace tvc::platform::gtk {
namespace {
constexpr int kResponseWait = 1;
constexpr int kResponseReload = 2;
}  // namespace

CPageNotRespondingDialog::CPageNotRespondingDialog(GtkWindow* parent) : m_parent(parent) {
    g_object_add_weak_pointer(G_OBJECT(m_parent), reinterpret_cast<gpointer*>(&m_parent));
}

CPageNotRespondingDialog::~CPageNotRespondingDialog() {
    Close();
    if (m_parent)
        g_object_remove_weak_pointer(G_OBJECT(m_parent), reinterpret_cast<gpointer*>(&m_parent));
}

void CPageNotRespondingDialog::Show(std::function<void()> onReload, std::function<void()> onWait) {
    m_onReload = std::move(onReload);
    m_onWait = std::move(onWait);
    if (m_dialog) {
        gtk_window_present(GTK_WINDOW(m_dialog));
        return;
    }
    if (!m_parent) return;  // no window left to leave the page of
    m_dialog = gtk_message_dialog_new(m_parent, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_WARNING,
                                      GTK_BUTTONS_NONE, "%s", _("The page is not responding."));
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(m_dialog), "%s",
        _("You can wait for it to answer, or reload it from its start address."));
    gtk_window_set_title(GTK_WINDOW(m_dialog), "Tavisto for Web");
    // Alt+W and Alt+R choose them; Esc and the close box mean Wait.
    gtk_dialog_add_button(GTK_DIALOG(m_dialog), _("_Wait"), kResponseWait);
    gtk_dialog_add_button(GTK_DIALOG(m_dialog), _("_Reload"), kResponseReload);
    gtk_dialog_set_default_response(GTK_DIALOG(m_dialog), kResponseWait);
    g_signal_connect(m_dialog, "response", G_CALLBACK(OnResponse), this);
    // It goes with the main window too.
    g_signal_connect(m_dialog, "destroy", G_CALLBACK(OnDestroyed), this);
    gtk_widget_show_all(m_dialog);
    gtk_window_present(GTK_WINDOW(m_dialog));
}

void CPageNotRespondingDialog::Close() {
    m_onReload = nullptr;
    m_onWait = nullptr;
    if (GtkWidget* dialog = std::exchange(m_dialog, nullptr)) {
        g_signal_handlers_disconnect_by_data(dialog, this);
        gtk_widget_destroy(dialog);
    }
}

void CPageNotRespondingDialog::OnDestroyed(GtkWidget*, gpointer self) {
    static_cast<CPageNotRespondingDialog*>(self)->m_dialog = nullptr;
}

void CPageNotRespondingDialog::OnResponse(GtkDialog*, gint response, gpointer self) {
    auto* box = static_cast<CPageNotRespondingDialog*>(self);
    auto answer =
        response == kResponseReload ? std::move(box->m_onReload) : std::move(box->m_onWait);
    // Gone before the answer runs: the answer may close it, or ask for it again.
    box->Close();
    if (answer) answer();
}
}  // namespace tvc::platform::gtk
