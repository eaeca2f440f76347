// Install, remove and start sequences, and the report after installing.
#ifndef SETUP_INSTALL_SEQUENCES_H
#define SETUP_INSTALL_SEQUENCES_H

#include <windows.h>

// Outcome in setupState.installSucceeded.
void RunInstallation(HWND owner);
void RemoveDrivers();
// The removal as the user chooses it: question 20018 (No the default; Yes
// in a silent run), then RemoveDrivers and report 20033. 1 when removed.
int AskAndRemoveDrivers(HWND owner);
int ShowInstallResult(HWND owner);

#endif
