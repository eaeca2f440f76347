// The Preparing dialog: checks the system and measures the distribution on a
// worker thread while the bar shows how far it got.
#ifndef SETUP_UI_PREPARING_DIALOG_H
#define SETUP_UI_PREPARING_DIALOG_H

#include <windows.h>

// 1 when the preparation succeeded; 0 when it failed or was abandoned.
INT_PTR RunPreparingDialog(HWND owner);

#endif
