// The listener's frames checked byte for byte, and the faults a peer can cause.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ListenerTestSupport.h"

namespace {
using namespace tvtest;

constexpr int kText = 1, kContinuation = 0, kBinary = 2, kClose = 8;

class WebSocketFramesTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_listener.Start());
        ASSERT_TRUE(m_peer.Handshake(m_listener.port, "/browser"));
        ASSERT_TRUE(m_listener.spObserver->WaitForConnections(1));
    }
    // The close frame's status code, or -1 when none arrives.
    static int ReadCloseCode(CRawPeer& peer, std::string* reason = nullptr) {
        SFrame frame;
        while (peer.ReadFrame(frame)) {
            if (frame.iOpcode != kClose) continue;
            if (frame.strPayload.size() < 2) return 0;
            if (reason) *reason = frame.strPayload.substr(2);
            return (static_cast<unsigned char>(frame.strPayload[0]) << 8) |
                   static_cast<unsigned char>(frame.strPayload[1]);
        }
        return -1;
    }
    // A fresh active peer still gets through after a fault.
    void ExpectListenerStillServes() {
        CRawPeer next;
        ASSERT_TRUE(next.Handshake(m_listener.port, "/browser"));
        const size_t before = m_listener.spObserver->Messages().size();
        ASSERT_TRUE(next.SendFrame(kText, true, "after-fault"));
        ASSERT_TRUE(m_listener.spObserver->WaitForMessages(before + 1));
        EXPECT_EQ(m_listener.spObserver->Messages().back(), "after-fault");
    }

    SRunningListener m_listener;
    CRawPeer m_peer;
};

TEST_F(WebSocketFramesTest, OutboundTextsAreFramedIn2048BytePieces) {
    auto& manager = *m_listener.spManager;
    const std::string a(2047, 'a'), b(2048, 'b'), c = std::string(4096, 'c') + "C";
    ASSERT_TRUE(manager.Send(a));
    ASSERT_TRUE(manager.Send(b));
    ASSERT_TRUE(manager.Send(c));
    struct SExpected {
        int opcode;
        bool fin;
        std::string payload;
    };
    const std::vector<SExpected> expected = {
        {kText, true, a},
        {kText, false, b},
        {kContinuation, true, ""},
        {kText, false, c.substr(0, 2048)},
        {kContinuation, false, c.substr(2048, 2048)},
        {kContinuation, true, "C"},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        SFrame frame;
        ASSERT_TRUE(m_peer.ReadFrame(frame)) << "frame " << i;
        EXPECT_EQ(frame.iOpcode, expected[i].opcode) << "frame " << i;
        EXPECT_EQ(frame.bFin, expected[i].fin) << "frame " << i;
        EXPECT_EQ(frame.strPayload, expected[i].payload) << "frame " << i;
    }
}

TEST_F(WebSocketFramesTest, InboundMessagesArriveWholeAndOnce) {
    const std::string single(5000, 's');  // the library hands it over as 2048 + 2048 + 904
    ASSERT_TRUE(m_peer.SendFrame(kText, true, single));
    ASSERT_TRUE(m_peer.SendFrame(kText, false, std::string(3000, 'x')));
    ASSERT_TRUE(m_peer.SendFrame(kContinuation, false, std::string(10, 'y')));
    ASSERT_TRUE(m_peer.SendFrame(kContinuation, true, "z"));
    ASSERT_TRUE(m_peer.SendFrame(kText, false, "empty-end"));
    ASSERT_TRUE(m_peer.SendFrame(kContinuation, true, ""));
    ASSERT_TRUE(m_peer.SendFrame(kText, true, "last"));
    ASSERT_TRUE(m_listener.spObserver->WaitForMessages(4));
    EXPECT_EQ(m_listener.spObserver->Messages(),
              (std::vector<std::string>{single, std::string(3000, 'x') + std::string(10, 'y') + "z",
                                        "empty-end", "last"}));
}

TEST_F(WebSocketFramesTest, BinaryFrameIsRefused) {
    ASSERT_TRUE(m_peer.SendFrame(kBinary, true, "\x01\x02"));
    EXPECT_EQ(ReadCloseCode(m_peer), 1003);
    EXPECT_TRUE(m_listener.spObserver->Messages().empty());
    ExpectListenerStillServes();
}

