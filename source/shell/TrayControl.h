// The tray icon. It arrives with its own work; until then set-up and removal only log.
#pragma once

namespace tvc::shell {
class CMainWindowProc;
void TrayControl_Setup(CMainWindowProc* window);
void TrayControl_Delete();
}  // namespace tvc::shell
