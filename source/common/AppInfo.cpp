#include "common/AppInfo.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <system_error>

#include "common/FileUtil.h"
#include "common/LogHelper.h"

namespace {
struct AppInfoState {
    bool set = false;
    std::array<std::string, 7> values;
};
AppInfoState& Info() {
    static AppInfoState s;
    return s;
}

struct PathsState {
    bool initialized = false;
    std::vector<std::string> names;
    std::string appFolder, userDataFolder, startupFolder;
    std::string appFolderOverride;
};
PathsState& Paths() {
    static PathsState s;
    return s;
}

std::string WithSlash(std::string p) {
    if (!p.empty() && p.back() != '/') p.push_back('/');
    return p;
}

// XDG base folder: the variable when it is an absolute path, otherwise $HOME + fallback.
std::string XdgFolder(const char* var, const char* homeFallback) {
    const char* v = std::getenv(var);
    if (v && v[0] == '/') return WithSlash(v);
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return WithSlash(std::string(home) + "/" + homeFallback);
    return {};
}

std::string ExecutableFolder() {
    std::error_code ec;
    std::string exe = tvc::ReadLink("/proc/self/exe");
    auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash + 1);
}
}  // namespace

bool tvc::InitializeProductAppInfo() {
    return CAppInfo::Initialize(kProductName, kProductVersion, kApplicationName, kCompanyFolderName,
                                kLogsFolderName, kCacheFolderName, kResourcesFolderName);
}

bool CAppInfo::Initialize(const std::string& productName, const std::string& version,
                          const std::string& appName, const std::string& companyFolder,
                          const std::string& logsFolder, const std::string& cacheFolder,
                          const std::string& resourcesFolder) {
    auto& s = Info();
    if (!s.set) {
        s.values = {productName, version,     appName,        companyFolder,
                    logsFolder,  cacheFolder, resourcesFolder};
        s.set = true;
    }
    if (CAppPaths::IsInitialized()) return true;
    int rc =
        CAppPaths::Initialize({s.values[4], s.values[3], s.values[0], s.values[5], s.values[6]});
    return rc != CAppPaths::eTooFewNames;
}

const std::string& CAppInfo::GetProductName() {
    return Info().values[0];
}
const std::string& CAppInfo::GetVersion() {
    return Info().values[1];
}
const std::string& CAppInfo::GetAppName() {
    return Info().values[2];
}

int CAppPaths::Initialize(const std::vector<std::string>& names) {
    auto& p = Paths();
    if (p.initialized) return eAlreadyInitialized;
    if (names.size() < 5) return eTooFewNames;
    std::string app = p.appFolderOverride.empty() ? ExecutableFolder() : p.appFolderOverride;
    std::string data = XdgFolder("XDG_DATA_HOME", ".local/share");
    std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
    // A base folder that cannot be determined leaves the module uninitialised for a later retry.
    if (app.empty() || data.empty() || config.empty()) {
        DebugPrint("%s : could not determine the base folders (HOME/XDG_DATA_HOME unset?)", TVC_FN);
        return eOk;
    }
    p.names = names;
    p.appFolder = app;
    p.userDataFolder = data;
    p.startupFolder = config + "autostart/";
    p.initialized = true;
    return eOk;
}

bool CAppPaths::IsInitialized() {
    return Paths().initialized;
}

int CAppPaths::GetPath(int kind, std::string& path) {
    path.clear();
    if (kind > eStartupFolder) return eBadKind;
    if (kind < 0) return eFailed;
    std::string result;
    bool create = false;
    {
        const auto& p = Paths();
        if (!p.initialized) return eFailed;
        switch (kind) {
            case eApplicationFolder:
                result = p.appFolder;
                break;
            case eUserAppDataFolder:
                result = p.userDataFolder;
                break;
            case eStartupFolder:
                result = p.startupFolder;
                create = true;
                break;
            default: {
                const std::string& leaf = kind == eLogsFolder    ? p.names[0]
                                          : kind == eCacheFolder ? p.names[3]
                                                                 : p.names[4];
                result = p.userDataFolder + p.names[1] + "/" + p.names[2] + "/" + leaf + "/";
                create = true;
            }
        }
    }
    path = result;
    if (create && !tvc::MakeDirectories(result)) return eFailed;
    return eOk;
}

void CAppPaths::SetApplicationFolderOverride(const std::string& folder) {
    Paths().appFolderOverride = WithSlash(folder);
}

void CAppPaths::ResetForTesting() {
    Paths() = PathsState{};
}
