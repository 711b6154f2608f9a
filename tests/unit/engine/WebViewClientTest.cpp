// The web view adapter on a real display: what it connects ends with it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "engine/Client.h"
#include "engine/webkitgtk/EngineContext.h"
#include "engine/webkitgtk/WebViewClient.h"

namespace tvc::webkit {
namespace {
using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

class MockClient : public engine::IClient {
  public:
    MOCK_METHOD(void, OnAfterCreated, (engine::BrowserRef), (override));
    MOCK_METHOD(bool, DoClose, (engine::BrowserRef), (override));
    MOCK_METHOD(void, OnBeforeClose, (engine::BrowserRef), (override));
    MOCK_METHOD(bool, OnBeforePopup, (engine::BrowserRef, engine::FrameRef, const std::string&),
                (override));
    MOCK_METHOD(void, OnLoadError,
                (engine::BrowserRef, engine::FrameRef, int, const std::string&, const std::string&),
                (override));
    MOCK_METHOD(void, OnRenderProcessTerminated, (engine::BrowserRef, engine::TerminationStatus),
                (override));
    MOCK_METHOD(void, OnLoadStart, (engine::BrowserRef, const std::string&), (override));
    MOCK_METHOD(void, OnLoadCommit, (engine::BrowserRef), (override));
    MOCK_METHOD(void, OnResponsivenessChange, (engine::BrowserRef, bool), (override));
    MOCK_METHOD(bool, OnKeyEvent, (engine::BrowserRef, const engine::KeyEvent&), (override));
    MOCK_METHOD(bool, OnConsoleMessage,
                (engine::BrowserRef, const std::string&, const std::string&, int), (override));
    MOCK_METHOD(bool, OnDragEnter, (engine::BrowserRef, int), (override));
    MOCK_METHOD(bool, OnProtocolExecution, (engine::BrowserRef, const std::string&), (override));
    MOCK_METHOD(bool, OpenUrlExternally, (const std::string&), (override));
    MOCK_METHOD(bool, OnPermissionRequest,
                (engine::BrowserRef, const std::string&, const std::string&), (override));
    MOCK_METHOD(void, OnBeforeContextMenu,
                (engine::BrowserRef, const engine::ContextMenuParams&, engine::IContextMenuModel&),
                (override));
    MOCK_METHOD(bool, OnContextMenuCommand,
                (engine::BrowserRef, const engine::ContextMenuParams&, int), (override));
    MOCK_METHOD(engine::DownloadTarget, OnBeforeDownload,
                (engine::BrowserRef, const engine::DownloadItem&, const std::string&), (override));
    MOCK_METHOD(void, OnDownloadUpdated, (engine::BrowserRef, const engine::DownloadItem&),
                (override));
    MOCK_METHOD(bool, OnProcessMessageReceived,
                (engine::BrowserRef, engine::ProcessId, const engine::ProcessMessage&), (override));
};

class WebViewAdapter : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
        char folder[] = "/tmp/tvc-webview-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        std::string error;
        m_engine =
            CEngineContext::Start({std::string(folder) + "/", folder, "Test/1", 0, {}}, error);
        ASSERT_TRUE(m_engine) << error;
        m_view = GTK_WIDGET(g_object_ref_sink(m_engine->CreateWebView()));
    }
    void TearDown() override {
        if (m_view) {
            gtk_widget_destroy(m_view);
            g_object_unref(m_view);
        }
        m_engine.reset();
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder);
    }

    // Whether each signal the adapter uses has a handler connected.
    std::map<std::string, bool> Connected() const {
        std::map<std::string, bool> result;
        for (const char* name :
             {"close", "destroy", "load-failed", "load-changed", "web-process-terminated",
              "user-message-received", "permission-request", "decide-policy", "drag-drop", "create",
              "context-menu", "ready-to-show", "key-press-event"})
            result[name] = g_signal_has_handler_pending(
                m_view, g_signal_lookup(name, WEBKIT_TYPE_WEB_VIEW), 0, TRUE);
        result["download-started"] = g_signal_has_handler_pending(
            m_engine->GetWebContext(), g_signal_lookup("download-started", WEBKIT_TYPE_WEB_CONTEXT),
            0, TRUE);
        return result;
    }

    std::string m_folder;
    std::unique_ptr<CEngineContext> m_engine;
    GtkWidget* m_view = nullptr;
};

TEST_F(WebViewAdapter, NothingReachesTheAdapterOnceItIsGone) {
    const auto before = Connected();
    auto client = std::make_shared<NiceMock<MockClient>>();
    auto adapter = std::make_unique<CWebViewClient>(*m_engine, client);
    auto browser = adapter->Attach(WEBKIT_WEB_VIEW(m_view), false);
    // Taken over by the client: the view stays.
    EXPECT_CALL(*client, DoClose(_)).WillOnce(Return(true));
    g_signal_emit_by_name(m_view, "close");
    ::testing::Mock::VerifyAndClearExpectations(client.get());

    adapter.reset();
    EXPECT_EQ(Connected(), before);
    EXPECT_CALL(*client, DoClose(_)).Times(0);
    EXPECT_CALL(*client, OnBeforeClose(_)).Times(0);
    g_signal_emit_by_name(m_view, "close");
    // The browser outlives the adapter in the client's hands; its forced close has nothing to do.
    browser->GetHost().CloseBrowser(true);
    EXPECT_EQ(browser->view(), WEBKIT_WEB_VIEW(m_view));
}
}  // namespace
}  // namespace tvc::webkit
