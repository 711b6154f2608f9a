// The handler's own decisions: popups, load errors, crashes, browser life span, console file,
// context menu, drags, downloads.
#include <chrono>
#include <filesystem>
#include <fstream>

#include "Fakes.h"
#include "common/ConsoleLog.h"
#include "common/FileUtil.h"

namespace tvc::test {
namespace fs = std::filesystem;

TEST_F(HandlerTest, StartUrlDefaultsToTheStartPageBesideTheExecutableAsFileUri) {
    MakeHandler();
    std::string folder;
    CAppPaths::GetPath(CAppPaths::eApplicationFolder, folder);
    EXPECT_EQ(handler->GetStartupURL(), "file://" + folder + "cef_js_app.html");
    EXPECT_EQ(handler->WindowOps().MinimumWidth(), 400);
    EXPECT_EQ(handler->WindowOps().MinimumHeight(), 300);
    // SetMainHwnd shows the splash without a time-out.
    EXPECT_EQ(splash->calls, (std::vector<std::string>{"Show 0"}));

    SetSwitches({"--url=https://app.example/start"});
    TestHandler withSwitch;
    EXPECT_EQ(withSwitch.GetStartupURL(), "https://app.example/start");
}

// ---- popups ----
struct PopupCase {
    const char* domains;
    const char* target;
    bool opensInApp;
};
class PopupPolicyTest : public HandlerTest, public ::testing::WithParamInterface<PopupCase> {};

TEST_P(PopupPolicyTest, DomainPiecesDecideWhereThePopupOpens) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    const auto& c = GetParam();
    handler->HandleSetPopupDomain(c.domains);
    const bool cancelled = handler->OnBeforePopup(browser, browser->frame, c.target);
    EXPECT_EQ(cancelled, !c.opensInApp);
    EXPECT_EQ(desktop->opened.size(), c.opensInApp ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PopupPolicyTest,
    ::testing::Values(
        PopupCase{"", "https://other.example/", false},              // empty list
        PopupCase{"pay.example,", "https://other.example/", false},  // trailing comma adds nothing
        PopupCase{"pay.example,", "https://pay.example/x", true},
        PopupCase{"a.example,,b.example", "https://other.example/",
                  true},                                          // empty piece matches all
        PopupCase{",a.example", "https://other.example/", true},  // leading comma too
        PopupCase{"a.example,pay", "https://www.pay.example/checkout", true},  // plain substring
        PopupCase{"Pay.example", "https://pay.example/", false}));             // case-sensitive

TEST_F(HandlerTest, PopupsSentOutsideOnlyForWebMailAndSpotifyAddresses) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    for (const char* url :
         {"https://x.example/", "http://x.example/", "mailto:a@b.example", "spotify:track:1"})
        EXPECT_TRUE(handler->OnBeforePopup(browser, browser->frame, url)) << url;
    for (const char* url :
         {"file:///etc/passwd", "smb://host/share", "javascript:alert(1)", "custom:x", ""})
        EXPECT_TRUE(handler->OnBeforePopup(browser, browser->frame, url)) << url;
    EXPECT_EQ(desktop->opened, (std::vector<std::string>{"https://x.example/", "http://x.example/",
                                                         "mailto:a@b.example", "spotify:track:1"}));
}

// ---- load errors ----
TEST_F(HandlerTest, LoadErrorPageExceptAbortedAndSpotifyUnknownScheme) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    auto& frame = *browser->frame;

    handler->OnLoadError(browser, browser->frame, -3, "aborted", "https://a.example/");
    frame.url = "spotify:track:1";
    handler->OnLoadError(browser, browser->frame, -302, "unknown scheme", "spotify:track:1");
    EXPECT_TRUE(frame.alternates.empty());

    frame.url = "https://a.example/";
    handler->OnLoadError(browser, browser->frame, -302, "unknown scheme", "foo:bar");
    handler->OnLoadError(browser, browser->frame, -105, "name not resolved", "https://nx.example/");
    ASSERT_EQ(frame.alternates.size(), 2u);
    EXPECT_EQ(frame.alternates[1].first,
              "<html><body bgcolor=\"white\"><h2>Failed to load URL https://nx.example/ with error "
              "name not "
              "resolved (-105).</h2></body></html>");
    EXPECT_EQ(frame.alternates[1].second, "https://nx.example/");
}

TEST_F(HandlerTest, LoadErrorPageEscapesMarkupInUrlAndText) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    const std::string url = "https://x.example/?q=<script>alert('x')</script>&a=\"b\"";
    handler->OnLoadError(browser, browser->frame, -2, "<b>bad</b>", url);
    ASSERT_EQ(browser->frame->alternates.size(), 1u);
    const std::string& html = browser->frame->alternates[0].first;
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;a=&quot;b&quot;"),
              std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;bad&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(browser->frame->alternates[0].second, url);  // the address itself is not altered
}

