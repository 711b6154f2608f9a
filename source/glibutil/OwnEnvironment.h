// Variables the program sets for itself and the engine's helper processes, never for the programs
// it opens for the user (a browser, the installer): those get the environment the user gave us.
#pragma once

#include <glib.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvc::glib {

inline std::vector<std::string>& OwnVariables() {
    static std::vector<std::string> names;
    return names;
}

// Main thread, before other threads start (setenv is not thread-safe). A variable the user set
// is theirs and stays as it is.
inline void SetOwnVariable(const char* name, const char* value) {
    if (g_getenv(name)) return;
    g_setenv(name, value, TRUE);
    OwnVariables().emplace_back(name);
}

// Variables the program sets over the user's value: name -> the user's value (none: unset).
inline std::map<std::string, std::optional<std::string>>& OverriddenVariables() {
    static std::map<std::string, std::optional<std::string>> users;
    return users;
}

// Sets `name` whatever the user gave; programs opened for the user get the user's value back.
// Main thread. The first call must come before other threads start: later calls replace the
// variable in place, which a concurrent getenv survives (glibc keeps every value it set).
inline void OverrideVariable(const char* name, const char* value) {
    auto& users = OverriddenVariables();
    if (!users.contains(name)) {
        const char* user = g_getenv(name);
        users[name] = user ? std::optional<std::string>(user) : std::nullopt;
    }
    g_setenv(name, value, TRUE);
}

using EnvironmentPtr = std::unique_ptr<gchar*[], decltype(&g_strfreev)>;

// For g_spawn_*: this process's environment without its own variables, with the user's values.
inline EnvironmentPtr UserEnvironment() {
    gchar** env = g_get_environ();
    for (const auto& name : OwnVariables()) env = g_environ_unsetenv(env, name.c_str());
    for (const auto& [name, user] : OverriddenVariables())
        env = user ? g_environ_setenv(env, name.c_str(), user->c_str(), TRUE)
                   : g_environ_unsetenv(env, name.c_str());
    return {env, &g_strfreev};
}
}  // namespace tvc::glib
