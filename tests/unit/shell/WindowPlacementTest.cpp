// The main window's placement through the preferences file.
#include <gtest/gtest.h>

#include "../common/TempDir.h"
#include "../platform/RectPrinter.h"
#include "common/AppProps.h"
#include "shell/WindowPlacement.h"

using tvc::platform::Rect;

namespace {
const Rect kFullHd{0, 0, 1920, 1080};
const Rect kCentredDefault{350, 190, 1220, 700};

class FixedDesktop : public tvc::platform::IDesktop {
  public:
    Rect GetMaximizedArea() const override { return kFullHd; }
    std::vector<Rect> GetWorkAreas() const override { return {kFullHd}; }
    bool OpenUrlExternally(const std::string&) override { return false; }
    bool GetIsSystemShutdownInProgress(bool&) override { return false; }
};

class PlacementFile : public ::testing::Test {
  protected:
    void SetUp() override { CAppProps::SetFilePath(dir.path + "/AppPreferrence.ini"); }
    void TearDown() override { CAppProps::SetFilePath(""); }
    Rect Restore() {
        Rect r{-1, -1, -1, -1};
        tvc::shell::RestoreWindowPosition(desktop, r.x, r.y, r.width, r.height);
        return r;
    }
    TempDir dir;
    FixedDesktop desktop;
};

TEST_F(PlacementFile, SavedPlacementRoundTrips) {
    tvc::shell::SaveWindowPosition(40, -5, 1300, 760);
    EXPECT_EQ(CAppProps::ReadProperty("windowpos", "x"), "40");
    EXPECT_EQ(CAppProps::ReadProperty("windowpos", "y"), "-5");
    EXPECT_EQ(CAppProps::ReadProperty("windowpos", "width"), "1300");
    EXPECT_EQ(CAppProps::ReadProperty("windowpos", "height"), "760");
    // A title bar above the screen comes back inside the work area.
    EXPECT_EQ(Restore(), (Rect{40, 0, 1300, 760}));
}

TEST_F(PlacementFile, MissingOrGarbageFileGivesDefault) {
    EXPECT_EQ(Restore(), kCentredDefault);
    CAppProps::WriteProperty("windowpos", "x", "left");
    CAppProps::WriteProperty("windowpos", "y", "top");
    CAppProps::WriteProperty("windowpos", "width", "wide");
    CAppProps::WriteProperty("windowpos", "height", "");
    EXPECT_EQ(Restore(), kCentredDefault);
}

TEST_F(PlacementFile, StoredOffScreenAndSmallCases) {
    tvc::shell::SaveWindowPosition(3000, 10, 1220, 700);
    EXPECT_EQ(Restore(), kCentredDefault);
    tvc::shell::SaveWindowPosition(120, 80, 800, 600);
    EXPECT_EQ(Restore(), (Rect{120, 80, 1220, 700}));
}

}  // namespace
