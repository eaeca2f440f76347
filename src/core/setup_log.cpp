#include "core/setup_log.h"

#include <cstdarg>
#include <cstring>

#include "core/format.h"

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;

// Texts of message boxes span several lines; a log line does not.
void FlattenLineBreaks(char* text) {
    char* out = text;
    for (const char* in = text; *in; ++in) {
        if (*in == '\r' || *in == '\n') {
            if (out == text || out[-1] != ' ') *out++ = ' ';
            continue;
        }
        *out++ = *in;
    }
    *out = '\0';
}

}  // namespace

int OpenSetupLog(const char* path) {
    CloseSetupLog();
    if (!path || !*path) return 0;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    // Earlier runs logged to the same file stay: each run goes after them.
    if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        CloseHandle(file);
        return 0;
    }
    logFile = file;
    return 1;
}

void CloseSetupLog() {
    if (logFile == INVALID_HANDLE_VALUE) return;
    CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}

int SetupLogOpen() { return logFile != INVALID_HANDLE_VALUE ? 1 : 0; }

void LogLine(const char* format, ...) {
    if (logFile == INVALID_HANDLE_VALUE || !format) return;
    // Whatever the call does, the caller's last error stays for its own use.
    DWORD lastError = GetLastError();
    char text[LOG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof text, format, args);  // a cut line is still worth logging
    va_end(args);
    FlattenLineBreaks(text);

    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[LOG_LINE_SIZE + 32];
    FormatText(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u %s\r\n", now.wYear, now.wMonth, now.wDay, now.wHour,
               now.wMinute, now.wSecond, text);
    // A cut line still ends its line.
    std::size_t length = std::strlen(line);
    if (length >= 2 && (line[length - 2] != '\r' || line[length - 1] != '\n')) {
        line[length - 2] = '\r';
        line[length - 1] = '\n';
    }
    DWORD written = 0;
    WriteFile(logFile, line, static_cast<DWORD>(length), &written, nullptr);
    SetLastError(lastError);
}

unsigned long LastError() { return static_cast<unsigned long>(GetLastError()); }
