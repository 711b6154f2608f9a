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
