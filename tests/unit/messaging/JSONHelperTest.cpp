#include <gtest/gtest.h>

#include "common/AppHelper.h"
#include "common/JSONHelper.h"

namespace {

TEST(JSONHelperTest, ReadsEveryValueAsItsText) {
    const std::string text =
        R"({"target":"tvd.native","n":12.50,"e":1e3,"t":true,"f":false,"z":null,"s":"a\"b\u00e9",)"
        R"("message":{"type":"request","payload":{"url":{"x":1},"list":[1,2]}}})";
    std::string value;
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "target", value));
    EXPECT_EQ(value, "tvd.native");
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "n", value));
    EXPECT_EQ(value, "12.50");  // the literal as written, not a reformatted number
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "e", value));
    EXPECT_EQ(value, "1e3");
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "t", value));
    EXPECT_EQ(value, "true");
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "f", value));
    EXPECT_EQ(value, "false");
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "z", value));
    EXPECT_EQ(value, "null");
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "s", value));
    EXPECT_EQ(value, "a\"b\xc3\xa9");
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "message.type", value));
    EXPECT_EQ(value, "request");
    // An object or an array reads as the empty string, successfully.
    value = "unchanged";
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "message.payload.url", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "message.payload.list", value));
    EXPECT_EQ(value, "");
    // A trailing separator names the same path.
    EXPECT_TRUE(CJSONHelper::QueryJson(text, "message.type.", value));
    EXPECT_EQ(value, "request");
}

TEST(JSONHelperTest, MissingPathFailsAndLeavesOutputUnchanged) {
    std::string value = "keep";
    EXPECT_FALSE(CJSONHelper::QueryJson("{}", "target", value));
    EXPECT_FALSE(CJSONHelper::QueryJson(R"({"message":{"type":"x"}})", "message.sub_type", value));
    EXPECT_FALSE(CJSONHelper::QueryJson(R"({"message":"flat"})", "message.type", value));
    EXPECT_EQ(value, "keep");
}

TEST(JSONHelperTest, MalformedOrTooDeepTextFailsWithoutEndingTheProcess) {
    std::string value = "keep";
    for (const std::string& text :
         {std::string("not json"), std::string(""), std::string(R"({"target":"a")"),
          std::string(R"({"target":"a"} trailing)"), std::string("\xff\xfe")}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(CJSONHelper::QueryJson(text, "target", value)) << text;
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find("CJSONHelper::QueryJson :  exception : "), std::string::npos) << log;
    }
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(CJSONHelper::QueryJson(deep, "target", value));
    // The reader skips the first three bytes after a 0xEF, whatever they are: a quote there must
    // not hide the brackets behind it from the depth limit.
    EXPECT_FALSE(CJSONHelper::QueryJson("\xefN\"" + deep, "target", value));
    EXPECT_EQ(value, "keep");

    // The depth limit counts brackets only outside strings, and a depth of 64 is still read.
    std::string nested = R"({"target":"[[[[{{{{","a":)";
    for (int i = 0; i < 62; ++i) nested += "[";
    for (int i = 0; i < 62; ++i) nested += "]";
    nested += "}";
    EXPECT_TRUE(CJSONHelper::QueryJson(nested, "target", value));
    EXPECT_EQ(value, "[[[[{{{{");
}

TEST(JSONHelperTest, NativeTargetIsMatchedExactly) {
    bool bIsNative = true;
    EXPECT_TRUE(IsMessageTargetedToNativeModule(R"({"target":"tvd.native"})", bIsNative));
    EXPECT_TRUE(bIsNative);
    for (const char* text : {R"({"target":"TVD.native"})", R"({"target":" tvd.native"})",
                             R"({"target":"browser.webapp.js"})"}) {
        EXPECT_TRUE(IsMessageTargetedToNativeModule(text, bIsNative)) << text;
        EXPECT_FALSE(bIsNative) << text;
    }
    EXPECT_FALSE(IsMessageTargetedToNativeModule(R"({"source":"x"})", bIsNative));
    EXPECT_FALSE(IsMessageTargetedToNativeModule("garbage", bIsNative));
    EXPECT_FALSE(bIsNative);
}

TEST(AppHelperTest, ResponseTextIsExact) {
    std::string out;
    EXPECT_TRUE(CAppHelper::CreateInterAppResponceMessage("setCookies", "{}", 501, out));
    EXPECT_EQ(
        out,
        R"({"source": "tvd.native", "target": "browser.webapp.js", "message": {"type": "response","sub_type": )"
        R"("setCookies", "status": "501", "payload": {"request": {}} }, "umid": "xxx" })");

    const std::string request = R"({"source":"ext","target":"tvd.native","umid":"u-17"})";
    EXPECT_TRUE(CAppHelper::CreateInterAppResponceMessage("setCookies", request, 101, out));
    EXPECT_EQ(
        out,
        std::string(R"({"source": "tvd.native", "target": "browser.webapp.js", "message": )") +
            R"({"type": "response","sub_type": "setCookies", "status": "101", "payload": {"request": )" +
            request + R"(} }, "umid": "xxx" })");
    // The response is itself JSON and keeps the request whole.
    std::string value;
    EXPECT_TRUE(CJSONHelper::QueryJson(out, "message.payload.request.umid", value));
    EXPECT_EQ(value, "u-17");
    EXPECT_TRUE(CJSONHelper::QueryJson(out, "umid", value));
    EXPECT_EQ(value, "xxx");
}

TEST(AppHelperTest, CloseExpectedFlagIsNeverReset) {
    CAppHelper::SetIsApplicationWindowCloseExpected();
    EXPECT_TRUE(CAppHelper::GetIsApplicationWindowCloseExpected());
    CAppHelper::SetIsApplicationWindowCloseExpected();
    EXPECT_TRUE(CAppHelper::GetIsApplicationWindowCloseExpected());
}

}  // namespace
