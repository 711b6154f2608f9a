#include "common/AppQuitHandler/AppQuitHandler.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace {
constexpr const char* kSourceFile = "AppQuitHandler.cpp";
}

CAppQuitHandler::CAppQuitHandler(std::chrono::milliseconds pageAnswerBound)
    : m_pageAnswerBound(pageAnswerBound) {
    TVC_LOG_WARN("%s ++", TVC_FN);
}

CAppQuitHandler::~CAppQuitHandler() {
    TVC_LOG_WARN("%s --, QuitState = %s", TVC_FN, GetQuitStateName(m_iQuitState));
}

void CAppQuitHandler::SetClientHandler(std::weak_ptr<IAppQuitClient> client) {
    m_spClientHandlerReferance = std::move(client);
}

std::shared_ptr<IAppQuitClient> CAppQuitHandler::Client() {
    return m_spClientHandlerReferance.lock();
}

int CAppQuitHandler::GetQuitState() {
    return m_iQuitState;
}

void CAppQuitHandler::SetQuitState(int state) {
    m_iQuitState = state;
}

const char* CAppQuitHandler::GetQuitStateName(int state) {
    switch (state) {
        case eQuitHander_State_Initial:
            return "eQuitHander_State_Initial";
        case eQuitHander_State_Waiting_ForTVDJS:
            return "eQuitHander_State_Waiting_ForTVDJS";
        case eQuitHander_State_Waiting_ForExtension:
            return "eQuitHander_State_Waiting_ForExtension";
        case eQuitHander_State_QuitHandlingDone:
            return "eQuitHander_State_QuitHandlingDone";
        default:
            return "Unknown-Quit-State";
    }
}

unsigned CAppQuitHandler::GetListenFailureCount() {
    return m_listen_failure_count;
}

bool CAppQuitHandler::IsQuitInProgress() {
    const int state = GetQuitState();
    const bool inProgress = state != eQuitHander_State_Initial;
    TVC_LOG_INFO("%s : QuitState = %s, result=%u", TVC_FN, GetQuitStateName(state),
                 inProgress ? 1u : 0u);
    return inProgress;
}

bool CAppQuitHandler::StartQuitSequence() {
    static const char* fn = TVC_FN;
    tvc::runner::AssertOnMainThread();
    auto client = Client();
    if (!client) {
        TVC_LOG_ERROR("%s : m_spClientHandlerReferance is NULL", fn);
        return false;
    }
    auto browser = client->GetBrowser();
    TVC_LOG_WARN("%s ++", fn);
    const int state = GetQuitState();
    if (state != eQuitHander_State_Initial) {
        TVC_LOG_WARN("%s : incorrect state %s", fn, GetQuitStateName(state));
        return false;
    }
    bool asked = false;
    if (!browser) {
        TVC_LOG_ERROR("%s : browser object is NULL, the page cannot be asked", fn);
    } else {
        TVC_LOG_WARN("%s : SendProcessMessage : sending %s", fn,
                     tvc::msg::kAppBeforeQuitNotification);
        if (!browser->SendProcessMessage(tvc::engine::ProcessId::Renderer,
                                         {tvc::msg::kAppBeforeQuitNotification, {}})) {
            TVC_LOG_ERROR("%s : error sending %s", fn, tvc::msg::kAppBeforeQuitNotification);
        } else {
            TVC_LOG_WARN("%s : SendProcessMessage : sucess", fn);
            SetQuitState(eQuitHander_State_Waiting_ForTVDJS);
            TVC_LOG_WARN("%s : triggering - UnregisterNativeMessageObservers.", fn);
            client->UnregisterNativeMessageObservers();
            ArmPageAnswerBound();
            asked = true;
            // No new work can come in now; what is under way is finished while the page answers.
            m_bWorkInFlight = true;
            std::weak_ptr<CInterAppMessageBaseObserver> weak = weak_from_this();
            client->FinishWorkInFlight([weak] {
                if (auto self = std::static_pointer_cast<CAppQuitHandler>(weak.lock()))
                    self->OnWorkInFlightFinished();
            });
        }
    }
    TVC_LOG_WARN("%s -- retVal=%u QuitState = %s", fn, asked ? 1u : 0u,
                 GetQuitStateName(GetQuitState()));
    return asked;
}

void CAppQuitHandler::ArmPageAnswerBound() {
    std::weak_ptr<CInterAppMessageBaseObserver> weak = weak_from_this();
    m_pageAnswerTimer = tvc::runner::PostDelayed(m_pageAnswerBound, [weak] {
        auto self = std::static_pointer_cast<CAppQuitHandler>(weak.lock());
        if (!self || self->GetQuitState() != eQuitHander_State_Waiting_ForTVDJS) return;
        TVC_LOG_WARN(
            "%s : %s within %lld ms, quitting without it", TVC_FN,
            self->m_bPageDone ? "the work in flight did not finish" : "no answer from the page",
            static_cast<long long>(self->m_pageAnswerBound.count()));
        self->CompleteQuitHandling(true);
    });
}

