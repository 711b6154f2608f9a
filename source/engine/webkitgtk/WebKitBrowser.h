// IBrowser over a WebKitWebView. The view is owned by its GTK container; this object only watches
// it. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Browser.h"

namespace tvc::webkit {

class CWebKitBrowser final : public engine::IBrowser,
                             public engine::IBrowserHost,
                             public std::enable_shared_from_this<CWebKitBrowser> {
  public:
    CWebKitBrowser(WebKitWebView* view, bool isPopup);
    ~CWebKitBrowser() override;
    CWebKitBrowser(const CWebKitBrowser&) = delete;
    CWebKitBrowser& operator=(const CWebKitBrowser&) = delete;

    // Null once the view is gone.
    WebKitWebView* view() const;

    // engine::IBrowser
    int GetIdentifier() const override { return m_id; }
    int TakeUnacknowledgedMessageCount() override;
    bool IsPopup() const override { return m_isPopup; }
    engine::FrameRef GetMainFrame() override;
    engine::IBrowserHost& GetHost() override { return *this; }
    void Reload() override;
    void ReloadIgnoreCache() override;
    void TerminateRenderProcess() override;
    bool SendProcessMessage(engine::ProcessId target,
                            const engine::ProcessMessage& message) override;

    // engine::IBrowserHost
    void CloseBrowser(bool forceClose) override;
    void SetFocus(bool focus) override;
    void ShowDevTools() override;
    void CloseDevTools() override;
    void InspectElementAt(int x, int y) override;
    void SetMouseCursorChangeDisabled(bool disabled) override;
    void StartDownload(const std::string& url) override;

    // Sends the messages that wait for the end of this main-loop turn now: a load or a reload must
    // not overtake them.
    void SendPendingMessages();

    // What CloseBrowser(true) and the page's own close lead to: the adapter destroys the view.
    void SetCloseHandler(std::function<void()> onClose) { m_onClose = std::move(onClose); }

    // The main frame's address at its last commit; the view's own address changes when a load
    // starts, while the old document still runs.
    void SetCommittedURL(std::string url) { m_committedURL = std::move(url); }
    const std::string& GetCommittedURL() const { return m_committedURL; }

  private:
    struct Ack {
        std::weak_ptr<CWebKitBrowser> browser;
        unsigned generation;
        int count;                                       // messages in the user message
        std::vector<std::shared_ptr<const void>> holds;  // theirs, let go once the page has them
    };
    void SendBatch(WebKitWebView* v, std::vector<engine::ProcessMessage> messages);
    static void OnAcknowledged(GObject* view, GAsyncResult* result, gpointer data);

    mutable GWeakRef m_view;
    int m_id;
    bool m_isPopup;
    std::function<void()> m_onClose;
    std::string m_committedURL;
    std::vector<engine::ProcessMessage> m_pending;
    bool m_bTurnPending = false;  // a message went this turn; the rest wait for its end
    // Messages to the page not yet acknowledged by its web process, per process generation.
    int m_iUnacknowledged = 0;
    unsigned m_uiGeneration = 0;
};

// The browser of a view, or null; what the adapter's parts share to find one.
using BrowserLookup = std::function<std::shared_ptr<CWebKitBrowser>(WebKitWebView*)>;

// Marks a download as started by the program itself (updater, configuration), not by the page.
bool IsDownloadStartedByApp(WebKitDownload* download);
}  // namespace tvc::webkit
