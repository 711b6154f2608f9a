// The quit road: hide, ask the page, stop the listener, release the components, close the browser.
// The quit handler keeps its state, and as the first inter-app observer it also counts failed
// listener runs and reports a messaging module that keeps failing.
//
// Threads: main thread only, like the client handler and the observer notifications.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "common/NativeMessaging/InterAppMessageObserver.h"
#include "common/TaskRunner.h"
#include "engine/Browser.h"

enum t_enumQuitHandlerState {
    eQuitHander_State_Initial = 0,
    eQuitHander_State_Waiting_ForTVDJS = 1,
    eQuitHander_State_Waiting_ForExtension = 2,  // nothing enters it
    eQuitHander_State_QuitHandlingDone = 3,
};

// What the quit road needs of the browser side (CQuitRoad takes each step to its component).
class IAppQuitClient {
  public:
    virtual ~IAppQuitClient() = default;
    virtual tvc::engine::BrowserRef GetBrowser() = 0;
    // Every observer but the quit handler stops receiving inter-app messages.
    virtual void UnregisterNativeMessageObservers() = 0;
    virtual void UnregisterQuitHandlerNativeMessageObserver() = 0;
    // Saves the active port, then stops the listener.
    virtual void StopNativeMessagingListener() = 0;
    virtual void CleanupRefs() = 0;
    virtual void CloseAllBrowsers(bool forceClose) = 0;
    // The listener's first run of a series found no port: it is tried once more (after a pause).
    virtual void RetryNativeMessagingListener() = 0;
    // The listener gave up on every port in two consecutive runs, or in a later one of the series.
    virtual void HandleInterAppMessagingModuleFailure() = 0;
    // Work a peer started that must end whole before the browser closes (a cookie request with the
    // store): `done` runs once it has, at once when there is none.
    virtual void FinishWorkInFlight(std::function<void()> done) { done(); }
};

class CAppQuitHandler : public CInterAppMessageBaseObserver {
  public:
    // The page has 6 s to answer and its web process is quick to send; past this the quit goes on.
    static constexpr std::chrono::milliseconds kPageAnswerBound{10000};
    static constexpr unsigned kListenFailuresBeforeReport = 2;

    explicit CAppQuitHandler(std::chrono::milliseconds pageAnswerBound = kPageAnswerBound);
    ~CAppQuitHandler() override;
    CAppQuitHandler(const CAppQuitHandler&) = delete;
    CAppQuitHandler& operator=(const CAppQuitHandler&) = delete;

    // Replaces the reference; not owning, so handler and client never keep each other alive.
    void SetClientHandler(std::weak_ptr<IAppQuitClient> client);

    // On an expected close. True when the page has been asked.
    bool StartQuitSequence();
    // The page's completion: its message, or its web process's end. The quit goes on once the
    // work in flight has finished too, or when the bound runs out.
    bool HandleJSQuitCompletion();
    bool PerformAfterQuitSequence();
    bool IsQuitInProgress();
    // False when the message lacks one of the three fields.
    bool DeduseNativeMessageDisconnectResponse(const SInterAppMessage& message,
                                               bool& isTerminateResponse);

    void OnInterAppMessageRceive(const SInterAppMessage& message) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;

    int GetQuitState();
    void SetQuitState(int state);
    static const char* GetQuitStateName(int state);
    unsigned GetListenFailureCount();

  private:
    std::shared_ptr<IAppQuitClient> Client();
    void ArmPageAnswerBound();
    void OnWorkInFlightFinished();
    // `bound`: the bound ran out, so the quit goes on whatever is still pending.
    bool CompleteQuitHandling(bool bound);

    int m_iQuitState = eQuitHander_State_Initial;
    std::weak_ptr<IAppQuitClient> m_spClientHandlerReferance;
    unsigned m_listen_failure_count = 0;
    bool m_bPageDone = false;      // the page's completion has come
    bool m_bWorkInFlight = false;  // the client's work in flight has not finished yet
    const std::chrono::milliseconds m_pageAnswerBound;
    tvc::runner::DelayedTask m_pageAnswerTimer;
};
