// The run as the user goes through it: Preparing, the wizard, Installing
// and the final report, one modal step after another.
#ifndef SETUP_UI_DIALOG_FLOW_H
#define SETUP_UI_DIALOG_FLOW_H

#include <windows.h>

// The wizard's result (0 when the run ended before or in the wizard).
INT_PTR RunDialogueFlow(HWND mainWindow);

#endif
