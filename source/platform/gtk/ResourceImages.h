// Pictures compiled into the program from resources/ (tavisto.gresource.xml).
#pragma once

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <memory>

#include "glibutil/GObjectPtr.h"

namespace tvc::platform::gtk {
inline constexpr const char* kSplashPicture = "splash.png";
inline constexpr const char* kSplashPicture2x = "splash@2x.png";
inline constexpr const char* kAboutPicture = "about.png";
// The application icon is drawn at 128 pixels: the About picture at twice its size.
inline constexpr const char* kAboutPicture2x = "tavisto-for-web.png";
inline constexpr const char* kAppIconPicture = "tavisto-for-web.png";

// Decodes one bundled picture; empty (and logged) when it is missing or cannot be decoded.
glib::GObjectPtr<GdkPixbuf> LoadResourcePicture(const char* name);

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// A picture for a display of `scale` device pixels per logical one: the 2x drawing from scale 2
// up, as a surface of that device scale, so it is drawn pixel for pixel rather than enlarged.
// Its logical size is the 1x picture's. Null (and logged) when neither picture can be decoded.
struct ScaledPicture {
    SurfacePtr surface;
    int width = 0, height = 0;  // logical pixels
};
ScaledPicture LoadScaledPicture(const char* name1x, const char* name2x, int scale);
}  // namespace tvc::platform::gtk
