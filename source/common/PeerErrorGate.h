// Standard error is for a person watching the program, not a channel a peer may fill: of the error
// lines a peer's input causes, only the first of each kind a minute goes there. The log file, which
// has its own cap, keeps them all.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

class CPeerErrorGate {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kInterval{60};
    // Kinds beyond this share one: a peer that varies the start of a line gains nothing.
    static constexpr size_t kMaxKinds = 64;

    // Whether a line may go to standard error at `now`. When it may, `heldBack` is how many lines
    // of its kind were kept from it since the last one that went.
    bool Admit(const std::string& line, Clock::time_point now, unsigned& heldBack);

    // The name a line starts with ("CJSONHelper::QueryJsonTree"): the function that logged it.
    static std::string KindOf(const std::string& line);

  private:
    struct SKind {
        Clock::time_point last;
        unsigned heldBack = 0;
    };
    std::map<std::string, SKind> m_kinds;
};

// While one lives, what is logged is caused by a peer's input: its lines pass the process's gate
// on their way to standard error. Nests. Main thread only.
class CPeerInputLogScope {
  public:
    CPeerInputLogScope();
    ~CPeerInputLogScope();
    CPeerInputLogScope(const CPeerInputLogScope&) = delete;
    CPeerInputLogScope& operator=(const CPeerInputLogScope&) = delete;

    static bool IsActive();
};
