#include <gtest/gtest.h>

#include <set>

#include "common/Language.h"

namespace {
using tvc::language::ChooseLanguage;
using tvc::language::SDesktopLocale;

TEST(LanguageTest, StoredLocaleThenTheDesktopsThenNone) {
    const std::set<std::string> catalogues = {"de", "fr", "ja", "pt_BR"};
    auto has = [&](const std::string& name) { return catalogues.contains(name); };
    struct Case {
        const char* stored;
        SDesktopLocale desktop;
        const char* expected;
    };
    const Case cases[] = {
        {"fr_FR", {}, "fr"},                                // the language's catalogue
        {"pt_BR", {"de"}, "pt_BR"},                         // the region's own
        {"pt_PT", {"", "", "", "de_DE.UTF-8"}, "de"},       // no Portuguese of Portugal
        {"ko_KR", {"", "", "", "ja_JP.UTF-8@x"}, "ja"},     // none at all: the desktop's
        {"en_US", {"de"}, "en"},                            // English needs no catalogue
        {"", {"eo:ja:de", "fr_FR.UTF-8"}, "ja"},            // LANGUAGE's first with one
        {"", {"eo", "", "", "de_DE"}, "de"},                // then the locale
        {"", {"", "fr_FR.UTF-8", "ja_JP", "de_DE"}, "fr"},  // LC_ALL before the others
        {"", {"", "", "ja_JP", "de_DE"}, "ja"},             // LC_MESSAGES before LANG
        {"", {"", "C.UTF-8", "", "de_DE"}, ""},             // the C locale: none asked for
        {"", {"ko:eo"}, ""},                                // LANGUAGE has none of ours
        {"", {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseLanguage(c.stored, c.desktop, has), c.expected)
            << "stored " << c.stored << ", LANGUAGE " << c.desktop.language;
}
}  // namespace
