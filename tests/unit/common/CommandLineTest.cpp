#include <gtest/gtest.h>

#include "common/CommandLine.h"

namespace {
TEST(CommandLineTest, ParsesChromiumStyleSwitches) {
    CCommandLine cl({"/bin/TavistoForWeb", "--url=https://a.example/?x=1=2", "--Show-On-Launch",
                     "page", "--ws-ports=5,6", "-x", "--", "--not-a-switch"});
    EXPECT_EQ(cl.GetSwitchValue("url"), "https://a.example/?x=1=2");
    EXPECT_TRUE(cl.HasSwitch("show-on-launch"));
    EXPECT_EQ(cl.GetSwitchValue("show-on-launch"), "");
    EXPECT_EQ(cl.GetSwitchValue("ws-ports"), "5,6");
    EXPECT_FALSE(cl.HasSwitch("not-a-switch"));
    EXPECT_EQ(cl.GetArguments(), (std::vector<std::string>{"page", "-x", "--not-a-switch"}));
}

TEST(CommandLineTest, EngineSettingsFollowTheSwitches) {
    CEngineSettings s;
    FillEngineSettings(CCommandLine({"p"}), s);
    EXPECT_FALSE(s.multi_threaded_message_loop);
    EXPECT_EQ(s.remote_debugging_port, 0) << "remote debugging stays off without its switch";

    CEngineSettings t;
    FillEngineSettings(CCommandLine({"p", "--multi-threaded-message-loop",
                                     "--remote-debugging-port=9222", "--cache-path=/tmp/x"}),
                       t);
    EXPECT_TRUE(t.multi_threaded_message_loop);
    EXPECT_EQ(t.remote_debugging_port, 9222);
    EXPECT_EQ(t.cache_path, "/tmp/x");
}

TEST(CommandLineTest, PortsOutsideTheRangeAreRefused) {
    EXPECT_EQ(ParsePort("1"), 1);
    EXPECT_EQ(ParsePort("65535"), 65535);
    for (const char* bad : {"0", "65536", "-1", "12ab", "", " 80", "99999999999"})
        EXPECT_EQ(ParsePort(bad), 0) << bad;
}

TEST(CommandLineTest, GlobalCommandLineIsReplacedWhole) {
    const char* argv[] = {"prog", "--url=x"};
    InitCommandLine(2, argv);
    auto first = GetGlobalCommandLine();
    EXPECT_EQ(first->GetSwitchValue("url"), "x");
    const char* argv2[] = {"prog"};
    InitCommandLine(1, argv2);
    EXPECT_FALSE(GetGlobalCommandLine()->HasSwitch("url"));
    EXPECT_EQ(first->GetSwitchValue("url"), "x") << "a holder keeps the line it took";
}
}  // namespace
