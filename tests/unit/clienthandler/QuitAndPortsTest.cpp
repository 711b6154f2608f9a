// The quit road through the client handler, and the listener's trial ports.
#include <filesystem>
#include <fstream>

#include "Fakes.h"
#include "common/AppProps.h"
#include "common/ClientHandler/WSPortConfig.h"

namespace tvc::test {
using engine::ProcessId;

class QuitRoadTest : public PageMessagingTest {
  protected:
    void WireMainThread() override {
        retryTimer = [this](std::chrono::milliseconds, std::function<void()> t) {
            timers.push_back(std::move(t));
        };
    }
    // The page asks for the listener, which is then listening on `port`.
    void StartListening(unsigned port = 51002) {
        Send(msg::kNativeMessageListenerCommandControl, {true});
        manager->state = eListening;
        manager->activePort = port;
    }
    static void WriteFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    std::vector<std::function<void()>> timers;
};

TEST_F(QuitRoadTest, WhileQuittingThePageIsHeardOnlyForItsCompletion) {
    auto popup = std::make_shared<FakeBrowser>(2, true);
    handler->OnAfterCreated(popup);
    StartListening(51002);
    auto quit = handler->Messaging().QuitHandler();
    ASSERT_TRUE(quit);
    ASSERT_TRUE(quit->StartQuitSequence());
    EXPECT_EQ(browser->sent.back().name, msg::kAppBeforeQuitNotification);
    EXPECT_EQ(manager->observers.size(), 1u);  // the quit handler alone hears the peer now

    window->calls.clear();
    EXPECT_TRUE(Send(msg::kSetWindowSize, {640, 480}));
    EXPECT_TRUE(Send(msg::kNativeMessageFromTvdJs, {std::string("{}"), 0}));
    EXPECT_TRUE(window->calls.empty());
    EXPECT_TRUE(manager->sent.empty());

    // The completion is acted on from the main loop, outside the engine's callback.
    EXPECT_TRUE(Send(msg::kTvdQuitCompletion));
    EXPECT_EQ(manager->stops, 0);
    RunPostedTasks();
    EXPECT_EQ(quit->GetQuitState(), eQuitHander_State_QuitHandlingDone);
    EXPECT_EQ(manager->stops, 1);
    EXPECT_EQ(manager->cleanups, 1);
    EXPECT_EQ(CAppProps::ReadProperty("websockets", "lastListenedWSPort"), "51002");
    // Closed without asking the page again, popups first.
    EXPECT_EQ(popup->host.calls, std::vector<std::string>{"Close(force)"});
    EXPECT_EQ(browser->host.calls, std::vector<std::string>{"Close(force)"});
    // A late second completion changes nothing.
    Send(msg::kTvdQuitCompletion);
    RunPostedTasks();
    EXPECT_EQ(manager->stops, 1);
}

TEST_F(QuitRoadTest, WebProcessEndingDuringTheWaitCompletesTheQuitWithoutAReload) {
    StartListening();
    ASSERT_TRUE(handler->Messaging().QuitHandler()->StartQuitSequence());
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    RunPostedTasks();
    EXPECT_EQ(handler->Messaging().QuitHandler()->GetQuitState(),
              eQuitHander_State_QuitHandlingDone);
    EXPECT_EQ(browser->reloads, 0);
    EXPECT_TRUE(browser->frame->loads.empty());
    EXPECT_EQ(browser->host.calls, std::vector<std::string>{"Close(force)"});
    // A further end (a popup's process) neither reloads nor completes again.
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    RunPostedTasks();
    EXPECT_EQ(browser->reloads, 0);
    EXPECT_EQ(manager->stops, 1);
}

TEST_F(QuitRoadTest, PopupsCloseWithTheMainBrowser) {
    auto popup = std::make_shared<FakeBrowser>(2, true);
    handler->OnAfterCreated(popup);
    handler->OnBeforeClose(popup);  // a popup closing alone leaves the rest
    EXPECT_TRUE(browser->host.calls.empty());
    auto other = std::make_shared<FakeBrowser>(3, true);
    handler->OnAfterCreated(other);
    handler->OnBeforeClose(browser);
    EXPECT_EQ(other->host.calls, std::vector<std::string>{"Close(force)"});
    EXPECT_TRUE(popup->host.calls.empty());
}

TEST_F(QuitRoadTest, ListenerStopKeepsTheStoredPortWhenThereIsNoActiveOne) {
    CAppProps::WriteProperty("websockets", "lastListenedWSPort", "51004");
    Send(msg::kNativeMessageListenerCommandControl, {true});
    handler->QuitRoad().StopNativeMessagingListener();  // never listened
    EXPECT_EQ(manager->stops, 1);
    EXPECT_EQ(CAppProps::ReadProperty("websockets", "lastListenedWSPort"), "51004");
    manager->state = eConnected;
    manager->activePort = 51005;
    handler->QuitRoad().StopNativeMessagingListener();
    EXPECT_EQ(CAppProps::ReadProperty("websockets", "lastListenedWSPort"), "51005");
}

TEST_F(QuitRoadTest, TrialPortsFromDefaultsDownloadAndLastPort) {
    const std::string file = GetWSConfigFilePath();
    const std::string extra =
        R"({"config":{"websocket":{"remotePortList":["52000","abc","70000","0"],"helpUrl":"https://help.example/ws"}}})";
    const std::vector<unsigned> defaults{51001, 51002, 51003, 51004, 51005};
    struct Case {
        const char* stored;    // nullptr: nothing stored
        const char* fileText;  // nullptr: no file
        bool downloaded;
        bool result;
        std::vector<unsigned> ports;
    } cases[] = {
        {nullptr, nullptr, false, true, defaults},
        {"51003", nullptr, false, true, {51003, 51001, 51002, 51004, 51005}},
        {"52000", extra.c_str(), true, true, {52000, 51001, 51002, 51003, 51004, 51005}},
        {"52000", extra.c_str(), false, true, defaults},
        {"0", nullptr, false, true, defaults},
        {"65536", nullptr, false, true, defaults},
        {"51005",
         R"({"config":{"websocket":{}}})",
         true,
         true,
         {51005, 51001, 51002, 51003, 51004}},
        {nullptr, "not json", true, false, {}},
        {nullptr, "", true, false, {}},
        {nullptr, R"({"config":{"websocket":{"remotePortList":"52000"}}})", true, false, {}},
        {nullptr, R"({"config":{"websocket":{"remotePortList":{"a":"52000"}}}})", true, false, {}},
        {nullptr, R"({"config":{"websocket":{"remotePortList":[["52000"]]}}})", true, false, {}},
        {nullptr, nullptr, true, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored ? c.stored : "-") + " / " +
                     (c.fileText ? c.fileText : "no file"));
        CAppProps::WriteProperty("websockets", "lastListenedWSPort", c.stored ? c.stored : "");
        std::filesystem::remove(file);
        if (c.fileText) WriteFile(file, c.fileText);
        std::vector<unsigned> ports;
        EXPECT_EQ(handler->Messaging().LoadWSTrialPorts(ports, c.downloaded), c.result);
        EXPECT_EQ(ports, c.ports);
    }
    WriteFile(file, extra);
    std::vector<unsigned> ports;
    ASSERT_TRUE(handler->Messaging().LoadWSPortsFromWebJSONFile(ports));
    EXPECT_EQ(handler->Messaging().GetWSHelpUrl(), "https://help.example/ws");
}

