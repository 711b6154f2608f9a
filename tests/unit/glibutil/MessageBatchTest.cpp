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
