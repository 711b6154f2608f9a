// One browser process per user: an exclusive flock held for the process's life.
#pragma once

#include <string>

namespace tvc::platform {
class CSingleInstanceLock {
  public:
    // Tries once, without waiting. The lock file lives in $XDG_RUNTIME_DIR, else `fallbackFolder`.
    CSingleInstanceLock(const std::string& name, const std::string& fallbackFolder);
    ~CSingleInstanceLock();
    CSingleInstanceLock(const CSingleInstanceLock&) = delete;
    CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

    bool IsOwned() const { return m_fd >= 0 && m_owned; }
    // Gives the lock up before the process ends (for a successor that must be able to take it).
    void Release();
    // True when another process holds it (as opposed to a lock file we could not open).
    bool IsHeldElsewhere() const { return m_heldElsewhere; }
    const std::string& GetPath() const { return m_path; }

  private:
    int m_fd = -1;
    bool m_owned = false;
    bool m_heldElsewhere = false;
    std::string m_path;
};

// Where the lock's owner listens for "bring your window to the front" (beside the lock file).
std::string GetInstanceActivationSocketPath(const CSingleInstanceLock& lock);
// Asks the running instance to bring its window to the front; true once it has answered, false
// when nobody listens or no answer came within `timeoutMs`.
bool RequestInstanceActivation(const std::string& socketPath, int timeoutMs);
}  // namespace tvc::platform
