// The keys that reload the page, as in every browser.
#pragma once

#include "engine/Client.h"

namespace tvc {
enum class ReloadKind { None, Normal, BypassCache };

// F5 and Ctrl+R reload; Ctrl+Shift+R reloads bypassing the cache.
ReloadKind ReloadKindForKey(const engine::KeyEvent& event);
}  // namespace tvc