void CAppQuitHandler::OnWorkInFlightFinished() {
    m_bWorkInFlight = false;
    if (!m_bPageDone || m_iQuitState != eQuitHander_State_Waiting_ForTVDJS) return;
    TVC_LOG_WARN("%s : the work in flight has finished", TVC_FN);
    CompleteQuitHandling(false);
}

bool CAppQuitHandler::HandleJSQuitCompletion() {
    return CompleteQuitHandling(false);
}

bool CAppQuitHandler::CompleteQuitHandling(bool bound) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s ++", fn);
    // The page's message, its web process's end, the end of the work in flight and the bound may
    // all arrive: the first that finds both the page and the work done goes on, alone.
    if (m_iQuitState != eQuitHander_State_Waiting_ForTVDJS) {
        TVC_LOG_WARN("%s : incorrect state %s", fn, GetQuitStateName(m_iQuitState));
        return false;
    }
    m_bPageDone = true;
    if (m_bWorkInFlight && !bound) {
        TVC_LOG_WARN("%s : the page is done; waiting for the work in flight", fn);
        return true;
    }
    m_iQuitState = eQuitHander_State_QuitHandlingDone;
    m_pageAnswerTimer.Cancel();
    if (auto client = Client())
        client->StopNativeMessagingListener();
    else
        TVC_LOG_ERROR("%s : m_spClientHandlerReferance = NULL", fn);
    TVC_LOG_WARN("%s : Quit is done : Perform Post Quit Sequence.", fn);
    const bool result = PerformAfterQuitSequence();
    TVC_LOG_WARN("%s -- retVal=%u QuitState = %s", fn, result ? 1u : 0u,
                 GetQuitStateName(GetQuitState()));
    return result;
}

bool CAppQuitHandler::PerformAfterQuitSequence() {
    static const char* fn = TVC_FN;
    auto client = Client();
    TVC_LOG_WARN("%s : UnregisterQuitHandlerNativeMessageObserver", fn);
    if (client)
        client->UnregisterQuitHandlerNativeMessageObserver();
    else
        TVC_LOG_WARN("%s : m_spClientHandlerReferance = NULL", fn);
    TVC_LOG_WARN("%s : CleanupRefs", fn);
    if (client)
        client->CleanupRefs();
    else
        TVC_LOG_ERROR("%s : m_spClientHandlerReferance is NULL already.", fn);
    // Forced: the page has had its turn, so its unload handlers get no say in the close.
    TVC_LOG_WARN("%s : CloseAllBrowsers", fn);
    if (client)
        client->CloseAllBrowsers(true);
    else
        TVC_LOG_WARN("%s : m_spClientHandlerReferance = NULL", fn);
    TVC_LOG_WARN("%s : setting m_spClientHandlerReferance to NULL", fn);
    SetClientHandler({});
    // The logger stays open: the window's close, the loop's end and the watchdog still log.
    TVC_LOG_WARN("%s: Completed ", fn);
    return true;
}

bool CAppQuitHandler::DeduseNativeMessageDisconnectResponse(const SInterAppMessage& message,
                                                            bool& isTerminateResponse) {
    static const char* fn = TVC_FN;
    isTerminateResponse = false;
    if (!message.bHasSubType || !message.bHasTarget || !message.bHasType) {
        TVC_LOG_ERROR("%s : QueryJson returned false.", fn);
        return false;
    }
    isTerminateResponse = message.target == "tvd.native" &&
                          message.subType == "terminate.connection" && message.type == "response";
    if (isTerminateResponse) TVC_LOG_WARN("%s : NativeMessage Terminate Response Detected.", fn);
    return true;
}

void CAppQuitHandler::OnInterAppMessageRceive(const SInterAppMessage& message) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s ++", fn);
    bool isTerminate = false;
    if (!DeduseNativeMessageDisconnectResponse(message, isTerminate)) {
        TVC_LOG_ERROR("%s : DeduseNativeMessageDisconnectResponse failed.", fn);
    } else if (isTerminate) {
        // The quit never waits for the extension, so its answer changes nothing.
        TVC_LOG_WARN("%s : incorrect state for NativeDisconnectResponce %s", fn,
                     GetQuitStateName(GetQuitState()));
    }
    TVC_LOG_WARN("%s -- QuitState = %s", fn, GetQuitStateName(GetQuitState()));
}

void CAppQuitHandler::OnInterAppMessagingListenerExit(bool listenSucceeded) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s %s with is-suceeded=%u ++", kSourceFile, fn, listenSucceeded ? 1u : 0u);
    m_listen_failure_count = listenSucceeded ? 0 : m_listen_failure_count + 1;
    const unsigned count = m_listen_failure_count;
    TVC_LOG_WARN("%s %s : %u is listen count", kSourceFile, fn, count);
    if (count < kListenFailuresBeforeReport) {
        TVC_LOG_WARN("%s %s  : m_listen_failure_count is less that max-attempt.", kSourceFile, fn);
        // The listener runs once per start: without another run a failure would never be told.
        if (!listenSucceeded)
            if (auto client = Client()) client->RetryNativeMessagingListener();
        return;
    }
    // Not reset: every further failed run in a row reports again.
    if (auto client = Client())
        client->HandleInterAppMessagingModuleFailure();
    else
        TVC_LOG_ERROR("%s  : m_spClientHandlerReferance is NULL.", fn);
}
