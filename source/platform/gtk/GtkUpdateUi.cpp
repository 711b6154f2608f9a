#include "platform/gtk/GtkUpdateUi.h"

#include <gtk/gtk.h>

#include <memory>

#include "common/LogHelper.h"
#include "common/Translate.h"
#include "glibutil/GObjectPtr.h"
#include "glibutil/OwnEnvironment.h"
#include "platform/ProgramLaunch.h"

namespace tvc::platform::gtk {
namespace {
using Answer = std::function<void(bool)>;

void OnResponse(GtkDialog* dialog, gint response, gpointer data) {
    // Taken out first: destroying the box frees `data`, and must not answer a second time.
    Answer answer = std::move(*static_cast<Answer*>(data));
    g_signal_handlers_disconnect_by_data(dialog, data);
    gtk_widget_destroy(GTK_WIDGET(dialog));
    if (answer) answer(response == GTK_RESPONSE_OK);
}

}  // namespace

bool GtkUpdateUi::ShowUpdatePrompt(const std::string& text, const std::string& caption,
                                   std::function<void(bool accepted)> onAnswer) {
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                               GTK_BUTTONS_NONE, "%s", text.c_str());
    if (!dialog) return false;
    // Ours, not GTK's: the text names the button, so both come from one catalogue.
    gtk_dialog_add_button(GTK_DIALOG(dialog), _("_OK"), GTK_RESPONSE_OK);
    // GTK 3 message boxes show no picture for their type; the information icon is asked for.
    // Named, so the theme draws it at the screen's scale.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(
        GTK_MESSAGE_DIALOG(dialog),
        gtk_image_new_from_icon_name("dialog-information", GTK_ICON_SIZE_DIALOG));
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    // What a system-modal box is here: above every window, on every desktop, asking for attention.
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_stick(GTK_WINDOW(dialog));
    gtk_window_set_urgency_hint(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    // "response" also comes for Esc and the close button (GTK_RESPONSE_DELETE_EVENT).
    auto answer = std::make_unique<Answer>(std::move(onAnswer));
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(OnResponse), answer.release(),
        [](gpointer data, GClosure*) { std::unique_ptr<Answer>(static_cast<Answer*>(data)); },
        GConnectFlags(0));
    gtk_widget_show_all(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
    return true;
}

bool GtkUpdateUi::StartInstaller(int fd, const std::string& path, std::string& why) {
    auto env = glib::UserEnvironment();
    const pid_t pid = StartProgramFromDescriptor(fd, path, env.get(), why);
    if (pid < 0) {
        TVC_LOG_ERROR("%s : cannot start %s: %s", TVC_FN, path.c_str(), why.c_str());
        return false;
    }
    // Reaped when it ends, should it end before we do.
    g_child_watch_add(
        pid, [](GPid child, gint, gpointer) { g_spawn_close_pid(child); }, nullptr);
    return true;
}

void GtkUpdateUi::ShowUpdateFailure(const std::string& text, const std::string& caption) {
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_ERROR,
                               GTK_BUTTONS_NONE, "%s", text.c_str());
    if (!dialog) return;
    gtk_dialog_add_button(GTK_DIALOG(dialog), _("_OK"), GTK_RESPONSE_OK);
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show_all(dialog);
    gtk_window_present(GTK_WINDOW(dialog));
}
}  // namespace tvc::platform::gtk
