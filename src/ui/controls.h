// Small operations on the buttons and combo boxes of the dialogs.
#ifndef SETUP_UI_CONTROLS_H
#define SETUP_UI_CONTROLS_H

#include <windows.h>

// 1 only when the button is exactly checked (not indeterminate).
int IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, int flag);

// Empties the list and adds the string-table texts of ids (ended by 0);
// then selects index selection unless it is -1.
void FillListFromTextIds(HWND list, int selection, const UINT* ids);
// 0 for an empty text, which is not added.
int AddListText(HWND list, const char* text);
// Selects the entry holding exactly text, else the fallback index; when no
// entry can be selected the edit field shows the text. 0 when there is
// nothing to show (empty text, negative fallback).
int SelectListText(HWND list, const char* text, int fallback);
int GetListSelection(HWND dialog, int id);
void SetListSelection(HWND dialog, int id, int index);

#endif
