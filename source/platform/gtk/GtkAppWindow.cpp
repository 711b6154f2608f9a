#include "platform/gtk/GtkAppWindow.h"

#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "common/LogHelper.h"
#include "glibutil/GObjectPtr.h"
#include "platform/gtk/WindowMinimumSize.h"

namespace tvc::platform::gtk {
namespace {
constexpr GdkWindowState kNotFreeStates = static_cast<GdkWindowState>(
    GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_ICONIFIED);

GtkWidget* FindFocusable(GtkWidget* widget) {
    if (!widget || !gtk_widget_get_visible(widget)) return nullptr;
    if (gtk_widget_get_can_focus(widget)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* l = children; l && !found; l = l->next) found = FindFocusable(GTK_WIDGET(l->data));
    g_list_free(children);
    return found;
}
}  // namespace

bool CanPlaceWindows(GdkDisplay* display) {
    return !display || !GDK_IS_WAYLAND_DISPLAY(display);
}

GtkAppWindow::GtkAppWindow(GtkWindow* window, std::function<void()> onPostedClose)
    : m_window(window), m_onPostedClose(std::move(onPostedClose)) {
    if (!m_window) return;
    g_object_add_weak_pointer(G_OBJECT(m_window), reinterpret_cast<gpointer*>(&m_window));
    m_handlers.push_back(g_signal_connect(m_window, "destroy", G_CALLBACK(OnDestroy), this));
    m_handlers.push_back(
        g_signal_connect(m_window, "window-state-event", G_CALLBACK(OnWindowState), this));
    m_handlers.push_back(g_signal_connect(m_window, "map-event", G_CALLBACK(OnMapEvent), this));
    m_handlers.push_back(
        g_signal_connect(m_window, "configure-event", G_CALLBACK(OnConfigure), this));
    gtk_widget_add_events(GTK_WIDGET(m_window), GDK_STRUCTURE_MASK);
}

GtkAppWindow::~GtkAppWindow() {
    Forget();
}

void GtkAppWindow::Forget() {
    if (!m_window) return;
    for (gulong id : m_handlers) g_signal_handler_disconnect(m_window, id);
    m_handlers.clear();
    g_object_remove_weak_pointer(G_OBJECT(m_window), reinterpret_cast<gpointer*>(&m_window));
    m_window = nullptr;
}

void GtkAppWindow::OnDestroy(GtkWidget*, gpointer self) {
    static_cast<GtkAppWindow*>(self)->Forget();
}

gboolean GtkAppWindow::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
    auto* self = static_cast<GtkAppWindow*>(data);
    self->m_state = event->new_window_state;
    // Back in the normal state: a rectangle asked for meanwhile takes effect now.
    if ((self->m_state & kNotFreeStates) == 0 && gtk_widget_get_mapped(GTK_WIDGET(self->m_window)))
        self->StartSettling();
    return FALSE;
}

gboolean GtkAppWindow::OnMapEvent(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<GtkAppWindow*>(data);
    // openbox clears keep-above on a window that comes back from hiding.
    if (self->m_keepAbove) gtk_window_set_keep_above(self->m_window, TRUE);
    self->UpdateInsets();
    const auto target = self->Target();
    if (target && self->InFreeState()) {
        // Until the window is back where it belongs, what the window manager does with it is not
        // recorded: it is put back there as if asked anew.
        if (!self->m_requested) self->m_requested = Request{*target, 0};
        self->StartSettling();
        // The first show guessed the decorations (and openbox may have re-placed the window).
        self->m_placementFixes = 2;
        if (self->FrameRect() != target) {
            self->ApplyRect(*target);
            --self->m_placementFixes;
        }
    }
    return FALSE;
}

gboolean GtkAppWindow::OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer data) {
    auto* self = static_cast<GtkAppWindow*>(data);
    if (!gtk_widget_get_mapped(GTK_WIDGET(self->m_window))) return FALSE;
    self->UpdateInsets();
    if (!self->InFreeState()) return FALSE;
    const auto frame = self->FrameRect();
    const auto target = self->Target();
    if (self->m_placementFixes > 0 && target && frame != target) {
        // Where the window manager put the window, not where it belongs: not recorded.
        --self->m_placementFixes;
        self->ApplyRect(*target);
        return FALSE;
    }
    self->m_placementFixes = 0;
    if (self->m_requested && (frame == self->m_requested->rect || self->Settled()))
        self->m_requested.reset();
    if (!self->m_requested && frame) self->m_normalRect = frame;
    return FALSE;
}

