// Decides how the main frame recovers from a load that failed for want of a network: when the
// failed address is tried again, and what ends the tries. Main thread only; no timers of its own.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>

namespace tvc {
class CLoadRecovery {
  public:
    // Short waits first, for a network that comes up soon after log-in; then once a minute.
    static constexpr std::array<std::chrono::seconds, 4> kWaits{
        std::chrono::seconds(5), std::chrono::seconds(10), std::chrono::seconds(30),
        std::chrono::seconds(60)};

    // Cannot resolve, cannot connect, timed out, network changed: what a later try may mend.
    static bool IsNetworkFailure(int errorCode);
    // The wait before try `attempt` (0 = the first try after the first failure).
    static std::chrono::seconds WaitBefore(int attempt);

    struct Try {
        unsigned ticket;  // names this try to TakeDue
        std::chrono::seconds wait;
    };

    // The load-error page (or another page of the handler's own) is about to replace the frame's
    // content: the load that starts next is that page, not the user's or the page's.
    void OnErrorPageShown() { m_errorPageNext = true; }
    // The main frame's load of `url` failed: the next try, or nothing when this failure is not
    // retried (a plan made earlier is dropped then).
    std::optional<Try> OnLoadFailed(const std::string& url, int errorCode);
    // The address to load when try `ticket` falls due; "" when that try was overtaken or
    // cancelled.
    std::string TakeDue(unsigned ticket);
    // The network came up: the address to load at once, "" when no try is waiting.
    std::string TakeNow();
    // The main frame began loading `url`. A load of another address than the one being tried is
    // the user's or the page's own and ends the tries: true then.
    bool OnLoadStarted(const std::string& url);
    enum class Commit {
        OwnPage,    // the error page (or another page of the handler's own)
        Recovered,  // the address that failed, come at last
        Other,      // any other page
    };
    // The main frame committed to what it shows; the tries end unless it is the error page.
    Commit OnLoadCommitted();

    // The address that failed while its error page is shown; "" otherwise.
    std::string ErrorPageAddress() const { return m_showingErrorPage ? m_url : ""; }
    bool IsRetrying() const { return m_state != State::Idle; }
    // How many tries have been made of the current address.
    int Attempts() const { return m_attempt; }

  private:
    enum class State { Idle, Waiting, Loading };
    void Stop() { m_state = State::Idle; }

    State m_state = State::Idle;
    std::string m_url;
    int m_attempt = 0;
    unsigned m_ticket = 0;
    bool m_errorPageNext = false;
    bool m_showingErrorPage = false;
};
}  // namespace tvc
