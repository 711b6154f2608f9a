// Application information and the per-user folder layout.
#pragma once

#include <string>
#include <vector>

#include "common/Version.h"

namespace tvc {
// The values every process of the product sets at start-up.
inline constexpr const char* kProductName = "TavistoForWeb";
inline constexpr const char* kApplicationName = "TavistoForWeb";
inline constexpr const char* kCompanyFolderName = "CorvaneMedia";
inline constexpr const char* kLogsFolderName = "Logs";
inline constexpr const char* kCacheFolderName = "Cache";
inline constexpr const char* kResourcesFolderName = "Resources";
inline constexpr const char* kDisplayName = "Tavisto for Web";
inline constexpr const char* kPreferencesFileName = "AppPreferrence.ini";
// The maker's web site: the tray opens it, the render side sends the page there.
inline constexpr const char* kDefaultWebSiteURL = "https://www.tavisto.example";

// Sets CAppInfo with the values above; true when accepted.
bool InitializeProductAppInfo();
}  // namespace tvc

class CAppInfo {
  public:
    // Stores the seven strings on the first call; later calls change nothing but retry the folder
    // module while it is not initialised.
    static bool Initialize(const std::string& productName, const std::string& version,
                           const std::string& appName, const std::string& companyFolder,
                           const std::string& logsFolder, const std::string& cacheFolder,
                           const std::string& resourcesFolder);
    static const std::string& GetProductName();
    static const std::string& GetVersion();
    static const std::string& GetAppName();
};

class CAppPaths {
  public:
    enum Kind {
        eApplicationFolder = 0,
        eUserAppDataFolder = 1,
        eLogsFolder = 2,
        eCacheFolder = 3,
        eResourcesFolder = 4,
        eStartupFolder = 5,
    };
    enum Result { eOk = 0, eFailed = 1, eTooFewNames = 3, eAlreadyInitialized = 4, eBadKind = 5 };

    // names: [logs folder, company folder, product name, cache folder, resources folder].
    static int Initialize(const std::vector<std::string>& names);
    static bool IsInitialized();
    // Clears `path`, then fills it (with a trailing "/"); per-user folders are created when
    // missing.
    static int GetPath(int kind, std::string& path);

    // The web process is not our executable: it is told the application folder instead.
    static void SetApplicationFolderOverride(const std::string& folder);
    // For tests: forget everything so Initialize can run again.
    static void ResetForTesting();
};
