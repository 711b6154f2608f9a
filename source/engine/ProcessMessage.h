// A named message with an argument list, between the browser process and a web process.
#pragma once

#include <string>

#include "engine/Value.h"

namespace tvc::engine {
enum class ProcessId { Browser, Renderer };

struct ProcessMessage {
    std::string name;
    ListValue args;
};
}  // namespace tvc::engine

#include "common/ProcessMessages.h"

namespace tvc::engine {
// True when `args` has exactly the shape of `schema`.
inline bool ArgsMatch(const ListValue& args, std::initializer_list<msg::Arg> schema) {
    if (args.size() != schema.size()) return false;
    size_t i = 0;
    for (auto a : schema) {
        const Value& v = args[i++];
        if ((a == msg::Arg::Bool && !v.IsBool()) || (a == msg::Arg::Int && !v.IsInt()) ||
            (a == msg::Arg::String && !v.IsString()))
            return false;
    }
    return true;
}

// True when the message carries what its catalogue row asks for (unchecked rows always do).
inline bool MatchesCatalogue(const ProcessMessage& message) {
    const msg::Entry* e = msg::Find(message.name);
    if (!e) return false;
    return !e->checked || ArgsMatch(message.args, e->args);
}
}  // namespace tvc::engine
