#include "FakeScript.h"

#include <algorithm>

namespace tvc::render::test {

JSValueRef Str(const std::string& s) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::String);
    v->m_string = s;
    return v;
}
JSValueRef Int(int i) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::Int);
    v->m_number = i;
    return v;
}
JSValueRef Dbl(double d) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::Double);
    v->m_number = d;
    return v;
}
JSValueRef Boolean(bool b) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::Bool);
    v->m_bool = b;
    return v;
}
JSValueRef Null() {
    return std::make_shared<FakeValue>(JSValue::Type::Null);
}

JSValueRef Undefined() {
    return std::make_shared<FakeValue>(JSValue::Type::Undefined);
}

JSValueRef FakeValue::GetValue(const std::string& key) {
    if (!IsObject()) return nullptr;
    if (auto a = m_accessors.find(key); a != m_accessors.end()) {
        JSValueRef retval;
        std::string exception;
        auto ctx = m_context.lock();
        a->second->Get(key, ctx, retval, exception);
        return retval ? retval : std::make_shared<FakeValue>(Type::Undefined);
    }
    auto it = m_props.find(key);
    return it == m_props.end() ? std::make_shared<FakeValue>(Type::Undefined) : it->second;
}

bool FakeValue::SetValue(const std::string& key, const JSValueRef& value) {
    if (!IsObject() || !value || m_bFrozen) return false;
    if (auto a = m_accessors.find(key); a != m_accessors.end()) {
        std::string exception;
        auto ctx = m_context.lock();
        a->second->Set(key, ctx, value, exception);
        if (ctx && !exception.empty()) ctx->m_lastException = exception;
        return exception.empty();
    }
    if (!m_props.count(key)) m_keys.push_back(key);
    m_props[key] = value;
    return true;
}

bool FakeValue::DeleteValue(const std::string& key) {
    m_keys.erase(std::remove(m_keys.begin(), m_keys.end(), key), m_keys.end());
    return m_props.erase(key) > 0;
}

JSValueRef FakeValue::GetValue(int index) {
    if (index < 0 || index >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[index];
}

bool FakeValue::SetValue(int index, const JSValueRef& value) {
    if (index < 0) return false;
    if (index >= static_cast<int>(m_items.size())) m_items.resize(index + 1);
    m_items[index] = value;
    return true;
}

JSValueRef FakeValue::ExecuteFunction(const JSValueRef& thisObject, const JSValueList& arguments) {
    if (m_type != Type::Function) return nullptr;
    ++m_calls;
    if (m_body) {
        try {
            return m_body(arguments);
        } catch (const ScriptThrow&) {
            return nullptr;
        }
    }
    auto ctx = m_context.lock();
    JSValueRef retval;
    std::string exception;
    m_handler->Execute(m_name, ctx, thisObject, arguments, retval, exception);
    if (!exception.empty()) {
        if (ctx) ctx->m_lastException = exception;
        return nullptr;
    }
    return retval ? retval : std::make_shared<FakeValue>(Type::Undefined);
}

JSValueRef FakeContext::NewBool(bool b) {
    return Boolean(b);
}
JSValueRef FakeContext::NewInt(int i) {
    return Int(i);
}
JSValueRef FakeContext::NewUInt(unsigned u) {
    return Int(static_cast<int>(u));
}
JSValueRef FakeContext::NewDouble(double d) {
    return Dbl(d);
}
JSValueRef FakeContext::NewString(const std::string& s) {
    return Str(s);
}
JSValueRef FakeContext::NewArray(int length) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::Array);
    v->m_items.resize(static_cast<size_t>(std::max(length, 0)));
    return v;
}

JSValueRef FakeContext::NewFunction(const std::string& name, std::shared_ptr<IJSHandler> handler) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::Function);
    v->m_name = name;
    v->m_handler = std::move(handler);
    v->m_context = weak_from_this();
    return v;
}

bool FakeContext::DefineAccessor(const JSValueRef& object, const std::string& name,
                                 std::shared_ptr<IJSAccessor> accessor) {
    auto* o = dynamic_cast<FakeValue*>(object.get());
    if (!o) return false;
    o->m_accessors[name] = std::move(accessor);
    o->m_context = weak_from_this();
    return true;
}

JSValueRef FakeContext::Function(FakeValue::Body body) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::Function);
    v->m_body = std::move(body);
    return v;
}

JSValueRef FakeContext::Array(std::initializer_list<JSValueRef> items) {
    auto v = std::make_shared<FakeValue>(JSValue::Type::Array);
    v->m_items = items;
    return v;
}

JSValueRef FakeContext::Call(const std::string& object, const std::string& fn,
                             const JSValueList& args) {
    m_lastException.clear();
    JSValueRef target = m_global->GetValue(object);
    JSValueRef function = target ? target->GetValue(fn) : nullptr;
    if (!function || !function->IsFunction()) return nullptr;
    return function->ExecuteFunction(nullptr, args);
}

std::vector<std::string> FakeBrowser::SentNames() const {
    std::vector<std::string> out;
    for (const auto& m : m_sent) out.push_back(m.name);
    return out;
}

size_t FakeBrowser::CountSent(const std::string& name) const {
    return std::count_if(m_sent.begin(), m_sent.end(),
                         [&](const ProcessMessage& m) { return m.name == name; });
}

void FakeRunner::RunAll() {
    auto tasks = std::move(m_tasks);
    m_tasks.clear();
    for (auto& t : tasks) t.task();
}

void FakeRunner::RunUntilIdle() {
    while (!m_tasks.empty()) {
        auto posted = std::move(m_tasks.front());
        m_tasks.erase(m_tasks.begin());
        m_ranDelays.push_back(posted.delayMs);
        posted.task();
    }
}

FakePage::FakePage() {
    env->runner = runner;
    env->version = "1.2.8.362";
    env->readMachineId = [] { return std::string("0123456789ABCDEF0123456789ABCDEF"); };
    context = AddFrame(1, true);
}

FakePage::~FakePage() {
    for (auto& c : contexts) {
        c->m_global->m_props.clear();
        c->m_browser.reset();
    }
    for (auto& f : frames) f->m_context.reset();
    browser->m_mainFrame.reset();
}

std::shared_ptr<FakeContext> FakePage::AddFrame(long long id, bool main) {
    auto frame = std::make_shared<FakeFrame>(id, main);
    auto ctx = std::make_shared<FakeContext>();
    ctx->m_browser = browser;
    ctx->m_frame = frame;
    frame->m_context = ctx;
    frames.push_back(frame);
    contexts.push_back(ctx);
    if (main) browser->m_mainFrame = frame;
    return ctx;
}
}  // namespace tvc::render::test
