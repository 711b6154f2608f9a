#include "engine/webkitgtk/EngineModule.h"

#include "engine/webkitgtk/EngineContext.h"
#include "engine/webkitgtk/WebKitCookieStore.h"
#include "engine/webkitgtk/WebViewClient.h"

namespace tvc::webkit {
namespace {
class CEngineSession final : public IEngineSession {
  public:
    explicit CEngineSession(std::unique_ptr<CEngineContext> engine)
        : m_engine(std::move(engine)),
          m_cookies(std::make_shared<CWebKitCookieStore>(m_engine->GetDataManager())),
          m_webView(m_engine->CreateWebView()) {}
    ~CEngineSession() override { Detach(); }  // the client goes before the context

    std::shared_ptr<engine::ICookieStore> CookieStore() const override { return m_cookies; }
    GtkWidget* WebView() const override { return m_webView; }
    std::shared_ptr<engine::IBrowser> Attach(std::shared_ptr<engine::IClient> client) override {
        m_client = std::make_unique<CWebViewClient>(*m_engine, std::move(client));
        return m_client->Attach(WEBKIT_WEB_VIEW(m_webView), false);
    }
    void Detach() override { m_client.reset(); }
    void Load(const std::string& url) override {
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(m_webView), url.c_str());
    }
    const std::string& UnconfinedReason() const override { return m_engine->UnconfinedReason(); }

  private:
    std::unique_ptr<CEngineContext> m_engine;
    std::shared_ptr<CWebKitCookieStore> m_cookies;
    GtkWidget* m_webView;  // owned by the window once added
    std::unique_ptr<CWebViewClient> m_client;
};

std::unique_ptr<IEngineSession> StartEngine(const EngineStartParams& params, std::string& error) {
    auto engine = CEngineContext::Start(params, error);
    if (!engine) return nullptr;
    return std::make_unique<CEngineSession>(std::move(engine));
}

constexpr EngineModuleApi kApi{&StartEngine};
}  // namespace
}  // namespace tvc::webkit

extern "C" __attribute__((visibility("default"))) const tvc::webkit::EngineModuleApi*
tvc_engine_module() {
    return &tvc::webkit::kApi;
}
