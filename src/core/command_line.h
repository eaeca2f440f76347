// The command line of unattended installations and removals. Switches begin
// with '/' or '-', are compared without regard to case and may come in any
// order; a value with blanks is written in double quotes. File names are
// made full against the current directory as the line is read (start-up
// changes that directory later).
#ifndef SETUP_CORE_COMMAND_LINE_H
#define SETUP_CORE_COMMAND_LINE_H

#include <cstddef>

#include "core/setup_state.h"

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

// The log of a silent run without /log=: this name in the Windows directory,
// where only administrators may create files (in TEMP, SYSTEM's is
// %windir%\Temp, any user could create it first). Needs ClassifyWindows.
#define DEFAULT_LOG_NAME "LoxbrineSetup.log"
int DefaultLogPath(char* buffer, std::size_t size);

// What /? shows.
extern const char USAGE_TEXT[];

#endif
