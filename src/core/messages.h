// Every message box of the program: its text goes into the log, and in a
// silent run it is not shown at all but answered as the run's settings say.
#ifndef SETUP_CORE_MESSAGES_H
#define SETUP_CORE_MESSAGES_H

#include <windows.h>

// MessageBoxA with the setup caption, or silentAnswer in a silent run.
int ShowMessage(HWND owner, const char* text, UINT type, int silentAnswer = IDOK);

#endif
