// When a main-frame load that failed for want of a network is tried again, and what ends it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ClientHandler/LoadRecovery.h"
#include "engine/Client.h"

namespace tvc::test {
namespace {
constexpr const char* kUrl = "http://127.0.0.1:8080/app";

TEST(LoadRecovery, OnlyNetworkFailuresAreTriedAgain) {
    struct Case {
        int code;
        bool retried;
    };
    const Case cases[] = {
        {engine::kErrorNameNotResolved, true},
        {engine::kErrorConnectionRefused, true},
        {engine::kErrorConnectionFailed, true},
        {engine::kErrorAddressUnreachable, true},
        {engine::kErrorInternetDisconnected, true},
        {engine::kErrorTimedOut, true},
        {engine::kErrorConnectionTimedOut, true},
        {engine::kErrorNetworkChanged, true},
        {engine::kErrorFailed, false},
        {engine::kErrorAborted, false},
        {engine::kErrorUnknownUrlScheme, false},
        {-501, false},  // insecure response
    };
    for (const auto& c : cases) {
        CLoadRecovery recovery;
        EXPECT_EQ(recovery.OnLoadFailed(kUrl, c.code).has_value(), c.retried) << c.code;
    }
}

TEST(LoadRecovery, WaitsGrowToAMinuteAndStayThere) {
    CLoadRecovery recovery;
    std::vector<long long> waits;
    for (int i = 0; i < 6; ++i) {
        auto next = recovery.OnLoadFailed(kUrl, engine::kErrorConnectionRefused);
        ASSERT_TRUE(next);
        waits.push_back(next->wait.count());
        ASSERT_EQ(recovery.TakeDue(next->ticket), kUrl);
        recovery.OnLoadStarted(kUrl);  // the try itself
    }
    EXPECT_EQ(waits, (std::vector<long long>{5, 10, 30, 60, 60, 60}));
}

// Each step: what happens, then whether the try that was planned first still falls due.
TEST(LoadRecovery, WhatEndsOrOvertakesAPlannedTry) {
    enum Step { ErrorPageLoads, OtherPageLoads, SameAddressLoads, NetworkUp, OtherFailure };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool planStands;
    };
    const Case cases[] = {
        {"the error page itself", {ErrorPageLoads}, true},
        {"the user's or the page's navigation", {ErrorPageLoads, OtherPageLoads}, false},
        {"a reload of the failed address", {ErrorPageLoads, SameAddressLoads}, false},
        {"the network came up (tried at once)", {ErrorPageLoads, NetworkUp}, false},
        {"a failure that is not the network's", {OtherFailure}, false},
    };
    for (const auto& c : cases) {
        CLoadRecovery recovery;
        auto first = recovery.OnLoadFailed(kUrl, engine::kErrorNameNotResolved);
        ASSERT_TRUE(first);
        for (Step step : c.steps) {
            switch (step) {
                case ErrorPageLoads:
                    recovery.OnErrorPageShown();
                    EXPECT_FALSE(recovery.OnLoadStarted(kUrl)) << c.name;
                    EXPECT_EQ(recovery.OnLoadCommitted(), CLoadRecovery::Commit::OwnPage) << c.name;
                    EXPECT_EQ(recovery.ErrorPageAddress(), kUrl) << c.name;
                    break;
                case OtherPageLoads:
                    EXPECT_TRUE(recovery.OnLoadStarted("https://elsewhere.example/")) << c.name;
                    break;
                case SameAddressLoads:
                    EXPECT_FALSE(recovery.OnLoadStarted(kUrl)) << c.name;
                    break;
                case NetworkUp:
                    EXPECT_EQ(recovery.TakeNow(), kUrl) << c.name;
                    EXPECT_EQ(recovery.TakeNow(), "") << c.name << ": one try at a time";
                    break;
                case OtherFailure:
                    EXPECT_FALSE(recovery.OnLoadFailed(kUrl, engine::kErrorFailed)) << c.name;
                    break;
            }
        }
        EXPECT_EQ(recovery.TakeDue(first->ticket) == kUrl, c.planStands) << c.name;
    }
}
}  // namespace
}  // namespace tvc::test
