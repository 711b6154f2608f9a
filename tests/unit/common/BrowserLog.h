#pragma once
#include <stdlib.h>

#include <string>

#include "common/AppInfo.h"
#include "common/LogHelper.h"

// In a forked child: the browser process's batched log, in a per-user tree under `folder`.
inline bool StartBrowserLogIn(const std::string& folder) {
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    CAppPaths::ResetForTesting();
    return tvc::InitializeProductAppInfo() && SetupLogger(true, "BROWSER_PROCESS_LOG_", true);
}
