// The `window.tvd` functions: argument checks, what they send, subscriptions and firing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FakeScript.h"
#include "common/AppOrigins.h"
#include "common/AppProps.h"
#include "common/ProcessMessages.h"
#include "render/JavascriptBinder.h"

namespace tvc::render::test {
namespace {
namespace fs = std::filesystem;

class JavascriptHandlerTest : public BoundPageTest {
  protected:
    JSValueRef Call(const std::string& fn, const JSValueList& args = {}) {
        return page.context->Call("tvd", fn, args);
    }
    JSValueRef Recorder(std::vector<std::string>& log, std::string tag) {
        return page.context->Function([&log, tag](const JSValueList&) {
            log.push_back(tag);
            return nullptr;
        });
    }
    bool Fire(const std::string& event) { return binder->GetHandler()->JSFireMethods(event, {}); }
};

TEST_F(JavascriptHandlerTest, RequestsSendTheirMessagesWithTheirArguments) {
    struct Case {
        const char* fn;
        JSValueList args;
        ProcessMessage expected;
    } cases[] = {
        {"SendInterAppMessage", {Str("{}")}, {msg::kNativeMessageFromTvdJs, {Value("{}"), 0}}},
        {"SetWindowSize", {Int(800), Int(600)}, {msg::kSetWindowSize, {Value(800), Value(600)}}},
        {"SetMinimumWindowSize",
         {Int(400), Int(300)},
         {msg::kSetMinimumWindowSize, {Value(400), Value(300)}}},
        {"StickWindowOnTop", {Boolean(true)}, {msg::kStickWindowOnTop, {Value(true)}}},
        {"IsWindowStickyOnTop", {Boolean(true)}, {msg::kIsWindowStickyOnTop, {Value(true)}}},
        {"MaximizeWindow", {}, {msg::kMaximizeWindow, {}}},
        {"MinimizeWindow", {}, {msg::kMinimizeWindow, {}}},
        {"BringWindowToFront", {}, {msg::kBringWindowToFront, {Value(0)}}},
        {"BringWindowToFront", {Int(1)}, {msg::kBringWindowToFront, {Value(1)}}},
        // A missing or mistyped flag reads as 0 or false, as the page's contract says.
        {"BringWindowToFront", {Undefined()}, {msg::kBringWindowToFront, {Value(0)}}},
        {"BringWindowToFront", {Boolean(true)}, {msg::kBringWindowToFront, {Value(0)}}},
        {"BringWindowToFront", {Str("1")}, {msg::kBringWindowToFront, {Value(0)}}},
        {"BringWindowToFront", {Dbl(1.5)}, {msg::kBringWindowToFront, {Value(0)}}},
        {"StickWindowOnTop", {}, {msg::kStickWindowOnTop, {Value(false)}}},
        {"StickWindowOnTop", {Int(1)}, {msg::kStickWindowOnTop, {Value(false)}}},
        {"IsWindowStickyOnTop", {Str("true")}, {msg::kIsWindowStickyOnTop, {Value(false)}}},
        {"hideSplashScreen", {}, {msg::kHideSplashScreen, {}}},
        {"showSplashScreen", {}, {msg::kShowSplashScreen, {}}},
        {"onJSAppReady", {}, {msg::kJSOnAppReadyEvent, {}}},
        {"SetLocale", {Str("fr_FR")}, {msg::kSetLocale, {Value("fr_FR")}}},
        {"setPopUpDomain", {Str("a.com,b.com")}, {msg::kSetPopupDomain, {Value("a.com,b.com")}}},
        {"SetAppcastURL",
         {Str("https://u.example/a/")},
         {msg::kSetAppcastURL, {Value("https://u.example/a/")}}},
        {"SetFocusToWindow", {}, {msg::kSetFocus, {}}},
        {"HideApp", {}, {msg::kHideApp, {}}},
        {"LaunchURL", {Str("https://x.example")}, {msg::kLaunchURL, {Value("https://x.example")}}},
        {"onTavistoStatusChange",
         {Str("a"), Str("b"), Int(2)},
         {msg::kAppCommandVisibility, {Value(true)}}},
        {"onTavistoStatusChange",
         {Str(""), Str(""), Int(1)},
         {msg::kAppCommandVisibility, {Value(false)}}},
    };
    for (const auto& c : cases) {
        page.browser->m_sent.clear();
        JSValueRef result = Call(c.fn, c.args);
        ASSERT_TRUE(result) << c.fn;
        EXPECT_TRUE(result->GetBoolValue()) << c.fn;
        ASSERT_EQ(page.browser->m_sent.size(), 1u) << c.fn;
        EXPECT_EQ(page.browser->m_sent[0].name, c.expected.name);
        EXPECT_EQ(page.browser->m_sent[0].args, c.expected.args) << c.fn;
    }
    // A refused send is reported to the page.
    page.browser->m_bSendResult = false;
    EXPECT_FALSE(Call("HideApp")->GetBoolValue());
}

TEST_F(JavascriptHandlerTest, WithoutKeepAboveTheStickyAnswersNeverClaimIt) {
    page.env->canKeepAbove = false;
    struct Case {
        const char* fn;
        bool arg;
        bool answer;
    } cases[] = {
        {"StickWindowOnTop", true, false},
        {"StickWindowOnTop", false, true},
        {"IsWindowStickyOnTop", true, false},
        {"IsWindowStickyOnTop", false, false},
    };
    for (const auto& c : cases) {
        page.browser->m_sent.clear();
        EXPECT_EQ(Call(c.fn, {Boolean(c.arg)})->GetBoolValue(), c.answer) << c.fn << " " << c.arg;
        // The browser side still hears the request.
        EXPECT_EQ(page.browser->m_sent.size(), 1u) << c.fn;
    }
}

TEST_F(JavascriptHandlerTest, BadArgumentsSendNothingAndAnswerAsTheTableSays) {
    struct Case {
        const char* fn;
        JSValueList args;
        bool answer;
    } cases[] = {
        {"SendInterAppMessage", {}, false},
        {"SendInterAppMessage", {Str("a"), Str("b")}, false},
        {"SendInterAppMessage", {Int(3)}, false},
        {"SetWindowSize", {}, false},
        {"SetWindowSize", {Int(800)}, false},
        {"SetWindowSize", {Int(800), Str("600")}, false},
        {"SetWindowSize", {Dbl(800.5), Int(600)}, false},
        {"SetMinimumWindowSize", {Int(1)}, false},
        {"SetLocale", {}, false},
        {"SetLocale", {Int(5)}, false},
        {"setPopUpDomain", {}, false},
        {"SetAppcastURL", {}, false},
        {"SetAppcastURL", {Str("a"), Str("b")}, false},
        {"SetAppcastURL", {Null()}, false},
        {"LaunchURL", {}, false},
        {"onTavistoStatusChange", {Str("a"), Str("b")}, true},
        {"onTavistoStatusChange", {Str("a"), Str("b"), Str("2")}, true},
        {"Subscribe", {}, true},
        {"Subscribe", {Str("e")}, true},
        {"Subscribe", {Str("e"), Str("not a function")}, true},
        {"Unsubscribe", {}, true},
        {"Unsubscribe", {Int(1)}, true},
        {"SetStartUrl", {}, true},
        {"SetStartUrl", {Int(1)}, true},
    };
    for (const auto& c : cases) {
        JSValueRef result = Call(c.fn, c.args);
        ASSERT_TRUE(result && result->IsBool()) << c.fn;
        EXPECT_EQ(result->GetBoolValue(), c.answer)
            << c.fn << " with " << c.args.size() << " arguments";
    }
    EXPECT_TRUE(page.browser->m_sent.empty());
    EXPECT_EQ(binder->GetHandler()->GetRegistry().Size(), 0u);
    EXPECT_EQ(CAppProps::ReadProperty("url", "starturl"), "");
}

TEST_F(JavascriptHandlerTest, PreferencesReadAndWrittenByThePage) {
    EXPECT_EQ(Call("GetLocale")->GetStringValue(), "en_US");
    EXPECT_EQ(Call("GetStartUrl")->GetStringValue(), "");
    ASSERT_TRUE(CAppProps::WriteProperty("language", "locale", "fr_FR"));
    EXPECT_EQ(Call("GetLocale")->GetStringValue(), "fr_FR");
}

TEST_F(JavascriptHandlerTest, OnlyTheApplicationsOwnAddressesAreStoredAsTheStartAddress) {
    page.env->appOrigins =
        CAppOrigins({"file:///opt/tvc/TavistoForWeb.html", "https://a.example/desktop?locale="});
    const struct {
        const char* url;
        const char* stored;  // what the start address is afterwards
    } rows[] = {
        {"https://a.example/start", "https://a.example/start"},
        {"", "https://a.example/start"},
        {"https://evil.example/", "https://a.example/start"},
        {"https://a.example.evil.example/", "https://a.example/start"},
        {"http://a.example/start", "https://a.example/start"},  // another scheme
        {"https://a.example:8443/", "https://a.example/start"},
        {"file:///tmp/planted.html", "https://a.example/start"},
        {"javascript:alert(1)", "https://a.example/start"},
        // A line break would forge a second key.
        {"https://a.example\r\n[url]\r\nstarturl=evil", "https://a.example/start"},
        {"file:///opt/tvc/TavistoForWeb.html?locale=",
         "file:///opt/tvc/TavistoForWeb.html?locale="},
        {"HTTPS://A.EXAMPLE/other", "HTTPS://A.EXAMPLE/other"},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(Call("SetStartUrl", {Str(row.url)})->GetBoolValue()) << row.url;
        EXPECT_EQ(Call("GetStartUrl")->GetStringValue(), row.stored) << row.url;
    }
}

TEST_F(JavascriptHandlerTest, SubscribingTwiceFiresTwiceAndUnsubscribeRemovesTheEarliest) {
    std::vector<std::string> log;
    JSValueRef f = Recorder(log, "f");
    Call("Subscribe", {Str("E"), f});
    Call("Subscribe", {Str("E"), f});
    Call("Subscribe", {Str("E"), Recorder(log, "g")});
    EXPECT_TRUE(Fire("E"));
    EXPECT_EQ(log, (std::vector<std::string>{"f", "f", "g"}));
    log.clear();
    EXPECT_TRUE(Call("Unsubscribe", {Str("E")})->GetBoolValue());
    EXPECT_TRUE(Fire("E"));
    EXPECT_EQ(log, (std::vector<std::string>{"f", "g"}));
    EXPECT_TRUE(Call("Unsubscribe", {Str("none")})->GetBoolValue());
    EXPECT_FALSE(Fire("none"));
    EXPECT_FALSE(Fire(""));
}

TEST_F(JavascriptHandlerTest, EventsOfAReleasedContextAreNotFired) {
    std::vector<std::string> log;
    Call("Subscribe", {Str("E"), Recorder(log, "f")});
    binder->OnContextReleased(page.browser, page.frames[0], page.context);
    EXPECT_FALSE(Fire("E"));
    EXPECT_TRUE(log.empty());
    // A context that can no longer run script is skipped, even before its release.
    auto sub = page.AddFrame(2, false);
    binder->JSConstructNativeHostContext(sub, page.browser);
    sub->Call("tvd", "Subscribe", {Str("E"), Recorder(log, "s")});
    sub->m_bValid = false;
    EXPECT_FALSE(Fire("E"));
    EXPECT_TRUE(log.empty());
}

TEST_F(JavascriptHandlerTest, SubscribersMayChangeTheRegistryAndThrowWhileFired) {
    std::vector<std::string> log;
    auto& ctx = *page.context;
    // a: throws; b: removes a and itself (the two earliest), adds d; c: still called.
    Call("Subscribe", {Str("E"), ctx.Function([&](const JSValueList&) -> JSValueRef {
                           log.push_back("a");
                           throw ScriptThrow{};
                       })});
    Call("Subscribe", {Str("E"), ctx.Function([&](const JSValueList&) {
                           log.push_back("b");
                           Call("Unsubscribe", {Str("E")});
                           Call("Unsubscribe", {Str("E")});
                           Call("Subscribe", {Str("E"), Recorder(log, "d")});
                           return nullptr;
                       })});
    Call("Subscribe", {Str("E"), Recorder(log, "c")});
    EXPECT_TRUE(Fire("E"));
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
    log.clear();
    EXPECT_TRUE(Fire("E"));
    EXPECT_EQ(log, (std::vector<std::string>{"c", "d"}));

    // A subscriber that removes a later one before it runs: the later one is not called.
    log.clear();
    Call("Subscribe", {Str("F"), ctx.Function([&](const JSValueList&) {
                           log.push_back("x");
                           Call("Unsubscribe", {Str("F")});  // itself
                           Call("Unsubscribe", {Str("F")});  // y
                           return nullptr;
                       })});
    Call("Subscribe", {Str("F"), Recorder(log, "y")});
    EXPECT_TRUE(Fire("F"));
    EXPECT_EQ(log, std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace tvc::render::test
