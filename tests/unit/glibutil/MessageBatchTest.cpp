#include <gtest/gtest.h>

#include "glibutil/MessageBatch.h"
#include "glibutil/VariantConvert.h"

namespace {
using tvc::engine::ListValue;
using tvc::engine::ProcessMessage;
using tvc::engine::Value;

// Through the wire form WebKit carries: each message comes out whole, in order.
TEST(MessageBatchTest, MessagesCrossTheWireWholeAndInOrder) {
    const std::vector<ProcessMessage> messages = {
        {"first", {Value("a text"), Value(7), Value(true)}},
        {"no-arguments", {}},
        {"nested", {Value(ListValue{Value(1.5), Value(), Value(ListValue{Value("deep")})})}},
        {"first", {Value("the same name again")}},
    };
    const ProcessMessage batch = tvc::glib::PackMessageBatch(messages);
    EXPECT_EQ(batch.name, tvc::glib::kMessageBatchName);
    GVariant* wire = g_variant_ref_sink(tvc::glib::ToVariant(batch.args));
    const auto unpacked = tvc::glib::UnpackMessageBatch(tvc::glib::FromVariant(wire));
    g_variant_unref(wire);
    ASSERT_EQ(unpacked.size(), messages.size());
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(unpacked[i].name, messages[i].name) << i;
        EXPECT_EQ(unpacked[i].args, messages[i].args) << i;
    }
}

// Each batch stays within its bound, a larger message goes alone, and the order holds.
TEST(MessageBatchTest, SplitKeepsOrderWithinTheBound) {
    // Counted as the name (1 byte) and the text.
    auto text = [](char c, size_t n) { return ProcessMessage{"m", {Value(std::string(n, c))}}; };
    std::vector<ProcessMessage> messages = {text('a', 40), text('b', 50), text('c', 200),
                                            text('d', 10), text('e', 88), text('f', 10)};
    const auto batches = tvc::glib::SplitIntoBatches(std::move(messages), 100);
    std::vector<std::string> seen;
    for (const auto& batch : batches) {
        std::string letters;
        for (const auto& message : batch) letters += message.args[0].GetString()[0];
        seen.push_back(letters);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"ab", "c", "de", "f"}));
}

TEST(MessageBatchTest, EntriesThatAreNoMessageAreSkipped) {
    const ListValue args = {
        Value("not a list"),
        Value(ListValue{Value("name only")}),
        Value(ListValue{Value(3), Value(ListValue{})}),
        Value(ListValue{Value("kept"), Value(ListValue{Value(1)})}),
    };
    const auto unpacked = tvc::glib::UnpackMessageBatch(args);
    ASSERT_EQ(unpacked.size(), 1u);
    EXPECT_EQ(unpacked[0].name, "kept");
}
}  // namespace
