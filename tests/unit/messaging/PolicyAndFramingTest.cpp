#include <gtest/gtest.h>

#include "common/NativeMessaging/OriginPolicy.h"
#include "common/NativeMessaging/WebSocketFraming.h"

namespace {

TEST(OriginPolicyTest, AllowsNoOriginExtensionsAndTheWebSite) {
    const std::string site = "https://www.tavisto.example";
    EXPECT_TRUE(IsWebSocketOriginAllowed("", site));
    EXPECT_TRUE(IsWebSocketOriginAllowed("chrome-extension://abcdefghijklmnop", site));
    EXPECT_TRUE(IsWebSocketOriginAllowed("moz-extension://2f1c-44", site));
    EXPECT_TRUE(IsWebSocketOriginAllowed("https://www.tavisto.example", site));
    EXPECT_TRUE(IsWebSocketOriginAllowed("HTTPS://WWW.Tavisto.example", site));
    EXPECT_TRUE(IsWebSocketOriginAllowed("https://app.other.example",
                                         "https://app.other.example/start?x=1"));
    // A browser never names the default port in an Origin.
    EXPECT_TRUE(IsWebSocketOriginAllowed("https://app.other.example",
                                         "HTTPS://user@App.Other.example:443/start"));
}

TEST(OriginPolicyTest, RefusesEveryOtherPage) {
    const std::string site = "https://www.tavisto.example";
    for (const char* origin :
         {"https://evil.example", "http://www.tavisto.example",
          "https://www.tavisto.example.evil.example", "https://www.tavisto.example:8443", "null",
          "file://", "chrome-extension://", "http://localhost:51001",
          "https://sub.www.tavisto.example"}) {
        EXPECT_FALSE(IsWebSocketOriginAllowed(origin, site)) << origin;
    }
    EXPECT_FALSE(IsWebSocketOriginAllowed("https://www.tavisto.example", ""));
}

TEST(OriginPolicyTest, HostMustBeLoopbackWithTheListeningPort) {
    EXPECT_TRUE(IsWebSocketHostAllowed("127.0.0.1:51001", 51001));
    EXPECT_TRUE(IsWebSocketHostAllowed("LocalHost:51001", 51001));
    EXPECT_TRUE(IsWebSocketHostAllowed("[::1]:51001", 51001));
    for (const char* host : {"", "127.0.0.1", "localhost", "127.0.0.1:51002", "evil.example:51001",
                             "localhost.:51001", "127.0.0.1:51001.evil.example", "0.0.0.0:51001"}) {
        EXPECT_FALSE(IsWebSocketHostAllowed(host, 51001)) << host;
    }
}

std::vector<SOutboundFrame> Fragment(size_t size) {
    COutboundFragmenter fragmenter;
    std::vector<SOutboundFrame> frames{fragmenter.Begin(std::string(size, 'a'))};
    while (fragmenter.IsSendInProgress()) frames.push_back(fragmenter.Next());
    return frames;
}

TEST(FramingTest, OutboundTextsAreCutInto2048BytePieces) {
    auto frames = Fragment(2047);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].bFinal);
    EXPECT_FALSE(frames[0].bContinuation);

    frames = Fragment(4096);  // 2048*k ends with an empty final continuation
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1].strPayload.size(), 2048u);
    EXPECT_FALSE(frames[1].bFinal);
    EXPECT_TRUE(frames[2].strPayload.empty());
    EXPECT_TRUE(frames[2].bFinal && frames[2].bContinuation);

    frames = Fragment(0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].bFinal);
}

TEST(FramingTest, InboundPiecesMakeOneMessageUpToTheCap) {
    CInboundReassembler reassembler;
    std::string message;
    const std::string piece(2048, 'x');
    EXPECT_EQ(reassembler.Append(piece.data(), piece.size(), false, message),
              CInboundReassembler::eIncomplete);
    EXPECT_TRUE(reassembler.IsReceiveInProgress());
    EXPECT_EQ(reassembler.Append("yz", 2, true, message), CInboundReassembler::eComplete);
    EXPECT_EQ(message, piece + "yz");
    EXPECT_FALSE(reassembler.IsReceiveInProgress());

    const std::string big(kMaxInboundMessageSize, 'b');
    EXPECT_EQ(reassembler.Append(big.data(), big.size(), true, message),
              CInboundReassembler::eComplete);
    EXPECT_EQ(reassembler.Append(big.data(), big.size(), false, message),
              CInboundReassembler::eIncomplete);
    EXPECT_EQ(reassembler.Append("!", 1, true, message), CInboundReassembler::eTooBig);
    EXPECT_FALSE(reassembler.IsReceiveInProgress());
    EXPECT_EQ(reassembler.Append("ok", 2, true, message), CInboundReassembler::eComplete);
    EXPECT_EQ(message, "ok");
}

}  // namespace

TEST(FramingTest, Utf8IsCheckedStrictly) {
    for (const char* good : {"", "plain", "caf\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x8e\xb5",
                             "\xf4\x8f\xbf\xbf", "\xed\x9f\xbf"})
        EXPECT_TRUE(IsValidUtf8(good)) << good;
    for (const char* bad :
         {"\xc3\x28", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
          "\xf5\x80\x80\x80", "\xff", "caf\xc3", "\xe2\x82", "\x80"})
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}
