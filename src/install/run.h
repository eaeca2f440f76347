// The start and end of every run: the command line, the log, start-up and
// the result with its exit code (the codes are listed with the command
// line). Between them, the steps that the interactive and the silent run
// share, and the silent run itself.
#ifndef SETUP_INSTALL_RUN_H
#define SETUP_INSTALL_RUN_H

#include <windows.h>

#include "core/command_line.h"

// What the steps below return while the run goes on, instead of an exit code.
const int RUN_GOES_ON = -1;

// Restricts where DLLs come from, reads the command line, opens the log (the
// /log= file, or for a silent run the fixed name in the Windows directory)
// and logs the start. RUN_GOES_ON, or the exit code to end with at once: the
// usage was shown (0), or the line is refused (1639, the reason logged and,
// unless silent, shown).
int StartRun(const char* text, CommandLine* line);

// Start-up of either kind of run, after the single-instance check: the
// product's registry root, the Windows version, the names and directories,
// and the DID settings of an existing btcall.cfg; then the log says what
// the system is. An update that a run left half undone is put back first,
// by an administrator or who says to go on; 0 when it is not put back
// (20026 shown when it cannot be).
int InitRun();

// The Preparing dialog's work: Windows supported, an administrator (or who
// says to go on), Files.ini read and every file measured, the program's own
// entry added (then preparationDone is set), the total counted. RUN_GOES_ON,
// or the exit code with *result for the log.
int PrepareInstallation(HWND owner, const char** result);

// The Settings page's last question (20016), Yes in a silent run: 1 for Yes.
int ConfirmInstall(HWND owner);

// The removal of /remove, with or without /silent, after start-up: the
// checks of the Preparing dialog, then the removal as the Welcome page makes
// it (nothing installed: 20039 and nothing changed). It needs no
// distribution. owner: the main window, or none in a silent run. Returns the
// exit code; *result says in the log how the run ended.
int RunRemoval(HWND owner, const char** result);

// Logs the result and the exit code and closes the log; returns exitCode.
int EndRun(int exitCode, const char* result);

// ---- the silent run only ------------------------------------------------------

// The whole silent run after StartRun: start-up without any window, the
// preparation, then the removal, or the answers file, the installation and
// the final question. Returns the exit code.
int RunSilentSetup(const CommandLine& line);

#endif
