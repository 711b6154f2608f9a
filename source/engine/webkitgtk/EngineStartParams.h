// What the engine needs to start; shared by the shell and the engine module.
#pragma once

#include <map>
#include <string>

namespace tvc::webkit {

struct EngineStartParams {
    std::string cacheFolder;       // with trailing "/"; cookies and site data live here
    std::string extensionsFolder;  // where the web-process extension library is
    std::string productToken;      // appended to the engine's own user agent
    int inspectorPort = 0;         // 0: no remote inspector
    std::map<std::string, std::string> extensionInitData;
};
}  // namespace tvc::webkit
