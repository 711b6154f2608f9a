// The page's process messages: every row with the right shape acts, with a wrong shape it does not.
#include "Fakes.h"

namespace tvc::test {
using engine::ListValue;
using engine::ProcessId;

class DispatchTest : public HandlerTest {
  protected:
    void SetUp() override {
        HandlerTest::SetUp();
        MakeHandler();
        browser = MakeMainBrowser();
        window->calls.clear();
        splash->calls.clear();
    }
    bool Send(const std::string& name, ListValue args = {}) {
        return handler->OnProcessMessageReceived(browser, ProcessId::Renderer,
                                                 Msg(name, std::move(args)));
    }
    std::shared_ptr<FakeBrowser> browser;
};

TEST_F(DispatchTest, WindowRowsActOnlyWithTheirArgumentShape) {
    Send(msg::kSetWindowSize, {800});
    Send(msg::kSetWindowSize, {800, std::string("600")});
    Send(msg::kSetMinimumWindowSize, {500, true});
    Send(msg::kStickWindowOnTop, {1});
    Send(msg::kStickWindowOnTop, {});
    Send(msg::kBringWindowToFront, {});
    Send(msg::kBringWindowToFront, {std::string("1")});
    Send(msg::kIsWindowStickyOnTop, {true});
    EXPECT_TRUE(window->calls.empty());
    EXPECT_TRUE(browser->sent.empty());  // IsWindowStickyOnTop never answers
    EXPECT_EQ(handler->updateTriggers, 0);

    Send(msg::kSetWindowSize, {800, 600});
    EXPECT_EQ(window->rect, (platform::Rect{100, 100, 800, 600}));
    Send(msg::kSetMinimumWindowSize, {900, 650});
    EXPECT_EQ(handler->WindowOps().MinimumWidth(), 900);
    Send(msg::kStickWindowOnTop, {true});
    EXPECT_TRUE(window->keepAbove);
    Send(msg::kMaximizeWindow);
    Send(msg::kMinimizeWindow);
    Send(msg::kBringWindowToFront, {1});
    EXPECT_EQ(handler->updateTriggers, 1);
    window->calls.clear();
    Send(msg::kHideApp);
    Send(msg::kSetFocus);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"PostClose", "PostFocus"}));
}

TEST_F(DispatchTest, EveryBrowserBoundRowHasARouteAndNothingElseDoes) {
    for (const msg::Entry& row : msg::kCatalogue) {
        if (!row.name) continue;
        const bool takes = row.direction == msg::Direction::ToBrowser;
        EXPECT_EQ(handler->GetRoutes().Receives(row), takes && row.half != msg::Half::SentOnly)
            << row.name;
        if (row.half != msg::Half::Both) {
            EXPECT_TRUE(row.why && *row.why) << row.name;
        }
    }
    CMessageRoutes routes;
    EXPECT_FALSE(routes.Add("no.such.message", {}));
    EXPECT_FALSE(routes.Add(msg::kFullScreenToggle, {}));  // the browser sends it
}

TEST_F(DispatchTest, SplashAndPageReady) {
    Send(msg::kShowSplashScreen);
    Send(msg::kHideSplashScreen);
    Send(msg::kJSOnAppReadyEvent);
    EXPECT_EQ(splash->calls, (std::vector<std::string>{"Show 0", "Hide", "Hide"}));
    ASSERT_EQ(browser->sent.size(), 1u);
    EXPECT_EQ(browser->sent[0].name, msg::kGetLocalTimeMap);
    EXPECT_EQ(browser->sent[0].args, (ListValue{std::string("{}")}));
}

TEST_F(DispatchTest, FullScreenSameValueTwiceTogglesOnceButEchoesTwice) {
    Send(msg::kFullScreen, {true});
    Send(msg::kFullScreen, {true});
    EXPECT_EQ(window->calls, (std::vector<std::string>{"Fullscreen"}));
    ASSERT_EQ(browser->sent.size(), 2u);
    for (auto& m : browser->sent) {
        EXPECT_EQ(m.name, msg::kFullScreenToggle);
        EXPECT_EQ(m.args, (ListValue{true}));
    }
    EXPECT_EQ(browser->host.calls, (std::vector<std::string>{"SetFocus", "SetFocus"}));

    Send(msg::kFullScreen, {1});  // not a bool: no toggle, no echo
    Send(msg::kFullScreen, {});
    EXPECT_EQ(browser->sent.size(), 2u);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"Fullscreen"}));
}

TEST_F(DispatchTest, LaunchUrlOpensOnlyWebMailAndSpotifyAddresses) {
    for (const char* url :
         {"https://a.example/", "mailto:x@y.example", "spotify:album:2", "file:///etc/passwd",
          "smb://server/share", "ms-settings:", "http://a.example/\nx", "HTTPS://B.example/"})
        Send(msg::kLaunchURL, {std::string(url)});
    Send(msg::kLaunchURL, {5});
    EXPECT_EQ(desktop->opened, (std::vector<std::string>{"https://a.example/", "mailto:x@y.example",
                                                         "spotify:album:2", "HTTPS://B.example/"}));
}