std::optional<Rect> GtkAppWindow::Target() const {
    if (m_requested) return m_requested->rect;
    return m_normalRect;
}

void GtkAppWindow::StartSettling() {
    if (m_requested && m_requested->since == 0) m_requested->since = g_get_monotonic_time();
}

bool GtkAppWindow::Settled() const {
    return m_requested && m_requested->since != 0 &&
           g_get_monotonic_time() - m_requested->since >= kRequestSettleUs;
}

GdkWindowState GtkAppWindow::State() const {
    if (!m_window) return {};
    GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(m_window));
    return gw ? gdk_window_get_state(gw) : m_state;
}

bool GtkAppWindow::InFreeState() const {
    return (State() & kNotFreeStates) == 0;
}

std::optional<Rect> GtkAppWindow::FrameRect() const {
    if (!m_window || !gtk_widget_get_mapped(GTK_WIDGET(m_window))) return std::nullopt;
    GdkRectangle r{};
    gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(m_window)), &r);
    return Rect{r.x, r.y, r.width, r.height};
}

void GtkAppWindow::UpdateInsets() {
    // A full-screen (or maximised, or iconic) window wears other decorations than the normal one,
    // or none: measuring them there would make the next normal rectangle grow by the title bar.
    if (!InFreeState()) return;
    GdkWindow* gw = m_window ? gtk_widget_get_window(GTK_WIDGET(m_window)) : nullptr;
    auto frame = FrameRect();
    if (!gw || !frame) return;
    int x = 0, y = 0;
    gdk_window_get_origin(gw, &x, &y);
    const int w = gdk_window_get_width(gw), h = gdk_window_get_height(gw);
    Insets in{x - frame->x, frame->x + frame->width - (x + w), y - frame->y,
              frame->y + frame->height - (y + h)};
    // Nonsense while the window manager is still reparenting: keep the last good values.
    if (in.left >= 0 && in.right >= 0 && in.top >= 0 && in.bottom >= 0) m_insets = in;
}

void GtkAppWindow::ApplyRect(const Rect& r) {
    if (CanPlaceWindows(gtk_widget_get_display(GTK_WIDGET(m_window)))) {
        // gtk_window_move places the frame's top-left corner (north-west gravity); the size is
        // the content's, so the decorations come off.
        gtk_window_move(m_window, r.x, r.y);
    } else if (!m_toldNoPlacement) {
        m_toldNoPlacement = true;
        TVC_LOG_WARN(
            "%s : Wayland lets only the compositor place windows; the position %d,%d "
            "is not applied (the size is)",
            TVC_FN, r.x, r.y);
    }
    gtk_window_resize(m_window, std::max(1, r.width - m_insets.left - m_insets.right),
                      std::max(1, r.height - m_insets.top - m_insets.bottom));
}

bool GtkAppWindow::IsVisible() const {
    return m_window && gtk_widget_get_visible(GTK_WIDGET(m_window));
}

bool GtkAppWindow::IsForeground() const {
    if (!m_window || !gtk_widget_get_mapped(GTK_WIDGET(m_window))) return false;
    GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(m_window));
    GdkScreen* screen = gtk_widget_get_screen(GTK_WIDGET(m_window));
    if (GDK_IS_X11_SCREEN(screen) &&
        gdk_x11_screen_supports_net_wm_hint(screen,
                                            gdk_atom_intern_static_string("_NET_ACTIVE_WINDOW"))) {
        // Deprecated but the one reader of _NET_ACTIVE_WINDOW; the window manager decides the
        // foreground.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        auto active = glib::GObjectPtr<GdkWindow>::Adopt(gdk_screen_get_active_window(screen));
        G_GNUC_END_IGNORE_DEPRECATIONS
        return active.get() == gw;
    }
    return gtk_window_is_active(m_window);
}

