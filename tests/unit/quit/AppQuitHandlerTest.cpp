// The quit handler's state machine against a recording client: every transition, the bound on the
// page's answer, the failed-listener count and the terminate response.
#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/AppQuitHandler/AppQuitHandler.h"
#include "common/ProcessMessages.h"

namespace {
using tvc::engine::ProcessId;
using tvc::engine::ProcessMessage;

struct FakeHost : tvc::engine::IBrowserHost {
    void CloseBrowser(bool) override {}
    void SetFocus(bool) override {}
    void ShowDevTools() override {}
    void CloseDevTools() override {}
    void InspectElementAt(int, int) override {}
    void SetMouseCursorChangeDisabled(bool) override {}
    void StartDownload(const std::string&) override {}
};

struct FakeBrowser : tvc::engine::IBrowser {
    FakeHost host;
    std::vector<std::string> sent;
    bool sendSucceeds = true;
    int GetIdentifier() const override { return 1; }
    bool IsPopup() const override { return false; }
    tvc::engine::FrameRef GetMainFrame() override { return nullptr; }
    tvc::engine::IBrowserHost& GetHost() override { return host; }
    void Reload() override {}
    void ReloadIgnoreCache() override {}
    void TerminateRenderProcess() override {}
    bool SendProcessMessage(ProcessId, const ProcessMessage& m) override {
        sent.push_back(m.name);
        return sendSucceeds;
    }
};

struct FakeClient : IAppQuitClient {
    std::shared_ptr<FakeBrowser> browser = std::make_shared<FakeBrowser>();
    std::vector<std::string> calls;
    tvc::engine::BrowserRef GetBrowser() override { return browser; }
    void UnregisterNativeMessageObservers() override { calls.push_back("UnregisterObservers"); }
    void UnregisterQuitHandlerNativeMessageObserver() override {
        calls.push_back("UnregisterQuitHandler");
    }
    void StopNativeMessagingListener() override { calls.push_back("StopListener"); }
    void CleanupRefs() override { calls.push_back("CleanupRefs"); }
    void CloseAllBrowsers(bool force) override {
        calls.push_back(force ? "CloseAllBrowsers(force)" : "CloseAllBrowsers");
    }
    void RetryNativeMessagingListener() override { calls.push_back("RetryListener"); }
    void HandleInterAppMessagingModuleFailure() override { calls.push_back("ModuleFailure"); }
    bool workInFlight = false;
    std::function<void()> workDone;
    void FinishWorkInFlight(std::function<void()> done) override {
        if (workInFlight)
            workDone = std::move(done);
        else
            done();
    }
};

using Strings = std::vector<std::string>;
using std::chrono::milliseconds;

// Turns the main loop until `done` holds or `limit` has passed.
template <typename Pred>
void RunLoopUntil(Pred done, milliseconds limit = milliseconds(2000)) {
    bool expired = false;
    auto deadline = tvc::runner::PostDelayed(limit, [&] { expired = true; });
    while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
}

const Strings kAfterCompletion{"StopListener", "UnregisterQuitHandler", "CleanupRefs",
                               "CloseAllBrowsers(force)"};

class AppQuitHandlerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        client = std::make_shared<FakeClient>();
        handler = std::make_shared<CAppQuitHandler>(kBound);
        handler->SetClientHandler(client);
    }
    // Until the bound has run out and the quit gone on, or a good while after that.
    void RunOutTheBound() {
        RunLoopUntil([&] { return handler->GetQuitState() == eQuitHander_State_QuitHandlingDone; },
                     kBound * 20);
    }
    static constexpr milliseconds kBound{20};
    std::shared_ptr<FakeClient> client;
    std::shared_ptr<CAppQuitHandler> handler;
};

