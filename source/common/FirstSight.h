// Remembers which keys were seen, up to a bound: what a page can vary (origins, names) grows
// neither memory nor a log without end. Not thread-safe.
#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace tvc {
class CFirstSight {
  public:
    explicit CFirstSight(std::size_t capacity) : m_capacity(capacity) {}
    // True the first time `key` is seen; false for a key seen before and for any key once the
    // bound is reached.
    bool IsFirst(const std::string& key) {
        if (m_seen.size() >= m_capacity) return false;
        return m_seen.insert(key).second;
    }

  private:
    std::size_t m_capacity;
    std::set<std::string> m_seen;
};
}  // namespace tvc
