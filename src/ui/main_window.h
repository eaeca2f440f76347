// The maximised blue background window that owns every dialog of a run and
// hosts the dialogue flow.
#ifndef SETUP_UI_MAIN_WINDOW_H
#define SETUP_UI_MAIN_WINDOW_H

#include <windows.h>

// Posted by start-up: runs the dialogue flow, then closes the window.
const UINT WM_START_FLOW = WM_APP + 1;

int RegisterMainClass();
// Sets setupState.mainWindow; 1 when the window exists.
int CreateMainWindow();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The gradient and the two title lines, for any device context.
void PaintBackground(HWND window, HDC dc);
void DestroyMainWindow();

#endif
