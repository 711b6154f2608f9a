// The page's generic message channel `app`: sendMessage, setMessageCallback, removeMessageCallback.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "engine/JSValue.h"

namespace tvc::render {

// (message name, page identifier) -> (context, function). Render thread only.
class MessageCallbackMap {
  public:
    using Key = std::pair<std::string, int>;
    using Value = std::pair<engine::JSContextRef, engine::JSValueRef>;

    // An existing registration stays; false when the key was taken.
    bool Insert(const Key& key, Value value) { return m_map.emplace(key, std::move(value)).second; }
    bool Erase(const Key& key) { return m_map.erase(key) > 0; }
    const Value* Find(const Key& key) const {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }
    // Erases every registration made in `context`.
    void ReleaseContext(const engine::JSContextRef& context);
    bool Empty() const { return m_map.empty(); }
    size_t Size() const { return m_map.size(); }

  private:
    std::map<Key, Value> m_map;
};

class ClientAppExtensionHandler : public engine::IJSHandler {
  public:
    explicit ClientAppExtensionHandler(std::shared_ptr<MessageCallbackMap> callbacks)
        : m_callbacks(std::move(callbacks)) {}

    // Render thread. Unfitting arguments raise "Invalid method arguments" and send or store
    // nothing.
    bool Execute(const std::string& name, const engine::JSContextRef& context,
                 const engine::JSValueRef& thisObject, const engine::JSValueList& arguments,
                 engine::JSValueRef& retval, std::string& exception) override;

    // Adds `app` with its three functions to the context's window.
    static bool Install(const engine::JSContextRef& context,
                        const std::shared_ptr<ClientAppExtensionHandler>& handler);

  private:
    std::shared_ptr<MessageCallbackMap> m_callbacks;
};
}  // namespace tvc::render
