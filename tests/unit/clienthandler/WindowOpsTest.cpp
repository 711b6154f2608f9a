// Window operations, full screen and the user's close.
#include "Fakes.h"
#include "common/AppHelper.h"
#include "common/AppWindowHandler/AppWindowUtil.h"

namespace tvc::test {
using platform::Rect;

class WindowOpsTest : public HandlerTest {
  protected:
    void SetUp() override {
        HandlerTest::SetUp();
        MakeHandler();
        window->calls.clear();
    }
};

TEST_F(WindowOpsTest, SetWindowSizeClampsToTheWorkAreaAndPullsBack) {
    window->rect = {1500, 900, 800, 600};
    handler->WindowOps().SetWindowSize(300, 200);  // below the minimum: logged, still applied
    EXPECT_EQ(window->rect, (Rect{1500, 850, 300, 200}));

    handler->WindowOps().SetWindowSize(
        5000, 4000);  // larger than the screen: maximised size at the origin
    EXPECT_EQ(window->rect, (Rect{0, 0, 1920, 1050}));

    window->rect = {1500, 900, 800, 600};
    handler->WindowOps().SetWindowSize(800, 600);  // pulled back inside
    EXPECT_EQ(window->rect, (Rect{1120, 450, 800, 600}));

    window->rect = {-200, -50, 800, 600};
    handler->WindowOps().SetWindowSize(800, 600);
    EXPECT_EQ(window->rect, (Rect{0, 0, 800, 600}));
}

TEST_F(WindowOpsTest, ClampRespectsAWorkAreaThatDoesNotStartAtTheOrigin) {
    desktop->area = {0, 32, 1920, 1048};  // a top panel
    int w = 1000, h = 2000, x = 100, y = 0;
    handler->WindowOps().OverrideWindowCoordinatesToWithinScreen(w, h, x, y);
    EXPECT_EQ((Rect{x, y, w, h}), (Rect{100, 32, 1000, 1048}));
}

TEST_F(WindowOpsTest, MinimumSizeGrowsASmallerWindowOnly) {
    window->rect = {100, 100, 400, 300};
    handler->WindowOps().SetMinimumWindowSize(500, 400);
    EXPECT_EQ(window->rect, (Rect{100, 100, 500, 400}));
    EXPECT_EQ(window->packed, (500u << 16) | 400u);
    EXPECT_EQ(handler->WindowOps().MinimumWidth(), 500);

    window->calls.clear();
    window->rect = {100, 100, 1220, 700};
    handler->WindowOps().SetMinimumWindowSize(500, 400);
    EXPECT_TRUE(window->calls.empty());
    EXPECT_EQ(window->rect, (Rect{100, 100, 1220, 700}));
}

TEST_F(WindowOpsTest, BringToFrontSkipsAVisibleForegroundWindowUnlessForced) {
    window->foreground = true;
    window->visible = true;
    handler->BringWindowToFront(false);
    EXPECT_TRUE(window->calls.empty());
    EXPECT_EQ(handler->updateTriggers, 0);

    const Rect before = window->rect;
    handler->BringWindowToFront(true);
    EXPECT_EQ(handler->updateTriggers, 1);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"Present"}));
    EXPECT_EQ(window->rect, before);

    window->calls.clear();
    window->foreground = false;  // hidden behind others: goes through the sequence unforced
    handler->BringWindowToFront(false);
    EXPECT_EQ(window->calls.back(), "Present");
    EXPECT_EQ(handler->updateTriggers, 2);

    window->valid = false;
    handler->BringWindowToFront(true);
    EXPECT_EQ(handler->updateTriggers, 2);
}

TEST_F(WindowOpsTest, StickOnTopOnlyForAVisibleWindow) {
    window->visible = false;
    handler->WindowOps().StickWindowOnTop(true);
    EXPECT_FALSE(window->keepAbove);
    window->visible = true;
    handler->WindowOps().StickWindowOnTop(true);
    EXPECT_TRUE(window->keepAbove);
    handler->WindowOps().StickWindowOnTop(false);
    EXPECT_FALSE(window->keepAbove);
}

TEST_F(WindowOpsTest, OperationsWithoutAWindowDoNothing) {
    handler->SetMainHwnd(nullptr);
    handler->WindowOps().SetWindowSize(800, 600);
    handler->WindowOps().SetMinimumWindowSize(500, 400);
    handler->WindowOps().ShowMaximizedWindow();
    handler->WindowOps().ShowMinimizedWindow();
    handler->BringWindowToFront(true);
    EXPECT_FALSE(handler->WindowOps().HideApp());
    EXPECT_FALSE(handler->WindowOps().SetFocusWindow());
    EXPECT_TRUE(window->calls.empty());
    EXPECT_EQ(handler->updateTriggers, 0);
}

