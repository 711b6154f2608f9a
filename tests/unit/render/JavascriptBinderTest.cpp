// window.tvd as built, the full-screen property, the quit wait and the machine identifier.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "FakeScript.h"
#include "common/AppProps.h"
#include "common/ProcessMessages.h"
#include "render/JavascriptBinder.h"
#include "render/MachineId.h"

namespace tvc::render::test {
namespace {
namespace fs = std::filesystem;

class JavascriptBinderTest : public BoundPageTest {
  protected:
    JSValueRef FullScreen() {
        return page.context->m_global->GetValue("fullscreenhandler")->GetValue("fullscreen");
    }
    bool SetFullScreen(const std::shared_ptr<FakeContext>& ctx, JSValueRef v) {
        ctx->m_lastException.clear();
        return ctx->m_global->GetValue("fullscreenhandler")->SetValue("fullscreen", v);
    }
    // A page that subscribes to the quit event and leaves `quitApp` alone.
    void SubscribeToQuit() {
        page.context->Call("tvd", "Subscribe",
                           {Str("OnBeforeAppQuit"),
                            page.context->Function([](const JSValueList&) { return nullptr; })});
    }
};

TEST_F(JavascriptBinderTest, HostObjectHasEveryMemberInOrder) {
    auto* tvd = dynamic_cast<FakeValue*>(page.context->Tvd().get());
    ASSERT_TRUE(tvd);
    std::vector<std::string> expected{"available",
                                      "version",
                                      "Subscribe",
                                      "Unsubscribe",
                                      "onTavistoStatusChange",
                                      "SendInterAppMessage",
                                      "SetWindowSize",
                                      "SetMinimumWindowSize",
                                      "StickWindowOnTop",
                                      "IsWindowStickyOnTop",
                                      "MaximizeWindow",
                                      "MinimizeWindow",
                                      "BringWindowToFront",
                                      "showSplashScreen",
                                      "hideSplashScreen",
                                      "onJSAppReady",
                                      "quitApp",
                                      "appQuitResponseTimeout",
                                      "SetLocale",
                                      "GetLocale",
                                      "GetMechineID",
                                      "SetStartUrl",
                                      "GetStartUrl",
                                      "IsAppActive",
                                      "IsAppMinimized",
                                      "SetAppcastURL",
                                      "propMDConfigBaseURL",
                                      "propLocalTimeMap",
                                      "setPopUpDomain",
                                      "SetFocusToWindow",
                                      "HideApp",
                                      "LaunchURL"};
    EXPECT_EQ(tvd->m_keys, expected);
    EXPECT_EQ(tvd->GetValue("available")->GetIntValue(), 1);
    EXPECT_EQ(tvd->GetValue("version")->GetStringValue(), "1.2.8.362");
    EXPECT_FALSE(tvd->GetValue("quitApp")->GetBoolValue());
    EXPECT_EQ(tvd->GetValue("appQuitResponseTimeout")->GetIntValue(), 6);
    EXPECT_EQ(tvd->GetValue("propMDConfigBaseURL")->GetStringValue(), kDefaultConfigBaseURL);
    // An unknown name on the shared handler gives undefined; every function member has its
    // operation.
    JSValueRef retval;
    std::string exception;
    EXPECT_FALSE(
        binder->GetHandler()->Execute("Nope", page.context, nullptr, {}, retval, exception));
    for (const std::string& key : tvd->m_keys) {
        if (!tvd->GetValue(key)->IsFunction()) continue;
        retval = nullptr;
        EXPECT_TRUE(
            binder->GetHandler()->Execute(key, page.context, nullptr, {}, retval, exception))
            << key;
        EXPECT_TRUE(retval) << key;
    }
}

TEST_F(JavascriptBinderTest, ConfigBaseURLComesFromThePreferencesFirst) {
    ASSERT_TRUE(CAppProps::WriteProperty("url", "mdurl", "https://cfg.example/"));
    auto sub = page.AddFrame(2, false);
    ASSERT_TRUE(binder->JSConstructNativeHostContext(sub, page.browser));
    EXPECT_EQ(sub->Tvd()->GetValue("propMDConfigBaseURL")->GetStringValue(),
              "https://cfg.example/");
}

TEST_F(JavascriptBinderTest, AFailedAttachLeavesNoHostObjectsAndNoHandler) {
    auto sub = page.AddFrame(2, false);
    sub->m_global->m_bFrozen = true;
    auto fresh = std::make_shared<CJavascriptBinder>(page.env);
    EXPECT_FALSE(fresh->JSConstructNativeHostContext(sub, page.browser));
    EXPECT_FALSE(fresh->GetHandler());
    EXPECT_FALSE(sub->m_global->GetValue("fullscreenhandler")->IsObject());
}

TEST_F(JavascriptBinderTest, FullScreenPropertySendsOnlyChanges) {
    EXPECT_FALSE(FullScreen()->GetBoolValue());
    EXPECT_TRUE(FullScreen()->IsBool());
    EXPECT_TRUE(SetFullScreen(page.context, Boolean(true)));
    EXPECT_TRUE(SetFullScreen(page.context, Boolean(true)));
    EXPECT_EQ(page.browser->m_sent.size(), 1u);
    EXPECT_EQ(page.browser->m_sent[0].name, msg::kFullScreen);
    EXPECT_EQ(page.browser->m_sent[0].args, ListValue{Value(true)});
    EXPECT_TRUE(FullScreen()->GetBoolValue());

    for (JSValueRef bad : {Int(1), Str("true"), Null()}) {
        EXPECT_FALSE(SetFullScreen(page.context, bad));
        EXPECT_EQ(page.context->m_lastException, "Invalid value type");
    }
    EXPECT_EQ(page.browser->m_sent.size(), 1u);
    EXPECT_TRUE(FullScreen()->GetBoolValue());

    // A reload gets a fresh accessor: false, and assigning false sends nothing.
    auto reloaded = page.AddFrame(3, true);
    ASSERT_TRUE(binder->JSConstructNativeHostContext(reloaded, page.browser));
    EXPECT_FALSE(
        reloaded->m_global->GetValue("fullscreenhandler")->GetValue("fullscreen")->GetBoolValue());
    EXPECT_TRUE(SetFullScreen(reloaded, Boolean(false)));
    EXPECT_EQ(page.browser->m_sent.size(), 1u);
    EXPECT_TRUE(SetFullScreen(reloaded, Boolean(true)));
    EXPECT_TRUE(SetFullScreen(reloaded, Boolean(false)));
    EXPECT_EQ(page.browser->m_sent.size(), 3u);
    // The old page's object keeps its own state.
    EXPECT_TRUE(FullScreen()->GetBoolValue());
}

TEST_F(JavascriptBinderTest, FullScreenAccessorRejectsOtherNames) {
    FullScreenAccessor accessor(page.browser);
    JSValueRef retval;
    std::string exception;
    EXPECT_FALSE(accessor.Get("", page.context, retval, exception));
    EXPECT_FALSE(accessor.Get("other", page.context, retval, exception));
    EXPECT_FALSE(accessor.Set("other", page.context, Boolean(true), exception));
    EXPECT_FALSE(accessor.Set("fullscreen", page.context, nullptr, exception));
    EXPECT_TRUE(exception.empty());
    EXPECT_TRUE(page.browser->m_sent.empty());
}

// Records every completion of the quit wait.
struct QuitDoneLog {
    std::vector<bool> results;
    CJavascriptBinder::QuitDone Callback() {
        return [this](bool r) { results.push_back(r); };
    }
};

TEST_F(JavascriptBinderTest, QuitWaitFollowsTheTimeoutProperty) {
    struct Case {
        JSValueRef timeout;  // null: the property is deleted
        size_t polls;
    } cases[] = {{Int(2), 20}, {Int(100), 60}, {Int(-1), 60}, {Int(0), 0},
                 {nullptr, 0}, {Dbl(2.5), 0},  {Str("3"), 0}};
    for (const auto& c : cases) {
        FakePage fresh;
        auto b = std::make_shared<CJavascriptBinder>(fresh.env);
        ASSERT_TRUE(b->JSConstructNativeHostContext(fresh.context, fresh.browser));
        fresh.context->Call("tvd", "Subscribe",
                            {Str("OnBeforeAppQuit"),
                             fresh.context->Function([](const JSValueList&) { return nullptr; })});
        if (c.timeout)
            fresh.context->Tvd()->SetValue("appQuitResponseTimeout", c.timeout);
        else
            fresh.context->Tvd()->DeleteValue("appQuitResponseTimeout");
        QuitDoneLog done;
        EXPECT_TRUE(b->HandleWebAppQuit(fresh.browser, done.Callback()));
        // Not before the wait is over: a poll is a main-loop timer, not a sleep.
        EXPECT_EQ(done.results.size(), c.polls == 0 ? 1u : 0u);
        fresh.runner->RunUntilIdle();
        EXPECT_EQ(fresh.runner->m_ranDelays, std::vector<int>(c.polls, 100));
        EXPECT_EQ(done.results, std::vector<bool>{true});
    }
}

TEST_F(JavascriptBinderTest, QuitWaitEndsOnARealTrueOnly) {
    // The page answers inside its subscriber: answered at once, no timer.
    page.context->Call("tvd", "Subscribe",
                       {Str("OnBeforeAppQuit"), page.context->Function([this](const JSValueList&) {
                            page.context->Tvd()->SetValue("quitApp", Boolean(true));
                            return nullptr;
                        })});
    QuitDoneLog done;
    EXPECT_TRUE(binder->HandleWebAppQuit(page.browser, done.Callback()));
    EXPECT_EQ(done.results, std::vector<bool>{true});
    EXPECT_TRUE(page.runner->m_tasks.empty());
    EXPECT_TRUE(binder->GetWebAppExitFlag());
    // Once done, a second request is answered at once without asking the page.
    EXPECT_TRUE(binder->HandleWebAppQuit(page.browser, done.Callback()));
    EXPECT_EQ(done.results, (std::vector<bool>{true, true}));

    FakePage other;
    auto b = std::make_shared<CJavascriptBinder>(other.env);
    ASSERT_TRUE(b->JSConstructNativeHostContext(other.context, other.browser));
    other.context->Call("tvd", "Subscribe",
                        {Str("OnBeforeAppQuit"),
                         other.context->Function([](const JSValueList&) { return nullptr; })});
    other.context->Tvd()->SetValue("appQuitResponseTimeout", Int(1));
    other.context->Tvd()->SetValue("quitApp", Int(1));
    EXPECT_TRUE(b->HandleWebAppQuit(other.browser, nullptr));
    other.runner->RunUntilIdle();
    EXPECT_EQ(other.runner->m_ranDelays.size(), 10u);
}

TEST_F(JavascriptBinderTest, PageAnswersBetweenPollsFromItsOwnTimer) {
    SubscribeToQuit();
    QuitDoneLog done;
    ASSERT_TRUE(binder->HandleWebAppQuit(page.browser, done.Callback()));
    // Three polls go unanswered; the page's own timer then answers, the next poll hears it.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(page.runner->m_tasks.size(), 1u);
        EXPECT_EQ(page.runner->m_tasks[0].delayMs, 100);
        page.runner->RunAll();
    }
    // A request during the wait joins it rather than answering ahead of the page.
    EXPECT_TRUE(binder->HandleWebAppQuit(page.browser, done.Callback()));
    EXPECT_TRUE(done.results.empty());
    page.context->Tvd()->SetValue("quitApp", Boolean(true));
    page.runner->RunUntilIdle();
    EXPECT_EQ(page.runner->m_ranDelays.size(), 1u);  // the fourth poll ends it
    EXPECT_EQ(done.results, (std::vector<bool>{true, true}));
}

TEST_F(JavascriptBinderTest, QuitWaitStopsWhenThePageGoesAway) {
    SubscribeToQuit();
    QuitDoneLog done;
    ASSERT_TRUE(binder->HandleWebAppQuit(page.browser, done.Callback()));
    page.context->m_bValid = false;  // the page navigated or its frame went
    page.runner->RunUntilIdle();
    EXPECT_EQ(page.runner->m_ranDelays.size(), 1u);
    EXPECT_EQ(done.results, std::vector<bool>{true});
}

TEST_F(JavascriptBinderTest, QuitWithoutAPageToAskFails) {
    QuitDoneLog done;
    EXPECT_FALSE(binder->HandleWebAppQuit(nullptr, done.Callback()));
    EXPECT_FALSE(binder->HandleWebAppQuit(page.browser, done.Callback()));  // no subscriber
    EXPECT_FALSE(binder->GetWebAppExitFlag());
    // A subscriber exists, but the page deleted window.tvd: there is nothing to poll.
    SubscribeToQuit();
    page.context->m_global->DeleteValue("tvd");
    EXPECT_FALSE(binder->HandleWebAppQuit(page.browser, done.Callback()));
    page.browser->m_mainFrame.reset();
    EXPECT_FALSE(binder->HandleWebAppQuit(page.browser, done.Callback()));
    EXPECT_EQ(done.results, std::vector<bool>(4, false));
    EXPECT_TRUE(page.runner->m_tasks.empty());
}

TEST_F(JavascriptBinderTest, AMainFrameWithoutTheBridgeHearsNothingOfTheQuit) {
    // The bridge is in a sub-frame of the application's origin; the main frame, of another
    // origin, made a `tvd` of its own that would hold the quit for six seconds.
    FakePage foreign;
    auto sub = foreign.AddFrame(2, false);
    auto b = std::make_shared<CJavascriptBinder>(foreign.env);
    ASSERT_TRUE(b->JSConstructNativeHostContext(sub, foreign.browser));
    int fired = 0;
    sub->Call("tvd", "Subscribe", {Str("OnBeforeAppQuit"), sub->Function([&](const JSValueList&) {
                                       ++fired;
                                       return nullptr;
                                   })});
    JSValueRef made = foreign.context->NewObject();
    made->SetValue("quitApp", Boolean(false));
    made->SetValue("appQuitResponseTimeout", Int(6));
    foreign.context->m_global->SetValue("tvd", made);
    QuitDoneLog done;
    EXPECT_FALSE(b->HandleWebAppQuit(foreign.browser, done.Callback()));
    EXPECT_EQ(done.results, std::vector<bool>{false});
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(foreign.runner->m_tasks.empty());
}

TEST_F(JavascriptBinderTest, MachineIdIsADigestInTheUsualForm) {
    EXPECT_EQ(page.context->Call("tvd", "GetMechineID", {})->GetStringValue(),
              "0123456789ABCDEF0123456789ABCDEF");
    const std::string id = "3f1c2a0b9d8e4f7a6b5c4d3e2f1a0b9c";
    std::string digest = ComputeMechineID(id + "\n");
    EXPECT_TRUE(std::regex_match(digest, std::regex("[0-9A-F]{32}"))) << digest;
    EXPECT_NE(digest, "3F1C2A0B9D8E4F7A6B5C4D3E2F1A0B9C");  // never the raw id
    EXPECT_EQ(ComputeMechineID("3F1C2A0B9D8E4F7A6B5C4D3E2F1A0B9C"), digest);
    EXPECT_NE(ComputeMechineID("3f1c2a0b9d8e4f7a6b5c4d3e2f1a0b9d"), digest);
    EXPECT_EQ(ComputeMechineID(""), "");
    EXPECT_EQ(ComputeMechineID("not-an-id"), "");
    EXPECT_EQ(ComputeMechineID("3f1c2a0b-9d8e-4f7a-6b5c-4d3e2f1a0b9c"), "");

    // The first readable file wins; a missing or empty one falls through.
    std::ofstream(folder / "empty") << "";
    std::ofstream(folder / "dbus") << id << "\n";
    EXPECT_EQ(ReadMechineID({(folder / "missing").string(), (folder / "empty").string(),
                             (folder / "dbus").string()}),
              digest);
    EXPECT_EQ(ReadMechineID({(folder / "missing").string()}), "");
}

TEST_F(JavascriptBinderTest, AnUnreadableMachineIdKeepsTheLastOne) {
    page.env->readMachineId = [] { return std::string(); };
    auto sub = page.AddFrame(2, false);
    ASSERT_TRUE(binder->JSConstructNativeHostContext(sub, page.browser));
    EXPECT_EQ(sub->Call("tvd", "GetMechineID", {})->GetStringValue(),
              "0123456789ABCDEF0123456789ABCDEF");
}
}  // namespace
}  // namespace tvc::render::test