// ---- renderer crashes ----
TEST_F(HandlerTest, CrashReloadsTheStartAddressOrThePageAlreadyThereUnlessShuttingDown) {
    SetSwitches({"--url=https://App.example/Start"});
    MakeHandler();
    auto browser = MakeMainBrowser();
    auto& frame = *browser->frame;

    desktop->shuttingDown = true;
    frame.url = "https://other.example/";
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    EXPECT_TRUE(frame.loads.empty());
    EXPECT_EQ(browser->reloads, 0);

    desktop->shuttingDown = false;
    frame.url = "https://app.example/start?locale=fr_FR";  // same address, other case
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    EXPECT_TRUE(frame.loads.empty()) << "the page already there is reloaded, not replaced";
    EXPECT_EQ(browser->reloads, 1);

    frame.url = "https://other.example/";
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessWasKilled);
    EXPECT_EQ(frame.loads, (std::vector<std::string>{"https://App.example/Start"}));

    // A failed shutdown query counts as no shutdown.
    desktop->shutdownQueryOk = false;
    desktop->shuttingDown = true;
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    EXPECT_EQ(frame.loads.size(), 2u);
}

TEST_F(HandlerTest, CrashOnTheFileStartPageIsRecognised) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    std::string start = handler->GetStartupURL();
    ASSERT_EQ(start.rfind("file:///", 0), 0u);
    for (auto& c : start)  // the engine may report the path in another case of its escapes
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    browser->frame->url = start;
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    EXPECT_TRUE(browser->frame->loads.empty());
    EXPECT_EQ(browser->reloads, 1);
}

TEST_F(HandlerTest, RepeatedCrashesStopReloadingThenResumeAfterTheWindow) {
    SetSwitches({"--url=https://app.example/"});
    auto now = CCrashReloadGuard::Clock::now();
    recoveryClock = [&] { return now; };
    MakeHandler();
    auto browser = MakeMainBrowser();
    // The start page crashes before its address commits, so the frame keeps the old one.
    browser->frame->url = "https://other.example/";
    for (int i = 0; i < 10; ++i) {
        handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
        now += std::chrono::seconds(1);
    }
    EXPECT_EQ(browser->frame->loads.size(), static_cast<size_t>(CCrashReloadGuard::kMaxReloads));
    // Past the limit the window is not left empty: the error page offers a reload and reloads
    // by itself once the first crash has left the window (at +60 s; the last crash came at +9 s).
    ASSERT_FALSE(browser->frame->alternates.empty());
    const std::string& html = browser->frame->alternates.back().first;
    EXPECT_NE(html.find("<a href=\"https://app.example/\">Reload</a>"), std::string::npos) << html;
    EXPECT_NE(html.find("content=\"51;url=https://app.example/\""), std::string::npos) << html;
    now += CCrashReloadGuard::kWindow;
    handler->OnRenderProcessTerminated(browser, engine::TerminationStatus::ProcessCrashed);
    EXPECT_EQ(browser->frame->loads.size(),
              static_cast<size_t>(CCrashReloadGuard::kMaxReloads) + 1);
}

// ---- life span ----
TEST_F(HandlerTest, LastBrowserClosingEndsTheLoopExactlyOnce) {
    MakeHandler();
    auto main = MakeMainBrowser();
    auto popup = std::make_shared<FakeBrowser>(2, true);
    auto second = std::make_shared<FakeBrowser>(3, false);
    handler->OnAfterCreated(popup);
    handler->OnAfterCreated(second);  // neither main nor popup: not stored, still counted
    EXPECT_EQ(handler->GetBrowser(), main);
    EXPECT_EQ(handler->Browsers().LiveCount(), 3);

    handler->Browsers().CloseAllBrowsers(false);
    EXPECT_EQ(popup->host.calls, (std::vector<std::string>{"Close"}));
    EXPECT_EQ(main->host.calls, (std::vector<std::string>{"Close"}));
    EXPECT_TRUE(second->host.calls.empty());

    // The main browser closes with its window, which is sent its close again.
    window->calls.clear();
    EXPECT_TRUE(handler->DoClose(main));
    EXPECT_TRUE(handler->Browsers().IsClosing());
    EXPECT_EQ(window->calls, std::vector<std::string>{"PostClose"});
    handler->OnBeforeClose(popup);
    handler->OnBeforeClose(second);
    EXPECT_EQ(quitLoopCalls, 0);
    handler->OnBeforeClose(main);
    EXPECT_EQ(quitLoopCalls, 1);
    EXPECT_EQ(handler->GetBrowser(), nullptr);
    handler->OnBeforeClose(main);  // reported twice
    handler->OnBeforeClose(nullptr);
    EXPECT_EQ(quitLoopCalls, 1);
}

