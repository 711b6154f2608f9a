// Several process messages to the web process as one WebKit user message: every user message
// costs an IPC crossing and an acknowledgement, which a batch pays once. The web process hands
// each message of a batch on as its own, in order.
#pragma once

#include <utility>
#include <vector>

#include "engine/ProcessMessage.h"

namespace tvc::glib {
inline constexpr const char kMessageBatchName[] = "tvc.message-batch";

inline engine::ProcessMessage PackMessageBatch(std::vector<engine::ProcessMessage> messages) {
    engine::ProcessMessage batch{kMessageBatchName, {}};
    batch.args.reserve(messages.size());
    for (auto& message : messages)
        batch.args.emplace_back(engine::ListValue{engine::Value(std::move(message.name)),
                                                  engine::Value(std::move(message.args))});
    return batch;
}

// An entry that is not a name and an argument list is skipped.
inline std::vector<engine::ProcessMessage> UnpackMessageBatch(const engine::ListValue& args) {
    std::vector<engine::ProcessMessage> messages;
    messages.reserve(args.size());
    for (const auto& entry : args) {
        const auto& parts = entry.GetList();
        if (parts.size() != 2 || !parts[0].IsString() || !parts[1].IsList()) continue;
        messages.push_back({parts[0].GetString(), parts[1].GetList()});
    }
    return messages;
}
}  // namespace tvc::glib
