// Inter-app response text, the process-wide close-expected flag, and the sends that need the
// engine (defined with the client handler, so tvcommon itself stays engine-free).
#pragma once

#include <memory>
#include <string>

#include "engine/Browser.h"

namespace tvc {
class ClientHandler;
}

class CAppHelper {
  public:
    // Builds the native side's response; the request is embedded verbatim as a JSON value.
    static bool CreateInterAppResponceMessage(const std::string& subType,
                                              const std::string& request, int status,
                                              std::string& out);

    // Set once a real quit is under way; nothing resets it. Main thread.
    static void SetIsApplicationWindowCloseExpected();
    static bool GetIsApplicationWindowCloseExpected();

    // Defined with the client handler (ClientHandler/AppHelperSend.cpp). Main thread.
    static bool SendStringAsInterAppMessageViaClinetHandler(
        const std::shared_ptr<tvc::ClientHandler>& clientHandler, const std::string& text);
    static bool SendMessageToCEFProcess(const tvc::engine::BrowserRef& browser,
                                        tvc::engine::ProcessId targetProcess,
                                        const std::string& name);
};
