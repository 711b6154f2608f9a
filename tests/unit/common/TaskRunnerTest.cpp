#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "common/TaskRunner.h"

namespace tvc::runner {
namespace {

// Turns the default context until `done` holds or a second has passed.
template <typename Pred>
void Spin(Pred done) {
    gint64 end = g_get_monotonic_time() + G_USEC_PER_SEC;
    while (!done() && g_get_monotonic_time() < end) g_main_context_iteration(nullptr, FALSE);
}

TEST(TaskRunnerTest, TasksFromAnotherThreadRunHereInTheirOrder) {
    std::vector<int> seen;
    std::vector<bool> onMain;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            Post([&, i] {
                seen.push_back(i);
                onMain.push_back(OnMainThread());
            });
    });
    poster.join();
    Spin([&] { return seen.size() == 100; });
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
    EXPECT_EQ(std::count(onMain.begin(), onMain.end(), false), 0);
}

TEST(TaskRunnerTest, ACancelledOrDroppedDelayedTaskNeverRuns) {
    int ran = 0;
    DelayedTask kept = PostDelayed(std::chrono::milliseconds(1), [&] { ran += 1; });
    DelayedTask cancelled = PostDelayed(std::chrono::milliseconds(1), [&] { ran += 10; });
    {
        DelayedTask dropped = PostDelayed(std::chrono::milliseconds(1), [&] { ran += 100; });
    }
    cancelled.Cancel();
    // Moving over a pending task cancels the one it replaces.
    DelayedTask replaced = PostDelayed(std::chrono::milliseconds(1), [&] { ran += 1000; });
    replaced = PostDelayed(std::chrono::milliseconds(1), [&] { ran += 10000; });
    EXPECT_TRUE(kept.Pending());
    Spin([&] { return !kept.Pending() && !replaced.Pending(); });
    EXPECT_EQ(ran, 10001);
    EXPECT_FALSE(kept.Pending());
    kept.Cancel();  // after it ran: nothing happens
}

}  // namespace
}  // namespace tvc::runner
