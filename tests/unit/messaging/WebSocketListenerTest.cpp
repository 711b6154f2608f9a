// The listener over real loopback connections, seen by a Boost.Beast peer.
#include <gtest/gtest.h>

#include "ListenerTestSupport.h"

namespace {
using namespace tvtest;

TEST(WebSocketListenerTest, TriesTrialPortsInOrder) {
    const unsigned taken = FindFreePort();
    CPortBlocker blocker(taken);
    ASSERT_TRUE(blocker.IsHolding());
    const unsigned free = FindFreePort();
    SRunningListener listener;
    ASSERT_TRUE(listener.Start({taken, free}));
    EXPECT_EQ(listener.port, free);

    CBeastPeer peer;
    EXPECT_TRUE(peer.Connect(free, "/browser"));
    EXPECT_TRUE(listener.spManager->Stop());
    EXPECT_EQ(listener.spManager->GetManagerState(), eIdle);
    ASSERT_TRUE(listener.spObserver->WaitForListenerExit());
    EXPECT_EQ(listener.spObserver->ListenerExits(), std::vector<bool>{true});
    unsigned port = 1;
    EXPECT_FALSE(listener.spManager->GetActivePort(port));
    EXPECT_EQ(port, 0u);
}

TEST(WebSocketListenerTest, NoUsablePortEndsTheListenerWithAFailure) {
    for (const auto& ports : {std::vector<unsigned>{}, std::vector<unsigned>{0, 70000}}) {
        auto manager = MakeManager();
        auto observer = std::make_shared<CRecordingObserver>();
        manager->Subscribe(observer);
        manager->Set_Trial_PortList(ports);
        int listening = 0;
        manager->SetListeningHandler([&] { ++listening; });
        testing::internal::CaptureStderr();
        ASSERT_TRUE(manager->Start());
        const bool bExited = observer->WaitForListenerExit();
        const std::string log = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(bExited);
        EXPECT_EQ(observer->ListenerExits(), std::vector<bool>{false});
        EXPECT_EQ(listening, 0);
        EXPECT_NE(log.find("ERROR! Couldnt listen to any of the web-socket ports.!!"),
                  std::string::npos);
        EXPECT_TRUE(WaitUntil([&] { return manager->GetManagerState() == eIdle; }));
        EXPECT_FALSE(manager->Stop());
    }
}

TEST(WebSocketListenerTest, StartStopResultsFollowTheState) {
    auto manager = MakeManager();
    EXPECT_FALSE(manager->Stop());  // in eIdle
    EXPECT_EQ(manager->GetManagerState(), eIdle);
    int listening = 0;
    manager->SetListeningHandler([&] { ++listening; });
    manager->Set_Trial_PortList({FindFreePort()});
    ASSERT_TRUE(manager->Start());
    EXPECT_FALSE(manager->Start());  // already running
    unsigned port = 0;
    ASSERT_TRUE(WaitUntil([&] { return manager->GetActivePort(port) && port != 0; }));
    EXPECT_TRUE(WaitUntil([&] { return listening == 1; }));

    // A stop is noticed at once even with a connected, idle peer.
    CBeastPeer peer;
    ASSERT_TRUE(peer.Connect(port, "/browser"));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(manager->Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_EQ(manager->GetManagerState(), eIdle);
    EXPECT_TRUE(peer.WaitForClose());

    // And it can be started again right away.
    manager->Set_Trial_PortList({FindFreePort()});
    ASSERT_TRUE(manager->Start());
    EXPECT_TRUE(WaitUntil([&] { return manager->GetActivePort(port) && port != 0; }));
    EXPECT_TRUE(manager->Stop());
    EXPECT_FALSE(manager->Stop());
}

// A stop right after a start, or once listening, returns with the manager idle.
TEST(WebSocketListenerTest, EveryStopEndsIdleWheneverItComes) {
    auto manager = MakeManager();
    for (int i = 0; i < 25; ++i) {
        manager->Set_Trial_PortList({FindFreePort()});
        ASSERT_TRUE(manager->Start());
        if (i % 2) {
            unsigned port = 0;
            ASSERT_TRUE(WaitUntil([&] { return manager->GetActivePort(port) && port != 0; }));
        }
        EXPECT_TRUE(manager->Stop());
        ASSERT_EQ(manager->GetManagerState(), eIdle) << "round " << i;
    }
}

// The observers hear a message inside the listener's own event; one that stops the messaging
// there must not pull the listener from under it.
TEST(WebSocketListenerTest, AnObserverMayStopTheMessagingOnAMessage) {
    SRunningListener listener;
    ASSERT_TRUE(listener.Start());
    auto& manager = *listener.spManager;
    listener.spObserver->SetOnMessage([&](const std::string& text) {
        if (text == "stop") EXPECT_TRUE(manager.Stop());
    });
    CRawPeer peer;
    ASSERT_TRUE(peer.Handshake(listener.port, "/browser"));
    for (const char* text : {"before", "stop", "after"}) ASSERT_TRUE(peer.SendFrame(1, true, text));
    SFrame frame;
    while (peer.ReadFrame(frame)) {
    }
    EXPECT_EQ(manager.GetManagerState(), eIdle);
    EXPECT_EQ(listener.spObserver->Messages(), (std::vector<std::string>{"before", "stop"}));
    ASSERT_TRUE(listener.spObserver->WaitForListenerExit());

    manager.Set_Trial_PortList({FindFreePort()});
    ASSERT_TRUE(manager.Start());
    unsigned port = 0;
    ASSERT_TRUE(WaitUntil([&] { return manager.GetActivePort(port) && port != 0; }));
    CBeastPeer next;
    ASSERT_TRUE(next.Connect(port, "/browser"));
    ASSERT_TRUE(next.Write("again"));
    ASSERT_TRUE(listener.spObserver->WaitForMessages(3));
}

TEST(WebSocketListenerTest, DefaultTrialPorts) {
    EXPECT_EQ(CWebSocketsMessagingManager::GetDefaultTrialPortList(),
              (std::vector<unsigned>{51001, 51002, 51003, 51004, 51005}));
}

TEST(WebSocketListenerTest, OnlyTheLatestBrowserConnectionIsActive) {
    SRunningListener listener;
    ASSERT_TRUE(listener.Start());
    CBeastPeer first, ext, second;
    ASSERT_TRUE(first.Connect(listener.port, "/browser"));
    ASSERT_TRUE(listener.spObserver->WaitForConnections(1));
    ASSERT_TRUE(first.Write("one"));
    ASSERT_TRUE(listener.spObserver->WaitForMessages(1));

    ASSERT_TRUE(ext.Connect(listener.port, "/ext"));
    ASSERT_TRUE(listener.spObserver->WaitForConnections(2));  // told, though it does not qualify
    EXPECT_TRUE(ext.WaitForClose());
    // The refused peer did not displace the active one.
    ASSERT_TRUE(listener.spManager->Send("still-first"));
    std::string text;
    ASSERT_TRUE(first.Read(text));
    EXPECT_EQ(text, "still-first");

    ASSERT_TRUE(second.Connect(listener.port, "/browser2"));
    ASSERT_TRUE(listener.spObserver->WaitForConnections(3));
    EXPECT_TRUE(first.WaitForClose());
    ASSERT_TRUE(listener.spManager->Send("to-second"));
    ASSERT_TRUE(second.Read(text));
    EXPECT_EQ(text, "to-second");
    ASSERT_TRUE(second.Write("two"));
    ASSERT_TRUE(listener.spObserver->WaitForMessages(2));
    EXPECT_EQ(listener.spObserver->Messages(), (std::vector<std::string>{"one", "two"}));
}

// What was written for a peer that another has replaced is dropped, never given to the successor.
TEST(WebSocketListenerTest, ASuccessorNeverHearsItsPredecessorsTexts) {
    SRunningListener listener;
    ASSERT_TRUE(listener.Start());
    auto& manager = *listener.spManager;
    auto& observer = *listener.spObserver;
    CBeastPeer first, second;
    std::string text;
    ASSERT_TRUE(first.Connect(listener.port, "/browser"));
    ASSERT_TRUE(first.Write("from-first"));
    ASSERT_TRUE(observer.WaitForMessages(1));
    const int firstConnection = observer.MessageConnections()[0];
    ASSERT_TRUE(manager.SendToConnection(firstConnection, "to-first"));
    ASSERT_TRUE(first.Read(text));
    EXPECT_EQ(text, "to-first");

    ASSERT_TRUE(second.Connect(listener.port, "/browser"));
    ASSERT_TRUE(second.Write("from-second"));
    ASSERT_TRUE(observer.WaitForMessages(2));
    const int secondConnection = observer.MessageConnections()[1];
    EXPECT_NE(secondConnection, firstConnection);
    EXPECT_TRUE(manager.SendToConnection(firstConnection, "late-for-first"));
    EXPECT_TRUE(manager.SendToConnection(secondConnection, "to-second"));
    ASSERT_TRUE(second.Read(text));
    EXPECT_EQ(text, "to-second");
}

TEST(WebSocketListenerTest, TextsQueuedBeforeAPeerAreDiscarded) {
    SRunningListener listener;
    ASSERT_TRUE(listener.Start());
    ASSERT_TRUE(listener.spManager->Send("early"));
    testing::internal::CaptureStderr();
    CBeastPeer peer;
    ASSERT_TRUE(peer.Connect(listener.port, "/browser"));
    ASSERT_TRUE(listener.spObserver->WaitForConnections(1));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("discarding message from old connection : early"), std::string::npos);
    ASSERT_TRUE(listener.spManager->Send("late"));
    std::string text;
    ASSERT_TRUE(peer.Read(text));
    EXPECT_EQ(text, "late");
}

TEST(WebSocketListenerTest, SendLimitIs102377Bytes) {
    SRunningListener listener;
    ASSERT_TRUE(listener.Start());
    CBeastPeer peer;
    ASSERT_TRUE(peer.Connect(listener.port, "/browser"));
    ASSERT_TRUE(listener.spObserver->WaitForConnections(1));
    const std::string largest(102377, 'L');
    EXPECT_FALSE(listener.spManager->Send(largest + "X"));
    EXPECT_TRUE(listener.spManager->Send(largest));
    EXPECT_TRUE(listener.spManager->Send("after"));
    std::string text;
    ASSERT_TRUE(peer.Read(text));
    EXPECT_EQ(text, largest);
    ASSERT_TRUE(peer.Read(text));
    EXPECT_EQ(text, "after");
}

TEST(WebSocketListenerTest, EchoesInOrderThroughAnObserver) {
    SRunningListener listener;
    ASSERT_TRUE(listener.Start());
    std::weak_ptr<CWebSocketsMessagingManager> weak = listener.spManager;
    listener.spObserver->SetOnMessage([weak](const std::string& text) {
        if (auto manager = weak.lock()) manager->Send("echo:" + text);
    });
    CBeastPeer peer;
    ASSERT_TRUE(peer.Connect(listener.port, "/browser"));
    for (int i = 0; i < 50; ++i) {
        const std::string body = std::to_string(i) + std::string(static_cast<size_t>(i) * 97, 'p');
        ASSERT_TRUE(peer.Write(body));
        std::string text;
        ASSERT_TRUE(peer.Read(text));
        ASSERT_EQ(text, "echo:" + body);
    }
}

TEST(WebSocketListenerTest, RefusesForeignOriginsAndHosts) {
    SRunningListener listener;
    ASSERT_TRUE(listener.Start());
    listener.spManager->SetAllowedWebSiteOrigins(
        {"https://site.example/app"});  // takes effect at once
    const std::string port = std::to_string(listener.port);

    for (const char* origin :
         {"https://evil.example", "null", "http://127.0.0.1", "https://www.tavisto.example"}) {
        CBeastPeer peer;
        EXPECT_FALSE(peer.Connect(listener.port, "/browser", "", origin)) << origin;
    }
    for (const std::string& host :
         {"evil.example:" + port, std::string("127.0.0.1:1"), std::string("localhost")}) {
        CBeastPeer peer;
        EXPECT_FALSE(peer.Connect(listener.port, "/browser", host)) << host;
    }
    for (const char* origin :
         {"chrome-extension://abc", "moz-extension://def", "https://site.example"}) {
        CBeastPeer peer;
        EXPECT_TRUE(peer.Connect(listener.port, "/ext", "", origin)) << origin;
    }
    for (const std::string& host : {"localhost:" + port, "[::1]:" + port}) {
        CBeastPeer peer;
        EXPECT_TRUE(peer.Connect(listener.port, "/ext", host)) << host;
    }
    EXPECT_TRUE(listener.spObserver->WaitForConnections(5));
    EXPECT_EQ(listener.spObserver->Connections(), 5);
}

}  // namespace
