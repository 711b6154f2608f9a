// "setCookies" and "bringWindowToFront": reading the cookies, the store's rules, the order of the
// store's work and of the answers, and the window raised.
#include <deque>
#include <set>

#include "Fakes.h"
#include "common/AppCookieHandler/CookieObserver.h"
#include "common/AppCookieHandler/CookieRecordRules.h"
#include "common/AppHelper.h"
#include "common/AppWindowHandler/NativeWindowObserver.h"
#include "common/FileUtil.h"
#include "common/NativeMessaging/InterAppMessage.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"

namespace tvc::test {
namespace {
// A session cookie at "/"; a domain cookie when `domain` is given.
std::string CookieJson(const std::string& name, const std::string& domain = "") {
    const std::string host =
        domain.empty() ? R"("hostOnly":true)" : R"("hostOnly":false,"domain":")" + domain + "\"";
    return R"({"name":")" + name + R"(","value":"v-)" + name + R"(",)" + host +
           R"(,"path":"/","secure":false,"httpOnly":false,"session":true})";
}

std::string SetCookies(const std::string& domains, const std::string& umid = "u1",
                       const std::string& target = "tvd.native") {
    return R"({"source":"browser.extension","target":")" + target +
           R"(","message":{"type":"request","sub_type":"setCookies","payload":{"domains":)" +
           domains + R"(}},"umid":")" + umid + R"("})";
}

std::string Entry(const std::string& url, const std::vector<std::string>& cookies) {
    std::string out = R"({"url":")" + url + R"(","cookies":[)";
    for (size_t i = 0; i < cookies.size(); ++i) out += (i ? "," : "") + cookies[i];
    return out + "]}";
}

std::string Response(const std::string& request, int status) {
    std::string out;
    CAppHelper::CreateInterAppResponceMessage("setCookies", request, status, out);
    return out;
}
}  // namespace

// ---- reading the request ----
struct QueryCase {
    const char* what;
    std::string text;
    bool ok;
    size_t cookies;  // appended, whether or not the whole text was read
};

