#include "platform/TrayControlBase.h"

#include "common/LogHelper.h"

namespace tvc::platform {
bool CTrayControlBase::SetToolTipText(const std::string& text) {
    TVC_LOG_INFO("%s ++ with tool-tip-text=%s", TVC_FN, text.c_str());
    m_strToolTipText = text;
    return true;
}

bool CTrayControlBase::SetMenuInfo(unsigned id, const std::string& text) {
    TVC_LOG_INFO("%s ++ with idx=%u, path=%s", TVC_FN, id, text.c_str());
    m_mapTrayControlData[id] = text;
    return true;
}
}  // namespace tvc::platform
