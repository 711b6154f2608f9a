// The program's translatable texts: _("...") is looked up in its catalogue when used, N_("...")
// only marks a text kept in a constant (translate it with _() where it is shown). Every file with
// such texts is listed in po/POTFILES. Log lines and what the page or a peer reads stay English.
// For .cpp files only: the short names would clash in headers.
#pragma once

#include <libintl.h>

#include <cstdio>
#include <string>

#include "common/Language.h"

namespace tvc {
inline const char* Translate(const char* text) {
    return ::dgettext(language::kTextDomain, text);
}

// `format` (a translated text with one "%s") with `value` in it; msgfmt --check keeps a catalogue's
// "%s" in place.
inline std::string FormatText(const char* format, const std::string& value) {
    const int size = std::snprintf(nullptr, 0, format, value.c_str());
    if (size < 0) return format;
    std::string text(static_cast<size_t>(size), '\0');
    std::snprintf(text.data(), text.size() + 1, format, value.c_str());
    return text;
}
}  // namespace tvc

#define _(text) ::tvc::Translate(text)
#define N_(text) text
