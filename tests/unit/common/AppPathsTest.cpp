#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "common/AppInfo.h"

namespace {
class AppPathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CAppPaths::ResetForTesting();
        setenv("XDG_DATA_HOME", (dir.path + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir.path + "/config").c_str(), 1);
    }
    void TearDown() override { CAppPaths::ResetForTesting(); }
    const std::vector<std::string> names{"Logs", "CorvaneMedia", "TavistoForWeb", "Cache",
                                         "Resources"};
    TempDir dir;
};

TEST_F(AppPathsTest, InitializeReturnCodes) {
    EXPECT_EQ(CAppPaths::Initialize({"Logs", "CorvaneMedia"}), CAppPaths::eTooFewNames);
    EXPECT_FALSE(CAppPaths::IsInitialized());
    EXPECT_EQ(CAppPaths::Initialize(names), CAppPaths::eOk);
    EXPECT_EQ(CAppPaths::Initialize(names), CAppPaths::eAlreadyInitialized);
}

TEST_F(AppPathsTest, KindsMapOntoXdgFoldersAndPerUserFoldersAreCreated) {
    ASSERT_EQ(CAppPaths::Initialize(names), CAppPaths::eOk);
    std::string p = "stale";
    const std::string tree = dir.path + "/data/CorvaneMedia/TavistoForWeb/";
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eUserAppDataFolder, p), 0);
    EXPECT_EQ(p, dir.path + "/data/");
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eLogsFolder, p), 0);
    EXPECT_EQ(p, tree + "Logs/");
    EXPECT_TRUE(std::filesystem::is_directory(p));
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eCacheFolder, p), 0);
    EXPECT_EQ(p, tree + "Cache/");
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eResourcesFolder, p), 0);
    EXPECT_EQ(p, tree + "Resources/");
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eStartupFolder, p), 0);
    EXPECT_EQ(p, dir.path + "/config/autostart/");
    EXPECT_TRUE(std::filesystem::is_directory(p));
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eApplicationFolder, p), 0);
    EXPECT_EQ(p.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(p + "common_tests"));
}

TEST_F(AppPathsTest, BadKindsAndUninitialisedModuleClearTheOutput) {
    std::string p = "stale";
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eLogsFolder, p), CAppPaths::eFailed);
    EXPECT_EQ(p, "");
    ASSERT_EQ(CAppPaths::Initialize(names), CAppPaths::eOk);
    p = "stale";
    EXPECT_EQ(CAppPaths::GetPath(6, p), CAppPaths::eBadKind);
    EXPECT_EQ(p, "");
    EXPECT_EQ(CAppPaths::GetPath(-1, p), CAppPaths::eFailed);
}

TEST_F(AppPathsTest, UncreatableFolderFailsWithThePathFilledIn) {
    // A file where the company folder should be.
    std::filesystem::create_directories(dir.path + "/data");
    { std::ofstream(dir.path + "/data/CorvaneMedia") << "x"; }
    ASSERT_EQ(CAppPaths::Initialize(names), CAppPaths::eOk);
    std::string p;
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eLogsFolder, p), CAppPaths::eFailed);
    EXPECT_EQ(p, dir.path + "/data/CorvaneMedia/TavistoForWeb/Logs/");
}

TEST_F(AppPathsTest, UndeterminableBaseFolderLeavesModuleForALaterRetry) {
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    EXPECT_EQ(CAppPaths::Initialize(names), CAppPaths::eOk);
    EXPECT_FALSE(CAppPaths::IsInitialized());
    setenv("HOME", dir.path.c_str(), 1);
    EXPECT_EQ(CAppPaths::Initialize(names), CAppPaths::eOk);
    EXPECT_TRUE(CAppPaths::IsInitialized());
    std::string p;
    EXPECT_EQ(CAppPaths::GetPath(CAppPaths::eUserAppDataFolder, p), 0);
    EXPECT_EQ(p, dir.path + "/.local/share/");
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
}

TEST(AppInfoTest, StoresTheFirstValuesOnly) {
    EXPECT_TRUE(tvc::InitializeProductAppInfo());
    CAppInfo::Initialize("Other", "9", "Other", "X", "L", "C", "R");
    EXPECT_EQ(CAppInfo::GetProductName(), "TavistoForWeb");
    EXPECT_EQ(CAppInfo::GetVersion(), "1.2.8.362");
}
}  // namespace
