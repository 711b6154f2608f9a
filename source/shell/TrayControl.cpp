#include "shell/TrayControl.h"

#include "common/LogHelper.h"

namespace tvc::shell {
void TrayControl_Setup(CMainWindowProc*) {
    TVC_LOG_INFO("%s : no tray icon in this build", "TrayControl_Setup");
}
void TrayControl_Delete() {
    TVC_LOG_INFO("%s : no tray icon in this build", "TrayControl_Delete");
}
}  // namespace tvc::shell
