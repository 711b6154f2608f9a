// Page values <-> message argument lists.
#pragma once

#include "engine/JSValue.h"
#include "engine/Value.h"

namespace tvc::render {

// An array's entries, index kept: arrays nest, strings, bools, ints and doubles travel as
// themselves (an integral number as int), anything else leaves a null. False (and `out` empty)
// when the array is too deep or too large to carry.
bool ListFromJSArray(const engine::JSValueRef& array, engine::ListValue& out);

// bool, int, double, string and lists as themselves; null as null.
engine::JSValueRef JSArrayFromList(const engine::JSContextRef& context,
                                   const engine::ListValue& list);
engine::JSValueRef JSValueFromValue(const engine::JSContextRef& context,
                                    const engine::Value& value);
}  // namespace tvc::render
