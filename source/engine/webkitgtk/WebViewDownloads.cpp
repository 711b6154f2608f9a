#include "engine/webkitgtk/WebViewDownloads.h"

#include <string>
#include <utility>

#include "common/LogHelper.h"
#include "engine/Client.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {
namespace {
constexpr const char* kLastPercentKey = "tvc-last-percent";

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
        std::string path = downloads.m_client->OnBeforeDownload(downloads.BrowserFor(download),
                                                                item, suggested ? suggested : "");
        if (path.empty()) {
            webkit_download_cancel(download);
            return TRUE;
        }
        glib::GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
        if (!uri) {
            TVC_LOG_ERROR("%s : cannot make a URI of %s", "CWebViewClient::OnDecideDestination",
                          path.c_str());
            webkit_download_cancel(download);
            return TRUE;
        }
        // Overwrite must be allowed before the destination is set, or an existing file fails the
        // download and is deleted.
        webkit_download_set_allow_overwrite(download, TRUE);
        webkit_download_set_destination(download, uri.get());
        return TRUE;
    }

    static void OnReceivedData(WebKitDownload* download, guint64, gpointer self) {
        engine::DownloadItem item = Describe(download);
        // One report per percent is plenty; a large file arrives in thousands of pieces.
        int percent = item.PercentComplete();
        int last = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(download), kLastPercentKey)) - 1;
        if (percent == last && percent >= 0) return;
        g_object_set_data(G_OBJECT(download), kLastPercentKey, GINT_TO_POINTER(percent + 1));
        CWebViewDownloads& downloads = Of(self);
        downloads.m_client->OnDownloadUpdated(downloads.BrowserFor(download), item);
    }

    static void OnFailed(WebKitDownload* download, GError* error, gpointer self) {
        engine::DownloadItem item = Describe(download);
        item.isInProgress = false;
        item.isCanceled = true;
        TVC_LOG_ERROR("%s : %s failed: %s", "CWebViewClient::OnDownloadFailed", item.url.c_str(),
                      error ? error->message : "");
        g_object_set_data(G_OBJECT(download), "tvc-failed", GINT_TO_POINTER(1));
        CWebViewDownloads& downloads = Of(self);
        downloads.m_client->OnDownloadUpdated(downloads.BrowserFor(download), item);
    }

    static void OnFinished(WebKitDownload* download, gpointer self) {
        CWebViewDownloads& downloads = Of(self);
        Report(downloads, download);
        g_signal_handlers_disconnect_by_data(download, self);
        downloads.m_inFlight.erase(download);
    }

    static void Report(CWebViewDownloads& downloads, WebKitDownload* download) {
        if (g_object_get_data(G_OBJECT(download), "tvc-failed"))
            return;  // already reported as failed
        engine::DownloadItem item = Describe(download);
        item.isInProgress = false;
        // A connection closed before the announced length ends the download as "finished" too.
        if (item.totalBytes > 0 && item.receivedBytes < item.totalBytes) {
            TVC_LOG_ERROR("%s : %s ended after %lld of %lld bytes",
                          "CWebViewClient::OnDownloadFinished", item.url.c_str(),
                          static_cast<long long>(item.receivedBytes),
                          static_cast<long long>(item.totalBytes));
            item.isCanceled = true;
        } else {
            item.isComplete = true;
        }
        downloads.m_client->OnDownloadUpdated(downloads.BrowserFor(download), item);
    }

    static void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
        Of(self).m_inFlight.emplace(download, glib::GObjectPtr<WebKitDownload>::Ref(download));
        g_signal_connect(download, "decide-destination", G_CALLBACK(OnDecideDestination), self);
        g_signal_connect(download, "received-data", G_CALLBACK(OnReceivedData), self);
        g_signal_connect(download, "failed", G_CALLBACK(OnFailed), self);
        g_signal_connect(download, "finished", G_CALLBACK(OnFinished), self);
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
    for (auto& [download, ref] : m_inFlight) g_signal_handlers_disconnect_by_data(download, this);
}

engine::BrowserRef CWebViewDownloads::BrowserFor(WebKitDownload* download) const {
    WebKitWebView* view = webkit_download_get_web_view(download);
    return view ? m_lookup(view) : nullptr;
}
}  // namespace tvc::webkit
