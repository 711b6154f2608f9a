#include "engine/webkitgtk/WebViewDownloads.h"

#include <string>
#include <utility>
#include <vector>

#include "common/LogHelper.h"
#include "engine/Client.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {
namespace {
using Verdict = engine::DownloadWatch::Verdict;
// How often the downloads in flight are checked for a stall.
constexpr guint kStallCheckMs = 250;

engine::DownloadItem Describe(WebKitDownload* download) {
    engine::DownloadItem item;
    item.id = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(download) & 0xFFFFFFFFu);
    if (WebKitURIRequest* request = webkit_download_get_request(download))
        item.url = webkit_uri_request_get_uri(request);
    if (const gchar* dest = webkit_download_get_destination(download)) {
        glib::GCharPtr path(g_filename_from_uri(dest, nullptr, nullptr));
        item.fullPath = path ? path.get() : dest;
    }
    item.receivedBytes =
        static_cast<std::int64_t>(webkit_download_get_received_data_length(download));
    WebKitURIResponse* response = webkit_download_get_response(download);
    guint64 total = response ? webkit_uri_response_get_content_length(response) : 0;
    item.totalBytes = total > 0 ? static_cast<std::int64_t>(total) : -1;
    if (response) {
        if (const gchar* name = webkit_uri_response_get_suggested_filename(response))
            item.suggestedFileName = name;
    }
    item.startedByApp = IsDownloadStartedByApp(download);
    item.isInProgress = true;
    return item;
}
}  // namespace

struct CWebViewDownloads::Signals {
    static CWebViewDownloads& Of(gpointer self) { return *static_cast<CWebViewDownloads*>(self); }

    static gboolean OnDecideDestination(WebKitDownload* download, gchar* suggested, gpointer self) {
        CWebViewDownloads& downloads = Of(self);
        engine::DownloadItem item = Describe(download);
        engine::DownloadTarget target = downloads.m_client->OnBeforeDownload(
            downloads.BrowserFor(download), item, suggested ? suggested : "");
        Flight* flight = downloads.Find(download);
        if (target.path.empty() || !flight) {
            webkit_download_cancel(download);
            return TRUE;
        }
        flight->watch.SetLimits(target.limits, engine::DownloadWatch::Clock::now());
        // The announced length is known now: a body too large is refused before its first byte.
        const Verdict verdict = flight->watch.OnData(item.receivedBytes, item.totalBytes,
                                                     engine::DownloadWatch::Clock::now());
        if (verdict == Verdict::kTooLarge) {
            downloads.Refuse(download, *flight, verdict);
            return TRUE;
        }
        glib::GCharPtr uri(g_filename_to_uri(target.path.c_str(), nullptr, nullptr));
        if (!uri) {
            TVC_LOG_ERROR("%s : cannot make a URI of %s", TVC_FN, target.path.c_str());
            webkit_download_cancel(download);
            return TRUE;
        }
        // The client may have made the file to take its name: overwrite must be allowed before
        // the destination is set, or an existing file fails the download and is deleted.
        webkit_download_set_allow_overwrite(download, TRUE);
        webkit_download_set_destination(download, uri.get());
        return TRUE;
    }

    static void OnReceivedData(WebKitDownload* download, guint64, gpointer self) {
        CWebViewDownloads& downloads = Of(self);
        Flight* flight = downloads.Find(download);
        if (!flight || !flight->refusal.empty()) return;  // cancelled: pieces still on their way
        engine::DownloadItem item = Describe(download);
        const Verdict verdict = flight->watch.OnData(item.receivedBytes, item.totalBytes,
                                                     engine::DownloadWatch::Clock::now());
        if (verdict == Verdict::kTooLarge)
            downloads.Refuse(download, *flight, verdict);
        else if (verdict == Verdict::kReportProgress)
            downloads.m_client->OnDownloadUpdated(downloads.BrowserFor(download), item);
    }

    static void OnFailed(WebKitDownload* download, GError* error, gpointer self) {
        CWebViewDownloads& downloads = Of(self);
        Flight* flight = downloads.Find(download);
        engine::DownloadItem item = Describe(download);
        item.isInProgress = false;
        item.isCanceled = true;
        item.error = flight && !flight->refusal.empty() ? flight->refusal
                     : error                            ? error->message
                                                        : "";
        TVC_LOG_ERROR("%s : %s failed: %s", TVC_FN, item.url.c_str(), item.error.c_str());
        if (flight) flight->failed = true;
        downloads.m_client->OnDownloadUpdated(downloads.BrowserFor(download), item);
    }

