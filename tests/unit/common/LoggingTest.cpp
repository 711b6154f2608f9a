#include <glog/logging.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TempDir.h"
#include "common/AppInfo.h"
#include "common/ConsoleLog.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"

namespace {
namespace fs = std::filesystem;

// Log lines name their function through TVC_FN; these are the shapes the code has.
namespace sample {
struct CSample {
    CSample() { names.push_back(TVC_FN); }
    ~CSample() { (void)TVC_FN; }
    static const char* Static(int, const std::string&) { return TVC_FN; }
    std::function<void()> Returning() {
        names.push_back(TVC_FN);
        return [] {};
    }
    const char* FromLambda() {
        return [] { return TVC_FN; }();
    }
    std::vector<std::string> names;
};
const char* Free() {
    return TVC_FN;
}
}  // namespace sample

TEST(FunctionNameTest, ClassAndMethodWithoutNamespacesOrSignature) {
    sample::CSample sample;
    sample.Returning();
    EXPECT_EQ(sample.names, (std::vector<std::string>{"CSample::CSample", "CSample::Returning"}));
    EXPECT_STREQ(sample::CSample::Static(1, ""), "CSample::Static");
    EXPECT_STREQ(sample.FromLambda(), "CSample::FromLambda");
    EXPECT_STREQ(sample::Free(), "Free");
}

TEST(FormattedStringTest, FormatsCutsAndRefusesNull) {
    EXPECT_EQ(CLogHelper::GetFormattedString(1, "%s : %d", "A::b", 7), "A::b : 7");
    std::string big(20000, 'x');
    EXPECT_EQ(CLogHelper::GetFormattedString(2, "%s", big.c_str()).size(), 10239u);
    const char* nullFormat = nullptr;
    EXPECT_EQ(CLogHelper::GetFormattedString(0, nullFormat), "");
    // Text that looks like a format is printed, never interpreted.
    testing::internal::CaptureStderr();
    CLogHelper::LogWarning("100%s %n %d");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "100%s %n %d\n");
}

// One process, one logger: the whole life of the browser log in one test.
TEST(SetupLoggerTest, PurgesOldLogsOpensOneFileAndIsIdempotent) {
    TempDir dir;
    setenv("XDG_DATA_HOME", dir.path.c_str(), 1);
    CAppPaths::ResetForTesting();
    ASSERT_TRUE(tvc::InitializeProductAppInfo());
    std::string logs;
    ASSERT_EQ(CAppPaths::GetPath(CAppPaths::eLogsFolder, logs), 0);
    { std::ofstream(logs + "BROWSER_PROCESS_LOG_20200101-000000.1") << "old"; }

    ASSERT_TRUE(SetupLogger(true, "BROWSER_PROCESS_LOG_"));
    EXPECT_TRUE(CLogHelper::IsLoggerInitialized());
    EXPECT_TRUE(SetupLogger(true, "OTHER_"));
    TVC_LOG_WARN("%s : marker %d", "LoggingTest", 42);
    google::FlushLogFiles(google::GLOG_INFO);

    std::vector<fs::path> files;
    for (auto& e : fs::directory_iterator(logs)) files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("BROWSER_PROCESS_LOG_", 0), 0u);
    std::string text = *tvc::ReadFile(files[0].string());
    EXPECT_NE(text.find("PRODUCT VERSION 1.2.8.362"), std::string::npos);
    EXPECT_NE(text.find("LoggingTest : marker 42"), std::string::npos);
    // glog marks a WARNING line with "W".
    auto at = text.find("LoggingTest : marker 42");
    auto lineStart = text.rfind('\n', at) + 1;
    EXPECT_EQ(text[lineStart], 'W');

    CLogHelper::DeInitLogger();
    EXPECT_FALSE(CLogHelper::IsLoggerInitialized());
    CAppPaths::ResetForTesting();
}

TEST(ConsoleLogTest, FileIsEmptiedOnlyWhenItExceedsTenMiB) {
    TempDir dir;
    std::string path = dir.path + "/TVCJSLog.log";
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "first"));
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "second"));
    EXPECT_EQ(*tvc::ReadFile(path), "first\r\nsecond\r\n");

    fs::resize_file(path, tvc::kConsoleLogMaxBytes);
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "at limit"));
    EXPECT_EQ(fs::file_size(path), tvc::kConsoleLogMaxBytes + 10);

    fs::resize_file(path, tvc::kConsoleLogMaxBytes + 1);
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "over"));
    EXPECT_EQ(*tvc::ReadFile(path), "over\r\n");

    EXPECT_FALSE(tvc::AppendConsoleMessage(dir.path + "/missing/TVCJSLog.log", "x"));
}
}  // namespace

// The Logs folder stays under its cap: the oldest files go first, but never a running process's
// newest file (it is the one being written) nor the page-console file.
TEST(LogFolderCapTest, OldestFilesGoFirstAndWrittenFilesStay) {
    TempDir dir;
    const std::string self = std::to_string(::getpid());
    const std::string gone = "2147483000";  // no such process
    auto make = [&](const std::string& name, size_t size, int age) {
        const std::string path = dir.path + "/" + name;
        std::ofstream(path) << std::string(size, 'x');
        const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(age);
        std::filesystem::last_write_time(path, when);
        return path;
    };
    const auto oldSelf = make("B.log.INFO.1." + self, 400, 5);
    const auto newSelf = make("B.log.INFO.2." + self, 400, 1);
    const auto oldGone = make("R.log.INFO.1." + gone, 400, 4);
    const auto newGone = make("R.log.INFO.2." + gone, 400, 3);
    const auto console = make("TVCJSLog.log", 400, 9);
    EXPECT_EQ(CLogHelper::CapLogFolder(dir.path, 1300), 1200u);
    EXPECT_FALSE(std::filesystem::exists(oldSelf));
    EXPECT_FALSE(std::filesystem::exists(oldGone));
    EXPECT_TRUE(std::filesystem::exists(newGone));
    EXPECT_TRUE(std::filesystem::exists(newSelf));
    EXPECT_TRUE(std::filesystem::exists(console));
    // A writer that has ended keeps nothing when the cap needs the room.
    EXPECT_EQ(CLogHelper::CapLogFolder(dir.path, 800), 800u);
    EXPECT_FALSE(std::filesystem::exists(newGone));
    EXPECT_TRUE(std::filesystem::exists(newSelf));
}
