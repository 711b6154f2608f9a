#include "common/AppWindowHandler/AppWindowUtil.h"

#include "common/AppHelper.h"
#include "common/LogHelper.h"

namespace tvc {
void CAppWindowUtil::SetClientHandler(std::shared_ptr<IAppWindowClient> handler) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_spClientHandler = handler;
}

bool CAppWindowUtil::BringWindowToFrontTask(bool bDontPerformForegroundCheck) {
    std::shared_ptr<IAppWindowClient> handler;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        handler = m_spClientHandler.lock();
    }
    if (!handler) {
        TVC_LOG_ERROR("CAppWindowUtil::BringWindowToFrontTask: client handler is NULL");
        return false;
    }
    TVC_LOG_WARN("CAppWindowUtil::BringWindowToFrontTask: BringWindowToFront() before");
    handler->BringWindowToFront(bDontPerformForegroundCheck);
    TVC_LOG_WARN("CAppWindowUtil::BringWindowToFrontTask: BringWindowToFront() after");
    return true;
}

bool CAppWindowUtil::PerformUserWindowClose(const std::shared_ptr<platform::IAppWindow>& window) {
    static const char* fn = TVC_FN;
    if (!window || !window->IsValid()) {
        TVC_LOG_ERROR("%s : IncorrectWindowHandle: %u", fn, window ? 1u : 0u);
        return false;
    }
    CAppHelper::SetIsApplicationWindowCloseExpected();
    if (!window->PostClose()) {
        TVC_LOG_ERROR("%s : PostMessage WM_CLOSE failed.", fn);
        return false;
    }
    return true;
}
}  // namespace tvc
