// What the engine adapter calls: one small interface per kind of engine callback. The client
// handler implements them; the shell hands it to the adapter.
#pragma once

#include <memory>
#include <string>

#include "engine/Browser.h"
#include "engine/ContextMenu.h"
#include "engine/Download.h"
#include "engine/DownloadLimits.h"
#include "engine/ProcessMessage.h"

namespace tvc::engine {
// Error codes as the adapter reports them.
inline constexpr int kErrorFailed = -2;
inline constexpr int kErrorAborted = -3;
inline constexpr int kErrorTimedOut = -7;
inline constexpr int kErrorNetworkChanged = -21;
inline constexpr int kErrorConnectionRefused = -102;
inline constexpr int kErrorConnectionFailed = -104;
inline constexpr int kErrorNameNotResolved = -105;
inline constexpr int kErrorInternetDisconnected = -106;
inline constexpr int kErrorAddressUnreachable = -109;
inline constexpr int kErrorConnectionTimedOut = -118;
inline constexpr int kErrorUnknownUrlScheme = -302;
inline constexpr int kDragOperationLink = 2;

class ILifeSpanClient {
  public:
    virtual ~ILifeSpanClient() = default;
    virtual void OnAfterCreated(BrowserRef browser) = 0;
    // True when the close is taken over.
    virtual bool DoClose(BrowserRef browser) = 0;
    virtual void OnBeforeClose(BrowserRef browser) = 0;
    // True cancels the popup.
    virtual bool OnBeforePopup(BrowserRef browser, FrameRef frame,
                               const std::string& targetUrl) = 0;
};

class ILoadClient {
  public:
    virtual ~ILoadClient() = default;
    virtual void OnLoadError(BrowserRef browser, FrameRef frame, int errorCode,
                             const std::string& errorText, const std::string& failedUrl) = 0;
    virtual void OnRenderProcessTerminated(BrowserRef browser, TerminationStatus status) = 0;
    // The main frame began loading `url` (before anything of it is shown), or committed to what
    // it loads (a new document, perhaps in a new web process).
    virtual void OnLoadStart(BrowserRef browser, const std::string& url) = 0;
    virtual void OnLoadCommit(BrowserRef browser) = 0;
    // The browser's web process stopped, or started again, answering.
    virtual void OnResponsivenessChange(BrowserRef browser, bool responsive) = 0;
};

// Modifier flags of a key event.
inline constexpr int kKeyShift = 1 << 1;
inline constexpr int kKeyControl = 1 << 2;
inline constexpr int kKeyAlt = 1 << 3;

struct KeyEvent {
    int windowsKeyCode = 0;  // the Windows virtual-key code: 'A'..'Z', '0'..'9', 0x70 (F1)..
    int modifiers = 0;       // kKey* flags
};

class IKeyboardClient {
  public:
    virtual ~IKeyboardClient() = default;
    // A key press the page did not consume; true when it was handled here.
    virtual bool OnKeyEvent(BrowserRef browser, const KeyEvent& event) = 0;
};

class IDisplayClient {
  public:
    virtual ~IDisplayClient() = default;
    virtual bool OnConsoleMessage(BrowserRef browser, const std::string& message,
                                  const std::string& source, int line) = 0;
};

class IRequestClient {
  public:
    virtual ~IRequestClient() = default;
    // True refuses the drag.
    virtual bool OnDragEnter(BrowserRef browser, int dragOperationsMask) = 0;
    // True lets the operating system open the address (through OpenUrlExternally).
    virtual bool OnProtocolExecution(BrowserRef browser, const std::string& url) = 0;
    virtual bool OpenUrlExternally(const std::string& url) = 0;
    // True grants `kind` ("geolocation", "notifications", ...) to the page shown in `browser`.
    // `requestingSite` is the registrable domain of the frame that asks, where the engine names
    // it (website data access); "" elsewhere.
    virtual bool OnPermissionRequest(BrowserRef browser, const std::string& kind,
                                     const std::string& requestingSite) = 0;
};

class IContextMenuClient {
  public:
    virtual ~IContextMenuClient() = default;
    virtual void OnBeforeContextMenu(BrowserRef browser, const ContextMenuParams& params,
                                     IContextMenuModel& model) = 0;
    virtual bool OnContextMenuCommand(BrowserRef browser, const ContextMenuParams& params,
                                      int commandId) = 0;
};

class IDownloadClient {
  public:
    virtual ~IDownloadClient() = default;
    // The destination and the limits the download is held to.
    virtual DownloadTarget OnBeforeDownload(BrowserRef browser, const DownloadItem& item,
                                            const std::string& suggestedName) = 0;
    virtual void OnDownloadUpdated(BrowserRef browser, const DownloadItem& item) = 0;
};

class IProcessMessageClient {
  public:
    virtual ~IProcessMessageClient() = default;
    virtual bool OnProcessMessageReceived(BrowserRef browser, ProcessId source,
                                          const ProcessMessage& message) = 0;
};

// Everything a browser's client answers.
class IClient : public ILifeSpanClient,
                public ILoadClient,
                public IDisplayClient,
                public IRequestClient,
                public IContextMenuClient,
                public IKeyboardClient,
                public IDownloadClient,
                public IProcessMessageClient {};
}  // namespace tvc::engine
