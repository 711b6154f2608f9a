// The two sends of CAppHelper that need the engine and the client handler.
#include "common/AppHelper.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"

bool CAppHelper::SendStringAsInterAppMessageViaClinetHandler(
    const std::shared_ptr<tvc::ClientHandler>& clientHandler, const std::string& text) {
    if (!clientHandler) {
        TVC_LOG_WARN("%s : clientHandler is NULL", TVC_FN);
        return false;
    }
    return clientHandler->SendStringAsInterAppMessage(text);
}

bool CAppHelper::SendMessageToCEFProcess(const tvc::engine::BrowserRef& browser,
                                         tvc::engine::ProcessId targetProcess,
                                         const std::string& name) {
    static const char* fn = TVC_FN;
    if (!browser) {
        TVC_LOG_ERROR("%s : browser object is NULL, not sending %s", fn, name.c_str());
        return false;
    }
    TVC_LOG_WARN("%s : sending %s", fn, name.c_str());
    if (!browser->SendProcessMessage(targetProcess, tvc::engine::ProcessMessage{name, {}})) {
        TVC_LOG_ERROR("%s : error sending %s", fn, name.c_str());
        return false;
    }
    return true;
}
