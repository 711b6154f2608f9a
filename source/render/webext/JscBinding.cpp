#include "render/webext/JscBinding.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "common/LogHelper.h"

namespace tvc::render::webext {
using engine::JSValueRef;

namespace {
JSCValue* Raw(const JSValueRef& v) {
    auto* jv = dynamic_cast<JscValue*>(v.get());
    return jv ? jv->get() : nullptr;
}

void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Four hex digits at `p`, or -1.
long Hex4(const char* p) {
    long v = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = g_ascii_xdigit_value(p[i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// The text of a JSON string literal as JSON.stringify writes it (quotes included); a lone
// surrogate becomes U+FFFD.
std::string DecodeJsonString(const char* json) {
    std::string out;
    const char* p = json;
    if (*p != '"') return out;
    for (++p; *p && *p != '"'; ++p) {
        if (*p != '\\') {
            // A long message is mostly plain text: taken a run at a time, not a byte at a time.
            const size_t run = std::strcspn(p, "\"\\");
            out.append(p, run);
            p += run - 1;
            continue;
        }
        switch (*++p) {
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                long cp = Hex4(p + 1);
                if (cp < 0) return out;
                p += 4;
                if (cp >= 0xD800 && cp <= 0xDBFF && p[1] == '\\' && p[2] == 'u') {
                    const long low = Hex4(p + 3);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        p += 6;
                    }
                }
                if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
                AppendUtf8(out, static_cast<unsigned>(cp));
                break;
            }
            case '\0':
                return out;
            default:
                out += *p;
                break;  // \" \\ \/
        }
    }
    return out;
}

// What a native function or accessor carries: it must not keep its context alive (the context
// owns the function), so it looks the context up when it is called.
struct FunctionData {
    std::string name;
    std::shared_ptr<engine::IJSHandler> handler;
    std::weak_ptr<JscContext> context;
};
struct AccessorData {
    std::string name;
    std::shared_ptr<engine::IJSAccessor> accessor;
    std::weak_ptr<JscContext> context;
};

template <typename T>
void DestroyData(gpointer data) {
    std::unique_ptr<T> owned(static_cast<T*>(data));
}

JSCValue* Undefined() {
    return jsc_value_new_undefined(jsc_context_get_current());
}

JSCValue* ResultOrUndefined(const JSValueRef& v) {
    JSCValue* raw = Raw(v);
    return raw ? static_cast<JSCValue*>(g_object_ref(raw)) : Undefined();
}

// Called by JavaScriptCore for every native function, on the main thread.
JSCValue* CallFunction(GPtrArray* args, gpointer userData) {
    auto* data = static_cast<FunctionData*>(userData);
    auto context = data->context.lock();
    if (!context || !context->IsValid()) return Undefined();
    engine::JSValueList list;
    for (guint i = 0; args && i < args->len; ++i)
        list.push_back(JscValue::Ref(static_cast<JSCValue*>(args->pdata[i])));
    JSValueRef retval;
    std::string exception;
    data->handler->Execute(data->name, context, nullptr, list, retval, exception);
    if (!exception.empty()) {
        jsc_context_throw(context->get(), exception.c_str());
        return Undefined();
    }
    return ResultOrUndefined(retval);
}

JSCValue* GetProperty(gpointer userData) {
    auto* data = static_cast<AccessorData*>(userData);
    auto context = data->context.lock();
    if (!context || !context->IsValid()) return Undefined();
    JSValueRef retval;
    std::string exception;
    data->accessor->Get(data->name, context, retval, exception);
    if (!exception.empty()) {
        jsc_context_throw(context->get(), exception.c_str());
        return Undefined();
    }
    return ResultOrUndefined(retval);
}

void SetProperty(JSCValue* value, gpointer userData) {
    auto* data = static_cast<AccessorData*>(userData);
    auto context = data->context.lock();
    if (!context || !context->IsValid()) return;
    std::string exception;
    data->accessor->Set(data->name, context, JscValue::Ref(value), exception);
    if (!exception.empty()) jsc_context_throw(context->get(), exception.c_str());
}
}  // namespace

bool TakeException(JSCContext* context, JSCException* before, const char* what) {
    JSCException* exception = jsc_context_get_exception(context);
    if (!exception || exception == before) return false;
    glib::GCharPtr report(jsc_exception_report(exception));
    TVC_LOG_ERROR("%s : the page's script threw: %s", what, report ? report.get() : "");
    jsc_context_clear_exception(context);
    return true;
}

JSValueRef JscValue::Adopt(JSCValue* value) {
    if (!value) return nullptr;
    return std::make_shared<JscValue>(glib::GObjectPtr<JSCValue>::Adopt(value));
}

JSValueRef JscValue::Ref(JSCValue* value) {
    if (!value) return nullptr;
    return std::make_shared<JscValue>(glib::GObjectPtr<JSCValue>::Ref(value));
}

engine::JSValue::Type JscValue::GetType() const {
    JSCValue* v = m_value.get();
    if (!v || jsc_value_is_undefined(v)) return Type::Undefined;
    if (jsc_value_is_null(v)) return Type::Null;
    if (jsc_value_is_boolean(v)) return Type::Bool;
    if (jsc_value_is_number(v)) {
        double d = jsc_value_to_double(v);
        bool integral = std::isfinite(d) && std::trunc(d) == d &&
                        d >= std::numeric_limits<int>::min() &&
                        d <= std::numeric_limits<int>::max() && !(d == 0 && std::signbit(d));
        return integral ? Type::Int : Type::Double;
    }
    if (jsc_value_is_string(v)) return Type::String;
    if (jsc_value_is_array(v)) return Type::Array;
    if (jsc_value_is_function(v)) return Type::Function;
    if (jsc_value_is_object(v)) return Type::Object;
    return Type::Undefined;
}

bool JscValue::GetBoolValue() const {
    return IsBool() && jsc_value_to_boolean(m_value.get());
}
int JscValue::GetIntValue() const {
    return IsInt() ? jsc_value_to_int32(m_value.get()) : 0;
}
double JscValue::GetDoubleValue() const {
    return m_value && jsc_value_is_number(m_value.get()) ? jsc_value_to_double(m_value.get()) : 0.0;
}
std::string JscValue::GetStringValue() const {
    if (!IsString()) return "";
    // Through JSON: JavaScriptCore's own UTF-8 conversion ends at a lone surrogate and a C string
    // at U+0000, while its JSON text escapes both and is whole.
    glib::GCharPtr json(jsc_value_to_json(m_value.get(), 0));
    return json ? DecodeJsonString(json.get()) : std::string();
}

JSValueRef JscValue::GetValue(const std::string& key) {
    if (!IsObject()) return nullptr;
    JSCContext* ctx = jsc_value_get_context(m_value.get());
    JSCException* before = jsc_context_get_exception(ctx);
    JSValueRef out = Adopt(jsc_value_object_get_property(m_value.get(), key.c_str()));
    if (TakeException(ctx, before, TVC_FN)) return nullptr;
    return out;
}

bool JscValue::SetValue(const std::string& key, const JSValueRef& value) {
    JSCValue* raw = Raw(value);
    if (!IsObject() || !raw) return false;
    JSCContext* ctx = jsc_value_get_context(m_value.get());
    JSCException* before = jsc_context_get_exception(ctx);
    jsc_value_object_set_property(m_value.get(), key.c_str(), raw);
    return !TakeException(ctx, before, TVC_FN);
}

bool JscValue::DeleteValue(const std::string& key) {
    return IsObject() && jsc_value_object_delete_property(m_value.get(), key.c_str());
}

int JscValue::GetArrayLength() {
    if (!IsArray()) return 0;
    JSValueRef length = GetValue("length");
    return length ? length->GetIntValue() : 0;
}

JSValueRef JscValue::GetValue(int index) {
    if (!IsObject() || index < 0) return nullptr;
    JSCContext* ctx = jsc_value_get_context(m_value.get());
    JSCException* before = jsc_context_get_exception(ctx);
    JSValueRef out =
        Adopt(jsc_value_object_get_property_at_index(m_value.get(), static_cast<guint>(index)));
    if (TakeException(ctx, before, TVC_FN)) return nullptr;
    return out;
}

bool JscValue::SetValue(int index, const JSValueRef& value) {
    JSCValue* raw = Raw(value);
    if (!IsObject() || !raw || index < 0) return false;
    jsc_value_object_set_property_at_index(m_value.get(), static_cast<guint>(index), raw);
    return true;
}

JSValueRef JscValue::ExecuteFunction(const JSValueRef&, const engine::JSValueList& arguments) {
    if (!IsFunction()) return nullptr;
    JSCContext* ctx = jsc_value_get_context(m_value.get());
    engine::JSValueList held;  // keeps stand-ins for missing arguments alive through the call
    std::vector<JSCValue*> raw;
    for (const auto& a : arguments) {
        JSCValue* r = Raw(a);
        if (!r) {
            held.push_back(Adopt(jsc_value_new_undefined(ctx)));
            r = Raw(held.back());
        }
        raw.push_back(r);
    }
    JSCException* before = jsc_context_get_exception(ctx);
    JSValueRef out =
        Adopt(jsc_value_function_callv(m_value.get(), static_cast<guint>(raw.size()), raw.data()));
    if (TakeException(ctx, before, TVC_FN)) return nullptr;
    return out;
}

bool JscValue::IsSame(const engine::JSValue& other) const {
    auto* o = dynamic_cast<const JscValue*>(&other);
    // JavaScriptCore keeps one wrapper per script value while it is referenced.
    return o && o->m_value.get() == m_value.get();
}

bool JscContext::IsSame(const engine::JSContext& other) const {
    auto* o = dynamic_cast<const JscContext*>(&other);
    return o && o->m_context.get() == m_context.get();
}

JSValueRef JscContext::GetGlobal() {
    return JscValue::Adopt(jsc_context_get_global_object(m_context.get()));
}
JSValueRef JscContext::NewUndefined() {
    return JscValue::Adopt(jsc_value_new_undefined(m_context.get()));
}
JSValueRef JscContext::NewNull() {
    return JscValue::Adopt(jsc_value_new_null(m_context.get()));
}
JSValueRef JscContext::NewBool(bool value) {
    return JscValue::Adopt(jsc_value_new_boolean(m_context.get(), value));
}
JSValueRef JscContext::NewInt(int value) {
    return JscValue::Adopt(jsc_value_new_number(m_context.get(), value));
}
JSValueRef JscContext::NewUInt(unsigned value) {
    return JscValue::Adopt(jsc_value_new_number(m_context.get(), value));
}
JSValueRef JscContext::NewDouble(double value) {
    return JscValue::Adopt(jsc_value_new_number(m_context.get(), value));
}
JSValueRef JscContext::NewString(const std::string& value) {
    glib::GBytesPtr bytes(g_bytes_new(value.data(), value.size()));
    return JscValue::Adopt(jsc_value_new_string_from_bytes(m_context.get(), bytes.get()));
}
JSValueRef JscContext::NewArray(int length) {
    JSValueRef array = JscValue::Adopt(jsc_value_new_array(m_context.get(), G_TYPE_NONE));
    if (array && length > 0) array->SetValue("length", NewInt(length));
    return array;
}
JSValueRef JscContext::NewObject() {
    return JscValue::Adopt(jsc_value_new_object(m_context.get(), nullptr, nullptr));
}

JSValueRef JscContext::NewFunction(const std::string& name,
                                   std::shared_ptr<engine::IJSHandler> handler) {
    auto data =
        std::make_unique<FunctionData>(FunctionData{name, std::move(handler), weak_from_this()});
    return JscValue::Adopt(
        jsc_value_new_function_variadic(m_context.get(), name.c_str(), G_CALLBACK(CallFunction),
                                        data.release(), DestroyData<FunctionData>, JSC_TYPE_VALUE));
}

bool JscContext::DefineAccessor(const JSValueRef& object, const std::string& name,
                                std::shared_ptr<engine::IJSAccessor> accessor) {
    JSCValue* raw = Raw(object);
    if (!raw || !jsc_value_is_object(raw)) return false;
    auto data =
        std::make_unique<AccessorData>(AccessorData{name, std::move(accessor), weak_from_this()});
    jsc_value_object_define_property_accessor(
        raw, name.c_str(),
        static_cast<JSCValuePropertyFlags>(JSC_VALUE_PROPERTY_CONFIGURABLE |
                                           JSC_VALUE_PROPERTY_ENUMERABLE),
        JSC_TYPE_VALUE, G_CALLBACK(GetProperty), G_CALLBACK(SetProperty), data.release(),
        DestroyData<AccessorData>);
    return true;
}
}  // namespace tvc::render::webext
