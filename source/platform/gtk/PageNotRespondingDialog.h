// The "page is not responding" dialog over the main window. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "platform/PageNotResponding.h"

namespace tvc::platform::gtk {
class CPageNotRespondingDialog final : public IPageNotRespondingDialog {
  public:
    explicit CPageNotRespondingDialog(GtkWindow* parent);
    ~CPageNotRespondingDialog() override;
    CPageNotRespondingDialog(const CPageNotRespondingDialog&) = delete;
    CPageNotRespondingDialog& operator=(const CPageNotRespondingDialog&) = delete;

    void Show(std::function<void()> onReload, std::function<void()> onWait) override;
    void Close() override;

  private:
    static void OnResponse(GtkDialog* dialog, gint response, gpointer self);
    static void OnDestroyed(GtkWidget* dialog, gpointer self);

    GtkWindow* m_parent;  // null once the main window is gone
    GtkWidget* m_dialog = nullptr;
    std::function<void()> m_onReload;
    std::function<void()> m_onWait;
};
}  // namespace tvc::platform::gtk
