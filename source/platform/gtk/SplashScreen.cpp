#include "platform/gtk/SplashScreen.h"

#include <cairo.h>

#include "common/LogHelper.h"
#include "common/TaskRunner.h"
#include "glibutil/GObjectPtr.h"
#include "platform/SplashLayout.h"
#include "platform/gtk/ResourceImages.h"

namespace tvc::platform::gtk {
namespace {
constexpr double kBackground[3] = {27 / 255.0, 32 / 255.0, 37 / 255.0};

class GtkSplashScreen final : public ISplashScreen {
  public:
    explicit GtkSplashScreen(GtkOverlay* overlay) : m_overlay(overlay) {
        g_object_add_weak_pointer(G_OBJECT(m_overlay), reinterpret_cast<gpointer*>(&m_overlay));
        CreatePanel();
    }

    ~GtkSplashScreen() override {
        CancelTimer();
        if (m_area) {
            g_signal_handlers_disconnect_by_data(m_area, this);
            g_object_remove_weak_pointer(G_OBJECT(m_area), reinterpret_cast<gpointer*>(&m_area));
            gtk_widget_destroy(m_area);
        }
        if (m_overlay)
            g_object_remove_weak_pointer(G_OBJECT(m_overlay),
                                         reinterpret_cast<gpointer*>(&m_overlay));
    }

    void ShowSplashScreen(int timeoutMs) override {
        // The latest request decides the time-out; a show without one keeps the splash up.
        CancelTimer();
        if (!m_area && !CreatePanel()) {
            TVC_LOG_ERROR("%s: Splash screen creation failed.", "CSplashScreen::ShowSplashScreen");
            return;
        }
        gtk_widget_show(m_area);
        gtk_widget_queue_draw(m_area);
        if (timeoutMs > 0)
            m_timer = runner::PostDelayed(std::chrono::milliseconds(timeoutMs),
                                          [this] { HideSplashScreen(); });
    }

    void HideSplashScreen() override {
        CancelTimer();
        if (m_area && gtk_widget_get_visible(m_area)) gtk_widget_hide(m_area);
    }

    bool IsShown() const override { return m_area && gtk_widget_get_visible(m_area); }

  private:
    bool CreatePanel() {
        if (!m_overlay) return false;
        m_area = gtk_drawing_area_new();
        g_object_add_weak_pointer(G_OBJECT(m_area), reinterpret_cast<gpointer*>(&m_area));
        gtk_widget_set_halign(m_area, GTK_ALIGN_FILL);
        gtk_widget_set_valign(m_area, GTK_ALIGN_FILL);
        // Shown only on request, even when the shell shows the whole window with show_all.
        gtk_widget_set_no_show_all(m_area, TRUE);
        g_signal_connect(m_area, "draw", G_CALLBACK(OnDraw), this);
        gtk_overlay_add_overlay(m_overlay, m_area);
        LoadPicture(gtk_widget_get_scale_factor(m_area));
        if (!m_picture.surface) TVC_LOG_ERROR("%s: splash - image load failure.", TVC_FN);
        return true;
    }

    // The drawing for the screen the window is on; decoded again when the window moves to a
    // screen of another scale.
    void LoadPicture(int scale) {
        if (m_picture.surface && scale == m_pictureScale) return;
        m_picture = LoadScaledPicture(kSplashPicture, kSplashPicture2x, scale);
        m_pictureScale = scale;
    }

    void CancelTimer() { m_timer.Cancel(); }

    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
        auto* self = static_cast<GtkSplashScreen*>(data);
        const int cw = gtk_widget_get_allocated_width(widget);
        const int ch = gtk_widget_get_allocated_height(widget);
        cairo_set_source_rgb(cr, kBackground[0], kBackground[1], kBackground[2]);
        cairo_paint(cr);
        self->LoadPicture(gtk_widget_get_scale_factor(widget));
        const ScaledPicture& picture = self->m_picture;
        const SplashLayout layout = ComputeSplashLayout(cw, ch, picture.width, picture.height);
        if (picture.surface) {
            cairo_set_source_surface(cr, picture.surface.get(), layout.picture.x, layout.picture.y);
            cairo_paint(cr);
        }
        if (layout.bar.width > 0) {
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_rectangle(cr, layout.bar.x, layout.bar.y, layout.bar.width, layout.bar.height);
            cairo_fill(cr);
        }
        if (!self->m_firstFrameDrawn) {
            self->m_firstFrameDrawn = true;  // the start-up benchmark reads this line's time
            TVC_LOG_INFO("%s : first frame drawn (%dx%d) at %lld us", TVC_FN, cw, ch,
                         static_cast<long long>(g_get_real_time()));
        }
        return TRUE;
    }

    GtkOverlay* m_overlay = nullptr;  // weak
    GtkWidget* m_area = nullptr;      // weak: the overlay owns it
    ScaledPicture m_picture;
    int m_pictureScale = 0;
    runner::DelayedTask m_timer;
    bool m_firstFrameDrawn = false;
};
}  // namespace

std::shared_ptr<ISplashScreen> CreateSplashScreen(GtkOverlay* overlay) {
    if (!overlay) {
        TVC_LOG_ERROR("%s: Splash screen creation failed.", "CreateSplashScreen");
        return nullptr;
    }
    return std::make_shared<GtkSplashScreen>(overlay);
}
}  // namespace tvc::platform::gtk