TEST_F(AppQuitHandlerTest, EveryTransitionOfTheTable) {
    enum Event { kStart, kCompletion, kTerminateResponse };
    enum Browser { kBrowser, kNoBrowser, kSendFails };
    struct Case {
        int from;
        Event event;
        Browser browser;
        bool result;
        int to;
        Strings calls;
    } cases[] = {
        {eQuitHander_State_Initial,
         kStart,
         kBrowser,
         true,
         eQuitHander_State_Waiting_ForTVDJS,
         {"UnregisterObservers"}},
        {eQuitHander_State_Initial, kStart, kNoBrowser, false, eQuitHander_State_Initial, {}},
        {eQuitHander_State_Initial, kStart, kSendFails, false, eQuitHander_State_Initial, {}},
        {eQuitHander_State_Waiting_ForTVDJS,
         kStart,
         kBrowser,
         false,
         eQuitHander_State_Waiting_ForTVDJS,
         {}},
        {eQuitHander_State_QuitHandlingDone,
         kStart,
         kBrowser,
         false,
         eQuitHander_State_QuitHandlingDone,
         {}},
        {eQuitHander_State_Waiting_ForTVDJS, kCompletion, kBrowser, true,
         eQuitHander_State_QuitHandlingDone, kAfterCompletion},
        {eQuitHander_State_Initial, kCompletion, kBrowser, false, eQuitHander_State_Initial, {}},
        {eQuitHander_State_Waiting_ForExtension,
         kCompletion,
         kBrowser,
         false,
         eQuitHander_State_Waiting_ForExtension,
         {}},
        {eQuitHander_State_QuitHandlingDone,
         kCompletion,
         kBrowser,
         false,
         eQuitHander_State_QuitHandlingDone,
         {}},
    };
    for (const auto& c : cases) {
        SetUp();
        SCOPED_TRACE(std::string(CAppQuitHandler::GetQuitStateName(c.from)) + " event " +
                     std::to_string(c.event) + " browser " + std::to_string(c.browser));
        handler->SetQuitState(c.from);
        if (c.browser == kNoBrowser) client->browser.reset();
        if (c.browser == kSendFails) client->browser->sendSucceeds = false;
        auto browser = client->browser;
        bool result =
            c.event == kStart ? handler->StartQuitSequence() : handler->HandleJSQuitCompletion();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(handler->GetQuitState(), c.to);
        EXPECT_EQ(handler->IsQuitInProgress(), c.to != eQuitHander_State_Initial);
        EXPECT_EQ(client->calls, c.calls);
        const bool asked = c.event == kStart && c.browser != kNoBrowser && c.from == 0;
        if (browser) {
            EXPECT_EQ(browser->sent,
                      asked ? Strings{tvc::msg::kAppBeforeQuitNotification} : Strings{});
        }
    }
}

TEST_F(AppQuitHandlerTest, APageThatNeverAnswersIsGivenUpAfterTheBound) {
    ASSERT_TRUE(handler->StartQuitSequence());
    client->calls.clear();
    RunOutTheBound();
    EXPECT_EQ(handler->GetQuitState(), eQuitHander_State_QuitHandlingDone);
    EXPECT_EQ(client->calls, kAfterCompletion);
    // The answer arriving after all changes nothing.
    EXPECT_FALSE(handler->HandleJSQuitCompletion());
    EXPECT_EQ(client->calls, kAfterCompletion);
}

TEST_F(AppQuitHandlerTest, TheBoundIsHarmlessOnceThePageHasAnswered) {
    ASSERT_TRUE(handler->StartQuitSequence());
    ASSERT_TRUE(handler->HandleJSQuitCompletion());
    client->calls.clear();
    RunLoopUntil([] { return false; }, kBound * 5);
    EXPECT_TRUE(client->calls.empty());
}

TEST_F(AppQuitHandlerTest, WorkInFlightIsFinishedBeforeTheBrowserClosesWithinTheBound) {
    for (const bool workEndsFirst : {true, false}) {
        SetUp();
        SCOPED_TRACE(workEndsFirst ? "work ends first" : "page answers first");
        client->workInFlight = true;
        ASSERT_TRUE(handler->StartQuitSequence());
        ASSERT_TRUE(client->workDone);
        client->calls.clear();
        if (workEndsFirst) client->workDone();
        EXPECT_TRUE(client->calls.empty());
        EXPECT_TRUE(handler->HandleJSQuitCompletion());
        if (!workEndsFirst) {
            EXPECT_TRUE(client->calls.empty());  // the page is done, the work is not
            client->workDone();
        }
        EXPECT_EQ(client->calls, kAfterCompletion);
    }
    // Work that never ends holds the quit only until the bound.
    SetUp();
    client->workInFlight = true;
    ASSERT_TRUE(handler->StartQuitSequence());
    ASSERT_TRUE(handler->HandleJSQuitCompletion());
    client->calls.clear();
    RunOutTheBound();
    EXPECT_EQ(client->calls, kAfterCompletion);
    client->workDone();  // late: changes nothing
    EXPECT_EQ(client->calls, kAfterCompletion);
}

