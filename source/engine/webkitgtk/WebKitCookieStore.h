// The cookie store of the web context's website data manager (the persistent store in the Cache
// folder). Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include "engine/CookieStore.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {

class CWebKitCookieStore final : public engine::ICookieStore {
  public:
    explicit CWebKitCookieStore(WebKitWebsiteDataManager* dataManager);

    void DeleteAllCookies(Done done) override;
    void SetCookie(const engine::CookieRecord& cookie, Done done) override;
    void GetAllCookies(Cookies done) override;

  private:
    glib::GObjectPtr<WebKitWebsiteDataManager> m_dataManager;
};
}  // namespace tvc::webkit
