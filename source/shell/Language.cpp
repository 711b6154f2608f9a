#include "shell/Language.h"

#include <gtk/gtk.h>
#include <libintl.h>

#include <clocale>
#include <cstring>

#include "common/Language.h"
#include "common/LogHelper.h"
#include "glibutil/OwnEnvironment.h"

namespace tvc::shell {
namespace {
struct SState {
    language::SDesktopLocale desktop;  // as the user gave it, before LANGUAGE is ours
    std::string localeFolder;
};

SState& State() {
    static SState state;
    return state;
}

// gettext reads its language list from LANGUAGE, but only when LC_MESSAGES is not the plain C
// locale; C.UTF-8 is built into the C library, so no other locale need be installed. Without a
// catalogue of ours (""), the user's own list stays: our texts are English, GTK's and WebKit's
// keep the desktop's language (an empty LANGUAGE counts as none). Setting the text domain again
// makes gettext drop the translations it has cached.
void Speak(const std::string& catalogue) {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    if (!messages || std::strcmp(messages, "C") == 0 || std::strcmp(messages, "POSIX") == 0)
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    const std::string& list = catalogue.empty() ? State().desktop.language : catalogue;
    glib::OverrideVariable("LANGUAGE", list.c_str());
    ::textdomain(::textdomain(nullptr));
}
}  // namespace

void StartLanguage(const std::string& appFolder) {
    SState& state = State();
    std::setlocale(LC_ALL, "");
    state.desktop = language::DesktopLocaleFromEnvironment();
    state.localeFolder = language::FindLocaleFolder(appFolder);
    ::bindtextdomain(language::kTextDomain, state.localeFolder.c_str());
    ::bind_textdomain_codeset(language::kTextDomain, "UTF-8");
    Speak(language::ChooseLanguage("", state.desktop, language::CataloguesIn(state.localeFolder)));
}

std::string UseLanguage(const std::string& storedLocale) {
    const SState& state = State();
    const std::string catalogue = language::ChooseLanguage(
        storedLocale, state.desktop, language::CataloguesIn(state.localeFolder));
    Speak(catalogue);
    if (gdk_display_get_default())
        gtk_widget_set_default_direction(language::IsRightToLeft(catalogue) ? GTK_TEXT_DIR_RTL
                                                                            : GTK_TEXT_DIR_LTR);
    TVC_LOG_INFO("%s : the program's texts speak \"%s\" (stored locale \"%s\")", "UseLanguage",
                 catalogue.empty() ? language::kSourceLanguage : catalogue.c_str(),
                 storedLocale.c_str());
    return catalogue;
}
}  // namespace tvc::shell