TEST_F(HandlerTest, DoCloseOfAPopupLeavesTheHandlerOpen) {
    MakeHandler();
    MakeMainBrowser();
    auto popup = std::make_shared<FakeBrowser>(2, true);
    handler->OnAfterCreated(popup);
    EXPECT_FALSE(handler->DoClose(popup));
    EXPECT_FALSE(handler->Browsers().IsClosing());
    EXPECT_FALSE(handler->DoClose(nullptr));
    EXPECT_TRUE(handler->Browsers().IsClosing());
}

TEST_F(HandlerTest, ShowOnLaunchBringsTheWindowForward) {
    SetSwitches({"--show-on-launch", "--mouse-cursor-change-disabled"});
    MakeHandler();
    auto browser = MakeMainBrowser();
    EXPECT_EQ(handler->updateTriggers, 1);
    EXPECT_EQ(window->calls.back(), "Present");
    EXPECT_EQ(browser->host.calls, (std::vector<std::string>{"CursorOff"}));
}

// ---- console file ----
TEST_F(HandlerTest, ConsoleFileIsEmptiedOnlyOnceItExceedsTenMiB) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    std::string logs;
    ASSERT_EQ(CAppPaths::GetPath(CAppPaths::eLogsFolder, logs), CAppPaths::eOk);
    const std::string path = logs + "TVCJSLog.log";

    auto fill = [&](std::uintmax_t size) {
        std::ofstream(path, std::ios::trunc).close();
        fs::resize_file(path, size);
    };
    fill(kConsoleLogMaxBytes);  // exactly 10 MiB: appended
    EXPECT_FALSE(handler->OnConsoleMessage(browser, "hello", "page.js", 3));
    EXPECT_EQ(fs::file_size(path), kConsoleLogMaxBytes + 7);

    fill(kConsoleLogMaxBytes + 1);  // one byte more: emptied first
    handler->OnConsoleMessage(browser, "hello", "page.js", 3);
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "hello\r\n");
}

TEST_F(HandlerTest, ConsoleMessagesFromTheExtensionReachTheFile) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    EXPECT_TRUE(
        handler->OnProcessMessageReceived(browser, engine::ProcessId::Renderer,
                                          Msg(msg::kConsoleMessage, {std::string("from page")})));
    std::string logs;
    CAppPaths::GetPath(CAppPaths::eLogsFolder, logs);
    std::ifstream in(logs + "TVCJSLog.log", std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "from page\r\n");
}

// ---- context menu, drags, protocols, permissions ----
struct FakeMenu : engine::IContextMenuModel {
    std::vector<std::pair<int, std::string>> items;  // id 0 = separator
    int GetCount() const override { return static_cast<int>(items.size()); }
    void AddSeparator() override { items.emplace_back(0, ""); }
    void AddItem(int id, const std::string& label) override { items.emplace_back(id, label); }
};

TEST_F(HandlerTest, ContextMenuOffersDevToolsOnPagesAndFrames) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    FakeMenu empty, withItems, link;
    handler->OnBeforeContextMenu(browser, {engine::CM_TYPEFLAG_PAGE, 0, 0}, empty);
    EXPECT_EQ(empty.items, (std::vector<std::pair<int, std::string>>{{26500, "&Show DevTools"},
                                                                     {26506, "Close DevTools"},
                                                                     {0, ""},
                                                                     {26507, "Inspect Element"}}));
    withItems.AddItem(1, "Back");
    handler->OnBeforeContextMenu(browser, {engine::CM_TYPEFLAG_FRAME, 0, 0}, withItems);
    EXPECT_EQ(withItems.items[1], (std::pair<int, std::string>{0, ""}));
    EXPECT_EQ(withItems.items.size(), 6u);
    handler->OnBeforeContextMenu(browser, {engine::CM_TYPEFLAG_LINK, 0, 0}, link);
    EXPECT_TRUE(link.items.empty());

    engine::ContextMenuParams at{engine::CM_TYPEFLAG_PAGE, 12, 34};
    EXPECT_TRUE(handler->OnContextMenuCommand(browser, at, 26500));
    EXPECT_TRUE(handler->OnContextMenuCommand(browser, at, 26506));
    EXPECT_TRUE(handler->OnContextMenuCommand(browser, at, 26507));
    EXPECT_FALSE(handler->OnContextMenuCommand(browser, at, 1));
    EXPECT_EQ(browser->host.calls,
              (std::vector<std::string>{"ShowDevTools", "CloseDevTools", "Inspect 12,34"}));
}

