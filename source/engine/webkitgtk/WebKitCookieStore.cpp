#include "engine/webkitgtk/WebKitCookieStore.h"

#include <cmath>
#include <memory>

#include "common/LogHelper.h"

namespace tvc::webkit {
namespace {
using Done = engine::ICookieStore::Done;

// The completion travels through the C callback's user data; the callback owns it from then on.
gpointer Pass(Done done) {
    return std::make_unique<Done>(std::move(done)).release();
}

void Finish(gpointer data, bool succeeded, const glib::GErrorOut& error, const char* fn) {
    std::unique_ptr<Done> done(static_cast<Done*>(data));
    // A warning: a request of thousands of cookies must not write thousands of errors; its caller
    // reports the request's failure.
    if (!succeeded) TVC_LOG_WARN("%s : the cookie store refused: %s", fn, error.message());
    if (*done) (*done)(succeeded);
}

void OnCleared(GObject* source, GAsyncResult* result, gpointer data) {
    glib::GErrorOut error;
    bool ok = webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result,
                                                       error.out());
    Finish(data, ok, error, TVC_FN);
}

void OnCookieAdded(GObject* source, GAsyncResult* result, gpointer data) {
    glib::GErrorOut error;
    bool ok =
        webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, error.out());
    Finish(data, ok, error, TVC_FN);
}

void OnAllCookies(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<engine::ICookieStore::Cookies> done(
        static_cast<engine::ICookieStore::Cookies*>(data));
    glib::GErrorOut error;
    GList* list = webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source),
                                                               result, error.out());
    if (error) {
        TVC_LOG_ERROR("%s : the cookie store could not be read: %s", TVC_FN, error.message());
        if (*done) (*done)(std::nullopt);
        return;
    }
    std::vector<engine::CookieRecord> cookies;
    for (GList* item = list; item; item = item->next) {
        auto* cookie = static_cast<SoupCookie*>(item->data);
        engine::CookieRecord record;
        record.name = soup_cookie_get_name(cookie);
        record.value = soup_cookie_get_value(cookie);
        record.domain = soup_cookie_get_domain(cookie);
        record.path = soup_cookie_get_path(cookie);
        record.secure = soup_cookie_get_secure(cookie);
        record.httpOnly = soup_cookie_get_http_only(cookie);
        if (GDateTime* expires = soup_cookie_get_expires(cookie))
            record.expires = static_cast<double>(g_date_time_to_unix(expires)) +
                             g_date_time_get_microsecond(expires) / 1e6;
        cookies.push_back(std::move(record));
    }
    g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
    if (*done) (*done)(std::move(cookies));
}

struct SoupCookieDeleter {
    void operator()(SoupCookie* cookie) const { soup_cookie_free(cookie); }
};
struct DateTimeDeleter {
    void operator()(GDateTime* time) const { g_date_time_unref(time); }
};

// Microseconds are kept: 1700000000.5 expires half a second after 1700000000.
std::unique_ptr<GDateTime, DateTimeDeleter> FromUnixTime(double seconds) {
    const double whole = std::floor(seconds);
    std::unique_ptr<GDateTime, DateTimeDeleter> base(
        g_date_time_new_from_unix_utc(static_cast<gint64>(whole)));
    if (!base) return nullptr;
    const auto micro = static_cast<GTimeSpan>(std::llround((seconds - whole) * G_TIME_SPAN_SECOND));
    return std::unique_ptr<GDateTime, DateTimeDeleter>(g_date_time_add(base.get(), micro));
}
}  // namespace

CWebKitCookieStore::CWebKitCookieStore(WebKitWebsiteDataManager* dataManager)
    : m_dataManager(glib::GObjectPtr<WebKitWebsiteDataManager>::Ref(dataManager)) {}

void CWebKitCookieStore::DeleteAllCookies(Done done) {
    webkit_website_data_manager_clear(m_dataManager.get(), WEBKIT_WEBSITE_DATA_COOKIES, 0, nullptr,
                                      OnCleared, Pass(std::move(done)));
}

void CWebKitCookieStore::SetCookie(const engine::CookieRecord& record, Done done) {
    std::unique_ptr<SoupCookie, SoupCookieDeleter> cookie(soup_cookie_new(
        record.name.c_str(), record.value.c_str(), record.domain.c_str(), record.path.c_str(), -1));
    soup_cookie_set_secure(cookie.get(), record.secure);
    soup_cookie_set_http_only(cookie.get(), record.httpOnly);
    // Cookies handed over by the companion extension were sent on every request, as they were
    // before same-site rules existed.
    soup_cookie_set_same_site_policy(cookie.get(), SOUP_SAME_SITE_POLICY_NONE);
    if (record.expires) {
        auto expires = FromUnixTime(*record.expires);
        if (expires) soup_cookie_set_expires(cookie.get(), expires.get());
    }
    WebKitCookieManager* manager =
        webkit_website_data_manager_get_cookie_manager(m_dataManager.get());
    webkit_cookie_manager_add_cookie(manager, cookie.get(), nullptr, OnCookieAdded,
                                     Pass(std::move(done)));
}

void CWebKitCookieStore::GetAllCookies(Cookies done) {
    WebKitCookieManager* manager =
        webkit_website_data_manager_get_cookie_manager(m_dataManager.get());
    webkit_cookie_manager_get_all_cookies(manager, nullptr, OnAllCookies,
                                          std::make_unique<Cookies>(std::move(done)).release());
}
}  // namespace tvc::webkit
