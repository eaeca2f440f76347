#include "core/command_line.h"

#include <windows.h>

#include <cstring>

#include "core/format.h"
#include "core/text.h"
#include "core/windows_version.h"

#define DEFAULT_LOG_NAME "LoxbrineSetup.log"
#define USAGE_EXIT_CODE(name, code, meaning) "\n" #code "\t" meaning

const char USAGE_TEXT[] =
    "setup [/silent /answers=FILE | [/silent] /remove] [/log=FILE] [/saveanswers=FILE]\n\n"
    "/silent\t\twithout any window: install with /answers=FILE, or remove with /remove\n"
    "/answers=FILE\tthe answers file (boards, DID settings, questions)\n"
    "/remove\t\tremove the installed drivers (needs no distribution)\n"
    "/log=FILE\twrite a log of the run to FILE; a silent run without it logs to %windir%\\" DEFAULT_LOG_NAME "\n"
    "/saveanswers=FILE\tsave the settings accepted on the Settings page as an answers file\n"
    "/? or /help\tshow this text\n\n"
    "A switch may also begin with '-'. Put a FILE with blanks in double quotes.\n\n"
    "Exit codes:" SETUP_EXIT_CODES(USAGE_EXIT_CODE);

namespace {

const std::size_t TOKEN_SIZE = 1024;

// Every switch and what it sets: a flag takes no value, a file is given as
// /NAME=FILE. Only the help may be given twice (as /? and /help too); a
// refused line still keeps what it says about its own run: silence, and
// where its log goes.
struct Switch {
    const char* name;
    int CommandLine::*flag;
    char (CommandLine::*file)[DIRECTORY_SIZE];
    int repeatable;
    int keptWhenRefused;
};

const Switch SWITCHES[] = {
    {"silent", &CommandLine::silent, nullptr, 0, 1},
    {"remove", &CommandLine::remove, nullptr, 0, 0},
    {"?", &CommandLine::help, nullptr, 1, 0},
    {"help", &CommandLine::help, nullptr, 1, 0},
    {"answers", nullptr, &CommandLine::answers, 0, 0},
    {"log", nullptr, &CommandLine::log, 0, 1},
    {"saveanswers", nullptr, &CommandLine::saveAnswers, 0, 0},
};

// The next word: blanks inside double quotes belong to it, the quotes
// themselves do not. 1 with a word, 0 at the end, -1 for a word that is too
// long or a quote that is never closed; the cursor is past the word in
// every case, so that what follows can still be read.
int NextWord(const char** cursor, char* word) {
    const char* p = *cursor;
    while (IsBlank(*p)) ++p;
    if (!*p) return 0;
    std::size_t length = 0;
    bool quoted = false;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (length + 1 < TOKEN_SIZE) word[length] = *p;
        ++length;
    }
    *cursor = p;
    if (quoted || length >= TOKEN_SIZE) return -1;
    word[length] = '\0';
    return 1;
}

// The switch a word names (a word that begins with '/' or '-'), or none;
// *value is what follows its '=', or null without one.
const Switch* SwitchOf(const char* word, const char** value) {
    const char* name = word + 1;
    std::size_t length = std::strcspn(name, "=");
    *value = name[length] ? name + length + 1 : nullptr;
    for (const Switch& candidate : SWITCHES) {
        if (SameName(name, length, candidate.name)) return &candidate;
    }
    return nullptr;
}

bool IsSwitch(const char* word) { return word[0] == '/' || word[0] == '-'; }

int Refuse(CommandLine* line, const char* format, const char* detail) {
    FormatText(line->reason, sizeof line->reason, format, detail);
    return 0;
}

// A file name made full against the current directory; empty when it
// cannot be.
int FullPath(const char* name, char* path) {
    DWORD length = GetFullPathNameA(name, DIRECTORY_SIZE, path, nullptr);
    if (length != 0 && length < static_cast<DWORD>(DIRECTORY_SIZE)) return 1;
    path[0] = '\0';
    return 0;
}

// Which combinations make sense.
int CheckCombination(CommandLine* line) {
    if (line->help) return 1;
    if (line->answers[0] && !line->silent) return Refuse(line, "%s is used together with /silent only.", "/answers");
    if (line->remove && (line->answers[0] || line->saveAnswers[0])) {
        return Refuse(line, "%s: a removal takes no answers file.",
                      line->answers[0] ? "/remove with /answers" : "/remove with /saveanswers");
    }
    if (line->silent && !line->remove && !line->answers[0]) {
        return Refuse(line, "%s needs /answers=FILE (or /remove).", "/silent");
    }
    if (line->silent && line->saveAnswers[0]) {
        return Refuse(line, "%s is used in an interactive run only, not with /silent.", "/saveanswers");
    }
    return 1;
}

// What a refused line still says about its own run, however wrong it is
// otherwise: a silent run must not show its refusal either, and the log
// goes where it was asked to go (the first such file that is given).
void SalvageLine(const char* text, CommandLine* line) {
    const char* cursor = text ? text : "";
    char word[TOKEN_SIZE] = {0};
    for (int got; (got = NextWord(&cursor, word)) != 0;) {
        const char* value = nullptr;
        const Switch* known = got > 0 && IsSwitch(word) ? SwitchOf(word, &value) : nullptr;
        if (!known || !known->keptWhenRefused) continue;
        if (known->flag) {
            line->*known->flag = 1;
        } else if (value && *value && !(line->*known->file)[0]) {
            FullPath(value, line->*known->file);
        }
    }
}

int ParseWords(const char* text, CommandLine* line) {
    std::memset(line, 0, sizeof *line);
    const char* cursor = text ? text : "";
    char word[TOKEN_SIZE] = {0};
    for (;;) {
        int got = NextWord(&cursor, word);
        if (got == 0) break;
        if (got < 0) return Refuse(line, "The command line cannot be read: %s.", "a word too long or a quote not closed");
        if (!IsSwitch(word)) return Refuse(line, "%s is not a switch.", word);
        const char* value = nullptr;
        const Switch* known = SwitchOf(word, &value);
        if (!known) return Refuse(line, "%s is not a known switch.", word);
        if (known->flag) {
            int& flag = line->*known->flag;
            if (value) return Refuse(line, "%s takes no value.", word);
            if (flag && !known->repeatable) return Refuse(line, "%s is given twice.", word);
            flag = 1;
            continue;
        }
        char* file = line->*known->file;
        if (!value || !*value) return Refuse(line, "%s needs a file name: /NAME=FILE.", word);
        if (file[0]) return Refuse(line, "/%s is given twice.", known->name);
        if (!FullPath(value, file)) return Refuse(line, "The file name %s cannot be used.", value);
    }
    return CheckCombination(line);
}

}  // namespace

int ParseCommandLine(const char* text, CommandLine* line) {
    if (ParseWords(text, line)) return 1;
    SalvageLine(text, line);
    return 0;
}

int DefaultLogPath(char* buffer, std::size_t size) {
    char directory[MAX_PATH];
    UINT length = GetWindowsDirectoryPath(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return 0;
    // A root directory comes with its backslash.
    const char* separator = directory[length - 1] == '\\' ? "" : "\\";
    return FormatText(buffer, size, "%s%s%s", directory, separator, DEFAULT_LOG_NAME);
}
