#include "render/JSConvert.h"

namespace tvc::render {
namespace {
// Page arrays can contain themselves; a cycle would never end.
constexpr int kMaxDepth = 32;

engine::ListValue ListFrom(const engine::JSValueRef& array, int depth) {
    engine::ListValue out;
    if (!array || !array->IsArray() || depth > kMaxDepth) return out;
    const int length = array->GetArrayLength();
    if (length <= 0) return out;
    out.resize(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        engine::JSValueRef v = array->GetValue(i);
        if (!v) continue;
        if (v->IsArray())
            out[i] = engine::Value(ListFrom(v, depth + 1));
        else if (v->IsString())
            out[i] = engine::Value(v->GetStringValue());
        else if (v->IsBool())
            out[i] = engine::Value(v->GetBoolValue());
        else if (v->IsInt())
            out[i] = engine::Value(v->GetIntValue());
        else if (v->IsDouble())
            out[i] = engine::Value(v->GetDoubleValue());
    }
    return out;
}
}  // namespace

engine::ListValue ListFromJSArray(const engine::JSValueRef& array) {
    return ListFrom(array, 0);
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
