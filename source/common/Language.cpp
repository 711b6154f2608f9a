#include "common/Language.h"

#include <sys/stat.h>

#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace tvc::language {
namespace {
std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// "fr_FR.UTF-8@euro" -> "fr_FR"; "C" and "POSIX" are no language.
std::string Normalise(const std::string& locale) {
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    if (name == "C" || name == "POSIX") name.clear();
    return name;
}

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The catalogue for `locale` or its language; "" when there is none. English needs none.
std::string CatalogueFor(const std::string& locale, const CatalogueCheck& hasCatalogue) {
    const std::string name = Normalise(locale);
    if (name.empty()) return "";
    const std::string languageOnly = name.substr(0, name.find('_'));
    if (languageOnly == kSourceLanguage) return kSourceLanguage;
    for (const std::string& candidate : {name, languageOnly})
        if (hasCatalogue(candidate)) return candidate;
    return "";
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
}  // namespace

SDesktopLocale DesktopLocaleFromEnvironment() {
    return {Env("LANGUAGE"), Env("LC_ALL"), Env("LC_MESSAGES"), Env("LANG")};
}

std::string ChooseLanguage(const std::string& storedLocale, const SDesktopLocale& desktop,
                           const CatalogueCheck& hasCatalogue) {
    if (std::string found = CatalogueFor(storedLocale, hasCatalogue); !found.empty()) return found;
    // As gettext reads them: LANGUAGE's list first, then the first locale variable that is set.
    std::vector<std::string> candidates = SplitList(desktop.language);
    for (const std::string* locale : {&desktop.lcAll, &desktop.lcMessages, &desktop.lang}) {
        if (!locale->empty()) {
            candidates.push_back(*locale);
            break;
        }
    }
    for (const std::string& candidate : candidates)
        if (std::string found = CatalogueFor(candidate, hasCatalogue); !found.empty()) return found;
    return "";
}

bool IsRightToLeft(const std::string& language) {
    const std::string code = language.substr(0, language.find('_'));
    for (const char* rtl : {"ar", "he", "fa", "ur", "ps", "yi", "dv", "ckb", "sd", "ug"})
        if (code == rtl) return true;
    return false;
}

std::string FindLocaleFolder(const std::string& appFolder) {
    const std::string beside = appFolder + "locale/";
    if (IsFolder(beside)) return beside;
    return appFolder + "../../share/locale/";
}

CatalogueCheck CataloguesIn(const std::string& localeFolder) {
    return [localeFolder](const std::string& language) {
        struct stat info {};
        const std::string path = localeFolder + language + "/LC_MESSAGES/" + kTextDomain + ".mo";
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    };
}
}  // namespace tvc::language
