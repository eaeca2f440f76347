// Runs started with a command line: the log of the run, and the silent
// installation or removal with the exit codes of the command line.
#ifndef SETUP_INSTALL_UNATTENDED_H
#define SETUP_INSTALL_UNATTENDED_H

#include <windows.h>

#include "core/command_line.h"

// Restricts where DLLs come from, reads the command line, opens the log (the
// /log= file, or for a silent run the fixed name in the Windows directory)
// and logs the start. -1 when the run goes on;
// otherwise the exit code to end with at once: the usage was shown (0), or
// the line is refused (1639, the reason logged and, unless silent, shown).
int StartRun(const char* text, CommandLine* line);

// The whole silent run after StartRun: start-up without any window, the
// checks of the Preparing dialog, then the removal, or the answers file, the
// installation and the final question. Returns the exit code.
int RunSilentSetup(const CommandLine& line);

// The removal of /remove, with or without /silent, after start-up: the
// checks of the Preparing dialog, then the removal as the Welcome page makes
// it (nothing installed: 20039 and nothing changed). It needs no
// distribution. owner: the main window, or none in a silent run. Returns the
// exit code; *result says in the log how the run ended.
int RunRemoval(HWND owner, const char** result);

// Start-up of either kind of run, after the single-instance check: the
// product's registry root, the Windows version, the names and directories,
// and the DID settings of an existing btcall.cfg. An update that a run left
// half undone is put back first, by an administrator or who says to go on;
// 0 when it is not put back (20026 shown when it cannot be).
int InitRun();

// Logs what the system is (after start-up has classified Windows).
void LogSystem();

// Logs the result and the exit code and closes the log; returns exitCode.
int EndRun(int exitCode, const char* result);

#endif
