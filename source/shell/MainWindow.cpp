#include "shell/MainWindow.h"

#include "common/LogHelper.h"

namespace tvc::shell {
namespace {
constexpr const char* kMinSizeKey = "tvc-minimum-size";
}

void SetWindowMinimumSizeData(GtkWidget* window, std::uint32_t packed) {
    g_object_set_data(G_OBJECT(window), kMinSizeKey, GUINT_TO_POINTER(packed));
}

std::uint32_t GetWindowMinimumSizeData(GtkWidget* window) {
    return GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(window), kMinSizeKey));
}

void ApplyMinimumSize(GtkWidget* window) {
    std::uint32_t packed = GetWindowMinimumSizeData(window);
    GdkGeometry hints{};
    hints.min_width = UnpackMinimumWidth(packed);
    hints.min_height = UnpackMinimumHeight(packed);
    DebugPrint("returning WM_GETMINMAXINFO values : pMinMaxInfo->ptMinTrackSize.x=%u, "
               "pMinMaxInfo->ptMinTrackSize.y=%u",
               static_cast<unsigned>(hints.min_width), static_cast<unsigned>(hints.min_height));
    gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints, GDK_HINT_MIN_SIZE);
}

GtkWidget* CreateMainWindow(const char* title) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!window) return nullptr;
    gtk_window_set_title(GTK_WINDOW(window), title);
    SetWindowMinimumSizeData(window, PackMinimumSize(400, 300));
    ApplyMinimumSize(window);
    // A created window exists on the display even while hidden.
    gtk_widget_realize(window);
    return window;
}
}  // namespace tvc::shell
