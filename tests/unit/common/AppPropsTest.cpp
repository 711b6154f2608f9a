#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "TempDir.h"
#include "common/AppProps.h"
#include "common/FileUtil.h"
#include "common/IniFile.h"

namespace {
class AppPropsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.path + "/AppPreferrence.ini";
        CAppProps::SetFilePath(path);
    }
    void TearDown() override { CAppProps::SetFilePath(""); }
    void WriteRaw(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    TempDir dir;
    std::string path;
};

TEST_F(AppPropsTest, MissingPathFileSectionOrKeyReadsEmpty) {
    EXPECT_EQ(CAppProps::ReadProperty("language", "locale"), "");
    CAppProps::SetFilePath("");
    EXPECT_EQ(CAppProps::ReadProperty("language", "locale"), "");
    EXPECT_EQ(CAppProps::WriteProperty("language", "locale", "fr_FR"), 0);
    CAppProps::SetFilePath(path);
    ASSERT_NE(CAppProps::WriteProperty("language", "locale", "fr_FR"), 0);
    EXPECT_EQ(CAppProps::ReadProperty("language", "other"), "");
    EXPECT_EQ(CAppProps::ReadProperty("url", "locale"), "");
}

TEST_F(AppPropsTest, SectionsAndKeysMatchWithoutCaseAndValuesStayRaw) {
    WriteRaw(
        "; comment\r\n[WindowPos]\r\nX = -12 "
        "\r\nWIDTH=1220\r\n\r\n[url]\r\nstarturl=https://a.example/x?y=1&z= 2\r\n");
    EXPECT_EQ(CAppProps::ReadProperty("windowpos", "x"), "-12");
    EXPECT_EQ(CAppProps::ReadProperty("WINDOWPOS", "width"), "1220");
    EXPECT_EQ(CAppProps::ReadProperty("url", "StartUrl"), "https://a.example/x?y=1&z= 2");
    ASSERT_NE(CAppProps::WriteProperty("windowpos", "x", "5"), 0);
    EXPECT_EQ(CAppProps::ReadProperty("windowpos", "x"), "5");
    // The existing key is replaced in place; other lines survive.
    std::string text = *tvc::ReadFile(path);
    EXPECT_NE(text.find("; comment"), std::string::npos);
    EXPECT_EQ(text.find("X = -12"), std::string::npos);
    EXPECT_EQ(CAppProps::ReadProperty("url", "starturl"), "https://a.example/x?y=1&z= 2");
}

TEST_F(AppPropsTest, LongValuesAreReadWhole) {
    std::string longValue(5000, 'a');
    longValue += "end";
    ASSERT_NE(CAppProps::WriteProperty("url", "starturl", longValue), 0);
    EXPECT_EQ(CAppProps::ReadProperty("url", "starturl"), longValue);
}

TEST_F(AppPropsTest, LineBreaksAndNulAreRefusedAndNothingIsWritten) {
    ASSERT_NE(CAppProps::WriteProperty("language", "locale", "en_US"), 0);
    EXPECT_EQ(CAppProps::WriteProperty("language", "locale", "fr\r\n[url]\r\nstarturl=evil"), 0);
    EXPECT_EQ(CAppProps::WriteProperty("language", "locale", std::string("a\0b", 3)), 0);
    EXPECT_EQ(CAppProps::WriteProperty("lang\nuage", "locale", "x"), 0);
    EXPECT_EQ(CAppProps::WriteProperty("language", "lo=cale", "x"), 0);
    // One bad value refuses the whole set.
    EXPECT_EQ(CAppProps::WriteProperties("language", {{"locale", "de_DE"}, {"x", "a\nb"}}), 0);
    EXPECT_EQ(CAppProps::ReadProperties("language", {"locale", "x"}),
              (std::vector<std::string>{"en_US", ""}));
    EXPECT_EQ(CAppProps::ReadProperty("url", "starturl"), "");
}

TEST_F(AppPropsTest, GarbageFileIsReadAsMissingAndRepairedByAWrite) {
    WriteRaw(std::string("\x01\x02garbage without sections\n=\n[\n[]\n\0\0", 36));
    EXPECT_EQ(CAppProps::ReadProperty("websockets", "lastListenedWSPort"), "");
    ASSERT_NE(CAppProps::WriteProperty("websockets", "lastListenedWSPort", "51001"), 0);
    EXPECT_EQ(CAppProps::ReadProperty("websockets", "lastListenedWSPort"), "51001");
}

TEST_F(AppPropsTest, NewKeysJoinTheirSection) {
    ASSERT_NE(CAppProps::WriteProperty("windowpos", "x", "1"), 0);
    ASSERT_NE(CAppProps::WriteProperty("language", "locale", "de_DE"), 0);
    ASSERT_NE(CAppProps::WriteProperty("windowpos", "y", "2"), 0);
    EXPECT_EQ(*tvc::ReadFile(path), "[windowpos]\r\nx=1\r\ny=2\r\n[language]\r\nlocale=de_DE\r\n");
}

TEST_F(AppPropsTest, TwoProcessesWritingAtOnceLoseNoKeyAndNeverTearTheFile) {
    constexpr int kKeys = 150;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            bool ok = true;
            for (int i = 0; i < kKeys; ++i)
                ok &= CAppProps::WriteProperty("p" + std::to_string(c), "k" + std::to_string(i),
                                               std::to_string(i)) != 0;
            _exit(ok ? 0 : 1);
        }
    }
    // Meanwhile every read sees a whole file.
    for (int i = 0; i < 200; ++i) {
        auto text = tvc::ReadFile(path);
        if (text && !text->empty()) {
            EXPECT_EQ(text->substr(text->size() - 2), "\r\n");
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kKeys; ++i)
            EXPECT_EQ(CAppProps::ReadProperty("p" + std::to_string(c), "k" + std::to_string(i)),
                      std::to_string(i));
}

TEST(IniTextTest, UpdateAddsSectionsAndKeepsUnrelatedLines) {
    using tvc::ini::Update;
    std::string t = Update("", "a", "k", "v");
    EXPECT_EQ(t, "[a]\r\nk=v\r\n");
    t = Update("[a]\nk=v\n\n[b]\nq=1\n", "A", "K2", "w");
    EXPECT_EQ(t, "[a]\r\nk=v\r\nK2=w\r\n\r\n[b]\r\nq=1\r\n");
    EXPECT_EQ(tvc::ini::Lookup(t, "b", "Q"), "1");
    EXPECT_FALSE(tvc::ini::Lookup(t, "c", "q").has_value());
}

// EACCES needs an unprivileged writer: root reads every file, so the writer drops to "nobody".
TEST_F(AppPropsTest, AFileThatExistsButCannotBeReadIsNeverReplaced) {
    const std::string original = "[windowpos]\r\nx=5\r\n[url]\r\nstarturl=https://a.example/\r\n";
    WriteRaw(original);
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);  // writable, not readable
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.path.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) _exit(2);
        _exit(CAppProps::WriteProperty("language", "locale", "fr_FR") == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write must fail rather than replace the file";
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(*tvc::ReadFile(path), original);
}
}  // namespace