// The library takes a frame without a client's mask as any other; nothing of it, or after it, may
// reach the page, however the bytes are cut.
TEST_F(WebSocketFramesTest, FramesWithoutTheClientsMaskAreRefused) {
    const auto frame = [](int opcode, bool fin, const std::string& text, bool masked) {
        return CRawPeer::Frame(opcode, fin, text, masked);
    };
    const std::string mid(300, 'm'), big(70000, 'b');
    const std::string midFrame = frame(kText, true, mid, true);
    const struct {
        const char* name;
        std::string withRequest;          // sent in the same write as the upgrade request
        std::vector<std::string> chunks;  // then each in a write of its own
        std::vector<std::string> delivered;
    } rows[] = {
        {"after a masked one",
         "",
         {frame(kText, true, "a", true) + frame(kText, true, "b", false)},
         {"a"}},
        {"after a 16-bit length cut into pieces",
         "",
         {midFrame.substr(0, 1), midFrame.substr(1, 2), midFrame.substr(3, 4), midFrame.substr(7),
          frame(kText, true, "z", false)},
         {mid}},
        {"empty, after a 64-bit length",
         "",
         {frame(kText, true, big, true) + frame(kText, true, "", false)},
         {big}},
        {"the last piece",
         "",
         {frame(kText, false, "x", true), frame(kContinuation, true, "y", false)},
         {}},
        {"the first piece",
         "",
         {frame(kText, false, "x", false), frame(kContinuation, true, "y", true)},
         {}},
        {"with the request", frame(kText, true, "u", false), {}, {}},
    };
    for (const auto& row : rows) {
        const size_t before = m_listener.spObserver->Messages().size();
        CRawPeer peer;
        ASSERT_TRUE(peer.Handshake(m_listener.port, "/browser", "", row.withRequest)) << row.name;
        for (const auto& chunk : row.chunks) {
            ASSERT_TRUE(peer.SendAll(chunk)) << row.name;
            RunPending(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(ReadCloseCode(peer), 1002) << row.name;
        m_listener.spObserver->WaitForMessages(before + row.delivered.size());
        RunPending(std::chrono::milliseconds(20));
        const auto messages = m_listener.spObserver->Messages();
        EXPECT_EQ(
            std::vector<std::string>(messages.begin() + static_cast<long>(before), messages.end()),
            row.delivered)
            << row.name;
    }
    ExpectListenerStillServes();
}

TEST_F(WebSocketFramesTest, InvalidUtf8IsRefused) {
    ASSERT_TRUE(m_peer.SendFrame(kText, true, "{\"target\":\"\xc3\x28\"}"));
    EXPECT_EQ(ReadCloseCode(m_peer), 1007);
    EXPECT_TRUE(m_listener.spObserver->Messages().empty());
    ExpectListenerStillServes();
}

TEST_F(WebSocketFramesTest, MessageOverOneMebibyteClosesTheConnection) {
    // Exactly one byte too many, all of it read by the server before it closes: unread data left
    // behind would make the close a reset, and the close frame would be lost.
    const std::string chunk(64 * 1024, 'm');
    bool sent = m_peer.SendFrame(kText, false, chunk);
    for (int i = 1; sent && i < 16; ++i) sent = m_peer.SendFrame(kContinuation, false, chunk);
    ASSERT_TRUE(sent);
    m_peer.SendFrame(kContinuation, true, "x");
    std::string reason;
    EXPECT_EQ(ReadCloseCode(m_peer, &reason), 1009);
    EXPECT_EQ(reason, "message too big");
    EXPECT_TRUE(m_listener.spObserver->Messages().empty());
    ExpectListenerStillServes();
}

TEST_F(WebSocketFramesTest, PeerLeavingMidMessageLeavesNoTrace) {
    ASSERT_TRUE(m_peer.SendFrame(kText, false, "half-"));
    m_peer.Close();
    ExpectListenerStillServes();
    EXPECT_EQ(m_listener.spObserver->Messages(), std::vector<std::string>{"after-fault"});
}

TEST_F(WebSocketFramesTest, RefusedConnectionsDoNotDisturbTheActiveOne) {
    ASSERT_TRUE(m_peer.SendFrame(kText, false, "first-half/"));
    {
        CRawPeer foreign, other;
        EXPECT_FALSE(foreign.Handshake(m_listener.port, "/browser", "https://evil.example"));
        ASSERT_TRUE(other.Handshake(m_listener.port, "/ext"));
        ASSERT_TRUE(m_listener.spObserver->WaitForConnections(2));
        EXPECT_EQ(ReadCloseCode(other), 1008);
    }
    ASSERT_TRUE(m_peer.SendFrame(kContinuation, true, "second-half"));
    ASSERT_TRUE(m_listener.spObserver->WaitForMessages(1));
    EXPECT_EQ(m_listener.spObserver->Messages(),
              std::vector<std::string>{"first-half/second-half"});
}

// A page that does not take what it is given stops the reading at the backlog's bound; once it
// takes it, the rest follows, all of it and in order.
TEST_F(WebSocketFramesTest, ReadingPausesWhileTheBacklogIsFull) {
    auto& observer = *m_listener.spObserver;
    observer.HoldTexts(true);
    constexpr size_t kMessage = 1024 * 1024;
    constexpr int kCount = 2 * CInboundBacklog::kPauseBytes / kMessage;
    auto text = [](int i) {
        std::string s = std::to_string(i) + ":";
        return s + std::string(kMessage - s.size(), 'b');
    };
    std::thread writer([&] {
        for (int i = 0; i < kCount && m_peer.SendFrame(kText, true, text(i)); ++i) {
        }
    });
    constexpr int kHeld = CInboundBacklog::kPauseBytes / kMessage;
    ASSERT_TRUE(observer.WaitForMessages(kHeld));
    // Nothing more comes while the texts are held, though the peer has more to give (what the
    // kernel's buffers take of it is not read).
    for (size_t seen = 0; seen != observer.Messages().size();) {
        seen = observer.Messages().size();
        WaitUntil([] { return false; }, 500ms);
    }
    EXPECT_EQ(observer.Messages().size(), static_cast<size_t>(kHeld));

    observer.HoldTexts(false);
    const bool bAll = observer.WaitForMessages(kCount);
    writer.join();
    ASSERT_TRUE(bAll);
    const auto messages = observer.Messages();
    ASSERT_EQ(messages.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) EXPECT_TRUE(messages[i] == text(i)) << "message " << i;
}

// 200 short-lived connections of every kind while the active peer keeps talking: nothing it
// sends or receives is lost or reordered.
TEST_F(WebSocketFramesTest, ConnectionStormLeavesTheActivePeerAlone) {
    std::weak_ptr<CWebSocketsMessagingManager> weak = m_listener.spManager;
    m_listener.spObserver->SetOnMessage([weak](const std::string& text) {
        if (auto manager = weak.lock()) manager->Send("re:" + text);
    });
    const unsigned port = m_listener.port;
    std::atomic<int> opened{0};
    std::thread storm([&] {
        for (int i = 0; i < 200; ++i) {
            CRawPeer peer;
            switch (i % 4) {
                case 0:
                    peer.Connect(port);
                    break;
                case 1:
                    peer.Handshake(port, "/ext");
                    break;
                case 2:
                    peer.Handshake(port, "/browser", "https://evil.example");
                    break;
                case 3:
                    if (peer.Handshake(port, "/other")) peer.SendFrame(kText, false, "partial");
                    break;
            }
            ++opened;
        }
    });
    constexpr int kMessages = 300;
    for (int i = 0; i < kMessages; ++i)
        ASSERT_TRUE(m_peer.SendFrame(kText, true, "m" + std::to_string(i)));
    int received = 0;
    SFrame frame;
    while (received < kMessages && m_peer.ReadFrame(frame)) {
        ASSERT_EQ(frame.iOpcode, kText);
        ASSERT_EQ(frame.strPayload, "re:m" + std::to_string(received));
        ++received;
    }
    // The storm's peers need the main loop to be answered.
    WaitUntil([&] { return opened == 200; }, 60s);
    storm.join();
    EXPECT_EQ(received, kMessages);
    EXPECT_EQ(opened.load(), 200);
    const auto messages = m_listener.spObserver->Messages();
    ASSERT_EQ(messages.size(), static_cast<size_t>(kMessages));
    for (int i = 0; i < kMessages; ++i) EXPECT_EQ(messages[i], "m" + std::to_string(i));
}

}  // namespace
