// In-memory stand-ins for page script, pages and the render thread.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/AppProps.h"
#include "engine/JSValue.h"
#include "render/JavascriptBinder.h"
#include "render/RenderEnv.h"

namespace tvc::render::test {
using namespace tvc::engine;

class FakeContext;

// Thrown by a page-function body to stand for a script exception.
struct ScriptThrow {};

class FakeValue : public JSValue {
  public:
    using Body = std::function<JSValueRef(const JSValueList&)>;
    explicit FakeValue(Type type) : m_type(type) {}

    Type GetType() const override { return m_type; }
    bool GetBoolValue() const override { return m_type == Type::Bool && m_bool; }
    int GetIntValue() const override {
        return m_type == Type::Int ? static_cast<int>(m_number) : 0;
    }
    double GetDoubleValue() const override {
        return (m_type == Type::Int || m_type == Type::Double) ? m_number : 0;
    }
    std::string GetStringValue() const override { return m_type == Type::String ? m_string : ""; }

    JSValueRef GetValue(const std::string& key) override;
    bool SetValue(const std::string& key, const JSValueRef& value) override;
    bool DeleteValue(const std::string& key) override;
    int GetArrayLength() override {
        return m_type == Type::Array ? static_cast<int>(m_items.size()) : 0;
    }
    JSValueRef GetValue(int index) override;
    bool SetValue(int index, const JSValueRef& value) override;
    JSValueRef ExecuteFunction(const JSValueRef& thisObject, const JSValueList& arguments) override;
    bool IsSame(const JSValue& other) const override { return &other == this; }

    Type m_type;
    bool m_bool = false;
    double m_number = 0;
    std::string m_string;
    std::vector<std::string> m_keys;  // in the order they were first set
    std::map<std::string, JSValueRef> m_props;
    std::map<std::string, std::shared_ptr<IJSAccessor>> m_accessors;
    std::vector<JSValueRef> m_items;
    bool m_bFrozen = false;  // SetValue fails
    // A page function...
    Body m_body;
    // ...or a native one.
    std::string m_name;
    std::shared_ptr<IJSHandler> m_handler;
    std::weak_ptr<FakeContext> m_context;
    int m_calls = 0;
};

class FakeContext : public JSContext, public std::enable_shared_from_this<FakeContext> {
  public:
    FakeContext() : m_global(std::make_shared<FakeValue>(JSValue::Type::Object)) {}
    bool IsValid() const override { return m_bValid; }
    bool IsSame(const JSContext& other) const override { return &other == this; }
    JSValueRef GetGlobal() override { return m_global; }
    RenderBrowserRef GetBrowser() override { return m_browser; }
    RenderFrameRef GetFrame() override { return m_frame.lock(); }
    JSValueRef NewUndefined() override {
        return std::make_shared<FakeValue>(JSValue::Type::Undefined);
    }
    JSValueRef NewNull() override { return std::make_shared<FakeValue>(JSValue::Type::Null); }
    JSValueRef NewBool(bool b) override;
    JSValueRef NewInt(int i) override;
    JSValueRef NewUInt(unsigned u) override;
    JSValueRef NewDouble(double d) override;
    JSValueRef NewString(const std::string& s) override;
    JSValueRef NewArray(int length) override;
    JSValueRef NewObject() override { return std::make_shared<FakeValue>(JSValue::Type::Object); }
    JSValueRef NewFunction(const std::string& name, std::shared_ptr<IJSHandler> handler) override;
    bool DefineAccessor(const JSValueRef& object, const std::string& name,
                        std::shared_ptr<IJSAccessor> accessor) override;

    // A page function with a C++ body.
    JSValueRef Function(FakeValue::Body body);
    JSValueRef Array(std::initializer_list<JSValueRef> items);
    // window.<object>.<fn>(args...) as the page would call it; the last raised error is kept.
    JSValueRef Call(const std::string& object, const std::string& fn, const JSValueList& args);
    JSValueRef Tvd() { return m_global->GetValue("tvd"); }

    std::shared_ptr<FakeValue> m_global;
    RenderBrowserRef m_browser;
    std::weak_ptr<IRenderFrame> m_frame;
    bool m_bValid = true;
    std::string m_lastException;
};

class FakeFrame : public IRenderFrame {
  public:
    FakeFrame(long long id, bool main) : m_id(id), m_bMain(main) {}
    long long GetIdentifier() const override { return m_id; }
    bool IsMain() const override { return m_bMain; }
    std::string GetURL() const override { return "file:///start.html"; }
    JSContextRef GetContext() override { return m_context; }
    long long m_id;
    bool m_bMain;
    std::shared_ptr<FakeContext> m_context;
};

class FakeBrowser : public IRenderBrowser {
  public:
    explicit FakeBrowser(int id = 7) : m_id(id) {}
    int GetIdentifier() const override { return m_id; }
    RenderFrameRef GetMainFrame() override { return m_mainFrame; }
    bool SendProcessMessage(const ProcessMessage& message) override {
        m_sent.push_back(message);
        return m_bSendResult;
    }
    std::vector<std::string> SentNames() const;
    size_t CountSent(const std::string& name) const;

    int m_id;
    std::shared_ptr<FakeFrame> m_mainFrame;
    std::vector<ProcessMessage> m_sent;
    bool m_bSendResult = true;
};

class FakeRunner : public IRenderTaskRunner {
  public:
    bool PostTask(std::function<void()> task, int delayMs) override {
        m_tasks.push_back({std::move(task), delayMs});
        return true;
    }
    // Runs the queued tasks as the main loop would.
    void RunAll();
    // Runs tasks, those they post included, until none is left; `m_ranDelays` records each one's
    // delay.
    void RunUntilIdle();
    std::vector<int> m_ranDelays;
    struct Posted {
        std::function<void()> task;
        int delayMs;
    };
    std::vector<Posted> m_tasks;
};

// A page with a main frame and its context, plus the environment the bridge needs.
struct FakePage {
    FakePage();
    // Page objects and registrations refer to each other, as in a real page: break the rings.
    ~FakePage();
    // A further frame of the same page; its context is returned.
    std::shared_ptr<FakeContext> AddFrame(long long id, bool main);

    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    RenderEnvRef env = std::make_shared<CRenderEnv>();
    std::shared_ptr<FakeBrowser> browser = std::make_shared<FakeBrowser>();
    std::shared_ptr<FakeContext> context;
    std::vector<std::shared_ptr<FakeFrame>> frames;
    std::vector<std::shared_ptr<FakeContext>> contexts;
};

// Short-hands for values.
JSValueRef Str(const std::string& s);
JSValueRef Int(int i);
JSValueRef Dbl(double d);
JSValueRef Boolean(bool b);
JSValueRef Null();
JSValueRef Undefined();
// A page with the host object attached and a preferences file of its own.
class BoundPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("tvc-render-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
        CAppProps::SetFilePath((folder / "AppPreferrence.ini").string());
        binder = std::make_shared<CJavascriptBinder>(page.env);
        ASSERT_TRUE(binder->JSConstructNativeHostContext(page.context, page.browser));
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
    FakePage page;
    std::shared_ptr<CJavascriptBinder> binder;
};

}  // namespace tvc::render::test
