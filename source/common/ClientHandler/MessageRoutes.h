// The page's process messages, by name, to the component that acts on each. The argument shape
// is checked once, against the bridge table, before a handler runs. Main thread.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>

#include "engine/Browser.h"
#include "engine/ProcessMessage.h"

namespace tvc {

class CMessageRoutes {
  public:
    using Handler = std::function<void(engine::BrowserRef, const engine::ProcessMessage&)>;
    struct Route {
        const char* arrival = nullptr;   // a warning logged first, whatever the arguments
        Handler act;                     // the arguments have the table's shape
        const char* mismatch = nullptr;  // an error logged when they do not
        Handler otherwise;               // then run instead of `act`
    };

    void Add(const std::string& name, Route route) { m_routes[name] = std::move(route); }
    // Runs the route of the message's name; false when there is none.
    bool Dispatch(engine::BrowserRef browser, const engine::ProcessMessage& message) const;

  private:
    std::unordered_map<std::string, Route> m_routes;
};
}  // namespace tvc
