// The log of a run: one line per event with the local time, written to the
// file at once, so that a run that dies leaves its log up to that point. A
// log that cannot be opened or written is simply not kept; it never stops
// the run. Without an open log every call is a no-op.
#ifndef SETUP_CORE_SETUP_LOG_H
#define SETUP_CORE_SETUP_LOG_H

#include <windows.h>

#include "core/format.h"

const int LOG_LINE_SIZE = 1024;

// Appends to path (created when missing): a plain file, not a link, that
// the user, the administrators or SYSTEM own when it was there before. 1
// when the log is open.
int OpenSetupLog(const char* path);
void CloseSetupLog();

// One line "YYYY-MM-DD HH:MM:SS text"; line breaks inside the text become
// blanks, a text longer than a line is cut.
void LogLine(const char* format, ...) SETUP_PRINTF_LIKE(1, 2);

// GetLastError as a log line prints it (%lu).
unsigned long LastError();

#endif
