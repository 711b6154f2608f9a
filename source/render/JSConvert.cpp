#include "render/JSConvert.h"

namespace tvc::render {
namespace {
// What one call may carry: a page can ask for an array of 2^31 holes, nest arrays without end
// or pass gigabytes; past these bounds the call fails instead of the web process.
constexpr int kMaxDepth = 32;
constexpr size_t kMaxEntries = 100000;
constexpr size_t kMaxStringBytes = 16 * 1024 * 1024;

struct Budget {
    size_t entries = 0;
    size_t bytes = 0;
};

bool ListFrom(const engine::JSValueRef& array, int depth, Budget& budget, engine::ListValue& out) {
    if (!array || !array->IsArray()) return true;
    if (depth > kMaxDepth) return false;
    const int length = array->GetArrayLength();
    if (length <= 0) return true;
    budget.entries += static_cast<size_t>(length);
    if (budget.entries > kMaxEntries) return false;
    out.resize(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        engine::JSValueRef v = array->GetValue(i);
        if (!v) continue;
        if (v->IsArray()) {
            engine::ListValue nested;
            if (!ListFrom(v, depth + 1, budget, nested)) return false;
            out[i] = engine::Value(std::move(nested));
        } else if (v->IsString()) {
            std::string text = v->GetStringValue();
            budget.bytes += text.size();
            if (budget.bytes > kMaxStringBytes) return false;
            out[i] = engine::Value(std::move(text));
        } else if (v->IsBool()) {
            out[i] = engine::Value(v->GetBoolValue());
        } else if (v->IsInt()) {
            out[i] = engine::Value(v->GetIntValue());
        } else if (v->IsDouble()) {
            out[i] = engine::Value(v->GetDoubleValue());
        }
    }
    return true;
}
}  // namespace

bool ListFromJSArray(const engine::JSValueRef& array, engine::ListValue& out) {
    Budget budget;
    out.clear();
    if (ListFrom(array, 0, budget, out)) return true;
    out.clear();
    return false;
}

engine::JSValueRef JSValueFromValue(const engine::JSContextRef& context,
                                    const engine::Value& value) {
    using T = engine::Value::Type;
    switch (value.GetType()) {
        case T::Bool:
            return context->NewBool(value.GetBool());
        case T::Int:
            return context->NewInt(value.GetInt());
        case T::Double:
            return context->NewDouble(value.GetDouble());
        case T::String:
            return context->NewString(value.GetString());
        case T::List:
            return JSArrayFromList(context, value.GetList());
        case T::Null:
            break;
    }
    return context->NewNull();
}

engine::JSValueRef JSArrayFromList(const engine::JSContextRef& context,
                                   const engine::ListValue& list) {
    engine::JSValueRef array = context->NewArray(static_cast<int>(list.size()));
    for (size_t i = 0; i < list.size(); ++i)
        array->SetValue(static_cast<int>(i), JSValueFromValue(context, list[i]));
    return array;
}
}  // namespace tvc::render
