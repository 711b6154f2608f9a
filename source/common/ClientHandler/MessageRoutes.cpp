#include "common/ClientHandler/MessageRoutes.h"

#include "common/LogHelper.h"

namespace tvc {

bool CMessageRoutes::Add(std::string_view name, Route route) {
    const msg::Entry* row = msg::Find(name, msg::Direction::ToBrowser);
    if (!row) {
        TVC_LOG_ERROR("%s : %.*s is not a message the browser takes", TVC_FN,
                      static_cast<int>(name.size()), name.data());
        return false;
    }
    m_routes[row] = std::move(route);
    return true;
}

bool CMessageRoutes::Dispatch(engine::BrowserRef browser,
                              const engine::ProcessMessage& message) const {
    const msg::Entry* row = msg::Find(message.name, msg::Direction::ToBrowser);
    const auto found = row ? m_routes.find(row) : m_routes.end();
    if (found == m_routes.end()) return false;
    const Route& route = found->second;
    if (route.arrival) TVC_LOG_WARN("%s", route.arrival);
    if (!row->checked || engine::ArgsMatch(message.args, row->args)) {
        if (route.act) route.act(std::move(browser), message);
        return true;
    }
    if (route.mismatch) TVC_LOG_ERROR("%s", route.mismatch);
    if (route.otherwise) route.otherwise(std::move(browser), message);
    return true;
}
}  // namespace tvc
