// Process-wide addresses the browser side uses: the appcast folder, the start-address prefix and
// the port-list configuration file. Defaults come from the switches, then from the compiled-in
// values. Any thread, but the appcast folder: the page sets it and the updater reads it on the
// main thread.
#pragma once

#include <string>

namespace tvc {
inline constexpr const char* kDefaultAppcastDirectoryURL =
    "https://updates.tavisto.example/plugin_binary/downloads/TVC/Linux/Appcast/";
inline constexpr const char* kDefaultStartUrlPrefix =
    "https://www.tavisto.example/desktop/index?locale=";
inline constexpr const char* kDefaultConfigBaseURL =
    "https://config.tavisto.example/config/type/services/product/ws-retail/version/";
// A public page about network ports: what the port-failure dialog's Help opens by default.
inline constexpr const char* kDefaultHelpURL =
    "https://en.wikipedia.org/wiki/Port_(computer_networking)";
inline constexpr const char* kAppcastFileName = "Appcast.json";
inline constexpr const char* kWSConfigFileName = "1.0.0.0.json";

// "--appcast-base-url" (a folder address; a missing final "/" is added) or the default.
std::string GetDefaultAppcastDirectoryURL();
// The folder the updater reads "Appcast.json" from; the page may change it at run time.
std::string GetAppcastDirectoryURL();
void SetAppcastDirectoryURL(const std::string& url);
// "--start-url-prefix" or the default; the locale is appended to it.
std::string GetDefaultStartUrlPrefix();
// "--config-base-url" (a folder address) or the default, followed by the configuration file name.
std::string GetWSConfigFileURL();
// "--web-site-url" or the maker's web site: what the tray's first item opens.
std::string GetWebSiteURL();
// "--help-url" or kDefaultHelpURL: used when the port list brought no help address.
std::string GetDefaultHelpURL();
// Forget a run-time appcast folder (tests).
void ResetAppUrlsForTesting();
}  // namespace tvc
