#include <gtest/gtest.h>

#include "common/UrlPolicy.h"

namespace tvc {
TEST(UrlPolicyTest, FileUriEscapesWhatWouldEndOrBreakThePath) {
    EXPECT_EQ(FilePathToFileUri("/opt/Tavisto for Web/cef_js_app.html"),
              "file:///opt/Tavisto%20for%20Web/cef_js_app.html");
    EXPECT_EQ(FilePathToFileUri("/a/100%#?/é"), "file:///a/100%25%23%3F/%C3%A9");
}

TEST(UrlPolicyTest, WebAddressesNeedAHostAndNoControlCharacters) {
    EXPECT_TRUE(IsWebUrl("https://a.example"));
    EXPECT_TRUE(IsWebUrl("HTTP://A.example/x?y#z"));
    EXPECT_FALSE(IsWebUrl("https:a.example"));
    EXPECT_FALSE(IsWebUrl("https:///etc/passwd"));
    EXPECT_FALSE(IsWebUrl("https://a.example/\tx"));
    EXPECT_FALSE(IsWebUrl(" https://a.example/"));
    EXPECT_FALSE(IsWebUrl("httpx://a.example/"));
    EXPECT_FALSE(IsExternallyOpenableUrl("mailto:"));
    EXPECT_FALSE(IsExternallyOpenableUrl("spotify"));
    EXPECT_TRUE(IsExternallyOpenableUrl("Spotify:user:x"));
}
}  // namespace tvc
