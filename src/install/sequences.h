// Install, remove and start sequences, and the report after installing.
#ifndef SETUP_INSTALL_SEQUENCES_H
#define SETUP_INSTALL_SEQUENCES_H

#include <windows.h>

// Outcome in setupState.installSucceeded.
void RunInstallation(HWND owner);
int RemoveDrivers();
int ShowInstallResult(HWND owner);

#endif
