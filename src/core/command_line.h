// The command line of unattended installations and removals. Switches begin
// with '/' or '-', are compared without regard to case and may come in any
// order; a value with blanks is written in double quotes. File names are
// made full against the current directory as the line is read (start-up
// changes that directory later).
#ifndef SETUP_CORE_COMMAND_LINE_H
#define SETUP_CORE_COMMAND_LINE_H

#include <cstddef>

#include "core/setup_state.h"

// The exit codes, those of the Windows Installer that deployment tools
// understand: the constant, the code and what /? says of it. The README's
// table lists the same codes in this order (tools/analyze checks it).
#define SETUP_EXIT_CODES(X)                                                                                         \
    X(EXIT_DONE, 0, "done")                                                                                         \
    X(EXIT_USER_DECLINED, 1602, "removal declined")                             /* ERROR_INSTALL_USEREXIT */        \
    X(EXIT_INSTALL_FAILED, 1603, "failed")                                      /* ERROR_INSTALL_FAILURE */         \
    X(EXIT_ALREADY_RUNNING, 1618, "already running")                            /* ERROR_INSTALL_ALREADY_RUNNING */ \
    X(EXIT_NOT_ADMINISTRATOR, 740, "not an administrator")                      /* ERROR_ELEVATION_REQUIRED */      \
    X(EXIT_UNSUPPORTED_WINDOWS, 1150, "Windows version not supported")          /* ERROR_OLD_WIN_VERSION */         \
    X(EXIT_INVALID_COMMAND_LINE, 1639, "invalid command line or answers file")  /* ERROR_INVALID_COMMAND_LINE */

#define SETUP_EXIT_CONSTANT(name, code, meaning) const int name = code;
SETUP_EXIT_CODES(SETUP_EXIT_CONSTANT)
#undef SETUP_EXIT_CONSTANT

const int COMMAND_REASON_SIZE = 512;

struct CommandLine {
    int silent;
    int remove;
    int help;
    char answers[DIRECTORY_SIZE];      // full path, or empty
    char log[DIRECTORY_SIZE];          // full path, or empty
    char saveAnswers[DIRECTORY_SIZE];  // full path, or empty
    char reason[COMMAND_REASON_SIZE];  // why the line cannot be used, or empty
};

// 1 when the line can be used; otherwise 0 with the reason filled in, and
// still /silent and the /log= file when the line holds them. The text is the
// line without the program's name, as WinMain receives it.
int ParseCommandLine(const char* text, CommandLine* line);

// The log of a silent run without /log=: a fixed name in the Windows
// directory, where only administrators may create files (in TEMP, SYSTEM's
// is %windir%\Temp, any user could create it first). Needs ClassifyWindows.
int DefaultLogPath(char* buffer, std::size_t size);

// What /? shows.
extern const char USAGE_TEXT[];

#endif
