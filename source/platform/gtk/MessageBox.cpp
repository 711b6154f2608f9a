#include "platform/gtk/MessageBox.h"

#include "common/LogHelper.h"
#include "common/Translate.h"
#include "platform/gtk/ResourceImages.h"

namespace GUIUtils {
namespace {
// The port-failure dialog's own texts (the dialog resource of the original program).
constexpr const char* kPortFailureCaption = N_("Tavisto for Web : ports unavailable/blocked.");
constexpr const char* kPortFailureText =
    N_("Your Tavisto for Web cannot access the required port(s) for network communication.");
constexpr const char* kPortFailureAdvice =
    N_("Please ensure that port # 51001 is available and relaunch the application.");
constexpr int kResponseClose = 1001;
constexpr int kResponseHelp = 1004;
constexpr const char* kBoxKey = "tvc-message-box";

GtkWidget* TextLabel(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 80);
    return label;
}
}  // namespace

CMessageBox::CMessageBox(std::string title, std::string message, int type, std::string helpUrl,
                         std::weak_ptr<IMessageBoxEventsListner> listener, UrlOpener openUrl)
    : m_title(std::move(title)),
      m_message(std::move(message)),
      m_type(type),
      m_helpUrl(std::move(helpUrl)),
      m_listener(std::move(listener)),
      m_openUrl(std::move(openUrl)) {}

GtkWidget* CMessageBox::PerformMessageBoxShow(std::unique_ptr<CMessageBox> box) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s ++ type=%d, title=%s", fn, box->m_type, box->m_title.c_str());
    if (box->m_type != tvc::platform::IMessageBoxes::kTypePortFailure) {
        TVC_LOG_WARN("%s : dialogWin is NULL! no dialog of type %d", fn, box->m_type);
        return nullptr;
    }
    // No parent: the main window may be hidden in the tray, and the box must show anyway.
    GtkWidget* dialog = gtk_dialog_new();
    if (!dialog) {
        TVC_LOG_WARN("%s : dialogWin is NULL!", fn);
        return nullptr;
    }
    GtkWindow* window = GTK_WINDOW(dialog);
    gtk_window_set_title(window, _(kPortFailureCaption));
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(dialog), 6);
    if (auto icon = tvc::platform::gtk::LoadResourcePicture(tvc::platform::gtk::kAppIconPicture))
        gtk_window_set_icon(window, icon.get());

    GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_container_set_border_width(GTK_CONTAINER(texts), 14);
    gtk_box_pack_start(GTK_BOX(texts), TextLabel(_(kPortFailureText)), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(texts), TextLabel(_(kPortFailureAdvice)), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), texts, TRUE, TRUE,
                       0);
    // Help left of Close at the bottom right; Alt+H and Alt+C choose them.
    gtk_dialog_add_button(GTK_DIALOG(dialog), _("_Help"), kResponseHelp);
    gtk_dialog_add_button(GTK_DIALOG(dialog), _("_Close"), kResponseClose);

    CMessageBox* raw = box.get();
    g_object_set_data_full(G_OBJECT(dialog), kBoxKey, box.release(), [](gpointer data) {
        std::unique_ptr<CMessageBox>(static_cast<CMessageBox*>(data));
    });
    // Esc and the caption's close box arrive as a delete-event response.
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), raw);
    gtk_widget_show_all(dialog);
    gtk_window_present(window);
    TVC_LOG_WARN("%s -- : shown", fn);
    return dialog;
}

void CMessageBox::OnResponse(GtkDialog* dialog, gint response, gpointer self) {
    static const char* fn = TVC_FN;
    auto* box = static_cast<CMessageBox*>(self);
    if (response == kResponseHelp) {
        TVC_LOG_WARN("%s : Help : opening %s", fn, box->m_helpUrl.c_str());
        if (!box->m_openUrl || !box->m_openUrl(box->m_helpUrl))
            TVC_LOG_ERROR("%s : the help address %s could not be opened", fn,
                          box->m_helpUrl.c_str());
        return;  // the box stays
    }
    if (response != kResponseClose && response != GTK_RESPONSE_DELETE_EVENT) return;
    TVC_LOG_WARN("%s : closed (response %d)", fn, response);
    auto listener = box->m_listener.lock();
    // Destroyed first: the listener may quit the application, and one box of a type at a time
    // means this one must be gone by then.
    gtk_widget_destroy(GTK_WIDGET(dialog));
    if (listener) listener->HandleMessageBoxEvent(IMessageBoxEventsListner::kEventClosed);
}
}  // namespace GUIUtils

namespace tvc::platform::gtk {
CGtkMessageBoxes::CGtkMessageBoxes(GUIUtils::CMessageBox::UrlOpener openUrl)
    : m_openUrl(std::move(openUrl)) {}

CGtkMessageBoxes::~CGtkMessageBoxes() {
    for (auto& [type, dialog] : m_openBoxes) {
        g_signal_handlers_disconnect_by_data(dialog, this);
        gtk_widget_destroy(dialog);
    }
}

bool CGtkMessageBoxes::ShowMessageBox(const std::string& title, const std::string& message,
                                      int type, const std::string& helpUrl,
                                      std::weak_ptr<GUIUtils::IMessageBoxEventsListner> listener) {
    static const char* fn = TVC_FN;
    if (auto open = m_openBoxes.find(type); open != m_openBoxes.end()) {
        TVC_LOG_WARN("%s : a box of type %d is already up; bringing it to the front", fn, type);
        gtk_window_present(GTK_WINDOW(open->second));
        return true;
    }
    auto box = std::make_unique<GUIUtils::CMessageBox>(title, message, type, helpUrl,
                                                       std::move(listener), m_openUrl);
    GtkWidget* dialog = GUIUtils::CMessageBox::PerformMessageBoxShow(std::move(box));
    if (!dialog) return false;
    m_openBoxes[type] = dialog;
    g_signal_connect(dialog, "destroy", G_CALLBACK(OnBoxDestroyed), this);
    return true;
}

void CGtkMessageBoxes::CloseMessageBox(int type) {
    auto open = m_openBoxes.find(type);
    if (open == m_openBoxes.end()) return;
    TVC_LOG_WARN("%s : taking the box of type %d down", TVC_FN, type);
    // Destroying emits no response, so the listener hears of no close; the entry leaves with it.
    gtk_widget_destroy(open->second);
}

void CGtkMessageBoxes::OnBoxDestroyed(GtkWidget* dialog, gpointer self) {
    auto& boxes = static_cast<CGtkMessageBoxes*>(self)->m_openBoxes;
    for (auto it = boxes.begin(); it != boxes.end(); ++it) {
        if (it->second == dialog) {
            boxes.erase(it);
            return;
        }
    }
}
}  // namespace tvc::platform::gtk
