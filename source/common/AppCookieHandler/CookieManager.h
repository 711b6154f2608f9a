// Replaces the whole contents of the browser's cookie store with the cookies a peer hands over.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/AppCookieHandler/AppCookie.h"
#include "engine/CookieStore.h"

// Main thread, like the store it drives. The store works asynchronously, so requests are carried
// out one after another: a request starts once the one before it has been answered, the cookies of
// the last request are what remains, and the answers come in the order of the requests. Held by a
// shared pointer: the store's reports reach it through a weak one.
class CCookieManager : public std::enable_shared_from_this<CCookieManager> {
  public:
    static constexpr int kStatusStored = 101;
    static constexpr int kStatusFailed = 501;
    using Answer = std::function<void(int status)>;

    // A null store answers every request with 501.
    explicit CCookieManager(std::shared_ptr<tvc::engine::ICookieStore> store);
    virtual ~CCookieManager();

    // 101 once the store has been emptied, every cookie stored, and each one read back from the
    // store; 501 otherwise, and the store gets back what it held before. A request without a list
    // (one that could not be read) or with a cookie the store must not take (see MakeCookieRecord)
    // changes nothing. An empty list still empties the store, and is answered 501. `journal`: the
    // request as it came, kept in the journal file while the store is changed.
    void ReplaceAllCookies(std::optional<CAppCookieList> cookies, Answer answer,
                           std::string journal = {});

    // A request's text is written here before the store is emptied and removed once the store
    // holds the request's whole set or the whole set it held before: a file found here at start-up
    // is a replacement that was cut off (a crash, a kill, a quit past its bound) and is to be made
    // again. Empty: no journal.
    void SetJournalPath(std::string path) { m_journalPath = std::move(path); }

    // For the quit: the requests not begun yet are dropped unanswered, and `done` runs once the
    // store has carried out the changes of the one it works on (at once when there is none), so
    // the store is left with the old cookies or the new ones, never a mix. The manager may be
    // released from within `done`.
    void FinishInFlight(std::function<void()> done);

  private:
    using Done = tvc::engine::ICookieStore::Done;
    struct Request {
        std::optional<CAppCookieList> cookies;
        Answer answer;
        std::string journal;
    };

    void RunQueue();
    void Start(Request& request);
    void VerifyStored();
    // After a failure: the store gets back what it held before the request (`emptyFirst`: once
    // what was added is removed), and the request is answered 501.
    void PutOldBack(bool emptyFirst);
    // `oneWholeSet`: the store holds the whole old set or the whole new one, so the journal goes.
    void OnStoreSettled(bool oneWholeSet);
    void Finish(int status, bool oneWholeSet = true);
    void DeleteCookies(Done done);
    void SetCookies(const std::vector<tvc::engine::CookieRecord>& records, Done done);
    using Held = std::optional<std::vector<tvc::engine::CookieRecord>>;
    void ReadStore(std::function<void(CCookieManager&, Held)> next);
    // Wraps a step's continuation: a manager released in the meantime makes it a no-op.
    Done Continue(std::function<void(CCookieManager&, bool)> next);

    const std::shared_ptr<tvc::engine::ICookieStore> m_store;
    std::deque<Request> m_queue;
    Answer m_currentAnswer;
    std::vector<tvc::engine::CookieRecord> m_records;  // of the request with the store
    std::vector<tvc::engine::CookieRecord> m_old;      // what the store held before it
    std::function<void()> m_whenIdle;
    std::string m_journalPath;
    bool m_journalWritten = false;  // for the request with the store
    bool m_busy = false;            // a request is with the store
    bool m_draining = false;        // RunQueue is on the stack
};
