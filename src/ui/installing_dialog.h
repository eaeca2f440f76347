// The Installing dialog: runs the install sequence on a worker thread while
// the bar and the status line show which file is being placed.
#ifndef SETUP_UI_INSTALLING_DIALOG_H
#define SETUP_UI_INSTALLING_DIALOG_H

#include <windows.h>

// 1 when the install sequence ran to its end (its outcome is in
// installSucceeded); 0 when the user abandoned it or no worker could start.
INT_PTR RunInstallingDialog(HWND owner);
INT_PTR CALLBACK InstallingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WINAPI InstallationWorker(LPVOID parameter);

// Before the process ends: an abandoned installation worker gets the time
// to reach its next safe point (a service pause and a second at most).
void AwaitStoppedInstallation();

#endif