    static void OnFinished(WebKitDownload* download, gpointer self) {
        CWebViewDownloads& downloads = Of(self);
        Flight* flight = downloads.Find(download);
        if (flight && !flight->failed) Report(downloads, download);
        downloads.Forget(download);
    }

    static void Report(CWebViewDownloads& downloads, WebKitDownload* download) {
        engine::DownloadItem item = Describe(download);
        item.isInProgress = false;
        // A connection closed before the announced length ends the download as "finished" too.
        if (item.totalBytes > 0 && item.receivedBytes < item.totalBytes) {
            TVC_LOG_ERROR("%s : %s ended after %lld of %lld bytes", TVC_FN, item.url.c_str(),
                          static_cast<long long>(item.receivedBytes),
                          static_cast<long long>(item.totalBytes));
            item.isCanceled = true;
            item.error = "the connection closed early";
        } else {
            item.isComplete = true;
        }
        downloads.m_client->OnDownloadUpdated(downloads.BrowserFor(download), item);
    }

    static void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
        CWebViewDownloads& downloads = Of(self);
        // Until the client sets its limits, a download is held to the stall limit alone.
        downloads.m_inFlight.emplace(
            download, Flight{glib::GObjectPtr<WebKitDownload>::Ref(download),
                             engine::DownloadWatch({}, engine::DownloadWatch::Clock::now())});
        g_signal_connect(download, "decide-destination", G_CALLBACK(OnDecideDestination), self);
        g_signal_connect(download, "received-data", G_CALLBACK(OnReceivedData), self);
        g_signal_connect(download, "failed", G_CALLBACK(OnFailed), self);
        g_signal_connect(download, "finished", G_CALLBACK(OnFinished), self);
        if (!downloads.m_stallCheck.Pending()) downloads.ArmStallCheck();
    }
};

CWebViewDownloads::CWebViewDownloads(WebKitWebContext* context,
                                     std::shared_ptr<engine::IDownloadClient> client,
                                     BrowserLookup lookup)
    : m_client(std::move(client)),
      m_lookup(std::move(lookup)),
      m_context(glib::GObjectPtr<WebKitWebContext>::Ref(context)),
      m_started(context, g_signal_connect(context, "download-started",
                                          G_CALLBACK(Signals::OnDownloadStarted), this)) {}

CWebViewDownloads::~CWebViewDownloads() {
    for (auto& [download, flight] : m_inFlight)
        g_signal_handlers_disconnect_by_data(download, this);
}

engine::BrowserRef CWebViewDownloads::BrowserFor(WebKitDownload* download) const {
    WebKitWebView* view = webkit_download_get_web_view(download);
    return view ? m_lookup(view) : nullptr;
}

CWebViewDownloads::Flight* CWebViewDownloads::Find(WebKitDownload* download) {
    auto it = m_inFlight.find(download);
    return it == m_inFlight.end() ? nullptr : &it->second;
}

void CWebViewDownloads::Refuse(WebKitDownload* download, Flight& flight, Verdict verdict) {
    flight.refusal = flight.watch.Refusal(verdict);
    const char* uri = webkit_uri_request_get_uri(webkit_download_get_request(download));
    TVC_LOG_ERROR("%s : %s cancelled: %s", TVC_FN, uri ? uri : "", flight.refusal.c_str());
    // Ends in "failed", where the client hears why.
    webkit_download_cancel(download);
}

void CWebViewDownloads::CheckStalls() {
    const auto now = engine::DownloadWatch::Clock::now();
    std::vector<WebKitDownload*> stalled;
    for (auto& [download, flight] : m_inFlight)
        if (flight.refusal.empty() && flight.watch.OnTick(now) != Verdict::kQuiet)
            stalled.push_back(download);
    // Cancelling may end a download, and so change the map, before it returns.
    for (WebKitDownload* download : stalled)
        if (Flight* flight = Find(download)) Refuse(download, *flight, flight->watch.OnTick(now));
}

void CWebViewDownloads::ArmStallCheck() {
    m_stallCheck = runner::PostDelayed(std::chrono::milliseconds(kStallCheckMs), [this] {
        CheckStalls();
        if (!m_inFlight.empty()) ArmStallCheck();
    });
}

void CWebViewDownloads::Forget(WebKitDownload* download) {
    g_signal_handlers_disconnect_by_data(download, this);
    m_inFlight.erase(download);
    if (m_inFlight.empty()) m_stallCheck.Cancel();
}
}  // namespace tvc::webkit
