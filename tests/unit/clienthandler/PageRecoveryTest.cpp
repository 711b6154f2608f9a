// The handler when the page cannot come: the splash, the tries of a failed load, the reload keys
// and a page that stopped answering.
#include <chrono>
#include <functional>
#include <vector>

#include "Fakes.h"

namespace tvc::test {
namespace {
constexpr const char* kUrl = "http://127.0.0.1:8080/app";
constexpr int kF5 = 0x74;

struct FakeDialog : platform::IPageNotRespondingDialog {
    bool shown = false;
    std::function<void()> reload, wait;
    void Show(std::function<void()> onReload, std::function<void()> onWait) override {
        shown = true;
        reload = std::move(onReload);
        wait = std::move(onWait);
    }
    void Close() override { shown = false; }
};

class PageRecoveryTest : public HandlerTest {
  protected:
    void SetUp() override {
        HandlerTest::SetUp();
        SetSwitches({std::string("--url=") + kUrl});
        recoveryTimer = [this](std::chrono::milliseconds delay, std::function<void()> t) {
            timers.push_back({delay, std::move(t)});
        };
        MakeHandler();
        recovery->SetPageNotRespondingDialog(dialog);
        browser = MakeMainBrowser();
        splash->ShowSplashScreen(0);
    }
    // What the engine reports when the main frame's load of `url` fails, then shows the error page.
    void FailLoad(int code, const std::string& url = kUrl) {
        handler->OnLoadStart(browser, url);
        handler->OnLoadError(browser, browser->frame, code, "failed", url);
        handler->OnLoadStart(browser, url);
        handler->OnLoadCommit(browser);
    }
    void RunTimer(size_t i) {
        auto task = std::move(timers.at(i).second);
        task();
    }
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
    std::shared_ptr<FakeDialog> dialog = std::make_shared<FakeDialog>();
    std::shared_ptr<FakeBrowser> browser;
};

TEST_F(PageRecoveryTest, AFailedLoadShowsItsError) {
    FailLoad(engine::kErrorFailed);
    EXPECT_FALSE(splash->shown) << "the error page must not stay under the splash";
    EXPECT_EQ(browser->frame->alternates.size(), 1u);
    EXPECT_TRUE(timers.empty()) << "only network failures are tried again";

    handler->OnLoadStart(browser, "https://elsewhere.example/");
    handler->OnLoadCommit(browser);
    EXPECT_FALSE(splash->shown) << "another page comes as any navigation does";
}

TEST_F(PageRecoveryTest, ANetworkFailureIsTriedAgainAfterItsWaitOrWhenTheNetworkComesUp) {
    FailLoad(engine::kErrorConnectionRefused);
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].first, std::chrono::seconds(5));
    RunTimer(0);
    EXPECT_EQ(browser->frame->loads, (std::vector<std::string>{kUrl}));

    FailLoad(engine::kErrorConnectionRefused);
    ASSERT_EQ(timers.size(), 2u);
    EXPECT_EQ(timers[1].first, std::chrono::seconds(10));
    recovery->OnNetworkChanged(false);
    EXPECT_EQ(browser->frame->loads.size(), 1u);
    recovery->OnNetworkChanged(true);
    EXPECT_EQ(browser->frame->loads.size(), 2u);
    RunTimer(1);  // overtaken by the network's try
    EXPECT_EQ(browser->frame->loads.size(), 2u);

    handler->OnLoadStart(browser, kUrl);
    handler->OnLoadCommit(browser);
    EXPECT_TRUE(splash->shown) << "the page shows as at a start, until it reports ready";
    recovery->OnNetworkChanged(true);
    EXPECT_EQ(browser->frame->loads.size(), 2u) << "nothing left to try once the page came";
}

