#include "common/ClientHandler/ReloadKeys.h"

namespace tvc {
namespace {
constexpr int kVkF5 = 0x74;
}

ReloadKind ReloadKindForKey(const engine::KeyEvent& event) {
    const int mods = event.modifiers & (engine::kKeyShift | engine::kKeyControl | engine::kKeyAlt);
    if (event.windowsKeyCode == kVkF5 && mods == 0) return ReloadKind::Normal;
    if (event.windowsKeyCode == 'R' && mods == engine::kKeyControl) return ReloadKind::Normal;
    if (event.windowsKeyCode == 'R' && mods == (engine::kKeyControl | engine::kKeyShift))
        return ReloadKind::BypassCache;
    return ReloadKind::None;
}
}  // namespace tvc