bool GtkAppWindow::IsMaximized() const {
    return (State() & GDK_WINDOW_STATE_MAXIMIZED) != 0;
}
bool GtkAppWindow::IsMinimized() const {
    return (State() & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

Rect GtkAppWindow::GetRect() const {
    if (!m_window) return {};
    // X11 applies a resize after the call returns: until the window shows it (or a window manager
    // had the last word a moment ago), the rectangle asked for is the window's. So is the one a
    // window just shown is being put back to.
    if (m_requested && !Settled()) return m_requested->rect;
    if (m_placementFixes > 0 && m_normalRect && InFreeState()) return *m_normalRect;
    if (auto frame = FrameRect()) return *frame;
    if (m_normalRect) return *m_normalRect;
    int x = 0, y = 0, w = 0, h = 0;
    gtk_window_get_position(m_window, &x, &y);
    gtk_window_get_size(m_window, &w, &h);
    return {x, y, w + m_insets.left + m_insets.right, h + m_insets.top + m_insets.bottom};
}

Rect GtkAppWindow::NormalRect() const {
    if (m_normalRect) return *m_normalRect;
    return m_requested ? m_requested->rect : Rect{};
}

void GtkAppWindow::SetRect(const Rect& rect) {
    if (!m_window) return;
    m_requested = Request{rect, 0};
    if (gtk_widget_get_mapped(GTK_WIDGET(m_window)) && InFreeState()) StartSettling();
    m_placementFixes = 0;
    ApplyRect(rect);
}

void GtkAppWindow::ShowPlaced() {
    // A hidden GtkWindow forgets its position and lets the window manager place it again.
    if (auto target = Target(); target && InFreeState()) ApplyRect(*target);
    gtk_window_set_keep_above(m_window, m_keepAbove);
    gtk_widget_show(GTK_WIDGET(m_window));
}

void GtkAppWindow::Show() {
    if (!m_window || gtk_widget_get_visible(GTK_WIDGET(m_window))) return;
    ShowPlaced();
}

void GtkAppWindow::Hide() {
    if (!m_window || !gtk_widget_get_visible(GTK_WIDGET(m_window))) return;
    // The record already holds where the window was; a request the window manager overruled goes.
    if (Settled()) m_requested.reset();
    m_placementFixes = 0;
    gtk_widget_hide(GTK_WIDGET(m_window));
}

void GtkAppWindow::ShowNormal() {
    if (!m_window) return;
    DropPendingIconify();
    gtk_window_deiconify(m_window);
    gtk_window_unmaximize(m_window);
    Show();
}

void GtkAppWindow::ShowMaximized() {
    if (!m_window) return;
    gtk_window_deiconify(m_window);
    gtk_window_maximize(m_window);
    Show();
}

void GtkAppWindow::ShowMinimized() {
    if (!m_window) return;
    if (CanPlaceWindows(gtk_widget_get_display(GTK_WIDGET(m_window)))) {
        gtk_window_iconify(m_window);
        Show();
        return;
    }
    // Wayland lets a client minimise but never restore: a minimise that a restore undoes in the
    // same main-loop turn (the bring-to-front sequence) is dropped instead of stranding the window.
    Show();
    if (!m_pendingIconify.Pending())
        m_pendingIconify = runner::PostDelayed(std::chrono::milliseconds(0), [this] {
            if (m_window) gtk_window_iconify(m_window);
        });
}

void GtkAppWindow::DropPendingIconify() {
    m_pendingIconify.Cancel();
}

void GtkAppWindow::Unmaximize() {
    if (m_window) gtk_window_unmaximize(m_window);
}

void GtkAppWindow::SetKeepAbove(bool above) {
    if (!m_window) return;
    if (above && !m_toldNoKeepAbove &&
        !CanPlaceWindows(gtk_widget_get_display(GTK_WIDGET(m_window)))) {
        m_toldNoKeepAbove = true;
        TVC_LOG_WARN(
            "%s : Wayland has no keep-above for applications; the window stays in the "
            "normal stacking order",
            TVC_FN);
    }
    m_keepAbove = above;
    gtk_window_set_keep_above(m_window, above);
}

void GtkAppWindow::Raise() {
    if (!m_window) return;
    DropPendingIconify();
    Show();
    guint32 timestamp = GDK_CURRENT_TIME;
    GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(m_window));
    // Window managers refuse focus stealing without a real timestamp.
    if (gw && GDK_IS_X11_WINDOW(gw)) timestamp = gdk_x11_get_server_time(gw);
    const std::string token = std::exchange(m_activationToken, {});
    if (!token.empty()) timestamp = ApplyActivationToken(token, timestamp);
    gtk_window_present_with_time(m_window, timestamp);
    // Ends the launcher's "starting" feedback.
    if (!token.empty()) gdk_notify_startup_complete_with_id(token.c_str());
}

guint32 GtkAppWindow::ApplyActivationToken(const std::string& token, guint32 timestamp) {
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(m_window));
    if (GDK_IS_WAYLAND_DISPLAY(display)) {
        // The next focus request carries it to the compositor (xdg-activation).
        gdk_wayland_display_set_startup_notification_id(display, token.c_str());
        return timestamp;
    }
    gtk_window_set_startup_id(m_window, token.c_str());
    // An X11 startup id ends in "_TIME<the launch's timestamp>": the time the user asked.
    const auto at = token.rfind("_TIME");
    if (at == std::string::npos) return timestamp;
    char* end = nullptr;
    const unsigned long launched = std::strtoul(token.c_str() + at + 5, &end, 10);
    return end && *end == '\0' && launched != 0 ? static_cast<guint32>(launched) : timestamp;
}

