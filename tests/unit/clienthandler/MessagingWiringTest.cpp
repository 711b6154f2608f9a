// The messaging module as the handler creates and uses it, and the native message observer.
#include "Fakes.h"
#include "common/AppCookieHandler/CookieObserver.h"
#include "common/AppHelper.h"
#include "common/AppWindowHandler/NativeWindowObserver.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/NativeMessaging/NativeMsgObserver.h"
#include "common/NativeMessaging/WebSocketsMessagingManager.h"

namespace tvc::test {
using engine::ProcessId;

using MessagingTest = PageMessagingTest;

TEST_F(MessagingTest, ListenerRequestCreatesAndStartsOnceWithTheTrialPorts) {
    EXPECT_FALSE(handler->SendStringAsInterAppMessage("early"));
    Send(msg::kNativeMessageListenerCommandControl, {true});
    Send(msg::kNativeMessageListenerCommandControl, {true});  // every new script context asks again
    EXPECT_EQ(created, 1);
    EXPECT_EQ(manager->starts, 1);
    EXPECT_EQ(manager->ports, (std::vector<unsigned>{51001, 51002, 51003, 51004, 51005}));
    using Observer = std::shared_ptr<IInterAppMessageObserver>;
    // The quit handler hears every message first.
    ASSERT_EQ(manager->observers.size(), 4u);
    EXPECT_EQ(manager->observers[0], Observer(handler->Messaging().QuitHandler()));
    EXPECT_TRUE(std::dynamic_pointer_cast<CNativeMsgObserver>(manager->observers[1]));
    std::weak_ptr<CCookieObserver> cookies =
        std::dynamic_pointer_cast<CCookieObserver>(manager->observers[2]);
    EXPECT_FALSE(cookies.expired());
    EXPECT_TRUE(std::dynamic_pointer_cast<CNativeWindowObserver>(manager->observers[3]));
    // Notified in the order of their ids.
    for (size_t i = 1; i < manager->observers.size(); ++i)
        EXPECT_LT(manager->observers[i - 1]->GetObserverId(),
                  manager->observers[i]->GetObserverId());
    EXPECT_EQ(browser->host.downloads.size(), 1u);  // the port-list file, once

    Send(msg::kNativeMessageFromTvdJs, {std::string("{\"a\":1}"), 0});
    Send(msg::kNativeMessageFromTvdJs, {1});
    EXPECT_TRUE(CAppHelper::SendStringAsInterAppMessageViaClinetHandler(handler, "two"));
    EXPECT_FALSE(CAppHelper::SendStringAsInterAppMessageViaClinetHandler(nullptr, "three"));
    EXPECT_EQ(manager->sent, (std::vector<std::string>{"{\"a\":1}", "two"}));

    handler->QuitRoad().UnregisterNativeMessageObservers();
    EXPECT_EQ(manager->observers.size(), 1u);
    handler->QuitRoad().UnregisterQuitHandlerNativeMessageObserver();
    EXPECT_TRUE(manager->observers.empty());
    handler->QuitRoad().CleanupRefs();
    EXPECT_TRUE(cookies.expired());
    EXPECT_EQ(manager->cleanups, 1);
    handler->QuitRoad().StopNativeMessagingListener();
    EXPECT_EQ(manager->stops, 1);
}

TEST_F(HandlerTest, DefaultManagerIsTheWebSocketManagerNotYetListening) {
    MakeHandler();
    handler->Messaging().CheckNativeMessageListenerIntegrity(*handler);
    auto manager = handler->Messaging().Manager();
    ASSERT_NE(std::dynamic_pointer_cast<CWebSocketsMessagingManager>(manager), nullptr);
    EXPECT_EQ(manager->GetManagerState(), eIdle);
    handler->Messaging().CheckNativeMessageListenerIntegrity(*handler);
    EXPECT_EQ(handler->Messaging().Manager(), manager);
}

TEST_F(MessagingTest, TrialPortsFromTheSwitch) {
    SetSwitches({"--ws-ports=52001,52002"});
    handler->Messaging().StartNativeMessagingListener(*handler);
    EXPECT_EQ(manager->ports, (std::vector<unsigned>{52001, 52002}));
}

TEST_F(MessagingTest, SendMessageToCEFProcessNeedsABrowser) {
    EXPECT_FALSE(CAppHelper::SendMessageToCEFProcess(nullptr, ProcessId::Renderer,
                                                     msg::kOnTrayIconOpenBrowser));
    EXPECT_TRUE(CAppHelper::SendMessageToCEFProcess(browser, ProcessId::Renderer,
                                                    msg::kOnTrayIconOpenBrowser));
    browser->sendSucceeds = false;
    EXPECT_FALSE(CAppHelper::SendMessageToCEFProcess(browser, ProcessId::Renderer,
                                                     msg::kOnTrayIconOpenBrowser));
    ASSERT_EQ(browser->sent.size(), 2u);
    EXPECT_EQ(browser->sent[0].name, msg::kOnTrayIconOpenBrowser);
    EXPECT_TRUE(browser->sent[0].args.empty());
}

// ---- the observer on its own ----
class NativeMsgObserverTest : public ::testing::Test {
  protected:
    std::shared_ptr<CNativeMsgObserver> Make(
        std::string start = "file:///opt/tvc/cef_js_app.html") {
        return std::make_shared<CNativeMsgObserver>(browser, std::move(start));
    }
    // As the manager hands each message to its observers: parsed once.
    static void Receive(CNativeMsgObserver& observer, const std::string& text) {
        observer.OnInterAppMessageRceive(ParseInterAppMessage(text));
    }
    static std::string Navigate(const std::string& url) {
        return R"({"source":"ext","target":"tvd.native","message":{"type":"request","sub_type":"navigate",)"
               R"("payload":{"url":")" +
               url + R"("}},"umid":"1"})";
    }
    std::shared_ptr<FakeBrowser> browser = std::make_shared<FakeBrowser>(1);
};