TEST_F(AppQuitHandlerTest, AfterTheSequenceTheClientIsReleased) {
    ASSERT_TRUE(handler->StartQuitSequence());
    ASSERT_TRUE(handler->HandleJSQuitCompletion());
    handler->SetQuitState(eQuitHander_State_Initial);
    EXPECT_FALSE(handler->StartQuitSequence());
    EXPECT_TRUE(handler->PerformAfterQuitSequence());
    EXPECT_EQ(client->calls,
              (Strings{"UnregisterObservers", "StopListener", "UnregisterQuitHandler",
                       "CleanupRefs", "CloseAllBrowsers(force)"}));
}

TEST_F(AppQuitHandlerTest, FirstFailedListenerRunIsRetriedTheSecondInARowReportsAndEveryLaterOne) {
    struct Step {
        bool succeeded;
        unsigned count;
        Strings calls;
    } steps[] = {{false, 1, {"RetryListener"}},
                 {false, 2, {"ModuleFailure"}},
                 {false, 3, {"ModuleFailure"}},
                 {true, 0, {}},
                 {false, 1, {"RetryListener"}},
                 {false, 2, {"ModuleFailure"}},
                 {true, 0, {}}};
    for (const auto& step : steps) {
        client->calls.clear();
        handler->OnInterAppMessagingListenerExit(step.succeeded);
        EXPECT_EQ(handler->GetListenFailureCount(), step.count);
        EXPECT_EQ(client->calls, step.calls);
    }
    // Without a client a failure is only logged.
    handler->SetClientHandler({});
    handler->OnInterAppMessagingListenerExit(false);
    handler->OnInterAppMessagingListenerExit(false);
    EXPECT_EQ(handler->GetListenFailureCount(), 2u);
}

TEST_F(AppQuitHandlerTest, TerminateResponseIsRecognisedAndChangesNothing) {
    struct Case {
        const char* text;
        bool parsed, terminate;
    } cases[] = {
        {R"({"target":"tvd.native","message":{"type":"response","sub_type":"terminate.connection"}})",
         true, true},
        {R"({"target":"browser.webapp.js","message":{"type":"response","sub_type":"terminate.connection"}})",
         true, false},
        {R"({"target":"tvd.native","message":{"type":"request","sub_type":"terminate.connection"}})",
         true, false},
        {R"({"target":"tvd.native","message":{"type":"response"}})", false, false},
        {R"({"message":{"type":"response","sub_type":"terminate.connection"}})", false, false},
        {"not json", false, false},
    };
    for (int state : {eQuitHander_State_Initial, eQuitHander_State_Waiting_ForTVDJS,
                      eQuitHander_State_QuitHandlingDone}) {
        handler->SetQuitState(state);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.text);
            const SInterAppMessage message = ParseInterAppMessage(c.text);
            bool terminate = !c.terminate;
            EXPECT_EQ(handler->DeduseNativeMessageDisconnectResponse(message, terminate), c.parsed);
            EXPECT_EQ(terminate, c.terminate);
            handler->OnInterAppMessageRceive(message);
            EXPECT_EQ(handler->GetQuitState(), state);
        }
    }
    EXPECT_TRUE(client->calls.empty());
}

TEST(AppQuitHandlerNames, StatesAreNamedForTheLog) {
    EXPECT_STREQ(CAppQuitHandler::GetQuitStateName(0), "eQuitHander_State_Initial");
    EXPECT_STREQ(CAppQuitHandler::GetQuitStateName(1), "eQuitHander_State_Waiting_ForTVDJS");
    EXPECT_STREQ(CAppQuitHandler::GetQuitStateName(2), "eQuitHander_State_Waiting_ForExtension");
    EXPECT_STREQ(CAppQuitHandler::GetQuitStateName(3), "eQuitHander_State_QuitHandlingDone");
    EXPECT_STREQ(CAppQuitHandler::GetQuitStateName(4), "Unknown-Quit-State");
    EXPECT_STREQ(CAppQuitHandler::GetQuitStateName(-1), "Unknown-Quit-State");
}

TEST(AppQuitHandlerNoClient, NothingStartsWithoutAClient) {
    auto handler = std::make_shared<CAppQuitHandler>();
    EXPECT_FALSE(handler->StartQuitSequence());
    EXPECT_EQ(handler->GetQuitState(), eQuitHander_State_Initial);
    handler->SetQuitState(eQuitHander_State_Waiting_ForTVDJS);
    EXPECT_TRUE(handler->HandleJSQuitCompletion());  // logged, still ends
    EXPECT_EQ(handler->GetQuitState(), eQuitHander_State_QuitHandlingDone);
}
}  // namespace
