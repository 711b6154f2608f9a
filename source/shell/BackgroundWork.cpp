#include "shell/BackgroundWork.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>

namespace tvc::shell {
namespace {
constexpr int kCapSysNice = 23;

// The calling thread's nice value (Linux keeps one per thread).
int OwnNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    return errno ? 0 : nice;
}

pid_t OwnTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

bool HasEffectiveCapability(int capability) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("CapEff:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> capability) & 1u;
    }
    return false;
}
}  // namespace

bool CBackgroundWork::CanRegainNice(int nice) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) == 0 &&
        (limit.rlim_cur == RLIM_INFINITY || 20 - static_cast<int64_t>(limit.rlim_cur) <= nice))
        return true;
    return HasEffectiveCapability(kCapSysNice);
}

CBackgroundWork::CBackgroundWork(std::function<void()> work) {
    const int starterNice = OwnNice();
    const bool mayLower = starterNice < kIdleNice && CanRegainNice(starterNice);
    m_thread = std::thread([this, mayLower, work = std::move(work)] {
        if (mayLower) {
            std::lock_guard<std::mutex> lock(m_lock);
            // A waiter that came first finds nothing to lift: the work keeps the starter's nice.
            if (!m_needed && setpriority(PRIO_PROCESS, static_cast<id_t>(OwnTid()), kIdleNice) == 0)
                m_tid = OwnTid();
        }
        work();
    });
}

CBackgroundWork::~CBackgroundWork() {
    if (m_thread.joinable()) Wait();
}

void CBackgroundWork::Lift() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_needed = true;
    if (m_tid) setpriority(PRIO_PROCESS, static_cast<id_t>(m_tid), OwnNice());
    m_tid = 0;
}

void CBackgroundWork::Wait() {
    Lift();
    m_thread.join();
}
}  // namespace tvc::shell
