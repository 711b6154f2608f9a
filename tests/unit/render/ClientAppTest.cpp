// The application object: the `app` channel, contexts, and browser-to-page messages.
#include <gtest/gtest.h>

#include <map>
#include <string_view>

#include "FakeScript.h"
#include "common/ProcessMessages.h"
#include "render/ClientApp.h"
#include "render/SiteAddress.h"

namespace tvc::render::test {
namespace {

class ClientAppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app = std::make_shared<CTVCApp>(page.env);
        app->OnContextCreated(page.browser, page.frames[0], page.context);
        page.browser->m_sent.clear();
    }
    bool Receive(const std::string& name, ListValue args = {}) {
        return app->OnProcessMessageReceived(page.browser, ProcessId::Browser,
                                             {name, std::move(args)});
    }
    // Subscribes a recorder to `event` in the main context.
    std::shared_ptr<std::vector<JSValueList>> Record(const std::string& event) {
        auto calls = std::make_shared<std::vector<JSValueList>>();
        page.context->Call("tvd", "Subscribe",
                           {Str(event), page.context->Function([calls](const JSValueList& a) {
                                calls->push_back(a);
                                return nullptr;
                            })});
        return calls;
    }

    FakePage page;
    std::shared_ptr<CTVCApp> app;
};

TEST_F(ClientAppTest, SendMessageConvertsEverySupportedEntryAndNullsTheRest) {
    auto& ctx = *page.context;
    ctx.Call("app", "sendMessage",
             {Str(msg::kAppCommandVisibility),
              ctx.Array({Int(1), Dbl(2.5), Str("s"), Boolean(true), ctx.Array({Int(3)}), Null()})});
    ASSERT_EQ(page.browser->m_sent.size(), 1u);
    const auto& m = page.browser->m_sent[0];
    EXPECT_EQ(m.name, msg::kAppCommandVisibility);
    ListValue expected{Value(1), Value(2.5), Value("s"), Value(true), Value(ListValue{Value(3)}),
                       Value()};
    EXPECT_EQ(m.args, expected);
    // An object or a function in the array travels as null, index kept.
    ctx.Call("app", "sendMessage", {Str(msg::kHideApp), ctx.Array({ctx.NewObject(), Int(2)})});
    EXPECT_EQ(page.browser->m_sent[1].args, (ListValue{Value(), Value(2)}));
}

TEST_F(ClientAppTest, SendMessageWithoutAnArrayOrWithABadNameSendsNoArguments) {
    auto& ctx = *page.context;
    ctx.Call("app", "sendMessage", {Str(msg::kHideApp)});
    ctx.Call("app", "sendMessage", {Str(msg::kHideApp), Int(5)});
    ASSERT_EQ(page.browser->m_sent.size(), 2u);
    EXPECT_TRUE(page.browser->m_sent[0].args.empty());
    EXPECT_TRUE(page.browser->m_sent[1].args.empty());
    for (JSValueList bad : {JSValueList{Str("")}, JSValueList{}, JSValueList{Int(1)},
                            JSValueList{Str("a"), ctx.Array({}), Int(1)}}) {
        ctx.Call("app", "sendMessage", bad);
        EXPECT_EQ(ctx.m_lastException, "Invalid method arguments");
    }
    EXPECT_EQ(page.browser->m_sent.size(), 2u);
}

TEST_F(ClientAppTest, MessageCallbackKeepsTheFirstAndRemovesOnce) {
    auto& ctx = *page.context;
    int first = 0, second = 0;
    JSValueList seen;
    ctx.Call("app", "setMessageCallback", {Str("m"), ctx.Function([&](const JSValueList& a) {
                                               ++first;
                                               seen = a;
                                               return Boolean(true);
                                           })});
    ctx.Call("app", "setMessageCallback", {Str("m"), ctx.Function([&](const JSValueList&) {
                                               ++second;
                                               return Boolean(true);
                                           })});
    EXPECT_TRUE(Receive("m", {Value(4), Value(ListValue{Value("x")}), Value()}));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    // The callback gets [name, array made from the arguments].
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0]->GetStringValue(), "m");
    ASSERT_TRUE(seen[1]->IsArray());
    EXPECT_EQ(seen[1]->GetValue(0)->GetIntValue(), 4);
    EXPECT_EQ(seen[1]->GetValue(1)->GetValue(0)->GetStringValue(), "x");
    EXPECT_TRUE(seen[1]->GetValue(2)->IsNull());

    EXPECT_TRUE(ctx.Call("app", "removeMessageCallback", {Str("m")})->GetBoolValue());
    EXPECT_FALSE(ctx.Call("app", "removeMessageCallback", {Str("m")})->GetBoolValue());
    EXPECT_FALSE(Receive("m"));
    ctx.Call("app", "removeMessageCallback", {});
    EXPECT_EQ(ctx.m_lastException, "Invalid method arguments");
}

