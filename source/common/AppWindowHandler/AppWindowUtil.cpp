#include "common/AppWindowHandler/AppWindowUtil.h"

#include "common/AppHelper.h"
#include "common/LogHelper.h"

namespace tvc {
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
