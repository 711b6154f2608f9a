// Engine-neutral view of page script as the web process sees it: values, script contexts,
// native functions and accessors, and the page (browser) and frame a context belongs to.
// Everything here is used on the web process's main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/ProcessMessage.h"

namespace tvc::engine {

class JSValue;
class JSContext;
class IRenderFrame;
class IRenderBrowser;
using JSValueRef = std::shared_ptr<JSValue>;
using JSContextRef = std::shared_ptr<JSContext>;
using JSValueList = std::vector<JSValueRef>;
using RenderFrameRef = std::shared_ptr<IRenderFrame>;
using RenderBrowserRef = std::shared_ptr<IRenderBrowser>;

class JSValue {
  public:
    // Int is a number with an integral value that fits an int32; every other number is Double.
    enum class Type { Undefined, Null, Bool, Int, Double, String, Array, Function, Object };

    virtual ~JSValue() = default;
    virtual Type GetType() const = 0;

    bool IsUndefined() const { return GetType() == Type::Undefined; }
    bool IsNull() const { return GetType() == Type::Null; }
    bool IsBool() const { return GetType() == Type::Bool; }
    bool IsInt() const { return GetType() == Type::Int; }
    bool IsDouble() const { return GetType() == Type::Double; }
    bool IsString() const { return GetType() == Type::String; }
    bool IsArray() const { return GetType() == Type::Array; }
    bool IsFunction() const { return GetType() == Type::Function; }
    // Arrays and functions are objects too.
    bool IsObject() const {
        Type t = GetType();
        return t == Type::Object || t == Type::Array || t == Type::Function;
    }

    // Readers never convert: a value of another type reads as false, 0, 0.0 or "".
    virtual bool GetBoolValue() const = 0;
    virtual int GetIntValue() const = 0;
    virtual double GetDoubleValue() const = 0;  // Int values read as their number
    virtual std::string GetStringValue() const = 0;

    // Objects. GetValue gives undefined for a missing key and null when the read itself failed
    // (not an object, or a getter threw).
    virtual JSValueRef GetValue(const std::string& key) = 0;
    virtual bool SetValue(const std::string& key, const JSValueRef& value) = 0;
    virtual bool DeleteValue(const std::string& key) = 0;

    // Arrays.
    virtual int GetArrayLength() = 0;
    virtual JSValueRef GetValue(int index) = 0;
    virtual bool SetValue(int index, const JSValueRef& value) = 0;

    // Functions. Null when the call threw; the exception is logged and cleared by the engine,
    // so later calls in the same context run normally.
    virtual JSValueRef ExecuteFunction(const JSValueRef& thisObject,
                                       const JSValueList& arguments) = 0;

    // The same script object (or the same primitive value).
    virtual bool IsSame(const JSValue& other) const = 0;
};

// A native function's body: `name` is the name it was created with. Returning false leaves the
// result undefined. A non-empty `exception` is raised in the page as an Error with that text.
class IJSHandler {
  public:
    virtual ~IJSHandler() = default;
    virtual bool Execute(const std::string& name, const JSContextRef& context,
                         const JSValueRef& thisObject, const JSValueList& arguments,
                         JSValueRef& retval, std::string& exception) = 0;
};

// A native property: Get fills `retval`; Set receives the assigned value.
class IJSAccessor {
  public:
    virtual ~IJSAccessor() = default;
    virtual bool Get(const std::string& name, const JSContextRef& context, JSValueRef& retval,
                     std::string& exception) = 0;
    virtual bool Set(const std::string& name, const JSContextRef& context, const JSValueRef& value,
                     std::string& exception) = 0;
};

// One frame's script context: its global object (`window`), value factories and its page.
class JSContext {
  public:
    virtual ~JSContext() = default;
    // False once the context was released (its frame navigated or went away): nothing may run in
    // it.
    virtual bool IsValid() const = 0;
    virtual bool IsSame(const JSContext& other) const = 0;
    virtual JSValueRef GetGlobal() = 0;
    // The page and frame the context belongs to; null once they are gone.
    virtual RenderBrowserRef GetBrowser() = 0;
    virtual RenderFrameRef GetFrame() = 0;

    virtual JSValueRef NewUndefined() = 0;
    virtual JSValueRef NewNull() = 0;
    virtual JSValueRef NewBool(bool value) = 0;
    virtual JSValueRef NewInt(int value) = 0;
    virtual JSValueRef NewUInt(unsigned value) = 0;
    virtual JSValueRef NewDouble(double value) = 0;
    virtual JSValueRef NewString(const std::string& value) = 0;
    virtual JSValueRef NewArray(int length) = 0;
    virtual JSValueRef NewObject() = 0;
    // A function that calls `handler` with `name`; the function keeps the handler alive.
    virtual JSValueRef NewFunction(const std::string& name,
                                   std::shared_ptr<IJSHandler> handler) = 0;
    // Adds the accessor property `name` to `object`; the object keeps the accessor alive.
    virtual bool DefineAccessor(const JSValueRef& object, const std::string& name,
                                std::shared_ptr<IJSAccessor> accessor) = 0;
};

class IRenderFrame {
  public:
    virtual ~IRenderFrame() = default;
    virtual long long GetIdentifier() const = 0;
    virtual bool IsMain() const = 0;
    virtual std::string GetURL() const = 0;
    // The frame's current script context in the page's own world; null before it has one.
    virtual JSContextRef GetContext() = 0;
};

// A page (CEF's browser) as its web process sees it.
class IRenderBrowser {
  public:
    virtual ~IRenderBrowser() = default;
    virtual int GetIdentifier() const = 0;
    // Null when the page has no main frame (yet, or any more).
    virtual RenderFrameRef GetMainFrame() = 0;
    // To the browser process; false when it cannot be sent (the page is gone).
    virtual bool SendProcessMessage(const ProcessMessage& message) = 0;
};
}  // namespace tvc::engine
