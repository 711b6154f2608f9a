// Variables the program sets for itself and the engine's helper processes, never for the programs
// it opens for the user (a browser, the installer): those get the environment the user gave us.
#pragma once

#include <glib.h>

#include <memory>
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

using EnvironmentPtr = std::unique_ptr<gchar*[], decltype(&g_strfreev)>;

// For g_spawn_*: this process's environment without its own variables.
inline EnvironmentPtr UserEnvironment() {
    gchar** env = g_get_environ();
    for (const auto& name : OwnVariables()) env = g_environ_unsetenv(env, name.c_str());
    return {env, &g_strfreev};
}
}  // namespace tvc::glib
