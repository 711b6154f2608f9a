#include <gtest/gtest.h>

#include "glibutil/OwnEnvironment.h"

namespace {
// A browser the user opens from the program must not inherit what the program set for itself,
// and what the user set must reach both unchanged.
TEST(OwnEnvironmentTest, ProgramsOpenedForTheUserGetOnlyTheUsersVariables) {
    g_setenv("TVC_TEST_USERS_OWN", "users value", TRUE);
    tvc::glib::SetOwnVariable("TVC_TEST_USERS_OWN", "ours");
    tvc::glib::SetOwnVariable("TVC_TEST_PROGRAMS_OWN", "ours");
    g_setenv("TVC_TEST_USERS_OVERRIDDEN", "users value", TRUE);
    tvc::glib::OverrideVariable("TVC_TEST_USERS_OVERRIDDEN", "ours");
    tvc::glib::OverrideVariable("TVC_TEST_USERS_OVERRIDDEN", "ours again");
    tvc::glib::OverrideVariable("TVC_TEST_OVERRIDDEN_UNSET", "ours");

    EXPECT_STREQ(g_getenv("TVC_TEST_USERS_OWN"), "users value");
    EXPECT_STREQ(g_getenv("TVC_TEST_PROGRAMS_OWN"), "ours");
    auto env = tvc::glib::UserEnvironment();
    EXPECT_STREQ(g_environ_getenv(env.get(), "TVC_TEST_USERS_OWN"), "users value");
    EXPECT_EQ(g_environ_getenv(env.get(), "TVC_TEST_PROGRAMS_OWN"), nullptr);
    EXPECT_STREQ(g_getenv("TVC_TEST_USERS_OVERRIDDEN"), "ours again");
    EXPECT_STREQ(g_environ_getenv(env.get(), "TVC_TEST_USERS_OVERRIDDEN"), "users value");
    EXPECT_EQ(g_environ_getenv(env.get(), "TVC_TEST_OVERRIDDEN_UNSET"), nullptr);
    EXPECT_NE(g_environ_getenv(env.get(), "PATH"), nullptr);
}
}  // namespace
