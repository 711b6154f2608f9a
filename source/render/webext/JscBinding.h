// JavaScriptCore GLib objects behind the engine-neutral script types. Web process main thread only.
#pragma once

#include <jsc/jsc.h>

#include <memory>

#include "engine/JSValue.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::render::webext {

class JscContext;

class JscValue : public engine::JSValue {
  public:
    JscValue(glib::GObjectPtr<JSCValue> value) : m_value(std::move(value)) {}
    // Takes a "transfer full" value; null gives null.
    static engine::JSValueRef Adopt(JSCValue* value);
    static engine::JSValueRef Ref(JSCValue* value);
    JSCValue* get() const { return m_value.get(); }

    Type GetType() const override;
    bool GetBoolValue() const override;
    int GetIntValue() const override;
    double GetDoubleValue() const override;
    std::string GetStringValue() const override;
    engine::JSValueRef GetValue(const std::string& key) override;
    bool SetValue(const std::string& key, const engine::JSValueRef& value) override;
    bool DeleteValue(const std::string& key) override;
    int GetArrayLength() override;
    engine::JSValueRef GetValue(int index) override;
    bool SetValue(int index, const engine::JSValueRef& value) override;
    engine::JSValueRef ExecuteFunction(const engine::JSValueRef& thisObject,
                                       const engine::JSValueList& arguments) override;
    bool IsSame(const engine::JSValue& other) const override;

  private:
    glib::GObjectPtr<JSCValue> m_value;
};

// One frame's context in the default script world. It stays valid until its frame gets its next
// context or its page ends; the registrations that hold it then stop calling into it.
class JscContext : public engine::JSContext, public std::enable_shared_from_this<JscContext> {
  public:
    JscContext(glib::GObjectPtr<JSCContext> context, std::weak_ptr<engine::IRenderBrowser> browser,
               std::weak_ptr<engine::IRenderFrame> frame)
        : m_context(std::move(context)), m_browser(std::move(browser)), m_frame(std::move(frame)) {}
    JSCContext* get() const { return m_context.get(); }
    void Invalidate() { m_bValid = false; }

    bool IsValid() const override { return m_bValid; }
    bool IsSame(const engine::JSContext& other) const override;
    engine::JSValueRef GetGlobal() override;
    engine::RenderBrowserRef GetBrowser() override { return m_browser.lock(); }
    engine::RenderFrameRef GetFrame() override { return m_frame.lock(); }
    engine::JSValueRef NewUndefined() override;
    engine::JSValueRef NewNull() override;
    engine::JSValueRef NewBool(bool value) override;
    engine::JSValueRef NewInt(int value) override;
    engine::JSValueRef NewUInt(unsigned value) override;
    engine::JSValueRef NewDouble(double value) override;
    engine::JSValueRef NewString(const std::string& value) override;
    engine::JSValueRef NewArray(int length) override;
    engine::JSValueRef NewObject() override;
    engine::JSValueRef NewFunction(const std::string& name,
                                   std::shared_ptr<engine::IJSHandler> handler) override;
    bool DefineAccessor(const engine::JSValueRef& object, const std::string& name,
                        std::shared_ptr<engine::IJSAccessor> accessor) override;

  private:
    glib::GObjectPtr<JSCContext> m_context;
    std::weak_ptr<engine::IRenderBrowser> m_browser;
    std::weak_ptr<engine::IRenderFrame> m_frame;
    bool m_bValid = true;
};

// Takes (and clears) the exception the last call left in `context`; logs it under `what`.
bool TakeException(JSCContext* context, JSCException* before, const char* what);
}  // namespace tvc::render::webext