TEST_F(WindowOpsTest, FullScreenRestoresTheMaximisedWindowAndItsRectangle) {
    NativeFullScreenHandler fs;
    fs.SetFullScreen(true);  // no window yet: nothing changes
    EXPECT_FALSE(fs.IsFullScreen());

    fs.SetWindowHandle(window);
    window->maximized = true;
    window->rect = {10, 20, 1920, 1050};
    fs.SetFullScreen(true);
    fs.SetFullScreen(true);
    window->rect = {0, 0, 1920, 1080};
    fs.SetFullScreen(false);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"Unmaximize", "Fullscreen", "Unfullscreen",
                                                       "SetRect", "ShowMaximized"}));
    EXPECT_EQ(window->rect, (Rect{10, 20, 1920, 1050}));
    EXPECT_FALSE(fs.IsFullScreen());

    window->calls.clear();
    window->maximized = false;
    window->rect = {50, 60, 800, 600};
    fs.SetFullScreen(true);
    fs.SetFullScreen(false);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"Fullscreen", "Unfullscreen", "SetRect"}));
    EXPECT_EQ(window->rect, (Rect{50, 60, 800, 600}));
}

TEST_F(WindowOpsTest, UserCloseIsExpectedAndQueuedOnlyOnAWindow) {
    EXPECT_FALSE(CAppWindowUtil::PerformUserWindowClose(nullptr));
    window->postSucceeds = false;
    EXPECT_FALSE(CAppWindowUtil::PerformUserWindowClose(window));  // nothing will close it
    window->postSucceeds = true;
    EXPECT_TRUE(CAppWindowUtil::PerformUserWindowClose(window));
    EXPECT_TRUE(CAppHelper::GetIsApplicationWindowCloseExpected());
    EXPECT_EQ(window->calls.back(), "PostClose");
}

TEST_F(WindowOpsTest, MessageBoxCloseEventClosesTheApplication) {
    handler->HandleMessageBoxEvent(1);
    EXPECT_TRUE(window->calls.empty());
    handler->HandleMessageBoxEvent(CTVCClientHandler::kMessageBoxEventCloseApplication);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"PostClose"}));
}

TEST_F(WindowOpsTest, PortFailureShowsTheDialogFromATaskOfItsOwn) {
    const struct {
        const char* helpSwitch;
        const char* offered;
    } cases[] = {
        {nullptr, kDefaultHelpURL},
        {"--help-url=https://help.example/ports", "https://help.example/ports"},
        {"--help-url=file:///etc/passwd", kDefaultHelpURL},  // never handed to the desktop
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.helpSwitch ? c.helpSwitch : "no switch");
        SetSwitches(c.helpSwitch ? std::vector<std::string>{c.helpSwitch}
                                 : std::vector<std::string>{});
        MakeHandler();
        auto boxes = std::make_shared<FakeMessageBoxes>();
        handler->SetMessageBoxes(boxes);
        handler->HandleInterAppMessagingModuleFailure();
        ASSERT_TRUE(boxes->shown.empty());
        RunPostedTasks();
        ASSERT_EQ(boxes->shown.size(), 1u);
        const auto& box = boxes->shown[0];
        EXPECT_EQ(box.title, "Tavisto for Web : ports unavailable/blocked.");
        EXPECT_EQ(box.message,
                  "Your Tavisto for Web cannot access the required port(s) for network "
                  "communication." +
                      std::string(36, ' ') +
                      "Please ensure that port # 51001 is available and relaunch the application.");
        EXPECT_EQ(box.type, 1);
        EXPECT_EQ(box.helpUrl, c.offered);

        window->calls.clear();
        box.listener.lock()->HandleMessageBoxEvent(2);
        EXPECT_EQ(window->calls, (std::vector<std::string>{"PostClose"}));
        EXPECT_TRUE(CAppHelper::GetIsApplicationWindowCloseExpected());
    }
}

TEST_F(WindowOpsTest, PortFailureReportedAsTheHandlerGoesAwayShowsNothing) {
    auto boxes = std::make_shared<FakeMessageBoxes>();
    handler->SetMessageBoxes(boxes);
    handler->HandleInterAppMessagingModuleFailure();
    handler.reset();
    RunPostedTasks();
    EXPECT_TRUE(boxes->shown.empty());
}
}  // namespace tvc::test
