// Downloads of the web context, reported to the client and held to the limits the client sets: a
// download that passes its size or waits too long for data is cancelled at once. Its connections,
// to the context and to the downloads in flight, end with it. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <string>

#include "common/TaskRunner.h"
#include "engine/Client.h"
#include "engine/DownloadLimits.h"
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

    struct Flight {
        glib::GObjectPtr<WebKitDownload> download;
        engine::DownloadWatch watch;
        std::string refusal;  // why we cancelled it
        bool failed = false;
    };

    engine::BrowserRef BrowserFor(WebKitDownload* download) const;
    Flight* Find(WebKitDownload* download);
    void Refuse(WebKitDownload* download, Flight& flight, engine::DownloadWatch::Verdict verdict);
    // Cancels the downloads that waited too long for data or are past their deadline.
    void CheckStalls();
    // The next check, and those after it while a download is in flight.
    void ArmStallCheck();
    void Forget(WebKitDownload* download);

    std::shared_ptr<engine::IDownloadClient> m_client;
    BrowserLookup m_lookup;
    glib::GObjectPtr<WebKitWebContext> m_context;
    glib::ScopedSignal m_started;
    // Held until "finished", the last signal of every download.
    std::map<WebKitDownload*, Flight> m_inFlight;
    runner::DelayedTask m_stallCheck;  // pending while a download is in flight
};
}  // namespace tvc::webkit
