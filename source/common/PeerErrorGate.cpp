#include "common/PeerErrorGate.h"

#include "common/TaskRunner.h"

namespace {
// Per thread, so that no other thread's lines reach the process's gate, which is unlocked.
thread_local int t_peerInputDepth = 0;

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '~';
}
}  // namespace

std::string CPeerErrorGate::KindOf(const std::string& line) {
    constexpr size_t kMaxKindBytes = 96;
    size_t end = 0;
    while (end < line.size() && end < kMaxKindBytes && IsNameChar(line[end])) ++end;
    while (end > 0 && line[end - 1] == ':') --end;  // "Name:" and "Name :" are one kind
    return line.substr(0, end);
}

bool CPeerErrorGate::Admit(const std::string& line, Clock::time_point now, unsigned& heldBack) {
    std::string kind = KindOf(line);
    if (m_kinds.size() >= kMaxKinds && !m_kinds.count(kind)) kind.assign(1, '\n');  // shared
    auto [it, first] = m_kinds.try_emplace(std::move(kind));
    SKind& entry = it->second;
    if (!first && now - entry.last < kInterval) {
        ++entry.heldBack;
        return false;
    }
    heldBack = entry.heldBack;
    entry.heldBack = 0;
    entry.last = now;
    return true;
}

CPeerInputLogScope::CPeerInputLogScope() {
    tvc::runner::AssertOnMainThread();
    ++t_peerInputDepth;
}

CPeerInputLogScope::~CPeerInputLogScope() {
    --t_peerInputDepth;
}

bool CPeerInputLogScope::IsActive() {
    return t_peerInputDepth > 0;
}
