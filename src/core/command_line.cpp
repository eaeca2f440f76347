#include "core/command_line.h"

#include <windows.h>

#include <cstring>

#include "core/format.h"
#include "core/text.h"
#include "core/windows_version.h"

const char USAGE_TEXT[] =
    "setup [/silent /answers=FILE | [/silent] /remove] [/log=FILE] [/saveanswers=FILE]\n\n"
    "/silent\t\twithout any window: install with /answers=FILE, or remove with /remove\n"
    "/answers=FILE\tthe answers file (boards, DID settings, questions)\n"
    "/remove\t\tremove the installed drivers (needs no distribution)\n"
    "/log=FILE\twrite a log of the run to FILE; a silent run without it logs to %windir%\\" DEFAULT_LOG_NAME "\n"
    "/saveanswers=FILE\tsave the settings accepted on the Settings page as an answers file\n"
    "/? or /help\tshow this text\n\n"
    "A switch may also begin with '-'. Put a FILE with blanks in double quotes.\n"
    "Exit codes: 0 done, 1602 removal declined, 1603 failed, 1618 already running,\n"
    "740 not an administrator, 1150 Windows version not supported, 1639 invalid command line or answers file.";

namespace {

const std::size_t TOKEN_SIZE = 1024;

enum SwitchKind { SWITCH_FLAG, SWITCH_FILE };

struct KnownSwitch {
    const char* name;
    SwitchKind kind;
};

const KnownSwitch SWITCHES[] = {
    {"silent", SWITCH_FLAG}, {"remove", SWITCH_FLAG}, {"?", SWITCH_FLAG},        {"help", SWITCH_FLAG},
    {"answers", SWITCH_FILE}, {"log", SWITCH_FILE},   {"saveanswers", SWITCH_FILE},
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

int Refuse(CommandLine* line, const char* format, const char* detail) {
    FormatText(line->reason, sizeof line->reason, format, detail);
    return 0;
}

// A file name made full against the current directory.
int FullPath(const char* name, char* path, CommandLine* line) {
    DWORD length = GetFullPathNameA(name, DIRECTORY_SIZE, path, nullptr);
    if (length == 0 || length >= static_cast<DWORD>(DIRECTORY_SIZE)) {
        path[0] = '\0';
        return Refuse(line, "The file name %s cannot be used.", name);
    }
    return 1;
}

char* FileOf(CommandLine* line, const char* name) {
    if (SameName(name, std::strlen(name), "answers")) return line->answers;
    if (SameName(name, std::strlen(name), "log")) return line->log;
    return line->saveAnswers;
}

int* FlagOf(CommandLine* line, const char* name) {
    if (SameName(name, std::strlen(name), "silent")) return &line->silent;
    if (SameName(name, std::strlen(name), "remove")) return &line->remove;
    return &line->help;
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
// goes where it was asked to go.
void SalvageLine(const char* text, CommandLine* line) {
    const char* cursor = text ? text : "";
    char word[TOKEN_SIZE] = {0};
    for (int got; (got = NextWord(&cursor, word)) != 0;) {
        if (got < 0 || (word[0] != '/' && word[0] != '-')) continue;
        const char* equals = std::strchr(word, '=');
        std::size_t length = equals ? static_cast<std::size_t>(equals - word) : std::strlen(word);
        if (SameName(word + 1, length - 1, "silent")) line->silent = 1;
        if (equals && equals[1] && !line->log[0] && SameName(word + 1, length - 1, "log")) {
            char reason[COMMAND_REASON_SIZE];
            CopyText(reason, sizeof reason, line->reason);
            FullPath(equals + 1, line->log, line);
            CopyText(line->reason, sizeof line->reason, reason);
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
        if (word[0] != '/' && word[0] != '-') return Refuse(line, "%s is not a switch.", word);
        const char* name = word + 1;
        const char* equals = std::strchr(name, '=');
        std::size_t nameLength = equals ? static_cast<std::size_t>(equals - name) : std::strlen(name);
        const KnownSwitch* known = nullptr;
        for (const KnownSwitch& candidate : SWITCHES) {
            if (SameName(name, nameLength, candidate.name)) known = &candidate;
        }
        if (!known) return Refuse(line, "%s is not a known switch.", word);
        if (known->kind == SWITCH_FLAG) {
            if (equals) return Refuse(line, "%s takes no value.", word);
            int* flag = FlagOf(line, known->name);
            // /? and /help may both be given; anything else only once.
            if (*flag && flag != &line->help) return Refuse(line, "%s is given twice.", word);
            *flag = 1;
            continue;
        }
        if (!equals || !equals[1]) return Refuse(line, "%s needs a file name: /NAME=FILE.", word);
        char* file = FileOf(line, known->name);
        if (file[0]) return Refuse(line, "/%s is given twice.", known->name);
        if (!FullPath(equals + 1, file, line)) return 0;
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
