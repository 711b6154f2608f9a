// Engine-neutral view of a browser, its frames and its host, as the deciding code sees them.
// Every call is made on the browser process's main thread.
#pragma once

#include <memory>
#include <string>

#include "engine/ProcessMessage.h"

namespace tvc::engine {

class IFrame {
  public:
    virtual ~IFrame() = default;
    virtual std::string GetURL() const = 0;
    // The address of the document shown now, not of one still loading: what its origin is judged
    // by.
    virtual std::string GetCommittedURL() const { return GetURL(); }
    virtual bool IsMain() const = 0;
    virtual void LoadURL(const std::string& url) = 0;
    // Shows `html` in place of `failedUrl` (the load-error page).
    virtual void LoadAlternateHtml(const std::string& html, const std::string& failedUrl) = 0;
};

class IBrowserHost {
  public:
    virtual ~IBrowserHost() = default;
    virtual void CloseBrowser(bool forceClose) = 0;
    virtual void SetFocus(bool focus) = 0;
    virtual void ShowDevTools() = 0;
    virtual void CloseDevTools() = 0;
    virtual void InspectElementAt(int x, int y) = 0;
    virtual void SetMouseCursorChangeDisabled(bool disabled) = 0;
    // Starts a download of `url` that the handler's download callbacks will see.
    virtual void StartDownload(const std::string& url) = 0;
};

class IBrowser {
  public:
    virtual ~IBrowser() = default;
    virtual int GetIdentifier() const = 0;
    virtual bool IsPopup() const = 0;
    bool IsSame(const IBrowser& other) const { return GetIdentifier() == other.GetIdentifier(); }
    virtual std::shared_ptr<IFrame> GetMainFrame() = 0;
    virtual IBrowserHost& GetHost() = 0;
    virtual void Reload() = 0;
    virtual void ReloadIgnoreCache() = 0;
    // Ends the browser's web process; its end is reported as any other.
    virtual void TerminateRenderProcess() = 0;
    // To the web process of this browser; false when it cannot be sent.
    virtual bool SendProcessMessage(ProcessId target, const ProcessMessage& message) = 0;
    // How many messages sent to the page its web process has not acknowledged; counted from zero
    // again once taken (when that process has ended, they are lost).
    virtual int TakeUnacknowledgedMessageCount() { return 0; }
};

using BrowserRef = std::shared_ptr<IBrowser>;
using FrameRef = std::shared_ptr<IFrame>;
}  // namespace tvc::engine
