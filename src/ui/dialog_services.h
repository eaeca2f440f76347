// What every window of the program shares: the drawing resources made at
// start-up, running a dialog from its template, centring a window over the
// main window, and the question asked before a run is abandoned.
#ifndef SETUP_UI_DIALOG_SERVICES_H
#define SETUP_UI_DIALOG_SERVICES_H

#include <windows.h>

// Fills the brushes, colours and icon of setupState. Always 1.
int InitUiResources();

// Runs a dialog template of the program modally; the platform's result.
INT_PTR RunDialog(int templateId, HWND owner, DLGPROC procedure);

// Centres window over the main window (the screen before it exists), moved
// by dx, dy and kept right of minLeft and below minTop.
void CenterWindow(HWND window, int dx, int dy, int minLeft, int minTop);
void CenterWindow(HWND window);

// 1 when the user agrees to abandon the run (at once after a removal).
int ConfirmAbort(HWND owner);

#endif
