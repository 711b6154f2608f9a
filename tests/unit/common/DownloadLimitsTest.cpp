#include <gtest/gtest.h>

#include <vector>

#include "engine/DownloadLimits.h"

namespace {
using tvc::engine::DownloadLimits;
using tvc::engine::DownloadWatch;
using Verdict = DownloadWatch::Verdict;
using std::chrono::milliseconds;

// A step: at `atMs` either a piece arrives (received so far, announced length) or, with
// received < 0, the clock ticks.
struct Step {
    int atMs;
    std::int64_t received;
    std::int64_t announced;
    Verdict expected;
};

struct Case {
    const char* name;
    DownloadLimits limits;
    std::vector<Step> steps;
};

constexpr std::int64_t kTick = -1;

TEST(DownloadWatchTest, SizeStallAndProgressVerdicts) {
    const DownloadLimits kib{1024, milliseconds(3000)};
    const Case cases[] = {
        {"within the limit",
         kib,
         {{0, 512, 1024, Verdict::kQuiet}, {10, 1024, 1024, Verdict::kQuiet}}},
        {"one byte past it",
         kib,
         {{0, 1024, -1, Verdict::kQuiet}, {10, 1025, -1, Verdict::kTooLarge}}},
        {"announced too long", kib, {{0, 0, 1025, Verdict::kTooLarge}}},
        {"no size limit", {-1, milliseconds(3000)}, {{0, 1LL << 40, 1LL << 41, Verdict::kQuiet}}},
        {"progress once a second",
         kib,
         {{100, 1, -1, Verdict::kQuiet},
          {999, 2, -1, Verdict::kQuiet},
          {1000, 3, -1, Verdict::kReportProgress},
          {1500, 4, -1, Verdict::kQuiet},
          {2000, 5, -1, Verdict::kReportProgress}}},
        {"stalled without data",
         kib,
         {{0, 10, -1, Verdict::kQuiet},
          {2999, kTick, 0, Verdict::kQuiet},
          {3000, kTick, 0, Verdict::kStalled}}},
        {"data restarts the stall clock",
         kib,
         {{2000, 10, -1, Verdict::kReportProgress},
          {4000, kTick, 0, Verdict::kQuiet},
          {5000, kTick, 0, Verdict::kStalled}}},
        {"a piece that brings nothing is no progress",
         kib,
         {{2000, 0, -1, Verdict::kReportProgress}, {3000, kTick, 0, Verdict::kStalled}}},
        {"no stall limit", {1024, milliseconds(0)}, {{3600000, kTick, 0, Verdict::kQuiet}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DownloadWatch::Clock::time_point start{};
        DownloadWatch watch(c.limits, start);
        for (const Step& step : c.steps) {
            const auto now = start + milliseconds(step.atMs);
            const Verdict got = step.received == kTick
                                    ? watch.OnTick(now)
                                    : watch.OnData(step.received, step.announced, now);
            EXPECT_EQ(got, step.expected) << "at " << step.atMs << " ms";
        }
    }
}
}  // namespace
