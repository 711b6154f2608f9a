// `window.fullscreenhandler.fullscreen`: the last full-screen state the page asked for.
#pragma once

#include <string>

#include "engine/JSValue.h"

namespace tvc::render {

class FullScreenAccessor : public engine::IJSAccessor {
  public:
    explicit FullScreenAccessor(engine::RenderBrowserRef browser)
        : m_pBrowser(std::move(browser)) {}

    // Render thread, as part of the page's property access.
    bool Get(const std::string& name, const engine::JSContextRef& context,
             engine::JSValueRef& retval, std::string& exception) override;
    // A change is sent to the browser process; the same value again sends nothing.
    bool Set(const std::string& name, const engine::JSContextRef& context,
             const engine::JSValueRef& value, std::string& exception) override;

    bool GetState() const { return m_bFullScreen; }

  private:
    bool m_bFullScreen = false;
    engine::RenderBrowserRef m_pBrowser;
};
}  // namespace tvc::render
