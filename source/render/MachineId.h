// The machine identifier the page reads through `GetMechineID`. machine-id(5) forbids handing out
// the raw id, so the page gets an application-specific digest of it in the same 32-digit form.
#pragma once

#include <string>
#include <vector>

namespace tvc::render {

// The fixed application key the digest is keyed with.
inline constexpr const char* kMachineIdAppKey = "CorvaneMedia.TavistoForWeb.MachineID.v1";

// HMAC-SHA256(key = kMachineIdAppKey, message = the 32-digit id); the first 16 bytes as 32
// upper-case hex digits. "" when `machineIdText` (surrounding white space ignored) is not an id.
std::string ComputeMechineID(const std::string& machineIdText);

// The first of `paths` that holds an id, digested; "" when none does. Any thread.
std::string ReadMechineID(const std::vector<std::string>& paths = {"/etc/machine-id",
                                                                   "/var/lib/dbus/machine-id"});
}  // namespace tvc::render
