#include "platform/gtk/GtkUpdateUi.h"

#include <gio/gio.h>
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
    return ShowBox(GTK_MESSAGE_INFO, false, text, caption, std::move(onAnswer));
}

bool GtkUpdateUi::ShowUpdateQuestion(const std::string& text, const std::string& caption,
                                     std::function<void(bool accepted)> onAnswer) {
    return ShowBox(GTK_MESSAGE_QUESTION, true, text, caption, std::move(onAnswer));
}

bool GtkUpdateUi::ShowBox(GtkMessageType type, bool withCancel, const std::string& text,
                          const std::string& caption, std::function<void(bool accepted)> onAnswer) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, type,
                                               GTK_BUTTONS_NONE, "%s", text.c_str());
    if (!dialog) return false;
    // Ours, not GTK's: the text names the button, so both come from one catalogue.
    if (withCancel) gtk_dialog_add_button(GTK_DIALOG(dialog), _("_Cancel"), GTK_RESPONSE_CANCEL);
    gtk_dialog_add_button(GTK_DIALOG(dialog), _("_OK"), GTK_RESPONSE_OK);
    // GTK 3 message boxes show no picture for their type; the icon is asked for. Named, so the
    // theme draws it at the screen's scale.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(
        GTK_MESSAGE_DIALOG(dialog),
        gtk_image_new_from_icon_name(
            type == GTK_MESSAGE_QUESTION ? "dialog-question" : "dialog-information",
            GTK_ICON_SIZE_DIALOG));
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
GtkUpdateUi::~GtkUpdateUi() {
    CloseInstallProgress();
}

void GtkUpdateUi::ShowInstallProgress(const std::string& text, const std::string& caption) {
    CloseInstallProgress();
    m_progressWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(m_progressWindow), caption.c_str());
    gtk_window_set_position(GTK_WINDOW(m_progressWindow), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(m_progressWindow), FALSE);
    gtk_window_set_keep_above(GTK_WINDOW(m_progressWindow), TRUE);
    gtk_window_set_default_size(GTK_WINDOW(m_progressWindow), 380, -1);
    // The system carries the installation out: closing this window would stop nothing.
    gtk_window_set_deletable(GTK_WINDOW(m_progressWindow), FALSE);
    g_signal_connect(m_progressWindow, "delete-event", G_CALLBACK(gtk_true), nullptr);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(box), 16);
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    m_progressBar = gtk_progress_bar_new();
    m_progressStatus = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(m_progressStatus), 0);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), m_progressBar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), m_progressStatus, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(m_progressWindow), box);
    gtk_widget_show_all(m_progressWindow);
    gtk_window_present(GTK_WINDOW(m_progressWindow));
}

void GtkUpdateUi::UpdateInstallProgress(int percent, const std::string& status) {
    if (!m_progressWindow) return;
    if (percent < 0)
        gtk_progress_bar_pulse(GTK_PROGRESS_BAR(m_progressBar));
    else
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_progressBar), percent / 100.0);
    gtk_label_set_text(GTK_LABEL(m_progressStatus), status.c_str());
}

void GtkUpdateUi::CloseInstallProgress() {
    if (m_progressWindow) gtk_widget_destroy(m_progressWindow);
    m_progressWindow = m_progressBar = m_progressStatus = nullptr;
}

bool GtkUpdateUi::OpenWithDefaultApplication(const std::string& path,
                                             const std::string& contentType, std::string& why) {
    g_autoptr(GAppInfo) app = g_app_info_get_default_for_type(contentType.c_str(), FALSE);
    if (!app) {
        why = "no application opens " + contentType;
        return false;
    }
    g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
    GList files{file, nullptr, nullptr};
    g_autoptr(GAppLaunchContext) context = g_app_launch_context_new();
    // The application gets the user's environment, not the variables this program set for itself.
    for (const auto& name : glib::OwnVariables())
        g_app_launch_context_unsetenv(context, name.c_str());
    g_autoptr(GError) error = nullptr;
    if (!g_app_info_launch(app, &files, context, &error)) {
        why = error ? error->message : "the application did not start";
        return false;
    }
    TVC_LOG_WARN("*[AUTOUPDATER]* %s : %s opened with %s", TVC_FN, path.c_str(),
                 g_app_info_get_id(app) ? g_app_info_get_id(app) : g_app_info_get_name(app));
    return true;
}
}  // namespace tvc::platform::gtk
