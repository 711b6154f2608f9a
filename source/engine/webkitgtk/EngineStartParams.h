// What the engine needs to start; shared by the shell and the engine module.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tvc::webkit {

struct EngineStartParams {
    std::string cacheFolder;       // with trailing "/"; cookies and site data live here
    std::string extensionsFolder;  // where the web-process extension library is
    std::string productToken;      // appended to the engine's own user agent
    int inspectorPort = 0;         // 0: no remote inspector
    bool webSandbox = true;        // confine the web processes where the machine allows it
    // What the web process writes inside its sandbox (its log, the preferences); all else of the
    // user's files stays out of its sight.
    std::vector<std::string> sandboxWritableFolders;
    std::map<std::string, std::string> extensionInitData;
};
}  // namespace tvc::webkit
