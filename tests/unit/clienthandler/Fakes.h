// Recording fakes of the engine, window, desktop and splash interfaces, and a per-test sandbox.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/AppInfo.h"
#include "common/AppProps.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/ClientHandler/TVCClientHandler.h"
#include "common/CommandLine.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/ProcessMessages.h"
#include "common/TaskRunner.h"
#include "engine/Browser.h"
#include "engine/ContextMenu.h"
#include "platform/AppWindow.h"
#include "platform/Splash.h"

namespace tvc::test {

struct FakeFrame : engine::IFrame {
    std::string url;
    // The application's web site unless a test says otherwise: the page's messages are heard.
    std::string committed = "https://www.tavisto.example/desktop/";
    std::vector<std::string> loads;
    std::vector<std::pair<std::string, std::string>> alternates;  // html, failed url
    std::string GetURL() const override { return url; }
    std::string GetCommittedURL() const override { return committed; }
    bool IsMain() const override { return true; }
    void LoadURL(const std::string& u) override { loads.push_back(u); }
    void LoadAlternateHtml(const std::string& html, const std::string& failed) override {
        alternates.emplace_back(html, failed);
    }
};

struct FakeHost : engine::IBrowserHost {
    std::vector<std::string> calls;
    std::vector<std::string> downloads;
    void CloseBrowser(bool force) override { calls.push_back(force ? "Close(force)" : "Close"); }
    void SetFocus(bool) override { calls.push_back("SetFocus"); }
    void ShowDevTools() override { calls.push_back("ShowDevTools"); }
    void CloseDevTools() override { calls.push_back("CloseDevTools"); }
    void InspectElementAt(int x, int y) override {
        calls.push_back("Inspect " + std::to_string(x) + "," + std::to_string(y));
    }
    void SetMouseCursorChangeDisabled(bool) override { calls.push_back("CursorOff"); }
    void StartDownload(const std::string& url) override { downloads.push_back(url); }
};

struct FakeBrowser : engine::IBrowser {
    int id;
    bool popup;
    std::shared_ptr<FakeFrame> frame = std::make_shared<FakeFrame>();
    FakeHost host;
    std::vector<engine::ProcessMessage> sent;
    bool sendSucceeds = true;
    FakeBrowser(int i, bool p = false) : id(i), popup(p) {}
    int GetIdentifier() const override { return id; }
    bool IsPopup() const override { return popup; }
    std::shared_ptr<engine::IFrame> GetMainFrame() override { return frame; }
    engine::IBrowserHost& GetHost() override { return host; }
    int reloads = 0, cacheBypassingReloads = 0, terminations = 0;
    void Reload() override { ++reloads; }
    void ReloadIgnoreCache() override { ++cacheBypassingReloads; }
    void TerminateRenderProcess() override { ++terminations; }
    bool SendProcessMessage(engine::ProcessId, const engine::ProcessMessage& m) override {
        sent.push_back(m);
        return sendSucceeds;
    }
};

// Records every call by name, in order, so sequences can be compared.
struct FakeWindow : platform::IAppWindow {
    std::vector<std::string> calls;
    platform::Rect rect{100, 100, 1220, 700};
    bool valid = true, visible = true, foreground = false, maximized = false, minimized = false;
    bool keepAbove = false, fullscreen = false, postSucceeds = true;
    std::uint32_t packed = 0;
    bool IsValid() const override { return valid; }
    bool IsVisible() const override { return visible; }
    bool IsForeground() const override { return foreground; }
    bool IsMaximized() const override { return maximized; }
    bool IsMinimized() const override { return minimized; }
    platform::Rect GetRect() const override { return rect; }
    void SetRect(const platform::Rect& r) override {
        rect = r;
        calls.push_back("SetRect");
    }
    void Show() override { calls.push_back("Show"); }
    void Hide() override { calls.push_back("Hide"); }
    void ShowNormal() override { calls.push_back("ShowNormal"); }
    void ShowMaximized() override {
        maximized = true;
        calls.push_back("ShowMaximized");
    }
    void ShowMinimized() override { calls.push_back("ShowMinimized"); }
    void Unmaximize() override {
        maximized = false;
        calls.push_back("Unmaximize");
    }
    void SetKeepAbove(bool above) override {
        keepAbove = above;
        calls.push_back(above ? "KeepAbove" : "NoKeepAbove");
    }
    void Raise() override { calls.push_back("Raise"); }
    void Present() override { calls.push_back("Present"); }
    void SetFullscreen(bool on) override {
        fullscreen = on;
        calls.push_back(on ? "Fullscreen" : "Unfullscreen");
    }
    void SetMinimumSizePacked(std::uint32_t p) override { packed = p; }
    std::uint32_t GetMinimumSizePacked() const override { return packed; }
    bool PostClose() override {
        calls.push_back("PostClose");
        return postSucceeds;
    }
    bool PostFocus() override {
        calls.push_back("PostFocus");
        return postSucceeds;
    }
};

struct FakeDesktop : platform::IDesktop {
    platform::Rect area{0, 0, 1920, 1050};
    std::vector<std::string> opened;
    bool shutdownQueryOk = true, shuttingDown = false;
    platform::Rect GetMaximizedArea() const override { return area; }
    std::vector<platform::Rect> GetWorkAreas() const override { return {area}; }
    bool OpenUrlExternally(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    bool GetIsSystemShutdownInProgress(bool& inProgress) override {
        inProgress = shuttingDown;
        return shutdownQueryOk;
    }
};

struct FakeSplash : platform::ISplashScreen {
    std::vector<std::string> calls;
    bool shown = false;
    void ShowSplashScreen(int timeoutMs) override {
        shown = true;
        calls.push_back("Show " + std::to_string(timeoutMs));
    }
    void HideSplashScreen() override {
        shown = false;
        calls.push_back("Hide");
    }
    bool IsShown() const override { return shown; }
};

struct FakeManager : IInterAppMessagingManager {
    std::vector<unsigned> ports;
    int starts = 0, stops = 0, cleanups = 0;
    unsigned activePort = 0;  // answered while listening
    t_enumInterAppMessageManagerState state = eIdle;
    std::vector<std::string> sent;
    std::vector<std::shared_ptr<IInterAppMessageObserver>> observers;
    bool Start() override { return ++starts, true; }
    bool Stop() override {
        state = eIdle;
        return ++stops, true;
    }
    bool Send(const std::string& text) override { return sent.push_back(text), true; }
    bool Subscribe(const std::shared_ptr<IInterAppMessageObserver>& o) override {
        return observers.push_back(o), true;
    }
    bool UnSubscribe(const std::shared_ptr<IInterAppMessageObserver>& o) override {
        std::erase(observers, o);
        return true;
    }
    t_enumInterAppMessageManagerState GetManagerState() override { return state; }
    void Cleanup() override {
        ++cleanups;
        observers.clear();
    }
    bool Set_Trial_PortList(const std::vector<unsigned>& list) override {
        ports = list;
        return true;
    }
    bool GetActivePort(unsigned& port) override {
        port = activePort;
        return state == eListening || state == eConnected;
    }
};

struct FakeMessageBoxes : platform::IMessageBoxes {
    struct Shown {
        std::string title, message, helpUrl;
        int type;
        std::weak_ptr<GUIUtils::IMessageBoxEventsListner> listener;
    };
    std::vector<Shown> shown;
    bool ShowMessageBox(const std::string& title, const std::string& message, int type,
                        const std::string& helpUrl,
                        std::weak_ptr<GUIUtils::IMessageBoxEventsListner> listener) override {
        shown.push_back({title, message, helpUrl, type, std::move(listener)});
        return true;
    }
    std::vector<int> closed;
    void CloseMessageBox(int type) override { closed.push_back(type); }
};

// Runs what was posted to the main loop (the test's thread is the main thread).
inline void RunPostedTasks() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// Counts update checks, which the real handler only logs until the updater exists.
class TestHandler : public CTVCClientHandler {
  public:
    using CTVCClientHandler::CTVCClientHandler;
    int updateTriggers = 0;
    void TriggerApplicationUpdate() override {
        ++updateTriggers;
        CTVCClientHandler::TriggerApplicationUpdate();
    }
};

// A private HOME / XDG tree and preferences file per test; switches given per test.
class HandlerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tvc-ch-XXXXXX";
        root = mkdtemp(tmpl);
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        unsetenv("XDG_DOWNLOAD_DIR");
        CAppPaths::ResetForTesting();
        InitializeProductAppInfo();
        CAppProps::SetFilePath(root + "/AppPreferrence.ini");
        ResetAppUrlsForTesting();
        SetSwitches({});
    }
    void TearDown() override {
        handler.reset();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    static void SetSwitches(const std::vector<std::string>& switches) {
        std::vector<const char*> argv{"TavistoForWeb"};
        for (auto& s : switches) argv.push_back(s.c_str());
        InitCommandLine(static_cast<int>(argv.size()), argv.data());
    }
    // Builds the handler with every fake wired, as the shell does: the messaging with
    // `managerFactory` and, once a test sets it, `retryTimer`.
    void MakeHandler(std::shared_ptr<CUpdateFlow> updates = nullptr) {
        auto windowOps = std::make_shared<CWindowOperations>(
            CTVCClientHandler::kMinimumWindowWidth, CTVCClientHandler::kMinimumWindowHeight);
        auto browsers = std::make_shared<CBrowserSet>([this] { ++quitLoopCalls; });
        auto messaging = std::make_shared<CInterAppMessaging>(
            windowOps, browsers, managerFactory,
            [this](std::chrono::milliseconds delay, std::function<void()> task) {
                if (retryTimer)
                    retryTimer(delay, std::move(task));
                else
                    runner::PostDelayedDetached(delay, std::move(task));
            });
        recovery = std::make_shared<CPageRecovery>(recoveryTimer, recoveryClock);
        recovery->SetSplashScreen(splash);
        handler = std::make_shared<TestHandler>(windowOps, std::move(updates), recovery, browsers,
                                                messaging);
        handler->WindowOps().SetDesktop(desktop);
        handler->SetMainHwnd(window);
    }
    std::shared_ptr<FakeBrowser> MakeMainBrowser() {
        auto b = std::make_shared<FakeBrowser>(1);
        handler->OnAfterCreated(b);
        return b;
    }
    static engine::ProcessMessage Msg(std::string name, engine::ListValue args = {}) {
        return engine::ProcessMessage{std::move(name), std::move(args)};
    }

    std::string root;
    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    std::shared_ptr<FakeSplash> splash = std::make_shared<FakeSplash>();
    std::shared_ptr<FakeWindow> window = std::make_shared<FakeWindow>();
    std::shared_ptr<TestHandler> handler;
    // The page's recovery, with the timer and clock a test gives before MakeHandler.
    std::shared_ptr<CPageRecovery> recovery;
    CPageRecovery::Timer recoveryTimer;
    std::function<CPageRecovery::Clock::time_point()> recoveryClock;
    CInterAppMessaging::ManagerFactory managerFactory;
    CInterAppMessaging::Timer retryTimer;
    int quitLoopCalls = 0;
};

// The handler with `manager` as its messaging module and the main browser; tests speak as the page.
class PageMessagingTest : public HandlerTest {
  protected:
    void SetUp() override {
        HandlerTest::SetUp();
        managerFactory = [this](const std::vector<unsigned>& ports) {
            ++created;
            manager->ports = ports;
            return manager;
        };
        MakeHandler();
        WireMainThread();
        browser = MakeMainBrowser();
    }
    // Fixtures that run posted tasks or timers set them up here, before the browser exists.
    virtual void WireMainThread() {}
    bool Send(const std::string& name, engine::ListValue args = {}) {
        return handler->OnProcessMessageReceived(browser, engine::ProcessId::Renderer,
                                                 Msg(name, std::move(args)));
    }
    std::shared_ptr<FakeManager> manager = std::make_shared<FakeManager>();
    int created = 0;
    std::shared_ptr<FakeBrowser> browser;
};
}  // namespace tvc::test