TEST_F(NativeMsgObserverTest, ForwardsOtherTargetsUnchangedInArrivalOrder) {
    auto observer = Make();
    const std::string a =
        R"({"source":"ext","target":"browser.webapp.js","message":{"x":[1,2]},"umid":"a"})";
    const std::string b = R"({"target":"someone.else","umid":"b"})";
    Receive(*observer, a);
    observer->OnInterAppMessagingConnectionEstablished();
    Receive(*observer, b);
    ASSERT_EQ(browser->sent.size(), 3u);
    EXPECT_EQ(browser->sent[0].name, msg::kNativeMessageCommandReceived);
    EXPECT_EQ(browser->sent[0].args, (engine::ListValue{a, 0}));
    EXPECT_EQ(browser->sent[1].name, msg::kInterAppConnectionEstablished);
    EXPECT_EQ(browser->sent[1].args, (engine::ListValue{0}));
    EXPECT_EQ(browser->sent[2].args, (engine::ListValue{b, 0}));
}

TEST_F(NativeMsgObserverTest, NativeCommandsOtherThanNavigateAndBadTextAreNotForwarded) {
    auto observer = Make();
    for (const char* text :
         {R"({"target":"tvd.native","message":{"sub_type":"setCookies","payload":{}}})",
          R"({"target":"tvd.native","message":{}})", "not json at all", R"({"no_target":1})",
          R"({"target":"tvd.native","message":{"sub_type":"navigate"}})"})
        Receive(*observer, text);
    EXPECT_TRUE(browser->sent.empty());
    EXPECT_TRUE(browser->frame->loads.empty());
}

TEST_F(NativeMsgObserverTest, NavigateLoadsOnlyWebAddressesAndTheStartPage) {
    auto observer = Make();
    for (const char* url :
         {"https://a.example/x", "http://b.example/", "file:///etc/passwd", "javascript:alert(1)",
          "", "smb://host/share", "file:///opt/tvc/cef_js_app.html",
          "FILE:///opt/tvc/cef_js_app.html#ready", "file:///opt/tvc/cef_js_app.html.evil"})
        Receive(*observer, Navigate(url));
    EXPECT_EQ(browser->frame->loads,
              (std::vector<std::string>{"https://a.example/x", "http://b.example/",
                                        "file:///opt/tvc/cef_js_app.html",
                                        "FILE:///opt/tvc/cef_js_app.html#ready"}));
    EXPECT_TRUE(browser->sent.empty());  // no answer to the peer or the page
}

TEST_F(NativeMsgObserverTest, WithoutBrowserNothingIsSent) {
    auto noBrowser = std::make_shared<CNativeMsgObserver>(nullptr, "");
    Receive(*noBrowser, R"({"target":"browser.webapp.js"})");
    noBrowser->OnInterAppMessagingConnectionEstablished();
    EXPECT_TRUE(browser->sent.empty());
}
}  // namespace tvc::test
