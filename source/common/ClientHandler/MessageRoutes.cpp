#include "common/ClientHandler/MessageRoutes.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc {

bool CMessageRoutes::Dispatch(engine::BrowserRef browser,
                              const engine::ProcessMessage& message) const {
    const auto found = m_routes.find(message.name);
    if (found == m_routes.end()) return false;
    const Route& route = found->second;
    if (route.arrival) TVC_LOG_WARN("%s", route.arrival);
    if (engine::MatchesCatalogue(message)) {
        if (route.act) route.act(std::move(browser), message);
        return true;
    }
    if (route.mismatch) TVC_LOG_ERROR("%s", route.mismatch);
    if (route.otherwise) route.otherwise(std::move(browser), message);
    return true;
}
}  // namespace tvc
