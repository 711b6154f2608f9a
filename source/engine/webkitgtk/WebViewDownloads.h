// Downloads of the web context, reported to the client. Its connections, to the context and to the
// downloads in flight, end with it. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <memory>

#include "engine/Client.h"
#include "engine/webkitgtk/WebKitBrowser.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {

class CWebViewDownloads {
  public:
    CWebViewDownloads(WebKitWebContext* context, std::shared_ptr<engine::IDownloadClient> client,
                      BrowserLookup lookup);
    ~CWebViewDownloads();
    CWebViewDownloads(const CWebViewDownloads&) = delete;
    CWebViewDownloads& operator=(const CWebViewDownloads&) = delete;

  private:
    struct Signals;  // the downloads' handlers; their data is this object
    friend struct Signals;

    engine::BrowserRef BrowserFor(WebKitDownload* download) const;

    std::shared_ptr<engine::IDownloadClient> m_client;
    BrowserLookup m_lookup;
    glib::GObjectPtr<WebKitWebContext> m_context;
    glib::ScopedSignal m_started;
    // Held until "finished", the last signal of every download.
    std::map<WebKitDownload*, glib::GObjectPtr<WebKitDownload>> m_inFlight;
};
}  // namespace tvc::webkit