TEST_F(ClientAppTest, OnlyABoolTrueFromTheCallbackCountsAsHandled) {
    auto& ctx = *page.context;
    ctx.Call("app", "setMessageCallback",
             {Str("n"), ctx.Function([](const JSValueList&) { return Int(1); })});
    EXPECT_FALSE(Receive("n"));
    ctx.Call(
        "app", "setMessageCallback",
        {Str("t"), ctx.Function([](const JSValueList&) -> JSValueRef { throw ScriptThrow{}; })});
    EXPECT_FALSE(Receive("t"));
}

TEST_F(ClientAppTest, ReleasingAContextDropsExactlyItsRegistrations) {
    auto sub = page.AddFrame(2, false);
    app->OnContextCreated(page.browser, page.frames[1], sub);
    int mainCalls = 0, subCalls = 0;
    page.context->Call("app", "setMessageCallback",
                       {Str("a"), page.context->Function([&](const JSValueList&) {
                            ++mainCalls;
                            return nullptr;
                        })});
    sub->Call("app", "setMessageCallback", {Str("b"), sub->Function([&](const JSValueList&) {
                                                ++subCalls;
                                                return nullptr;
                                            })});
    sub->Call("tvd", "Subscribe", {Str("OnNativeAppHide"), sub->Function([&](const JSValueList&) {
                                       ++subCalls;
                                       return nullptr;
                                   })});
    app->OnContextReleased(page.browser, page.frames[1], sub);
    sub->m_bValid = false;
    Receive("a");
    Receive("b");
    EXPECT_FALSE(Receive(msg::kNotificationOnNativeApplicationHide));
    EXPECT_EQ(mainCalls, 1);
    EXPECT_EQ(subCalls, 0);
    EXPECT_EQ(app->GetMessageCallbacks().Size(), 1u);
}

TEST_F(ClientAppTest, EveryContextAsksForTheListenerAndSharesOneHandler) {
    auto sub = page.AddFrame(2, false);
    app->OnContextCreated(page.browser, page.frames[1], sub);
    auto reloaded = page.AddFrame(3, true);
    app->OnContextCreated(page.browser, page.frames[2], reloaded);
    ASSERT_EQ(page.browser->CountSent(msg::kNativeMessageListenerCommandControl), 2u);
    EXPECT_EQ(page.browser->m_sent[0].args, ListValue{Value(true)});
    // Sub-frames get their own window.tvd, served by the same handler.
    auto* mainFn = dynamic_cast<FakeValue*>(page.context->Tvd()->GetValue("Subscribe").get());
    auto* subFn = dynamic_cast<FakeValue*>(sub->Tvd()->GetValue("Subscribe").get());
    ASSERT_TRUE(mainFn && subFn);
    EXPECT_NE(page.context->Tvd().get(), sub->Tvd().get());
    EXPECT_EQ(mainFn->m_handler.get(), subFn->m_handler.get());
    EXPECT_EQ(mainFn->m_handler.get(), app->GetBinder()->GetHandler().get());
}

TEST_F(ClientAppTest, BrowserMessagesBecomeTheirPageEvents) {
    auto connection = Record("HandleInterAppConnectionStatusChange");
    auto interApp = Record("HandleInterAppMessage");
    auto toggle = Record("OnFullScreenToggle");
    auto update = Record("OnNativeAppUpdate");
    auto hide = Record("OnNativeAppHide");
    auto openApp = Record("OnTrayIconMenuOpenApplication");
    auto openSite = Record("OnTrayIconMenuOpenBrowser");
    auto crash = Record("pluginCrashCallback");

    Receive(msg::kNativeMessageCommandReceived, {Value("{\"umid\":1}")});
    Receive(msg::kFullScreenToggle, {Value(true)});
    Receive(msg::kStreamStopForAppUpdate);
    Receive(msg::kNotificationOnNativeApplicationHide);
    Receive(msg::kOnTrayIconOpenApplicationSelect);
    Receive(msg::kOnTrayIconOpenBrowser);
    Receive(msg::kInterAppConnectionEstablished);
    EXPECT_TRUE(Receive(msg::kPluginCrashEvent, {Value("np.so")}));

    ASSERT_EQ(interApp->size(), 1u);
    EXPECT_EQ((*interApp)[0][0]->GetStringValue(), "{\"umid\":1}");
    ASSERT_EQ(toggle->size(), 1u);
    EXPECT_TRUE((*toggle)[0][0]->GetBoolValue());
    ASSERT_EQ(connection->size(), 1u);
    ASSERT_EQ((*connection)[0].size(), 1u);
    EXPECT_EQ((*connection)[0][0]->GetIntValue(), 1);
    EXPECT_EQ(update->size(), 1u);
    EXPECT_EQ(hide->size(), 1u);
    EXPECT_EQ(openApp->size(), 1u);
    EXPECT_EQ(openSite->size(), 1u);
    ASSERT_EQ(crash->size(), 1u);
    EXPECT_EQ((*crash)[0][0]->GetStringValue(), "np.so");
    // The web process cannot start programs: the browser opens the site.
    ASSERT_EQ(page.browser->CountSent(msg::kLaunchURL), 1u);
    EXPECT_EQ(page.browser->m_sent[0].args[0].GetString(),
              std::string(kDefaultWebSiteURL) + "/?tvb_launched_from_sys_tray=true");
}

