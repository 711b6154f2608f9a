// Which language the program's own windows, menus and messages speak, and where its catalogues are.
// Deciding code: it reads files and strings only; the shell applies the choice.
#pragma once

#include <functional>
#include <string>

namespace tvc::language {
// The gettext domain: <locale folder>/<language>/LC_MESSAGES/tavisto-for-web.mo.
inline constexpr const char* kTextDomain = "tavisto-for-web";
// The language the texts are written in: it needs no catalogue.
inline constexpr const char* kSourceLanguage = "en";

// The desktop's choice, as the user's environment gave it at start-up.
struct SDesktopLocale {
    std::string language;    // LANGUAGE: a list separated by ':'
    std::string lcAll;       // LC_ALL
    std::string lcMessages;  // LC_MESSAGES
    std::string lang;        // LANG
};
SDesktopLocale DesktopLocaleFromEnvironment();

using CatalogueCheck = std::function<bool(const std::string& language)>;

// The catalogue to use: the page's stored locale ("fr_FR") when there is a catalogue for it or for
// its language ("fr"); otherwise the desktop's first language that has one. Returns a catalogue
// name ("fr", "pt_BR"), kSourceLanguage when English is asked for, or "" when no language asked
// for has a catalogue: the texts are English then, and the libraries keep the desktop's language.
std::string ChooseLanguage(const std::string& storedLocale, const SDesktopLocale& desktop,
                           const CatalogueCheck& hasCatalogue);

// True for languages written right to left (Arabic, Hebrew, Persian, Urdu...).
bool IsRightToLeft(const std::string& language);

// The build's catalogues beside the executable ("<appFolder>locale/"), else the installed ones
// ("<appFolder>../../share/locale/"); with a trailing "/".
std::string FindLocaleFolder(const std::string& appFolder);
// A check that looks for the domain's catalogue in `localeFolder`.
CatalogueCheck CataloguesIn(const std::string& localeFolder);
}  // namespace tvc::language
