#include "common/ClientHandler/AppUrls.h"

#include <optional>

#include "common/AppInfo.h"
#include "common/CommandLine.h"
#include "common/TaskRunner.h"

namespace tvc {
namespace {
std::optional<std::string> g_appcastDirectory;  // main thread

std::string FolderSwitchOr(const char* name, const char* fallback) {
    std::string value = GetGlobalCommandLine()->GetSwitchValue(name);
    if (value.empty()) return fallback;
    if (value.back() != '/') value.push_back('/');
    return value;
}
}  // namespace

std::string GetDefaultAppcastDirectoryURL() {
    return FolderSwitchOr("appcast-base-url", kDefaultAppcastDirectoryURL);
}

std::string GetAppcastDirectoryURL() {
    runner::AssertOnMainThread();
    if (!g_appcastDirectory) g_appcastDirectory = GetDefaultAppcastDirectoryURL();
    return *g_appcastDirectory;
}

void SetAppcastDirectoryURL(const std::string& url) {
    runner::AssertOnMainThread();
    g_appcastDirectory = url;
}

std::string GetDefaultStartUrlPrefix() {
    std::string value = GetGlobalCommandLine()->GetSwitchValue("start-url-prefix");
    return value.empty() ? kDefaultStartUrlPrefix : value;
}

std::string GetWSConfigFileURL() {
    return FolderSwitchOr("config-base-url", kDefaultConfigBaseURL) + kWSConfigFileName;
}

std::string GetWebSiteURL() {
    std::string value = GetGlobalCommandLine()->GetSwitchValue("web-site-url");
    return value.empty() ? kDefaultWebSiteURL : value;
}

std::string GetDefaultHelpURL() {
    std::string value = GetGlobalCommandLine()->GetSwitchValue("help-url");
    return value.empty() ? kDefaultHelpURL : value;
}

void ResetAppUrlsForTesting() {
    g_appcastDirectory.reset();
}
}  // namespace tvc
