// The tray icon of the main window: set up when the window is created, removed when it is
// destroyed; it stays while the window is hidden. Main thread only.
#pragma once

namespace tvc::shell {
class CMainWindowProc;
// The tooltip, the three items in id order and the icon; false when the icon could not be put up
// (the program runs on without it).
bool TrayControl_Setup(CMainWindowProc* window);
// The items' texts again, in the language now in use.
void TrayControl_Relabel();
// False when there was no icon to remove.
bool TrayControl_Delete();
}  // namespace tvc::shell
