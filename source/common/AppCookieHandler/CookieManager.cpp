#include "common/AppCookieHandler/CookieManager.h"

#include "common/AppCookieHandler/CookieRecordRules.h"
#include "common/LogHelper.h"

CCookieManager::CCookieManager(std::shared_ptr<tvc::engine::ICookieStore> store)
    : m_store(std::move(store)) {
    TVC_LOG_WARN("CCookieManager:: CTOR ++ \n");
    TVC_LOG_WARN("CCookieManager:: CTOR -- \n");
}

CCookieManager::~CCookieManager() {
    TVC_LOG_WARN("CCookieManager:: DTOR ++ \n");
    TVC_LOG_WARN("CCookieManager:: DTOR -- \n");
}

void CCookieManager::ReplaceAllCookies(std::optional<CAppCookieList> cookies, Answer answer) {
    m_queue.push_back(Request{std::move(cookies), std::move(answer)});
    RunQueue();
}

// A loop rather than recursion: a store that reports at once must not deepen the stack per request.
void CCookieManager::RunQueue() {
    if (m_draining) return;
    m_draining = true;
    while (!m_busy && !m_queue.empty()) {
        Request request = std::move(m_queue.front());
        m_queue.pop_front();
        Start(request);
    }
    m_draining = false;
}

void CCookieManager::Start(Request& request) {
    static const char* fn = "CCookieObserver::OnInterAppMessageRceive";
    m_busy = true;
    m_currentAnswer = std::move(request.answer);
    if (!request.cookies) return Finish(kStatusFailed);
    if (!m_store) {
        TVC_LOG_ERROR("%s: SetCookies(): m_pCookieManager or manager is NULL\n", fn);
        return Finish(kStatusFailed);
    }
    // Every cookie is checked before anything is deleted: a refused request leaves the store as it
    // was.
    std::vector<tvc::engine::CookieRecord> records;
    records.reserve(request.cookies->size());
    for (const auto& cookie : *request.cookies) {
        tvc::engine::CookieRecord record;
        std::string reason;
        if (!cookie || !tvc::MakeCookieRecord(*cookie, record, reason)) {
            TVC_LOG_ERROR("%s: cookie \"%s\" for domain \"%s\" refused, %s; nothing is changed\n",
                          fn, cookie ? CLogHelper::Excerpt(cookie->name, 128).c_str() : "",
                          cookie ? CLogHelper::Excerpt(cookie->domain, 128).c_str() : "",
                          cookie ? reason.c_str() : "no cookie");
            return Finish(kStatusFailed);
        }
        records.push_back(std::move(record));
    }
    DeleteCookies(Continue([records = std::move(records)](CCookieManager& self, bool deleted) {
        if (deleted)
            TVC_LOG_WARN("%s: DeleteCookies() cookies are deleted\n", fn);
        else
            TVC_LOG_ERROR("%s: DeleteCookies(): cookie deletion failed\n", fn);
        // A failed deletion does not stop the settings, but the store was not replaced.
        const bool started =
            self.SetCookies(records, self.Continue([deleted](CCookieManager& self, bool stored) {
                TVC_LOG_WARN("%s: SetCookies(): returned %u\n", fn, stored ? 1u : 0u);
                self.Finish(deleted && stored ? kStatusStored : kStatusFailed);
            }));
        if (!started) {
            TVC_LOG_WARN("%s: SetCookies(): returned %u\n", fn, 0u);
            self.Finish(kStatusFailed);
        }
    }));
}

void CCookieManager::Finish(int status) {
    TVC_LOG_WARN("%s: SetCookies(): JSON response status code set to %d\n",
                 "CCookieObserver::OnInterAppMessageRceive", status);
    m_busy = false;
    if (Answer answer = std::move(m_currentAnswer)) answer(status);
    RunQueue();
}

CCookieManager::Done CCookieManager::Continue(std::function<void(CCookieManager&, bool)> next) {
    std::weak_ptr<CCookieManager> weak = weak_from_this();
    return [weak, next = std::move(next)](bool succeeded) {
        if (auto self = weak.lock()) next(*self, succeeded);
    };
}

bool CCookieManager::DeleteCookies(Done done) {
    m_store->DeleteAllCookies(std::move(done));
    TVC_LOG_WARN("CCookieManager::DeleteCookies: cookie deletion status : %u\n", 1u);
    return true;
}

// Every cookie is handed to the store at once; `done` hears whether all of them were stored once
// the last one has reported.
bool CCookieManager::SetCookies(const std::vector<tvc::engine::CookieRecord>& records, Done done) {
    TVC_LOG_WARN("CCookieManager::SetCookies: Number of Cookie objects to be set : %u\n",
                 static_cast<unsigned>(records.size()));
    if (records.empty()) return false;
    struct Batch {
        size_t pending;
        bool allStored = true;
        Done done;
    };
    auto batch = std::make_shared<Batch>(Batch{records.size(), true, std::move(done)});
    for (const auto& record : records) {
        m_store->SetCookie(record, [batch](bool stored) {
            if (!stored) batch->allStored = false;
            if (--batch->pending == 0 && batch->done) batch->done(batch->allStored);
        });
    }
    return true;
}
