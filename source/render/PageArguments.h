// The generic half of a `window.tvd` function: the page's arguments read against the bridge
// table's shape, and the answer its reply rule gives. Render thread.
#pragma once

#include <optional>

#include "common/ProcessMessages.h"
#include "engine/JSValue.h"

namespace tvc::render {

// False (logged) when the row asks for an exact count and the page passed another.
bool PageArgumentCountFits(const msg::Entry& row, const engine::JSValueList& args);

// The message's arguments read from the page's, as the row's read rule says, with `connection`
// where the row has Arg::Connection; nothing (logged) when they do not fit.
std::optional<engine::ListValue> ReadPageArguments(const msg::Entry& row,
                                                   const engine::JSValueList& args,
                                                   int connection = 0);

// What the page gets back once the message went out (`sent`) or not.
bool PageAnswer(const msg::Entry& row, bool sent, const engine::ListValue& sentArgs,
                bool canKeepAbove);
}  // namespace tvc::render
