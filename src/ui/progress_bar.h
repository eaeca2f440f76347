// The owner-drawn progress bar of the Preparing and Installing dialogs.
#ifndef SETUP_UI_PROGRESS_BAR_H
#define SETUP_UI_PROGRESS_BAR_H

#include <windows.h>

// Paints the bar for permille 0..1000: navy up to the split, light after it,
// and the percentage across it in the colour opposite to what lies beneath.
void DrawProgressBar(const DRAWITEMSTRUCT* item, int permille);

// WM_DRAWITEM of a progress dialog: the shared progress value.
INT_PTR DrawProgressItem(LPARAM lParam);

#endif
