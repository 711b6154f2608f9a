// A named message with an argument list, between the browser process and a web process.
#pragma once

#include <memory>
#include <string>

#include "engine/Value.h"

namespace tvc::engine {
enum class ProcessId { Browser, Renderer };

struct ProcessMessage {
    std::string name;
    ListValue args;
    // Kept until the receiving process has taken the message, or can no longer: what the sender
    // counts against it (room in a backlog) lasts as long as the message is on its way.
    std::shared_ptr<const void> keepUntilTaken;
};
}  // namespace tvc::engine
