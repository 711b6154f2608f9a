// The wire form of a process message's arguments: a GVariant "av" of b, i, d, s, nested av,
// and an empty "mv" for null. A string that "s" cannot carry whole (one holding U+0000, or bytes
// that are not UTF-8) travels as "ay", so no text is cut on the way. Shared by the browser process
// and the web-process extension.
#pragma once

#include <glib.h>

#include <string>

#include "engine/Value.h"

namespace tvc::glib {

// A floating GVariant of type "av".
inline GVariant* ToVariant(const engine::ListValue& list);

inline GVariant* ToVariantItem(const engine::Value& v) {
    using T = engine::Value::Type;
    switch (v.GetType()) {
        case T::Bool:
            return g_variant_new_boolean(v.GetBool());
        case T::Int:
            return g_variant_new_int32(v.GetInt());
        case T::Double:
            return g_variant_new_double(v.GetDouble());
        case T::String: {
            const std::string& s = v.GetString();
            if (g_utf8_validate_len(s.data(), s.size(), nullptr))
                return g_variant_new_string(s.c_str());
            return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, s.data(), s.size(), 1);
        }
        case T::List:
            return ToVariant(v.GetList());
        case T::Null:
            break;
    }
    return g_variant_new_maybe(G_VARIANT_TYPE_VARIANT, nullptr);
}

inline GVariant* ToVariant(const engine::ListValue& list) {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("av"));
    for (const auto& v : list) g_variant_builder_add(&b, "v", ToVariantItem(v));
    return g_variant_builder_end(&b);
}

inline engine::ListValue FromVariant(GVariant* av);

inline engine::Value FromVariantItem(GVariant* item) {
    if (g_variant_is_of_type(item, G_VARIANT_TYPE_BOOLEAN))
        return engine::Value(g_variant_get_boolean(item) != 0);
    if (g_variant_is_of_type(item, G_VARIANT_TYPE_INT32))
        return engine::Value(static_cast<int>(g_variant_get_int32(item)));
    if (g_variant_is_of_type(item, G_VARIANT_TYPE_DOUBLE))
        return engine::Value(g_variant_get_double(item));
    if (g_variant_is_of_type(item, G_VARIANT_TYPE_STRING))
        return engine::Value(std::string(g_variant_get_string(item, nullptr)));
    if (g_variant_is_of_type(item, G_VARIANT_TYPE_BYTESTRING)) {
        gsize size = 0;
        const auto* data =
            static_cast<const char*>(g_variant_get_fixed_array(item, &size, sizeof(char)));
        return engine::Value(data ? std::string(data, size) : std::string());
    }
    if (g_variant_is_of_type(item, G_VARIANT_TYPE("av"))) return engine::Value(FromVariant(item));
    return engine::Value();
}

// Anything but an "av" gives an empty list.
inline engine::ListValue FromVariant(GVariant* av) {
    engine::ListValue out;
    if (!av || !g_variant_is_of_type(av, G_VARIANT_TYPE("av"))) return out;
    GVariantIter iter;
    g_variant_iter_init(&iter, av);
    GVariant* boxed = nullptr;
    while ((boxed = g_variant_iter_next_value(&iter))) {
        GVariant* inner = g_variant_get_variant(boxed);
        out.push_back(FromVariantItem(inner));
        g_variant_unref(inner);
        g_variant_unref(boxed);
    }
    return out;
}
}  // namespace tvc::glib
