// The DID settings dialog, opened from the Settings page.
#ifndef SETUP_UI_DID_DIALOG_H
#define SETUP_UI_DID_DIALOG_H

#include <windows.h>

void RunDidDialog(HWND owner);
INT_PTR CALLBACK DidDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
