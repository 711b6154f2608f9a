#include <gtest/gtest.h>

#include "update/AutoUpdateHandler.h"
#include "update/ExecutableVersion.h"

namespace {
int Sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(CompareVersions, OrdersVersionTextsPartByPart) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"1.2.8.362", "1.2.10.1", -1},  // numbers by value, not as text
        {"1.2", "1.2.0", -1},
        {"1.2", "1.2b", 1},  // a trailing text part is a pre-release
        {"1.2b", "1.2c", -1},
        {"1.2.8.362", "1.2.8.362", 0},
        {"1.2.9.0", "1.2.8.362", 1},
        {"01.2", "1.2", 0},
        {"1.2.99999999999999999999", "1.2.99999999999999999998", 1},  // beyond int, still by value
        {"1.2.a", "1.2.1", -1},                                       // text against a number
        {"1..2", "1.2", -1},                                          // a period against a number
        {"1.2.8.362", "", 1},
        {"", "", 0},
        {"2", "10", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(CAutoUpdateHandler::CompareVersions(c.a, c.b)), c.expected)
            << c.a << " vs " << c.b;
        EXPECT_EQ(Sign(CAutoUpdateHandler::CompareVersions(c.b, c.a)), -c.expected)
            << c.b << " vs " << c.a;
    }
}

TEST(SplitVersionString, StartsAPartAtEveryClassChangeAndAfterEveryPeriod) {
    using V = std::vector<std::string>;
    EXPECT_EQ(CAutoUpdateHandler::SplitVersionString("1.2.10b3"),
              (V{"1", ".", "2", ".", "10", "b", "3"}));
    EXPECT_EQ(CAutoUpdateHandler::SplitVersionString("1..2"), (V{"1", ".", ".", "2"}));
    EXPECT_EQ(CAutoUpdateHandler::SplitVersionString("rc-1"), (V{"rc-", "1"}));
    EXPECT_EQ(CAutoUpdateHandler::SplitVersionString(""), V{});
}

// This test executable carries a file version the way the program does.
[[gnu::used, gnu::section(".tvc_version")]] const char kTestFileVersion[] = "9.8.7.6";

TEST(ExecutableFileVersion, IsReadFromTheVersionSection) {
    std::string version;
    ASSERT_TRUE(tvc::update::ReadExecutableFileVersion("/proc/self/exe", version));
    EXPECT_EQ(version, "9.8.7.6");
    EXPECT_FALSE(tvc::update::ReadExecutableFileVersion("/etc/hostname", version));
    EXPECT_FALSE(tvc::update::ReadExecutableFileVersion("/nonexistent", version));
}
}  // namespace