TEST_F(DispatchTest, QuitTimeFilterLetsEverythingThroughWithoutAQuitHandler) {
    EXPECT_EQ(handler->Messaging().QuitHandler(), nullptr);
    EXPECT_FALSE(Send(msg::kTvdQuitCompletion));
    Send(msg::kSetWindowSize, {640, 480});
    EXPECT_EQ(window->rect.width, 640);
}

// ---- settings ----
TEST_F(DispatchTest, AppcastAddressValidation) {
    const std::string def =
        "https://updates.tavisto.example/plugin_binary/downloads/TVC/Linux/Appcast/";
    EXPECT_EQ(GetAppcastDirectoryURL(), def);
    Send(msg::kSetAppcastURL, {std::string("https://up.example/a b/ c/Appcast.json")});
    EXPECT_EQ(GetAppcastDirectoryURL(), "https://up.example/ab/c/");
    EXPECT_EQ(handler->updateTriggers, 1);

    // Later defaults are the current folder.
    Send(msg::kSetAppcastURL, {std::string("https://up.example/x/Other.json")});
    EXPECT_EQ(GetAppcastDirectoryURL(), "https://up.example/ab/c/");
    ResetAppUrlsForTesting();
    for (ListValue args :
         {ListValue{std::string("")}, ListValue{std::string("https://up.example/appcast.json")},
          ListValue{std::string("file:///tmp/Appcast.json")},
          ListValue{std::string("Appcast.json")}, ListValue{7}, ListValue{}}) {
        Send(msg::kSetAppcastURL, args);
        EXPECT_EQ(GetAppcastDirectoryURL(), def);
    }
    EXPECT_EQ(handler->updateTriggers, 8);
}

TEST_F(DispatchTest, AppcastDefaultFromSwitch) {
    SetSwitches({"--appcast-base-url=http://127.0.0.1:8000/appcast"});
    ResetAppUrlsForTesting();
    Send(msg::kSetAppcastURL, {std::string("")});
    EXPECT_EQ(GetAppcastDirectoryURL(), "http://127.0.0.1:8000/appcast/");
}

TEST_F(DispatchTest, LocaleIsStoredAndLoadsThePrefixedStartAddress) {
    Send(msg::kSetLocale, {std::string("fr_FR")});
    EXPECT_EQ(CAppProps::ReadProperty("language", "locale"), "fr_FR");
    EXPECT_EQ(browser->frame->loads,
              (std::vector<std::string>{"https://www.tavisto.example/desktop/index?locale=fr_FR"}));

    CAppProps::WriteProperty("url", "starturl", "https://www.tavisto.example/staging?l=");
    Send(msg::kSetLocale, {std::string("de_DE")});
    EXPECT_EQ(browser->frame->loads.back(), "https://www.tavisto.example/staging?l=de_DE");

    // Stored by an older version for a site that is not the application's: not opened.
    CAppProps::WriteProperty("url", "starturl", "https://staging.example/?l=");
    Send(msg::kSetLocale, {std::string("it_IT")});
    EXPECT_EQ(browser->frame->loads.back(),
              "https://www.tavisto.example/desktop/index?locale=it_IT");
    EXPECT_EQ(CAppProps::ReadProperty("url", "starturl"), "https://staging.example/?l=");
}

TEST_F(DispatchTest, LocalePrefixSwitchAndRefusedValues) {
    SetSwitches({"--start-url-prefix=http://127.0.0.1:9/p?locale="});
    Send(msg::kSetLocale, {std::string("en_US")});
    EXPECT_EQ(browser->frame->loads,
              (std::vector<std::string>{"http://127.0.0.1:9/p?locale=en_US"}));

    Send(msg::kSetLocale, {std::string("")});
    Send(msg::kSetLocale, {std::string("fr\r\nX=1")});
    Send(msg::kSetLocale, {1});
    EXPECT_EQ(browser->frame->loads.size(), 1u);
    EXPECT_EQ(CAppProps::ReadProperty("language", "locale"), "en_US");

    // A preferences file that cannot be written: the locale's page loads all the same.
    const std::string path = CAppProps::GetFilePath();
    CAppProps::SetFilePath("/nonexistent-folder/AppPreferrence.ini");
    Send(msg::kSetLocale, {std::string("it_IT")});
    CAppProps::SetFilePath(path);
    EXPECT_EQ(browser->frame->loads.back(), "http://127.0.0.1:9/p?locale=it_IT");
}

TEST_F(DispatchTest, PopupDomainReplacedOnlyByOneString) {
    Send(msg::kSetPopupDomain, {std::string("a.example,b.example")});
    Send(msg::kSetPopupDomain, {std::string("x"), std::string("y")});
    EXPECT_FALSE(handler->OnBeforePopup(browser, nullptr, "https://b.example/x"));
    Send(msg::kSetPopupDomain, {std::string("")});
    EXPECT_TRUE(handler->OnBeforePopup(browser, nullptr, "https://b.example/x"));
}
}  // namespace tvc::test
