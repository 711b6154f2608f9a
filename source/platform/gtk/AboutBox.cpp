#include "platform/gtk/AboutBox.h"

#include <memory>
#include <string>

#include "common/AppInfo.h"
#include "common/LogHelper.h"
#include "common/Translate.h"
#include "platform/gtk/ResourceImages.h"

namespace tvc::platform::gtk {
namespace {
constexpr const char* kCopyright = N_("\u00A9 2026 Corvane Media. All rights reserved.");

using ClosedCallback = std::function<void()>;

void OnResponse(GtkDialog* dialog, gint, gpointer) {
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

void OnDestroy(GtkWidget*, gpointer data) {
    auto& onClosed = *static_cast<ClosedCallback*>(data);
    if (onClosed) std::exchange(onClosed, nullptr)();
}

GtkWidget* Label(const char* text, bool bold) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_selectable(GTK_LABEL(label), FALSE);
    if (bold) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
        gtk_label_set_attributes(GTK_LABEL(label), attrs);
        pango_attr_list_unref(attrs);
    }
    return label;
}
}  // namespace

bool ShowAboutBox(GtkWindow* parent, std::function<void()> onClosed) {
    GtkWidget* dialog = gtk_dialog_new();
    if (!dialog) {
        TVC_LOG_ERROR("%s : the About box could not be created", "ShowAboutBox");
        return false;
    }
    GtkWindow* window = GTK_WINDOW(dialog);
    gtk_window_set_title(window, _("About"));
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    // A parent hidden in the tray is no anchor: the box then goes to the middle of the screen.
    if (parent && gtk_widget_get_mapped(GTK_WIDGET(parent))) {
        gtk_window_set_transient_for(window, parent);
        gtk_window_set_destroy_with_parent(window, TRUE);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    }
    if (auto icon = LoadResourcePicture(kAppIconPicture)) gtk_window_set_icon(window, icon.get());

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
    gtk_container_set_border_width(GTK_CONTAINER(row), 16);
    // The dialog takes the scale of the screen it will be shown on.
    const ScaledPicture picture =
        LoadScaledPicture(kAboutPicture, kAboutPicture2x, gtk_widget_get_scale_factor(dialog));
    GtkWidget* image =
        picture.surface ? gtk_image_new_from_surface(picture.surface.get()) : gtk_image_new();
    gtk_widget_set_size_request(image, 64, 64);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);

    GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    const std::string version = FormatText(_("Version %s"), tvc::kProductVersion);
    gtk_box_pack_start(GTK_BOX(texts), Label(tvc::kDisplayName, true), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(texts), Label(version.c_str(), false), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(texts), Label(_(kCopyright), false), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), texts, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE,
                       0);

    // Esc and the close button both end in "response"; destroying the box reports it closed.
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), nullptr);
    auto holder = std::make_unique<ClosedCallback>(std::move(onClosed));
    g_signal_connect_data(
        dialog, "destroy", G_CALLBACK(OnDestroy), holder.release(),
        [](gpointer data, GClosure*) {
            std::unique_ptr<ClosedCallback>(static_cast<ClosedCallback*>(data));
        },
        G_CONNECT_DEFAULT);
    gtk_widget_show_all(dialog);
    TVC_LOG_INFO("%s : shown", "ShowAboutBox");
    return true;
}
}  // namespace tvc::platform::gtk
