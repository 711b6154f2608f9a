// A web page of this process, its frames and their current script contexts.
// Web process main thread only.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <map>
#include <memory>
#include <string>

#include "engine/JSValue.h"
#include "render/webext/JscBinding.h"

namespace tvc::render::webext {

class CRenderFrame : public engine::IRenderFrame {
  public:
    CRenderFrame(long long id, bool main) : m_id(id), m_bMain(main) {}
    long long GetIdentifier() const override { return m_id; }
    bool IsMain() const override { return m_bMain; }
    std::string GetURL() const override { return m_url; }
    engine::JSContextRef GetContext() override { return m_context; }

    void SetURL(std::string url) { m_url = std::move(url); }
    // The previous context, which the caller releases.
    std::shared_ptr<JscContext> ReplaceContext(std::shared_ptr<JscContext> context) {
        std::swap(m_context, context);
        return context;
    }

  private:
    long long m_id;
    bool m_bMain;
    std::string m_url;
    std::shared_ptr<JscContext> m_context;
};

class CRenderPage : public engine::IRenderBrowser {
  public:
    explicit CRenderPage(WebKitWebPage* page)
        : m_page(page), m_id(static_cast<int>(webkit_web_page_get_id(page))) {}

    int GetIdentifier() const override { return m_id; }
    engine::RenderFrameRef GetMainFrame() override;
    // As a WebKitUserMessage: the name and an "av" of the arguments; no reply is expected.
    bool SendProcessMessage(const engine::ProcessMessage& message) override;

    // The page ended: nothing can be sent any more.
    void Detach() { m_page = nullptr; }
    // The frame record for `frame`, created on first sight.
    std::shared_ptr<CRenderFrame> FrameFor(WebKitFrame* frame);
    const std::map<long long, std::shared_ptr<CRenderFrame>>& Frames() const { return m_frames; }

  private:
    WebKitWebPage* m_page;  // not owned; cleared by Detach when the page is finalized
    int m_id;
    std::map<long long, std::shared_ptr<CRenderFrame>> m_frames;
};
}  // namespace tvc::render::webext