// Arguments of the row's shape; the connection is the web process's to add.
ListValue Shaped(std::initializer_list<msg::Arg> shape) {
    ListValue args;
    for (msg::Arg a : shape)
        args.push_back(a == msg::Arg::Bool ? Value(true) : a == msg::Arg::String ? Value("x") : 1);
    return args;
}
JSValueList ShapedForPage(std::initializer_list<msg::Arg> shape) {
    JSValueList args;
    for (msg::Arg a : shape)
        if (a != msg::Arg::Connection)
            args.push_back(a == msg::Arg::Bool     ? Boolean(true)
                           : a == msg::Arg::String ? Str("x")
                                                   : Int(1));
    return args;
}

TEST_F(ClientAppTest, EveryPageBoundRowIsActedOnAndEveryPageEventIsFired) {
    std::map<std::string, std::shared_ptr<std::vector<JSValueList>>> heard;
    for (const msg::Entry& row : msg::kCatalogue)
        if (row.direction == msg::Direction::ToPage) heard[row.name] = Record(row.name);
    page.context->Tvd()->SetValue("quitApp", Boolean(true));
    for (const msg::Entry& row : msg::kCatalogue) {
        if (row.direction != msg::Direction::ToRenderer) continue;
        EXPECT_TRUE(ClientApp::Dispatches(row)) << row.name;
        EXPECT_TRUE(row.half != msg::Half::SentOnly && (row.half == msg::Half::Both || row.why))
            << row.name;
        Receive(row.name, Shaped(row.args));
        if (row.event) {
            EXPECT_TRUE(heard.count(row.event) && !heard[row.event]->empty()) << row.name;
        }
    }
    for (const auto& [event, calls] : heard) {
        ASSERT_FALSE(calls->empty()) << event << " is fired by no row";
        EXPECT_EQ(calls->front().size(), msg::Find(event)->args.size()) << event;
    }
}

TEST_F(ClientAppTest, EveryBrowserBoundRowIsSentByTheWebProcess) {
    auto& ctx = *page.context;
    app->OnContextCreated(page.browser, page.frames[0], page.context);
    for (const msg::Entry& row : msg::kCatalogue) {
        if (row.direction != msg::Direction::ToBrowser || !row.page || !row.name) continue;
        // The status listener takes the page's two names and its state.
        const bool status = row.reply == msg::Reply::Local;
        ctx.Call("tvd", row.page,
                 status ? JSValueList{Str("a"), Str("b"), Int(2)} : ShapedForPage(row.args));
    }
    ctx.m_global->GetValue("fullscreenhandler")->SetValue("fullscreen", Boolean(true));
    Receive(msg::kAppBeforeQuitNotification);
    for (const msg::Entry& row : msg::kCatalogue) {
        // The console bridge of the extension sends the page's console lines.
        if (row.direction != msg::Direction::ToBrowser || !row.name ||
            row.name == std::string_view(msg::kConsoleMessage))
            continue;
        EXPECT_EQ(page.browser->CountSent(row.name) != 0, row.half != msg::Half::ReceivedOnly)
            << row.name;
    }
}

TEST_F(ClientAppTest, TheAppChannelSendsOnlyWhatTheBrowserTakes) {
    auto& ctx = *page.context;
    ctx.Call("app", "sendMessage", {Str("unknown.name"), ctx.Array({Int(1)})});
    EXPECT_EQ(ctx.m_lastException, "Invalid method arguments");
    ctx.Call("app", "sendMessage", {Str(msg::kFullScreenToggle)});  // goes the other way
    EXPECT_TRUE(page.browser->m_sent.empty());
}

