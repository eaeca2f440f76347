// Windows version classification (OsClass) and the system checks made before
// anything is installed.
#ifndef SETUP_CORE_WINDOWS_VERSION_H
#define SETUP_CORE_WINDOWS_VERSION_H

#include <windows.h>

// Queries the version and stores osFamily / osDetail.
void ClassifyWindows();

int ServicesManaged(int family);

// String id of the name of the running Windows version.
UINT WindowsName();

int CheckSupported(HWND owner);
// 1 for an administrator, else when the user chooses to go on (asked once).
int ConfirmAdministrator(HWND owner);
UINT GetWindowsDirectoryPath(char* buffer, UINT size);

#endif
