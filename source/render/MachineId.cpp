#include "render/MachineId.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "common/FileUtil.h"
#include "common/LogHelper.h"

namespace tvc::render {
namespace {
struct GFree {
    void operator()(gchar* p) const { g_free(p); }
};

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}
}  // namespace

std::string ComputeMechineID(const std::string& machineIdText) {
    std::string id = Trim(machineIdText);
    if (id.size() != 32 ||
        !std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return {};
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    std::unique_ptr<gchar, GFree> hex(g_compute_hmac_for_string(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(kMachineIdAppKey),
        std::strlen(kMachineIdAppKey), id.c_str(), static_cast<gssize>(id.size())));
    if (!hex) return {};
    std::string out(hex.get(), 32);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    return out;
}

std::string ReadMechineID(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        auto text = tvc::ReadFile(path);
        if (!text) continue;
        std::string digest = ComputeMechineID(*text);
        if (!digest.empty()) return digest;
        TVC_LOG_WARN("ReadMechineID : %s does not hold a machine id", path.c_str());
    }
    TVC_LOG_ERROR("ReadMechineID : no machine id could be read");
    return {};
}
}  // namespace tvc::render
