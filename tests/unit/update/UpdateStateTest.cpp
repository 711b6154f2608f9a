#include <gtest/gtest.h>

#include <stdexcept>

#include "update/UpdateState.h"

namespace {
using tvc::update::DeserializeUpdateState;
using tvc::update::SerializeUpdateState;

TEST(UpdateStateFile, RoundTripsVersionPathAndStateInTheirArchiveOrder) {
    const UpdateStateHandle saved(
        "/home/u/.local/share/Corvane Media/Update/TavistoForWebInstaller.run", "1.2.9.0", 3);
    const std::string text = SerializeUpdateState(saved);
    // Class version 0; the version comes before the path.
    EXPECT_NE(text.find(" 0 0 7 1.2.9.0 "), std::string::npos) << text;
    const UpdateStateHandle loaded = DeserializeUpdateState(text);
    EXPECT_EQ(loaded.m_strVersion, saved.m_strVersion);
    EXPECT_EQ(loaded.m_strInstallerPath, saved.m_strInstallerPath);
    EXPECT_EQ(loaded.m_iState, 3);
}

TEST(UpdateStateFile, CorruptFormsAreRefused) {
    const std::string good =
        SerializeUpdateState(UpdateStateHandle("/u/Update/a.run", "1.2.9.0", 3));
    const std::string header =
        good.substr(0, good.find(" 0 0 ") + 1);  // "22 serialization::archive N "
    const std::string cases[] = {
        "",
        good.substr(0, good.size() / 2),
        "garbage that is not an archive",
        header + "0 1 7 1.2.9.0 15 /u/Update/a.run 3",           // another class version
        header + "0 0 4000000000 1.2.9.0 15 /u/Update/a.run 3",  // a length no file has
        header + "0 0 7 1.2.9.0 99 /u/Update/a.run 3",           // longer than the file
        "22 serialization::archive 999 0 0 7 1.2.9.0 15 /u/Update/a.run 3",  // a later library
        std::string(70 * 1024, '1'),
    };
    for (const std::string& text : cases)
        EXPECT_THROW(DeserializeUpdateState(text), std::exception) << text.substr(0, 80);
}
}  // namespace