TEST(TrayLaunchAddressTest, OpensTheSiteRootWhateverTheConfiguredPath) {
    const struct {
        const char* site;
        const char* opened;
    } rows[] = {
        {"https://www.tavisto.example:8443/desk?from=tray#top",
         "https://www.tavisto.example:8443/?tvb_launched_from_sys_tray=true"},
        {"http://[::1]:8080/a/", "http://[::1]:8080/?tvb_launched_from_sys_tray=true"},
        {"www.tavisto.example/desk", ""},
        {"mailto:someone@tavisto.example", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(TrayLaunchAddress(row.site), row.opened) << row.site;
}

TEST_F(ClientAppTest, NamedNotificationsGoOnToThePageCallbacks) {
    int calls = 0;
    page.context->Call(
        "app", "setMessageCallback",
        {Str(msg::kFullScreenToggle), page.context->Function([&](const JSValueList&) {
             ++calls;
             return Boolean(true);
         })});
    EXPECT_TRUE(Receive(msg::kFullScreenToggle, {Value(false)}));
    EXPECT_EQ(calls, 1);
    // The status rows end the handling: no callback sees them.
    page.context->Call(
        "app", "setMessageCallback",
        {Str(msg::kIsAppActiveStatus), page.context->Function([&](const JSValueList&) {
             ++calls;
             return Boolean(false);
         })});
    EXPECT_TRUE(Receive(msg::kIsAppActiveStatus, {Value(true)}));
    EXPECT_EQ(calls, 1);
}

TEST_F(ClientAppTest, LocalTimeMapGoesOnWindowNotOnTheHostObject) {
    EXPECT_TRUE(Receive(msg::kGetLocalTimeMap, {Value("{}")}));
    EXPECT_EQ(page.context->m_global->GetValue("propLocalTimeMap")->GetStringValue(), "{}");
    EXPECT_EQ(page.context->Tvd()->GetValue("propLocalTimeMap")->GetStringValue(), "");
    page.browser->m_mainFrame.reset();
    EXPECT_FALSE(Receive(msg::kGetLocalTimeMap, {Value("{}")}));
}

TEST_F(ClientAppTest, StatusFlagsAreCachedForThePage) {
    EXPECT_FALSE(Receive(msg::kIsAppActiveStatus));
    EXPECT_FALSE(page.context->Call("tvd", "IsAppActive", {})->GetBoolValue());
    EXPECT_TRUE(Receive(msg::kIsAppActiveStatus, {Value(true)}));
    EXPECT_TRUE(Receive(msg::kIsWindowMiniaturizedStatus, {Value(true)}));
    EXPECT_TRUE(page.context->Call("tvd", "IsAppActive", {})->GetBoolValue());
    EXPECT_TRUE(page.context->Call("tvd", "IsAppMinimized", {})->GetBoolValue());
}

TEST_F(ClientAppTest, EveryQuitNotificationGetsExactlyOneCompletion) {
    // No subscriber: the page's share fails at once, the completion still goes out.
    Receive(msg::kAppBeforeQuitNotification);
    EXPECT_EQ(page.browser->CountSent(msg::kTvdQuitCompletion), 1u);
    EXPECT_FALSE(app->GetBinder()->GetWebAppExitFlag());
    EXPECT_TRUE(page.runner->m_tasks.empty());

    auto quits = Record("OnBeforeAppQuit");
    page.context->Tvd()->SetValue("quitApp", Boolean(true));
    Receive(msg::kAppBeforeQuitNotification);
    Receive(msg::kAppBeforeQuitNotification);
    EXPECT_EQ(page.browser->CountSent(msg::kTvdQuitCompletion), 3u);
    EXPECT_EQ(quits->size(), 1u);  // the second one does not ask the page again
}

TEST_F(ClientAppTest, QuitCompletionWaitsForThePageAnsweringLater) {
    auto quits = Record("OnBeforeAppQuit");
    Receive(msg::kAppBeforeQuitNotification);
    page.runner->RunAll();
    page.runner->RunAll();
    EXPECT_EQ(page.browser->CountSent(msg::kTvdQuitCompletion), 0u);
    page.context->Tvd()->SetValue("quitApp", Boolean(true));
    page.runner->RunUntilIdle();
    EXPECT_EQ(page.browser->CountSent(msg::kTvdQuitCompletion), 1u);
}

TEST(ClientAppNoBinder, QuitCompletionIsSentWithoutABinder) {
    FakePage page;
    auto app = std::make_shared<CTVCApp>(page.env);
    app->OnProcessMessageReceived(page.browser, ProcessId::Browser,
                                  {msg::kAppBeforeQuitNotification, {}});
    EXPECT_EQ(page.browser->SentNames(), std::vector<std::string>{msg::kTvdQuitCompletion});
    // Messages that need the binder do nothing; the crash event still counts as handled.
    EXPECT_FALSE(app->OnProcessMessageReceived(page.browser, ProcessId::Browser,
                                               {msg::kFullScreenToggle, {Value(true)}}));
    EXPECT_TRUE(app->OnProcessMessageReceived(page.browser, ProcessId::Browser,
                                              {msg::kPluginCrashEvent, {Value("x")}}));
}
}  // namespace
}  // namespace tvc::render::test
