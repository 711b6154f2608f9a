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
    // An unknown name on the shared handler gives undefined.
    JSValueRef retval;
    std::string exception;
    EXPECT_FALSE(
        binder->GetHandler()->Execute("Nope", page.context, nullptr, {}, retval, exception));
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
        EXPECT_TRUE(b->HandleWebAppQuit(fresh.browser));
        EXPECT_EQ(fresh.sleeps.size(), c.polls);
        for (int ms : fresh.sleeps) EXPECT_EQ(ms, 100);
    }
}

TEST_F(JavascriptBinderTest, QuitWaitEndsOnARealTrueOnly) {
    // The page answers inside its subscriber: no sleep at all.
    page.context->Call("tvd", "Subscribe",
                       {Str("OnBeforeAppQuit"), page.context->Function([this](const JSValueList&) {
                            page.context->Tvd()->SetValue("quitApp", Boolean(true));
                            return nullptr;
                        })});
    EXPECT_TRUE(binder->HandleWebAppQuit(page.browser));
    EXPECT_TRUE(page.sleeps.empty());
    EXPECT_TRUE(binder->GetWebAppExitFlag());
    // Once done, a second request returns at once without asking the page.
    EXPECT_TRUE(binder->HandleWebAppQuit(page.browser));

    FakePage other;
    auto b = std::make_shared<CJavascriptBinder>(other.env);
    ASSERT_TRUE(b->JSConstructNativeHostContext(other.context, other.browser));
    other.context->Call("tvd", "Subscribe",
                        {Str("OnBeforeAppQuit"),
                         other.context->Function([](const JSValueList&) { return nullptr; })});
    other.context->Tvd()->SetValue("appQuitResponseTimeout", Int(1));
    other.context->Tvd()->SetValue("quitApp", Int(1));
    EXPECT_TRUE(b->HandleWebAppQuit(other.browser));
    EXPECT_EQ(other.sleeps.size(), 10u);
}

TEST_F(JavascriptBinderTest, QuitWithoutAPageToAskFails) {
    EXPECT_FALSE(binder->HandleWebAppQuit(nullptr));
    EXPECT_FALSE(binder->HandleWebAppQuit(page.browser));  // no subscriber
    EXPECT_FALSE(binder->GetWebAppExitFlag());
    // A subscriber exists, but the page deleted window.tvd: there is nothing to poll.
    SubscribeToQuit();
    page.context->m_global->DeleteValue("tvd");
    EXPECT_FALSE(binder->HandleWebAppQuit(page.browser));
    page.browser->m_mainFrame.reset();
    EXPECT_FALSE(binder->HandleWebAppQuit(page.browser));
    EXPECT_TRUE(page.sleeps.empty());
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
