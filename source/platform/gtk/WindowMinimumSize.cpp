#include "platform/gtk/WindowMinimumSize.h"

#include <algorithm>

#include "common/LogHelper.h"

namespace tvc::platform::gtk {
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
    const std::uint32_t packed = GetWindowMinimumSizeData(window);
    GdkGeometry hints{};
    hints.min_width = UnpackMinimumWidth(packed);
    hints.min_height = UnpackMinimumHeight(packed);
    DebugPrint(
        "returning WM_GETMINMAXINFO values : pMinMaxInfo->ptMinTrackSize.x=%u, "
        "pMinMaxInfo->ptMinTrackSize.y=%u",
        static_cast<unsigned>(hints.min_width), static_cast<unsigned>(hints.min_height));
    // A negative half would mean "use the natural size" to GTK; treat it as no minimum instead.
    hints.min_width = std::max(hints.min_width, 0);
    hints.min_height = std::max(hints.min_height, 0);
    gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints, GDK_HINT_MIN_SIZE);
}
}  // namespace tvc::platform::gtk
