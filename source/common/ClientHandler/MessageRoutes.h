// The page's process messages, by their row of the bridge table, to the component that acts on
// each. A route exists only for a row that goes to the browser, and the argument shape is checked
// once, against that row, before a handler runs. Main thread.
#pragma once

#include <functional>
#include <string_view>
#include <unordered_map>

#include "common/ProcessMessages.h"
#include "engine/Browser.h"
#include "engine/ProcessMessage.h"

namespace tvc {

class CMessageRoutes {
  public:
    using Handler = std::function<void(engine::BrowserRef, const engine::ProcessMessage&)>;
    struct Route {
        const char* arrival = nullptr;   // a warning logged first, whatever the arguments
        Handler act;                     // the arguments have the table's shape; none: no effect
        const char* mismatch = nullptr;  // an error logged when they do not
        Handler otherwise;               // then run instead of `act`
    };

    // False, and nothing is added, when `name` is not a browser-bound row of the table.
    bool Add(std::string_view name, Route route);
    // Runs the route of the message's row; false when there is none.
    bool Dispatch(engine::BrowserRef browser, const engine::ProcessMessage& message) const;
    bool Receives(const msg::Entry& row) const { return m_routes.count(&row) != 0; }

  private:
    std::unordered_map<const msg::Entry*, Route> m_routes;
};
}  // namespace tvc
