// Several process messages to the web process as one WebKit user message: every user message
// costs an IPC crossing and an acknowledgement, which a batch pays once. The web process hands
// each message of a batch on as its own, in order.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "engine/ProcessMessage.h"

namespace tvc::glib {
inline constexpr const char kMessageBatchName[] = "tvc.message-batch";
// What one batch carries at most, in bytes of text: a flood crosses as pieces the web process
// takes and acknowledges one by one, never as one message of hundreds of megabytes.
inline constexpr size_t kMaxBatchBytes = 4u * 1024 * 1024;

inline size_t TextBytes(const engine::ListValue& args) {
    size_t bytes = 0;
    for (const auto& value : args)
        bytes += value.IsString() ? value.GetString().size()
                 : value.IsList() ? TextBytes(value.GetList())
                                  : sizeof(value);
    return bytes;
}

// `messages` in order, cut into batches of at most `maxBytes` of text; a larger message goes alone.
inline std::vector<std::vector<engine::ProcessMessage>> SplitIntoBatches(
    std::vector<engine::ProcessMessage> messages, size_t maxBytes = kMaxBatchBytes) {
    std::vector<std::vector<engine::ProcessMessage>> batches;
    size_t bytes = 0;
    for (auto& message : messages) {
        const size_t size = message.name.size() + TextBytes(message.args);
        if (batches.empty() || bytes + size > maxBytes) {
            batches.emplace_back();
            bytes = 0;
        }
        batches.back().push_back(std::move(message));
        bytes += size;
    }
    return batches;
}

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
