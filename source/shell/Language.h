// The language of the program's own texts: chosen at start-up and again whenever the page sets its
// locale; windows opened afterwards and the tray menu (re-labelled by its owner) follow at once.
// Main thread only.
#pragma once

#include <string>

namespace tvc::shell {
// Before anything is translated (--help included) and before other threads start: binds the
// catalogues found beside `appFolder` and speaks the desktop's language.
void StartLanguage(const std::string& appFolder);
// Speaks the page's locale when there is a catalogue for it, else the desktop's language; lays
// windows out right to left for such a language once GTK is up. Returns the catalogue in use
// ("" for none: English).
std::string UseLanguage(const std::string& storedLocale);
}  // namespace tvc::shell