TEST_F(HandlerTest, LinkDropsRefusedSpotifyHandedToTheSystem) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    EXPECT_TRUE(handler->OnDragEnter(browser, 2));
    EXPECT_TRUE(handler->OnDragEnter(browser, 1 | 2 | 16));
    EXPECT_FALSE(handler->OnDragEnter(browser, 1 | 16));
    EXPECT_TRUE(handler->OnProtocolExecution(browser, "spotify:track:1"));
    EXPECT_FALSE(handler->OnProtocolExecution(browser, "smb://host/"));
}

TEST_F(HandlerTest, OnlyTheApplicationsOwnOriginsGetPermissionsAndAreHeard) {
    SetSwitches({"--url=http://127.0.0.1:8000/app.html", "--web-site-url=https://site.example",
                 "--start-url-prefix=https://prefix.example:8443/index?locale="});
    MakeHandler();
    auto browser = MakeMainBrowser();
    CAppProps::WriteProperty("url", "starturl", "https://stored.example/start");
    const struct {
        const char* shown;
        bool own;
    } rows[] = {
        {"http://127.0.0.1:8000/other.html", true},
        {"https://site.example/x", true},
        {"https://prefix.example:8443/", true},
        {"https://stored.example/", false},  // a page's word widens nothing
        {"http://localhost:8000/app.html", false},
        {"http://127.0.0.1:8001/app.html", false},
        {"https://www.tavisto.example/", false},  // the defaults the switches replaced
        {"https://evil.example/", false},
        {"data:text/html,x", false},
        {"", false},  // nothing committed yet
    };
    for (const auto& row : rows) {
        browser->frame->committed = row.shown;
        browser->frame->url = "http://127.0.0.1:8000/app.html";  // where a load is heading
        EXPECT_EQ(handler->OnPermissionRequest(browser, "geolocation", ""), row.own) << row.shown;
        browser->frame->loads.clear();
        handler->OnProcessMessageReceived(browser, engine::ProcessId::Renderer,
                                          Msg(msg::kSetLocale, {std::string("fr_FR")}));
        EXPECT_EQ(browser->frame->loads.size(), row.own ? 1u : 0u) << row.shown;
    }
}