void GtkAppWindow::Present() {
    if (!m_window) return;
    DropPendingIconify();
    // Before the restore: a window mapped again on another desktop would take the user there.
    MoveToCurrentDesktop();
    gtk_window_deiconify(m_window);
    Raise();
}

void GtkAppWindow::MoveToCurrentDesktop() {
    GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(m_window));
    // A hidden window has no desktop: the window manager maps it on the current one.
    if (!gw || !GDK_IS_X11_WINDOW(gw) || !gtk_widget_get_visible(GTK_WIDGET(m_window))) return;
    constexpr guint32 kAllDesktops = 0xFFFFFFFF;
    const guint32 current = gdk_x11_screen_get_current_desktop(gdk_window_get_screen(gw));
    const guint32 desktop = gdk_x11_window_get_desktop(gw);
    if (desktop == current || desktop == kAllDesktops) return;
    TVC_LOG_INFO("%s : from desktop %u to the current one, %u", TVC_FN, desktop, current);
    gdk_x11_window_move_to_desktop(gw, current);
}

void GtkAppWindow::SetFullscreen(bool on) {
    if (!m_window) return;
    if (on)
        gtk_window_fullscreen(m_window);
    else
        gtk_window_unfullscreen(m_window);
}

void GtkAppWindow::SetMinimumSizePacked(std::uint32_t packed) {
    if (!m_window) return;
    SetWindowMinimumSizeData(GTK_WIDGET(m_window), packed);
    ApplyMinimumSize(GTK_WIDGET(m_window));
}

std::uint32_t GtkAppWindow::GetMinimumSizePacked() const {
    return m_window ? GetWindowMinimumSizeData(GTK_WIDGET(m_window)) : 0;
}

// Posted work runs in arrival order, each task in a main-loop turn of its own, and only while
// this object lives: a task may destroy it.
bool GtkAppWindow::PostClose() {
    if (!m_window) return false;
    runner::Post([self = std::weak_ptr(m_self)] {
        if (auto window = self.lock()) (*window)->CloseAsPosted();
    });
    return true;
}

bool GtkAppWindow::PostFocus() {
    if (!m_window) return false;
    runner::Post([self = std::weak_ptr(m_self)] {
        if (auto window = self.lock()) (*window)->FocusContent();
    });
    return true;
}

void GtkAppWindow::CloseAsPosted() {
    if (!m_window) return;
    if (m_onPostedClose)
        m_onPostedClose();
    else
        gtk_window_close(m_window);
}

void GtkAppWindow::FocusContent() {
    if (!m_window) return;
    // The web view, as the window procedure hands WM_SETFOCUS on to the browser window.
    GtkWidget* target = gtk_window_get_focus(m_window);
    if (!target) target = FindFocusable(gtk_bin_get_child(GTK_BIN(m_window)));
    if (target)
        gtk_widget_grab_focus(target);
    else
        TVC_LOG_WARN("%s : nothing in the window can take the focus", TVC_FN);
}
}  // namespace tvc::platform::gtk