TEST_F(QuitRoadTest, DownloadedListReachesTheManagerOnlyWhenUsable) {
    StartListening();
    const std::string file = GetWSConfigFilePath();
    WriteFile(file, "{\"config\": ");
    handler->Messaging().HandleWebsocketsConfigFileDownloadProcessCompletion(true);
    EXPECT_EQ(manager->ports.size(), 5u);
    EXPECT_EQ(manager->starts, 1);
    WriteFile(file, R"({"config":{"websocket":{"remotePortList":["52001"]}}})");
    handler->Messaging().HandleWebsocketsConfigFileDownloadProcessCompletion(false);
    EXPECT_EQ(manager->ports.size(), 5u);
    handler->Messaging().HandleWebsocketsConfigFileDownloadProcessCompletion(true);
    EXPECT_EQ(manager->ports, (std::vector<unsigned>{51001, 51002, 51003, 51004, 51005, 52001}));
    EXPECT_EQ(manager->starts, 2);  // the manager itself refuses while it is listening
}

TEST_F(QuitRoadTest, PortFailureDialogWaitsForEveryPendingRunAndLeavesWhenOneListens) {
    auto boxes = std::make_shared<FakeMessageBoxes>();
    handler->SetMessageBoxes(boxes);
    Send(msg::kNativeMessageListenerCommandControl, {true});  // the download and the first run
    auto quit = handler->Messaging().QuitHandler();
    auto fail = [&] {
        quit->OnInterAppMessagingListenerExit(false);
        RunPostedTasks();
    };
    fail();  // a retry is due
    fail();  // reported; the retry and the download are still to come
    ASSERT_EQ(timers.size(), 1u);
    manager->state = eListening;  // the retry's run is under way
    timers[0]();
    handler->Messaging().HandleWebsocketsConfigFileDownloadProcessCompletion(false);
    EXPECT_TRUE(boxes->shown.empty());
    manager->state = eIdle;
    fail();  // the last run failed too
    ASSERT_EQ(boxes->shown.size(), 1u);

    handler->Messaging().OnListening();
    EXPECT_EQ(boxes->closed, (std::vector<int>{platform::IMessageBoxes::kTypePortFailure}));
}

TEST_F(QuitRoadTest, OnlyTheConfigurationFileIsRoutedToTheCache) {
    engine::DownloadItem item;
    item.startedByApp = true;
    item.url = "https://updates.example/TavistoForWebInstaller.run";
    bool handled = true;
    std::string path = "x";
    CDownloadRouter router(std::make_shared<CUpdateFlow>(), [](bool) {});
    router.HandleCEFDownloadStatus(false, item, handled, path);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(path.empty());
    item.url = "http://127.0.0.1:9/config/1.0.0.0.json?x=1";
    router.HandleCEFDownloadStatus(false, item, handled, path);
    EXPECT_TRUE(handled);
    // Written in a fresh folder beside its place, and moved there once complete.
    const std::filesystem::path place = GetWSConfigFilePath();
    EXPECT_EQ(std::filesystem::path(path).filename(), place.filename());
    EXPECT_EQ(std::filesystem::path(path).parent_path().parent_path(), place.parent_path());
}
}  // namespace tvc::test