TEST(QueryArrayOfCookieObject, AcceptsTheDocumentedFormsAndRefusesMissingKeysAndWrongKinds) {
    const std::string url = "https://a.example/";
    // The request with one entry for `url` holding `cookies`.
    const auto one = [&url](const std::vector<std::string>& cookies) {
        return SetCookies("[" + Entry(url, cookies) + "]");
    };
    const std::vector<QueryCase> cases = {
        {"two entries of two",
         SetCookies("[" + Entry(url, {CookieJson("a"), CookieJson("b")}) + "," +
                    Entry(url, {CookieJson("c"), CookieJson("d")}) + "]"),
         true, 4},
        {"empty domains", SetCookies("[]"), true, 0},
        {"booleans as 1 and 0",
         one({R"({"name":"n","value":"v","hostOnly":1,"path":"/",)"
              R"("secure":0,"httpOnly":1,"session":1})"}),
         true, 1},
        {"host-only needs no domain, session no date", one({CookieJson("a")}), true, 1},
        {"empty text", "", false, 0},
        {"not JSON", "{\"target\":", false, 0},
        {"nesting beyond the limit", std::string(100000, '['), false, 0},
        {"nesting behind what the reader takes for a byte-order mark",
         "\xefN\"" + std::string(100000, '['), false, 0},
        {"no domains", R"({"target":"tvd.native","message":{"payload":{}}})", false, 0},
        {"entry without url", SetCookies(R"([{"cookies":[]}])"), false, 0},
        {"entry without cookies", SetCookies(R"([{"url":"https://a.example/"}])"), false, 0},
        {"second cookie without path",
         one({CookieJson("a"), R"({"name":"n","value":"v","hostOnly":true,"secure":false,)"
                               R"("httpOnly":false,"session":true})"}),
         false, 1},
        {"domain cookie without domain",
         one({R"({"name":"n","value":"v","hostOnly":false,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":true})"}),
         false, 0},
        {"persistent cookie without date",
         one({R"({"name":"n","value":"v","hostOnly":true,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":false})"}),
         false, 0},
        {"non-numeric date",
         one({R"({"name":"n","value":"v","hostOnly":true,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":false,)"
              R"("expirationDate":"soon"})"}),
         false, 0},
        {"boolean given as yes",
         one({R"({"name":"n","value":"v","hostOnly":true,"path":"/",)"
              R"("secure":"yes","httpOnly":false,"session":true})"}),
         false, 0},
        {"name null and value a number",
         one({R"({"name":null,"value":12,"hostOnly":true,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":true})"}),
         false, 0},
        {"value an object",
         one({R"({"name":"n","value":{},"hostOnly":true,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":true})"}),
         false, 0},
        {"domain true",
         one({R"({"name":"n","value":"v","hostOnly":false,"domain":true,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":true})"}),
         false, 0},
        {"address a number", SetCookies(R"([{"url":5,"cookies":[]}])"), false, 0},
        {"strings that read like other kinds",
         one({R"({"name":"null","value":"12","hostOnly":true,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":true})"}),
         true, 1},
        {"boolean given as 2",
         one({R"({"name":"n","value":"v","hostOnly":2,"path":"/",)"
              R"("secure":false,"httpOnly":false,"session":true})"}),
         false, 0},
    };
    for (const auto& c : cases) {
        CAppCookieList out;
        EXPECT_EQ(CCookieObserver::QueryArrayOfCookieObject(c.text, out), c.ok) << c.what;
        EXPECT_EQ(out.size(), c.cookies) << c.what;
    }
}

TEST(QueryArrayOfCookieObject, ReadsEveryFieldUnderItsEntrysAddress) {
    const std::string text = SetCookies(
        "[" +
        Entry(
            "https://a.example/x",
            {R"({"name":"h","value":"1;x","hostOnly":true,"domain":"ignored.example","path":"/p",)"
             R"("secure":true,"httpOnly":true,"session":true,"expirationDate":5})"}) +
        "," +
        Entry(
            "http://b.example/",
            {R"({"name":"d","value":"","hostOnly":false,"domain":".b.example","path":"/",)"
             R"("secure":false,"httpOnly":false,"session":false,"expirationDate":1700000000.5})"}) +
        "]");
    CAppCookieList out;
    ASSERT_TRUE(CCookieObserver::QueryArrayOfCookieObject(text, out));
    ASSERT_EQ(out.size(), 2u);
    const CAppCookie& h = *out[0];
    EXPECT_EQ(h.name, "h");
    EXPECT_EQ(h.value, "1;x");
    EXPECT_EQ(h.domain, "");  // host-only: "domain" is not read
    EXPECT_EQ(h.path, "/p");
    EXPECT_TRUE(h.secure && h.httpOnly && h.session);
    EXPECT_EQ(h.expirationDate, 0);  // a session cookie's date is not read
    EXPECT_EQ(h.hostURL, "https://a.example/x");
    const CAppCookie& d = *out[1];
    EXPECT_EQ(d.domain, ".b.example");
    EXPECT_FALSE(d.secure || d.httpOnly || d.session);
    EXPECT_EQ(d.expirationDate, 1700000000.5);
    EXPECT_EQ(d.hostURL, "http://b.example/");
}

// ---- the store's rules ----
struct RuleCase {
    const char* what;
    std::string url, domain, path, name, value;
    const char* domainOut;  // nullptr: refused
    const char* pathOut;
};

TEST(MakeCookieRecord, FollowsTheBrowsersRulesForDomainPathNameAndValue) {
    const std::vector<RuleCase> cases = {
        {"host-only", "https://www.a.example/x/y", "", "/", "n", "v", "www.a.example", "/"},
        {"domain of the host", "https://www.a.example/", "a.example", "/", "n", "v", ".a.example",
         "/"},
        {"leading dot, upper case", "HTTPS://WWW.A.EXAMPLE:8443/", ".A.Example", "/", "n", "v",
         ".a.example", "/"},
        {"the host itself", "http://a.example", "a.example", "/", "n", "v", ".a.example", "/"},
        {"user info and query", "https://u:p@a.example?q#f", "", "/", "n", "v", "a.example", "/"},
        {"IP address as host-only", "http://127.0.0.1:8080/", "127.0.0.1", "/", "n", "v",
         "127.0.0.1", "/"},
        {"IPv6 address", "http://[::1]:80/", "", "/", "n", "v", "::1", "/"},
        {"single-label host", "http://localhost/", "localhost", "/", "n", "v", "localhost", "/"},
        {"path without slash takes the default", "https://a.example/dir/page", "", "rel", "n", "v",
         "a.example", "/dir"},
        {"empty path at the root", "https://a.example/page", "", "", "n", "v", "a.example", "/"},
        {"empty name with a value", "https://a.example/", "", "/", "", "v", "a.example", "/"},
        {"other domain", "https://a.example/", "b.example", "/", "n", "v", nullptr, nullptr},
        {"suffix without a dot boundary", "https://xa.example/", "a.example", "/", "n", "v",
         nullptr, nullptr},
        {"wider than the host's IP", "http://127.0.0.1/", "0.0.1", "/", "n", "v", nullptr, nullptr},
        {"top-level domain", "https://a.example/", "example", "/", "n", "v", nullptr, nullptr},
        {"public suffix", "http://victim.co.uk/", ".co.uk", "/", "n", "v", nullptr, nullptr},
        {"suffix of the private list", "https://user.github.io/", "github.io", "/", "n", "v",
         nullptr, nullptr},
        {"registrable domain under a suffix", "http://www.victim.co.uk/", "victim.co.uk", "/", "n",
         "v", ".victim.co.uk", "/"},
        {"not http", "file:///etc/passwd", "", "/", "n", "v", nullptr, nullptr},
        {"no address", "", "", "/", "n", "v", nullptr, nullptr},
        {"no host", "https:///x", "", "/", "n", "v", nullptr, nullptr},
        {"space in the host", "https://a b.example/", "", "/", "n", "v", nullptr, nullptr},
        {"value with ';'", "https://a.example/", "", "/", "n", "a;b=c", nullptr, nullptr},
        {"value with a line break", "https://a.example/", "", "/", "n", "a\r\nSet-Cookie: x",
         nullptr, nullptr},
        {"value with NUL", "https://a.example/", "", "/", "n", std::string("a\0b", 3), nullptr,
         nullptr},
        {"name with '='", "https://a.example/", "", "/", "a=b", "v", nullptr, nullptr},
        {"path with ';'", "https://a.example/", "", "/;x", "n", "v", nullptr, nullptr},
        {"neither name nor value", "https://a.example/", "", "/", "", "", nullptr, nullptr},
        {"too long", "https://a.example/", "", "/", "n", std::string(kMaxCookieBytes, 'v'), nullptr,
         nullptr},
    };
    for (const auto& c : cases) {
        CAppCookie cookie;
        cookie.hostURL = c.url;
        cookie.domain = c.domain;
        cookie.path = c.path;
        cookie.name = c.name;
        cookie.value = c.value;
        engine::CookieRecord record;
        std::string reason;
        const bool ok = MakeCookieRecord(cookie, record, reason);
        ASSERT_EQ(ok, c.domainOut != nullptr) << c.what << ": " << reason;
        if (!ok) {
            EXPECT_FALSE(reason.empty()) << c.what;
            continue;
        }
        EXPECT_EQ(record.domain, c.domainOut) << c.what;
        EXPECT_EQ(record.path, c.pathOut) << c.what;
        EXPECT_EQ(record.value, c.value) << c.what;
    }
}

TEST(MakeCookieRecord, ExpiryOnlyForPersistentCookiesAndWithinTheStoresRange) {
    CAppCookie cookie;
    cookie.hostURL = "https://a.example/";
    cookie.name = "n";
    engine::CookieRecord record;
    std::string reason;
    cookie.session = true;
    cookie.expirationDate = 1700000000.5;
    ASSERT_TRUE(MakeCookieRecord(cookie, record, reason));
    EXPECT_FALSE(record.expires.has_value());
    cookie.session = false;
    ASSERT_TRUE(MakeCookieRecord(cookie, record, reason));
    EXPECT_EQ(record.expires, 1700000000.5);
    cookie.expirationDate = 1e300;  // far future stays persistent
    ASSERT_TRUE(MakeCookieRecord(cookie, record, reason));
    EXPECT_EQ(record.expires, 253402300799.0);
}

// ---- the command, the store and the answers ----
// Records the store's calls; reports only when the test says so, as WebKit reports later.
// Reading the store back reports at once.
struct FakeCookieStore : engine::ICookieStore {
    std::vector<std::string> calls;
    std::vector<engine::CookieRecord> set;
    std::vector<engine::CookieRecord> held;
    std::deque<Done> pending;
    std::string failName;  // a cookie of this name is refused
    std::string dropName;  // a cookie of this name is reported stored but not kept, as WebKit does
    std::set<int> failedDeletions;  // by their order, from 1; a failed one removes one cookie
    int deletions = 0;
    void DeleteAllCookies(Done done) override {
        calls.push_back("delete");
        const bool ok = !failedDeletions.count(++deletions);
        if (ok)
            held.clear();
        else if (!held.empty())
            held.erase(held.begin());
        pending.push_back([done = std::move(done), ok](bool) { done(ok); });
    }
    void SetCookie(const engine::CookieRecord& cookie, Done done) override {
        calls.push_back("set " + cookie.name);
        set.push_back(cookie);
        const bool ok = cookie.name != failName;
        if (ok && cookie.name != dropName) {
            std::erase_if(held, [&cookie](const engine::CookieRecord& h) {
                return h.name == cookie.name && h.domain == cookie.domain && h.path == cookie.path;
            });
            held.push_back(cookie);
        }
        pending.push_back([done = std::move(done), ok](bool) { done(ok); });
    }
    void GetAllCookies(Cookies done) override { done(held); }
    // Reports what is pending now; work those reports start waits for the next call.
    void ReportAll() {
        std::deque<Done> now;
        now.swap(pending);
        for (auto& done : now) done(true);
    }
};

struct RecordingManager : IInterAppMessagingManager {
    std::vector<std::string> sent;
    size_t sendLimit = 102377;
    bool Start() override { return true; }
    bool Stop() override { return true; }
    bool Send(const std::string& text) override {
        if (text.size() > sendLimit) return false;
        sent.push_back(text);
        return true;
    }
    bool Subscribe(const std::shared_ptr<IInterAppMessageObserver>&) override { return true; }
    bool UnSubscribe(const std::shared_ptr<IInterAppMessageObserver>&) override { return true; }
    t_enumInterAppMessageManagerState GetManagerState() override { return eIdle; }
    void Cleanup() override {}
};

class CookieCommandTest : public HandlerTest {
  protected:
    void SetUp() override {
        HandlerTest::SetUp();
        managerFactory = [this](const std::vector<unsigned>&) { return manager; };
        MakeHandler();
        handler->Messaging().CheckNativeMessageListenerIntegrity(*handler);
        observer = std::make_shared<CCookieObserver>(nullptr, store);
        observer->SetClientHandler(handler);
    }
    void TearDown() override {
        observer.reset();
        handler->QuitRoad().CleanupRefs();
        HandlerTest::TearDown();
    }
    std::shared_ptr<FakeCookieStore> store = std::make_shared<FakeCookieStore>();
    std::shared_ptr<RecordingManager> manager = std::make_shared<RecordingManager>();
    std::shared_ptr<CCookieObserver> observer;
};

TEST_F(CookieCommandTest, EmptiesTheStoreThenSetsEveryCookieAndAnswers101OnceAllAreStored) {
    const std::string request = SetCookies(
        "[" + Entry("https://a.example/", {CookieJson("a"), CookieJson("b")}) + "," +
        Entry("https://www.b.example/", {CookieJson("c", "b.example"), CookieJson("d")}) + "]");
    observer->OnInterAppMessageRceive(ParseInterAppMessage(request));
    EXPECT_EQ(store->calls,
              (std::vector<std::string>{"delete"}));  // the sets wait for the deletion
    store->ReportAll();
    EXPECT_EQ(store->calls,
              (std::vector<std::string>{"delete", "set a", "set b", "set c", "set d"}));
    ASSERT_EQ(store->set.size(), 4u);
    EXPECT_EQ(store->set[0].domain, "a.example");
    EXPECT_EQ(store->set[2].domain, ".b.example");
    EXPECT_EQ(store->set[3].domain, "www.b.example");
    EXPECT_TRUE(manager->sent.empty());  // nothing answered before the store has reported
    store->ReportAll();
    EXPECT_EQ(manager->sent, (std::vector<std::string>{Response(request, 101)}));
}

TEST_F(CookieCommandTest, AnswersInTheOrderOfTheRequestsAndTheLastOnesCookiesRemain) {
    const std::string first =
        SetCookies("[" + Entry("https://a.example/", {CookieJson("one")}) + "]", "1");
    const std::string unreadable = SetCookies(R"([{"url":"https://a.example/"}])", "2");
    const std::string second =
        SetCookies("[" + Entry("https://a.example/", {CookieJson("two")}) + "]", "3");
    observer->OnInterAppMessageRceive(ParseInterAppMessage(first));
    observer->OnInterAppMessageRceive(ParseInterAppMessage(unreadable));
    observer->OnInterAppMessageRceive(ParseInterAppMessage(second));
    store->ReportAll();  // the first's deletion
    store->ReportAll();  // the first's cookie
    EXPECT_EQ(manager->sent,
              (std::vector<std::string>{Response(first, 101), Response(unreadable, 501)}));
    store->ReportAll();
    store->ReportAll();
    EXPECT_EQ(store->calls, (std::vector<std::string>{"delete", "set one", "delete", "set two"}));
    EXPECT_EQ(manager->sent,
              (std::vector<std::string>{Response(first, 101), Response(unreadable, 501),
                                        Response(second, 101)}));
}

TEST_F(CookieCommandTest, FailuresAnswer501AndOnlyAReadableValidRequestTouchesTheStore) {
    struct Case {
        const char* what;
        std::string request;
        std::vector<std::string> calls;
    };
    const std::string url = "https://a.example/";
    const std::vector<Case> cases = {
        {"empty domains empty the store", SetCookies("[]"), {"delete"}},
        {"cookie without path",
         SetCookies("[" +
                    Entry(url, {CookieJson("a"), R"({"name":"b","value":"v","hostOnly":true})"}) +
                    "]"),
         {}},
        {"value holding ';'",
         SetCookies("[" + Entry(url, {CookieJson("a"), CookieJson("b;c")}) + "]"),
         {}},
        {"domain of another site",
         SetCookies("[" + Entry(url, {CookieJson("a", "b.example")}) + "]"),
         {}},
        {"one cookie refused by the store",
         SetCookies("[" + Entry(url, {CookieJson("a"), CookieJson("refused")}) + "]"),
         {"delete", "set a", "set refused", "delete"}},  // the old (empty) set put back
        {"one cookie dropped by the store",
         SetCookies("[" + Entry(url, {CookieJson("a"), CookieJson("dropped")}) + "]"),
         {"delete", "set a", "set dropped", "delete"}},
        {"name and value not strings",
         SetCookies("[" +
                    Entry(url, {CookieJson("a"), R"({"name":null,"value":12,"hostOnly":true,)"
                                                 R"("path":"/","secure":false,"httpOnly":false,)"
                                                 R"("session":true})"}) +
                    "]"),
         {}},
        {"public-suffix domain",
         SetCookies("[" + Entry("http://victim.co.uk/", {CookieJson("a", ".co.uk")}) + "]"),
         {}},
    };
    store->failName = "refused";
    store->dropName = "dropped";
    for (const auto& c : cases) {
        store->calls.clear();
        manager->sent.clear();
        observer->OnInterAppMessageRceive(ParseInterAppMessage(c.request));
        for (int i = 0; i < 4; ++i) store->ReportAll();
        EXPECT_EQ(store->calls, c.calls) << c.what;
        EXPECT_EQ(manager->sent, (std::vector<std::string>{Response(c.request, 501)})) << c.what;
    }
}

TEST_F(CookieCommandTest, AQuitLetsTheRequestWithTheStoreEndAndDropsThoseNotBegun) {
    const std::string url = "https://a.example/";
    const std::string first = SetCookies("[" + Entry(url, {CookieJson("one")}) + "]", "1");
    const std::string second = SetCookies("[" + Entry(url, {CookieJson("two")}) + "]", "2");
    observer->OnInterAppMessageRceive(ParseInterAppMessage(first));
    observer->OnInterAppMessageRceive(ParseInterAppMessage(second));
    int finished = 0;
    observer->FinishInFlight([&finished] { ++finished; });
    store->ReportAll();  // the deletion
    EXPECT_EQ(finished, 0);
    store->ReportAll();  // the cookie
    EXPECT_EQ(finished, 1);
    store->ReportAll();
    EXPECT_EQ(store->calls, (std::vector<std::string>{"delete", "set one"}));
    EXPECT_EQ(manager->sent, (std::vector<std::string>{Response(first, 101)}));
    observer->FinishInFlight([&finished] { ++finished; });  // nothing in flight: at once
    EXPECT_EQ(finished, 2);
}

TEST_F(CookieCommandTest, AJournalCoversTheStoresChangesAndACutOffOneIsMadeAgain) {
    const std::string journal = root + "/PendingCookies.json";
    const std::string cutOff =
        SetCookies("[" + Entry("https://a.example/", {CookieJson("cut")}) + "]", "cut");
    ASSERT_TRUE(WriteFileAtomically(journal, cutOff));
    observer->ResumeInterruptedRequest(journal);
    EXPECT_EQ(store->calls, (std::vector<std::string>{"delete"}));
    EXPECT_TRUE(FileExists(journal));  // until the store has made the changes
    store->ReportAll();
    store->ReportAll();
    EXPECT_EQ(store->calls, (std::vector<std::string>{"delete", "set cut"}));
    EXPECT_FALSE(FileExists(journal));
    EXPECT_TRUE(manager->sent.empty());  // nobody asked: nobody is answered

    // A peer's request is journaled while the store works on it; a refused one never is.
    const std::string request =
        SetCookies("[" + Entry("https://a.example/", {CookieJson("next")}) + "]");
    observer->OnInterAppMessageRceive(ParseInterAppMessage(request));
    EXPECT_EQ(ReadFile(journal), request);
    store->ReportAll();
    store->ReportAll();
    EXPECT_FALSE(FileExists(journal));
    observer->OnInterAppMessageRceive(ParseInterAppMessage(
        SetCookies("[" + Entry("https://a.example/", {CookieJson("a;b")}) + "]")));
    EXPECT_FALSE(FileExists(journal));

    // A journal that is no request is removed and changes nothing.
    store->calls.clear();
    ASSERT_TRUE(WriteFileAtomically(journal, "{torn"));
    observer->ResumeInterruptedRequest(journal);
    EXPECT_FALSE(FileExists(journal));
    EXPECT_TRUE(store->calls.empty());
}

TEST_F(CookieCommandTest, AFailingStoreGetsItsOldCookiesBackAndKeepsTheJournalUntilThen) {
    const std::string journal = root + "/PendingCookies.json";
    observer->ResumeInterruptedRequest(journal);
    const auto old = [](const char* name) {
        engine::CookieRecord r;
        r.name = name;
        r.value = "old";
        r.domain = "a.example";
        r.path = "/";
        return r;
    };
    const auto names = [](const std::vector<engine::CookieRecord>& records) {
        std::set<std::string> out;
        for (const auto& r : records) out.insert(r.name + "=" + r.value);
        return out;
    };
    const std::string url = "https://a.example/";
    struct Case {
        const char* what;
        std::set<int> failedDeletions;
        const char* failName;
        const char* dropName;
        bool oldBack;
    };
    const std::vector<Case> cases = {
        {"the deletion fails", {1}, "", "", true},
        {"an addition fails", {}, "refused", "", true},
        {"a cookie is dropped", {}, "", "dropped", true},
        {"the deletion fails, and so does putting back", {1}, "o1", "", false},
        {"an addition fails, and so does the second emptying", {2}, "refused", "", false},
    };
    for (const auto& c : cases) {
        store->held = {old("o1"), old("o2")};
        store->calls.clear();
        store->deletions = 0;
        store->failedDeletions = c.failedDeletions;
        store->failName = c.failName;
        store->dropName = c.dropName;
        manager->sent.clear();
        const std::string request = SetCookies(
            "[" + Entry(url, {CookieJson("n1"), CookieJson("refused"), CookieJson("dropped")}) +
            "]");
        observer->OnInterAppMessageRceive(ParseInterAppMessage(request));
        for (int i = 0; i < 6; ++i) store->ReportAll();
        EXPECT_EQ(manager->sent, (std::vector<std::string>{Response(request, 501)})) << c.what;
        if (c.failedDeletions.count(1)) {
            EXPECT_EQ(std::count(store->calls.begin(), store->calls.end(), "set n1"), 0) << c.what;
        }
        if (c.oldBack) {
            EXPECT_EQ(names(store->held), (std::set<std::string>{"o1=old", "o2=old"})) << c.what;
        }
        // A store left with neither set keeps the journal: the next start makes the request again.
        EXPECT_EQ(FileExists(journal), !c.oldBack) << c.what;
        ::unlink(journal.c_str());
    }
}

TEST(CountNotHeld, KnowsACookieByNameDomainAndPathAndExpectsNoExpiredOne) {
    const auto rec = [](std::string name, std::string value, std::string domain = "a.example",
                        std::optional<double> expires = std::nullopt) {
        engine::CookieRecord r;
        r.name = std::move(name);
        r.value = std::move(value);
        r.domain = std::move(domain);
        r.path = "/";
        r.expires = expires;
        return r;
    };
    using Records = std::vector<engine::CookieRecord>;
    const struct {
        const char* what;
        Records wanted, held;
        size_t missing;
    } cases[] = {
        {"all held", {rec("a", "1"), rec("b", "2")}, {rec("b", "2"), rec("a", "1")}, 0},
        {"one dropped", {rec("a", "1"), rec("b", "2")}, {rec("a", "1")}, 1},
        {"another value", {rec("a", "1")}, {rec("a", "x")}, 1},
        {"another domain", {rec("a", "1")}, {rec("a", "1", ".a.example")}, 1},
        {"the later of two replaces the earlier",
         {rec("a", "1"), rec("a", "2")},
         {rec("a", "2")},
         0},
        {"expired already", {rec("a", "1", "a.example", 5.0)}, {}, 0},
        {"expires later", {rec("a", "1", "a.example", 500.0)}, {}, 1},
        {"held twice counts once",
         {rec("a", "1"), rec("b", "2")},
         {rec("a", "1"), rec("a", "1")},
         1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountNotHeld(c.wanted, c.held, 100.0), c.missing) << c.what;
}

TEST_F(CookieCommandTest, OtherTargetsAndCommandsAreLeftAlone) {
    const std::string cookies = "[" + Entry("https://a.example/", {CookieJson("a")}) + "]";
    observer->OnInterAppMessageRceive(
        ParseInterAppMessage(SetCookies(cookies, "u", "browser.webapp.js")));
    observer->OnInterAppMessageRceive(ParseInterAppMessage(SetCookies(cookies, "u", "TVD.native")));
    observer->OnInterAppMessageRceive(ParseInterAppMessage(
        R"({"target":"tvd.native","message":{"sub_type":"bringWindowToFront"}})"));
    observer->OnInterAppMessageRceive(ParseInterAppMessage("not json"));
    EXPECT_TRUE(store->calls.empty());
    EXPECT_TRUE(manager->sent.empty());
}

TEST_F(CookieCommandTest, AReleasedObserverSendsNothingWhenTheStoreReportsLate) {
    observer->OnInterAppMessageRceive(ParseInterAppMessage(
        SetCookies("[" + Entry("https://a.example/", {CookieJson("a")}) + "]")));
    observer.reset();
    store->ReportAll();
    store->ReportAll();
    EXPECT_TRUE(manager->sent.empty());
}

TEST_F(CookieCommandTest, WithoutAStoreEveryRequestIsAnswered501) {
    auto noStore = std::make_shared<CCookieObserver>(nullptr, nullptr);
    noStore->SetClientHandler(handler);
    const std::string request =
        SetCookies("[" + Entry("https://a.example/", {CookieJson("a")}) + "]");
    noStore->OnInterAppMessageRceive(ParseInterAppMessage(request));
    EXPECT_EQ(manager->sent, (std::vector<std::string>{Response(request, 501)}));
}

TEST_F(CookieCommandTest, AnAnswerTooLongToSendCarriesTheRequestsEnvelopeOnly) {
    manager->sendLimit = 600;
    std::vector<std::string> many;
    for (int i = 0; i < 10; ++i) many.push_back(CookieJson("c" + std::to_string(i)));
    const std::string request =
        SetCookies("[" + Entry("https://a.example/", many) + "]", R"(big \"one\")");
    observer->OnInterAppMessageRceive(ParseInterAppMessage(request));
    store->ReportAll();
    store->ReportAll();
    const std::string envelope =
        R"({"source":"browser.extension","target":"tvd.native","message":{"type":"request",)"
        R"("sub_type":"setCookies","payload":{}},"umid":"big \"one\""})";
    EXPECT_EQ(manager->sent, (std::vector<std::string>{Response(envelope, 101)}));
}

// ---- the window command ----
class WindowCommandTest : public HandlerTest {
  protected:
    void SetUp() override {
        HandlerTest::SetUp();
        MakeHandler();
        observer = std::make_shared<CNativeWindowObserver>(
            std::shared_ptr<CWindowOperations>(handler, &handler->WindowOps()));
        window->calls.clear();
    }
    void TearDown() override {
        observer.reset();
        HandlerTest::TearDown();
    }
    std::shared_ptr<CNativeWindowObserver> observer;
};

TEST_F(WindowCommandTest, BringWindowToFrontRaisesAWindowInTheBackgroundOnce) {
    window->foreground = false;
    observer->OnInterAppMessageRceive(ParseInterAppMessage(
        R"({"source":"ext","target":"tvd.native","message":{"type":"request","sub_type":"bringWindowToFront","payload":{}},"umid":"w"})"));
    EXPECT_EQ(window->calls, (std::vector<std::string>{"Present"}));
    EXPECT_EQ(handler->updateTriggers, 1);
}

TEST_F(WindowCommandTest, OtherTargetsAndCommandsAreLeftAlone) {
    window->foreground = false;
    observer->OnInterAppMessageRceive(ParseInterAppMessage(
        R"({"target":"browser.webapp.js","message":{"sub_type":"bringWindowToFront"}})"));
    observer->OnInterAppMessageRceive(
        ParseInterAppMessage(R"({"target":"tvd.native","message":{"sub_type":"navigate"}})"));
    observer->OnInterAppMessageRceive(ParseInterAppMessage(R"({"target":"tvd.native"})"));
    EXPECT_TRUE(window->calls.empty());
    EXPECT_EQ(handler->updateTriggers, 0);
}
}  // namespace tvc::test
