// Start-up steps that need no window: the single-instance check and the
// names and directories of the run.
#ifndef SETUP_CORE_STARTUP_H
#define SETUP_CORE_STARTUP_H

#include <windows.h>

// 1 when this is the first copy of the program; holds the mutex either way.
int CheckSingleInstance(const char* name);

// Drive number of a path's first character as the C runtime counts drives
// (A: = 1); 'C' and 'c' both give 3. Anything but a letter gives a number
// outside 1..26.
int DriveNumber(const char* path);

// Makes drive 1..26 current; 0 for any other number.
int SetCurrentDrive(int number);

// Fills product name and caption (the title of every message box).
void InitCaption();

// Fills product name, caption and directories, makes the distribution
// directory current, and notes whether the product key records an
// installation. The DID settings of an existing btcall.cfg are read next by
// the caller (InitRun).
void InitSetupNames();

#endif
