// The "setCookies" command of the companion extension: the browser's cookie store is replaced by
// the cookies it hands over, and the extension hears whether that worked.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <functional>
#include <memory>
#include <string>

#include "common/AppCookieHandler/AppCookie.h"
#include "common/AppCookieHandler/CookieManager.h"
#include "common/NativeMessaging/InterAppMessageObserver.h"
#include "engine/Browser.h"
#include "engine/CookieStore.h"

namespace tvc {
class ClientHandler;
}

// Main thread: notifications arrive there, and the store and the response are used there. Cookie
// values never reach the log: requests are logged by size, cookies by name and domain.
class CCookieObserver : public CInterAppMessageBaseObserver {
  public:
    CCookieObserver(tvc::engine::BrowserRef browser,
                    std::shared_ptr<tvc::engine::ICookieStore> cookieStore);
    ~CCookieObserver() override;

    // The response goes out through this handler; it is not kept alive by the observer.
    void SetClientHandler(const std::shared_ptr<tvc::ClientHandler>& handler);

    // Sets the journal (see CCookieManager::SetJournalPath) and makes again the replacement a
    // journal left there tells of. Once, before the first request.
    void ResumeInterruptedRequest(const std::string& journalPath);

    // See CCookieManager::FinishInFlight.
    void FinishInFlight(std::function<void()> done) {
        m_pCookieManager->FinishInFlight(std::move(done));
    }

    void OnInterAppMessageRceive(const SInterAppMessage& message) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;

    // Appends the cookies of "message.payload.domains" in document order. False when the text is
    // not JSON, a key is missing, an address, name, value, domain or path is not a JSON string, a
    // boolean is not true/false/1/0 or a date is not a number; cookies appended before the failure
    // stay in `out`.
    static bool QueryArrayOfCookieObject(const std::string& text, CAppCookieList& out);

  private:
    void HandleSetCookies(const SInterAppMessage& message);
    // `parsed`: the request's parsed form, null when it is not JSON.
    void SendResponse(const std::string& request, const boost::property_tree::ptree* parsed,
                      int status);

    const tvc::engine::BrowserRef m_pBrowserRef;  // kept as the other observers do; not used here
    const std::shared_ptr<CCookieManager> m_pCookieManager;
    std::weak_ptr<tvc::ClientHandler> m_clientHandler;
};
