// The page's event subscriptions: event name -> page function in the context it was given in.
// Render thread only; no lock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/JSValue.h"

namespace tvc::render {

struct CallbackCtxType {
    engine::JSContextRef m_pContext;
    engine::JSValueRef callback;
    // Tells a registration apart from a later one of the same function, so a firing can see
    // whether an entry of its snapshot was removed meanwhile.
    std::uint64_t m_uiSerial = 0;

    CallbackCtxType() = default;
    CallbackCtxType(engine::JSContextRef context, engine::JSValueRef function)
        : m_pContext(std::move(context)), callback(std::move(function)) {}
    CallbackCtxType(const CallbackCtxType&) = default;
    CallbackCtxType& operator=(const CallbackCtxType&) = default;
    ~CallbackCtxType();
};

class CCallbackRegistry {
  public:
    // Behind the existing entries of the same name; nothing is de-duplicated.
    void Add(const std::string& name, CallbackCtxType entry);
    // Erases the earliest subscription of `name`; false when there is none.
    bool RemoveFirst(const std::string& name);
    // Copies of the entries of `name`, in subscription order.
    std::vector<CallbackCtxType> Snapshot(const std::string& name) const;
    bool Contains(std::uint64_t serial) const;
    // Erases every entry made in `context`.
    void ReleaseContext(const engine::JSContextRef& context);
    size_t Count(const std::string& name) const { return m_map.count(name); }
    size_t Size() const { return m_map.size(); }

  private:
    std::multimap<std::string, CallbackCtxType> m_map;
    std::uint64_t m_uiNextSerial = 1;
};
}  // namespace tvc::render