TEST_F(HandlerTest, AFrameThatNamesItsSiteIsDecidedByIt) {
    SetSwitches(
        {"--url=http://127.0.0.1:8000/app.html", "--web-site-url=https://www.site.example"});
    MakeHandler();
    auto browser = MakeMainBrowser();
    browser->frame->committed = "http://127.0.0.1:8000/app.html";
    const struct {
        const char* site;  // as the engine names the frame that asks
        bool granted;
    } rows[] = {
        {"", true},  // the engine does not say: the page shown decides
        {"127.0.0.1", true},
        {"site.example", true},
        {"SITE.example", true},
        {"evil.example", false},
        {"localhost", false},
        {"ite.example", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(handler->OnPermissionRequest(browser, "website data access", row.site),
                  row.granted)
            << row.site;
    browser->frame->committed = "https://evil.example/";
    EXPECT_FALSE(handler->OnPermissionRequest(browser, "website data access", "site.example"));
}

// ---- downloads ----
TEST_F(HandlerTest, PageDownloadsGoToTheUserDownloadFolderWithoutOverwriting) {
    MakeHandler();
    auto browser = MakeMainBrowser();
    const std::string folder = root + "/dl/";
    setenv("XDG_DOWNLOAD_DIR", folder.c_str(), 1);
    engine::DownloadItem item;
    item.url = "https://x.example/report.pdf";
    EXPECT_EQ(handler->OnBeforeDownload(browser, item, "report.pdf").path, folder + "report.pdf");
    std::ofstream(folder + "report.pdf") << "mine";
    EXPECT_EQ(handler->OnBeforeDownload(browser, item, "report.pdf").path,
              folder + "report (1).pdf");
    // A suggested name cannot climb out of the folder.
    EXPECT_EQ(handler->OnBeforeDownload(browser, item, "../../.bashrc").path, folder + ".bashrc");
    // Even a page download of a file named like the updater's goes to the user's folder.
    item.url = "https://evil.example/1.0.0.0.json";
    EXPECT_EQ(handler->OnBeforeDownload(browser, item, "1.0.0.0.json").path,
              folder + "1.0.0.0.json");

    unsetenv("XDG_DOWNLOAD_DIR");
    fs::create_directories(root + "/config");
    std::ofstream(root + "/config/user-dirs.dirs")
        << "XDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n";
    item.url = "https://x.example/a.txt";
    EXPECT_EQ(handler->OnBeforeDownload(browser, item, "a.txt").path,
              root + "/Telechargements/a.txt");
    fs::remove(root + "/config/user-dirs.dirs");
    EXPECT_EQ(handler->OnBeforeDownload(browser, item, "a.txt").path, root + "/Downloads/a.txt");
}

TEST_F(HandlerTest, AppDownloadsAreRoutedToTheCacheOrTheUpdateFolder) {
    // Held as the window procedure holds them: handled after the turn in which they came.
    std::vector<std::pair<int, std::string>> notifications;
    auto updates = std::make_shared<CUpdateFlow>(
        nullptr, [&](int id, const std::string& path) { notifications.emplace_back(id, path); });
    MakeHandler(updates);
    auto browser = MakeMainBrowser();

    // The one-time port-list download, started once.
    EXPECT_TRUE(handler->Messaging().StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(browser));
    EXPECT_FALSE(
        handler->Messaging().StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(browser));
    ASSERT_EQ(browser->host.downloads.size(), 1u);
    engine::DownloadItem config;
    config.url = browser->host.downloads[0];
    config.startedByApp = true;
    std::string cache;
    CAppPaths::GetPath(CAppPaths::eCacheFolder, cache);
    // What a download cut short by an earlier run's end left is swept away.
    fs::create_directories(cache + ".download-AbC123");
    std::ofstream(cache + ".download-AbC123/1.0.0.0.json") << "{\"config\":";
    // Our own downloads are written in a fresh private folder and moved into place when complete.
    const fs::path configStaged = handler->OnBeforeDownload(browser, config, "1.0.0.0.json").path;
    EXPECT_FALSE(fs::exists(cache + ".download-AbC123"));
    EXPECT_EQ(configStaged.parent_path().parent_path().string() + "/", cache);
    std::ofstream(configStaged) << "{}";
    config.isComplete = true;
    handler->OnDownloadUpdated(browser, config);
    EXPECT_TRUE(fs::is_regular_file(cache + "1.0.0.0.json"));
    EXPECT_FALSE(fs::exists(configStaged.parent_path()));
    EXPECT_TRUE(notifications.empty());  // not the updater's

    engine::DownloadItem update;
    update.url = "https://updates.example/TavistoForWebInstaller.run";
    update.startedByApp = true;
    std::string data;
    CAppPaths::GetPath(CAppPaths::eUserAppDataFolder, data);
    const std::string target =
        data + "CorvaneMedia/TavistoForWeb/Update/TavistoForWebInstaller.run";
    const fs::path staged =
        handler->OnBeforeDownload(browser, update, "TavistoForWebInstaller.run").path;
    EXPECT_EQ(staged.parent_path().parent_path(), fs::path(target).parent_path());
    EXPECT_EQ(fs::status(staged.parent_path()).permissions(), fs::perms::owner_all);
    update.isInProgress = true;
    update.receivedBytes = 2048;
    handler->OnDownloadUpdated(browser, update);
    EXPECT_TRUE(notifications.empty());
    // A link planted at the final name is replaced, its target left alone.
    std::ofstream(root + "/precious") << "mine";
    fs::create_symlink(root + "/precious", target);
    std::ofstream(staged) << "installer";
    update.isInProgress = false;
    update.isComplete = true;
    update.fullPath = staged;
    // A second download of the updater's fails in the same turn: each end keeps its own path.
    engine::DownloadItem appcast;
    appcast.id = 2;
    appcast.url = "https://updates.example/appcast.xml";
    appcast.startedByApp = true;
    ASSERT_FALSE(handler->OnBeforeDownload(browser, appcast, "appcast.xml").path.empty());
    handler->OnDownloadUpdated(browser, update);
    appcast.isCanceled = true;
    handler->OnDownloadUpdated(browser, appcast);
    EXPECT_EQ(ReadFile(target).value_or(""), "installer");
    EXPECT_EQ(ReadFile(root + "/precious").value_or(""), "mine");
    EXPECT_FALSE(fs::exists(staged.parent_path()));
    EXPECT_EQ(notifications,
              (std::vector<std::pair<int, std::string>>{
                  {32001, target}, {32002, fs::path(target).parent_path() / "appcast.xml"}}));

    // The page's own finished download never notifies the updater.
    engine::DownloadItem page;
    page.isComplete = true;
    handler->OnDownloadUpdated(browser, page);
    EXPECT_EQ(notifications.size(), 2u);
}
}  // namespace tvc::test