TEST_F(PageRecoveryTest, ReloadKeys) {
    struct Case {
        int key, modifiers;
        int reloads, bypassing;
    };
    const Case cases[] = {
        {kF5, 0, 1, 0},
        {'R', engine::kKeyControl, 1, 0},
        {'R', engine::kKeyControl | engine::kKeyShift, 0, 1},
        {kF5, engine::kKeyAlt, 0, 0},
        {'R', 0, 0, 0},
        {'R', engine::kKeyControl | engine::kKeyAlt, 0, 0},
        {0x75 /* F6 */, 0, 0, 0},
    };
    for (const auto& c : cases) {
        auto b = std::make_shared<FakeBrowser>(7, true);
        const bool handled = handler->OnKeyEvent(b, {c.key, c.modifiers});
        EXPECT_EQ(handled, c.reloads + c.bypassing > 0) << c.key << "/" << c.modifiers;
        EXPECT_EQ(b->reloads, c.reloads) << c.key << "/" << c.modifiers;
        EXPECT_EQ(b->cacheBypassingReloads, c.bypassing) << c.key << "/" << c.modifiers;
    }
    // On the error page the key loads the address that failed, not the error page again.
    FailLoad(engine::kErrorNameNotResolved);
    EXPECT_TRUE(handler->OnKeyEvent(browser, {kF5, 0}));
    EXPECT_EQ(browser->reloads, 0);
    EXPECT_EQ(browser->frame->loads, (std::vector<std::string>{kUrl}));
}

TEST_F(PageRecoveryTest, APageThatStopsAnsweringCanBeReloadedOrWaitedFor) {
    handler->OnResponsivenessChange(browser, false);
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].first, CPageRecovery::kUnresponsiveWait);
    RunTimer(0);
    ASSERT_TRUE(dialog->shown);
    dialog->shown = false;
    dialog->wait();  // asked again after another wait
    ASSERT_EQ(timers.size(), 2u);
    RunTimer(1);
    ASSERT_TRUE(dialog->shown);
    dialog->reload();
    EXPECT_EQ(browser->terminations, 1);

    // It answers again before the wait is over, or while the dialog is up.
    handler->OnResponsivenessChange(browser, true);
    handler->OnResponsivenessChange(browser, false);
    handler->OnResponsivenessChange(browser, true);
    RunTimer(2);
    EXPECT_FALSE(dialog->shown);
    handler->OnResponsivenessChange(browser, false);
    RunTimer(3);
    ASSERT_TRUE(dialog->shown);
    handler->OnResponsivenessChange(browser, true);
    EXPECT_FALSE(dialog->shown);
    // A page that commits comes from a web process that answers, whatever was reported before.
    handler->OnResponsivenessChange(browser, false);
    RunTimer(4);
    handler->OnLoadCommit(browser);
    EXPECT_FALSE(dialog->shown);
    handler->OnResponsivenessChange(browser, false);
    EXPECT_EQ(timers.size(), 6u) << "a new wait, not the old one";
}
// A popup shares the page's web process and reports its end too: the main page's hung-page watch
// and crash reloads are the main page's alone, and the popup is closed, not reloaded.
TEST_F(PageRecoveryTest, APopupsWebProcessEndLeavesTheMainPagesRecoveryAlone) {
    auto popup = std::make_shared<FakeBrowser>(2, true);
    handler->OnAfterCreated(popup);
    handler->OnResponsivenessChange(browser, false);
    for (int i = 0; i < CCrashReloadGuard::kMaxReloads; ++i)
        handler->OnRenderProcessTerminated(popup, engine::TerminationStatus::ProcessCrashed);
    RunPostedTasks();
    EXPECT_TRUE(popup->frame->loads.empty());
    EXPECT_EQ(popup->reloads, 0);
    ASSERT_FALSE(popup->host.calls.empty());
    EXPECT_EQ(popup->host.calls.front(), "Close(force)");
    RunTimer(0);
    EXPECT_TRUE(dialog->shown) << "the main page's hung-page watch was stopped";
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    EXPECT_EQ(browser->reloads + browser->frame->loads.size(), 1u);
    EXPECT_TRUE(browser->frame->alternates.empty()) << "the crash limit was used up by the popup";
}
}  // namespace
}  // namespace tvc::test
