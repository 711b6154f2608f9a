#include "common/AppCookieHandler/CookieManager.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/AppCookieHandler/CookieRecordRules.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/PeerErrorGate.h"

CCookieManager::CCookieManager(std::shared_ptr<tvc::engine::ICookieStore> store)
    : m_store(std::move(store)) {
    TVC_LOG_WARN("CCookieManager:: CTOR ++ \n");
    TVC_LOG_WARN("CCookieManager:: CTOR -- \n");
}

CCookieManager::~CCookieManager() {
    TVC_LOG_WARN("CCookieManager:: DTOR ++ \n");
    TVC_LOG_WARN("CCookieManager:: DTOR -- \n");
}

void CCookieManager::ReplaceAllCookies(std::optional<CAppCookieList> cookies, Answer answer,
                                       std::string journal) {
    m_queue.push_back(Request{std::move(cookies), std::move(answer), std::move(journal)});
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
    m_records = std::move(records);
    if (!m_journalPath.empty() && !request.journal.empty()) {
        m_journalWritten = tvc::WriteFileAtomically(m_journalPath, request.journal);
        if (!m_journalWritten)
            TVC_LOG_ERROR("%s: the journal %s could not be written; going on without it\n", fn,
                          m_journalPath.c_str());
    }
    // What the store holds is read first: a replacement that fails half-way puts it back.
    ReadStore([](CCookieManager& self, Held held) {
        if (!held) {
            TVC_LOG_ERROR("%s: the store could not be read; nothing is changed\n", fn);
            return self.Finish(kStatusFailed);
        }
        self.m_old = std::move(*held);
        self.DeleteCookies(self.Continue([](CCookieManager& self, bool deleted) {
            if (!deleted) {
                TVC_LOG_ERROR("%s: DeleteCookies(): cookie deletion failed\n", fn);
                // Nothing was added: what is left is part of the old set.
                return self.PutOldBack(false);
            }
            TVC_LOG_WARN("%s: DeleteCookies() cookies are deleted\n", fn);
            // An empty list asked for an empty store, and has it.
            if (self.m_records.empty()) return self.Finish(kStatusFailed);
            self.SetCookies(self.m_records, self.Continue([](CCookieManager& self, bool stored) {
                TVC_LOG_WARN("%s: SetCookies(): returned %u\n", fn, stored ? 1u : 0u);
                if (stored)
                    self.VerifyStored();
                else
                    self.PutOldBack(true);
            }));
        }));
    });
}

// The store reports a cookie as added even when it dropped it (a domain it will not serve), so
// only what it holds afterwards counts.
void CCookieManager::VerifyStored() {
    ReadStore([](CCookieManager& self, Held held) {
        static const char* fn = TVC_FN;
        if (!held) {
            TVC_LOG_ERROR("%s: the store could not be read back\n", fn);
            return self.PutOldBack(true);
        }
        const size_t missing = tvc::CountNotHeld(self.m_records, *held, std::time(nullptr));
        if (missing == 0) return self.Finish(kStatusStored);
        TVC_LOG_ERROR("%s: %zu of %zu cookies are not in the store after being stored\n", fn,
                      missing, self.m_records.size());
        self.PutOldBack(true);
    });
}

// The journal stays unless the old set is whole again: the next start then makes the request
// again, so the store ends with one whole set either way.
void CCookieManager::PutOldBack(bool emptyFirst) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s: putting back the %zu cookies the store held before\n", fn, m_old.size());
    const auto verify = [](CCookieManager& self) {
        self.ReadStore([](CCookieManager& self, Held held) {
            const bool whole =
                held && tvc::CountNotHeld(self.m_old, *held, std::time(nullptr)) == 0;
            if (!whole)
                TVC_LOG_ERROR("%s: the old cookies could not be put back; the journal is kept\n",
                              fn);
            self.Finish(kStatusFailed, whole);
        });
    };
    const auto addOld = [verify](CCookieManager& self) {
        if (self.m_old.empty()) return verify(self);
        self.SetCookies(self.m_old, self.Continue([verify](CCookieManager& self, bool stored) {
            if (stored) return verify(self);
            TVC_LOG_ERROR("%s: the old cookies could not be stored again; the journal is kept\n",
                          fn);
            self.Finish(kStatusFailed, false);
        }));
    };
    if (!emptyFirst) return addOld(*this);
    DeleteCookies(Continue([addOld](CCookieManager& self, bool deleted) {
        if (deleted) return addOld(self);
        TVC_LOG_ERROR("%s: the store could not be emptied again; the journal is kept\n", fn);
        self.Finish(kStatusFailed, false);
    }));
}

void CCookieManager::ReadStore(std::function<void(CCookieManager&, Held)> next) {
    std::weak_ptr<CCookieManager> weak = weak_from_this();
    m_store->GetAllCookies([weak, next = std::move(next)](Held held) {
        const CPeerInputLogScope peerInput;
        if (auto self = weak.lock()) next(*self, std::move(held));
    });
}

void CCookieManager::FinishInFlight(std::function<void()> done) {
    if (!m_queue.empty())
        TVC_LOG_WARN("%s: %zu cookie requests not begun are dropped\n", TVC_FN, m_queue.size());
    m_queue.clear();
    if (!m_busy) {
        if (done) done();
        return;
    }
    TVC_LOG_WARN("%s: waiting for the cookie request with the store\n", TVC_FN);
    m_whenIdle = std::move(done);
}

void CCookieManager::OnStoreSettled(bool oneWholeSet) {
    if (m_journalWritten && oneWholeSet && ::unlink(m_journalPath.c_str()) != 0 && errno != ENOENT)
        TVC_LOG_ERROR("%s: the journal %s could not be removed: %s\n", TVC_FN,
                      m_journalPath.c_str(), std::strerror(errno));
    m_journalWritten = false;
    if (auto whenIdle = std::move(m_whenIdle)) whenIdle();
}

void CCookieManager::Finish(int status, bool oneWholeSet) {
    TVC_LOG_WARN("%s: SetCookies(): JSON response status code set to %d\n",
                 "CCookieObserver::OnInterAppMessageRceive", status);
    m_busy = false;
    m_records.clear();
    m_old.clear();
    if (Answer answer = std::move(m_currentAnswer)) answer(status);
    OnStoreSettled(oneWholeSet);
    RunQueue();
}

CCookieManager::Done CCookieManager::Continue(std::function<void(CCookieManager&, bool)> next) {
    std::weak_ptr<CCookieManager> weak = weak_from_this();
    return [weak, next = std::move(next)](bool succeeded) {
        const CPeerInputLogScope peerInput;  // the store's report on a peer's request
        if (auto self = weak.lock()) next(*self, succeeded);
    };
}

void CCookieManager::DeleteCookies(Done done) {
    m_store->DeleteAllCookies(std::move(done));
    TVC_LOG_WARN("CCookieManager::DeleteCookies: cookie deletion status : %u\n", 1u);
}

// Every cookie is handed to the store at once; `done` hears whether all of them were stored once
// the last one has reported.
void CCookieManager::SetCookies(const std::vector<tvc::engine::CookieRecord>& records, Done done) {
    TVC_LOG_WARN("CCookieManager::SetCookies: Number of Cookie objects to be set : %u\n",
                 static_cast<unsigned>(records.size()));
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
}
