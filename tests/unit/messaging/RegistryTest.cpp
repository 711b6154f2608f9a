#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/NativeMessaging/InterAppMessagingManager.h"

namespace {

// A transport that does nothing, so the registry can be driven directly.
class CFakeTransport : public CInterAppMessagingManagerBase {
  public:
    bool Start() override { return true; }
    bool Stop() override { return true; }
    bool Send(const std::string&) override { return true; }
    using CInterAppMessagingManagerBase::ChangeManagerStateIf;
    using CInterAppMessagingManagerBase::NotifyListenerExit;
    using CInterAppMessagingManagerBase::NotifyMessageArrival;
    using CInterAppMessagingManagerBase::NotifyOnConnectionEstablished;
    using CInterAppMessagingManagerBase::SetManagerState;
};

class CLoggingObserver : public CInterAppMessageBaseObserver {
  public:
    explicit CLoggingObserver(std::vector<std::string>& journal) : m_journal(journal) {}
    void OnInterAppMessageRceive(const SInterAppMessage& message) override {
        Note("msg:" + message.text);
    }
    void OnInterAppMessagingListenerExit(bool ok) override { Note(ok ? "exit:1" : "exit:0"); }
    void OnInterAppMessagingConnectionEstablished() override { Note("conn"); }

  private:
    void Note(const std::string& what) {
        m_journal.push_back(std::to_string(GetObserverId()) + " " + what);
    }
    std::vector<std::string>& m_journal;
};

TEST(RegistryTest, ObserversGetIncreasingIdsAndAreNotifiedInIdOrder) {
    std::vector<std::string> journal;
    auto first = std::make_shared<CLoggingObserver>(journal);
    auto second = std::make_shared<CLoggingObserver>(journal);
    ASSERT_LT(first->GetObserverId(), second->GetObserverId());
    EXPECT_GT(first->GetObserverId(), 0);

    auto manager = std::make_shared<CFakeTransport>();
    EXPECT_TRUE(manager->Subscribe(second));  // subscription order must not matter
    EXPECT_TRUE(manager->Subscribe(first));
    EXPECT_TRUE(manager->Subscribe(first));  // a second subscription keeps one entry
    manager->NotifyMessageArrival("m");
    manager->NotifyOnConnectionEstablished();
    manager->NotifyListenerExit(false);
    const std::string a = std::to_string(first->GetObserverId()) + " ";
    const std::string b = std::to_string(second->GetObserverId()) + " ";
    EXPECT_EQ(journal, (std::vector<std::string>{a + "msg:m", b + "msg:m", a + "conn", b + "conn",
                                                 a + "exit:0", b + "exit:0"}));
}

TEST(RegistryTest, UnsubscribeAndCleanup) {
    std::vector<std::string> journal;
    auto kept = std::make_shared<CLoggingObserver>(journal);
    auto removed = std::make_shared<CLoggingObserver>(journal);
    auto stranger = std::make_shared<CLoggingObserver>(journal);
    auto manager = std::make_shared<CFakeTransport>();
    EXPECT_FALSE(manager->Subscribe(nullptr));
    manager->Subscribe(kept);
    manager->Subscribe(removed);

    testing::internal::CaptureStderr();
    EXPECT_TRUE(manager->UnSubscribe(stranger));  // never subscribed: true, and silent
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(manager->UnSubscribe(removed));
    manager->NotifyMessageArrival("x");
    EXPECT_EQ(journal, std::vector<std::string>{std::to_string(kept->GetObserverId()) + " msg:x"});

    manager->Cleanup();
    journal.clear();
    manager->NotifyMessageArrival("y");
    testing::internal::CaptureStderr();
    manager->NotifyListenerExit(true);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "CInterAppMessagingManagerBase::NotifyListenerExit : Observer list is empty."),
              std::string::npos);
    EXPECT_TRUE(journal.empty());
}

TEST(RegistryTest, SubscriptionKeepsTheObserverAlive) {
    std::vector<std::string> journal;
    auto manager = std::make_shared<CFakeTransport>();
    std::weak_ptr<CLoggingObserver> weak;
    {
        auto observer = std::make_shared<CLoggingObserver>(journal);
        weak = observer;
        manager->Subscribe(observer);
    }
    manager->NotifyMessageArrival("alive");
    EXPECT_EQ(journal.size(), 1u);
    EXPECT_FALSE(weak.expired());
    manager->Cleanup();
    EXPECT_TRUE(weak.expired());
}

TEST(RegistryTest, StateStartsIdleAndChangesOnlyFromTheNamedStates) {
    CFakeTransport manager;
    EXPECT_EQ(manager.GetManagerState(), eIdle);
    EXPECT_FALSE(manager.ChangeManagerStateIf({eListening, eConnected}, eThreadTerminationPending));
    EXPECT_EQ(manager.GetManagerState(), eIdle);
    manager.SetManagerState(eConnected);
    EXPECT_TRUE(manager.ChangeManagerStateIf({eListening, eConnected}, eThreadTerminationPending));
    EXPECT_EQ(manager.GetManagerState(), eThreadTerminationPending);
    EXPECT_EQ(static_cast<int>(eIdle), 1);
    EXPECT_EQ(static_cast<int>(eThreadTerminationPending), 4);
}

}  // namespace
