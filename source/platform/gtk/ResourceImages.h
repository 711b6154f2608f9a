// Pictures compiled into the program from resources/ (tavisto.gresource.xml).
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "glibutil/GObjectPtr.h"

namespace tvc::platform::gtk {
inline constexpr const char* kSplashPicture = "splash.png";
inline constexpr const char* kAboutPicture = "about.png";
inline constexpr const char* kAppIconPicture = "tavisto-for-web.png";

// Decodes one bundled picture; empty (and logged) when it is missing or cannot be decoded.
glib::GObjectPtr<GdkPixbuf> LoadResourcePicture(const char* name);
}  // namespace tvc::platform::gtk
