// Speculative work at low priority is lifted to its waiter's priority.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>

#include "shell/BackgroundWork.h"

namespace tvc::shell {
namespace {
int NiceOf(pid_t tid) {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

bool Within(std::chrono::seconds limit, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(BackgroundWork, RunsAtIdlePriorityUntilSomeoneWaitsThenAtTheWaitersOwn) {
    const int own = getpriority(PRIO_PROCESS, 0);
    if (!CBackgroundWork::CanRegainNice(own))
        GTEST_SKIP() << "a lowered thread could not be lifted";
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<pid_t> tid{0};
    CBackgroundWork work([&] {
        tid = static_cast<pid_t>(syscall(SYS_gettid));
        opened.wait();
    });
    ASSERT_TRUE(Within(std::chrono::seconds(10),
                       [&] { return tid && NiceOf(tid) == CBackgroundWork::kIdleNice; }));
    std::thread waiter([&] { work.Wait(); });
    EXPECT_TRUE(Within(std::chrono::seconds(10), [&] { return NiceOf(tid) == own; }));
    gate.set_value();
    waiter.join();
}
}  // namespace
}  // namespace tvc::shell
