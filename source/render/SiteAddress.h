// Addresses of the maker's web site the render side opens.
#pragma once

#include <string>

namespace tvc::render {
// The tray's web-site item: the site's root with the launch marker as its only query; empty when
// `webSiteURL` has no scheme and host.
std::string TrayLaunchAddress(const std::string& webSiteURL);
}  // namespace tvc::render
