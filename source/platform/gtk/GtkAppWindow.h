// IAppWindow over a GtkWindow. Main thread only (every member, every callback).
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/TaskRunner.h"
#include "platform/AppWindow.h"

namespace tvc::platform::gtk {
// False under Wayland: it lets only the compositor place windows or keep one above the others.
bool CanPlaceWindows(GdkDisplay* display);

class GtkAppWindow final : public IAppWindow {
  public:
    // Watches `window` without owning it: once it is destroyed every call is a no-op.
    // `onPostedClose` is what a posted close does; without one it is gtk_window_close, i.e. the
    // window's "delete-event" road, as a posted WM_CLOSE is.
    explicit GtkAppWindow(GtkWindow* window, std::function<void()> onPostedClose = {});
    ~GtkAppWindow() override;
    GtkAppWindow(const GtkAppWindow&) = delete;
    GtkAppWindow& operator=(const GtkAppWindow&) = delete;

    bool IsValid() const override { return m_window != nullptr; }
    bool IsVisible() const override;
    bool IsForeground() const override;
    bool IsMaximized() const override;
    bool IsMinimized() const override;
    // The outer (frame) rectangle; while hidden, where the window will reappear.
    Rect GetRect() const override;
    // Outer rectangle. While hidden it is remembered and applied when the window is shown.
    void SetRect(const Rect& rect) override;
    void Show() override;
    void Hide() override;
    void ShowNormal() override;
    void ShowMaximized() override;
    void ShowMinimized() override;
    void Unmaximize() override;
    void SetKeepAbove(bool above) override;
    void Raise() override;
    // X11: moves the window to the current desktop rather than switching the desktop: the user
    // asked from where they are (the browser, the tray, a launcher). Wayland leaves workspaces and
    // activation to the compositor.
    void Present() override;
    // The launcher's activation token (Wayland) or startup id (X11) for the next Raise: with it
    // the desktop lets the window take the focus a launch asked for.
    void UseActivationToken(std::string token) { m_activationToken = std::move(token); }
    void SetFullscreen(bool on) override;
    void SetMinimumSizePacked(std::uint32_t packed) override;
    std::uint32_t GetMinimumSizePacked() const override;
    bool PostClose() override;
    bool PostFocus() override;

    GtkWindow* window() const { return m_window; }
    // Where the window goes back to: the outer rectangle it last had on screen in the normal state
    // (a request counts once the window shows it), whatever its state now; before it was ever on
    // screen, the one asked for. Never asks the display: usable once the connection to it is lost.
    Rect NormalRect() const;

  private:
    // Window-manager decorations around the content area.
    struct Insets {
        int left = 0, right = 0, top = 0, bottom = 0;
    };

    static void OnDestroy(GtkWidget* widget, gpointer self);
    static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
    static gboolean OnMapEvent(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer self);
    void DropPendingIconify();

    void Forget();
    GdkWindowState State() const;
    bool InFreeState() const;  // neither maximised, full screen nor minimised
    std::optional<Rect> FrameRect() const;
    void UpdateInsets();
    void ApplyRect(const Rect& rect);
    // Where the window is to be in the normal state: a pending request, else the record.
    std::optional<Rect> Target() const;
    void StartSettling();
    bool Settled() const;
    void ShowPlaced();
    void CloseAsPosted();
    void FocusContent();
    void MoveToCurrentDesktop();
    // Hands `token` to the display; returns the timestamp the present goes with.
    guint32 ApplyActivationToken(const std::string& token, guint32 timestamp);

    GtkWindow* m_window = nullptr;
    std::function<void()> m_onPostedClose;
    std::vector<gulong> m_handlers;
    GdkWindowState m_state{};
    // What the program owns and openbox forgets over a hide/show: the placement and keep-above.
    // The one record of the window's rectangle: the last one it had on screen in the normal state.
    std::optional<Rect> m_normalRect;
    bool m_keepAbove = false;
    // What Wayland cannot do is logged once.
    bool m_toldNoPlacement = false;
    bool m_toldNoKeepAbove = false;
    Insets m_insets;
    int m_placementFixes = 0;  // corrections left after a map, once the real decorations are known
    // A rectangle asked for and not yet shown. Once it can take effect (the window mapped in the
    // normal state) it settles: a configure shows it, or kRequestSettleUs passes (a window manager
    // had the last word).
    struct Request {
        Rect rect;
        gint64 since = 0;  // 0 while it cannot take effect yet
    };
    static constexpr gint64 kRequestSettleUs = 1000 * 1000;
    std::optional<Request> m_requested;
    runner::DelayedTask m_pendingIconify;  // Wayland: a minimise not yet sent
    std::string m_activationToken;
    // What posted work holds: this object is gone once it cannot lock it.
    const std::shared_ptr<GtkAppWindow*> m_self = std::make_shared<GtkAppWindow*>(this);
};
}  // namespace tvc::platform::gtk
