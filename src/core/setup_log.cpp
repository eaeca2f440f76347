#include "core/setup_log.h"

#include <aclapi.h>

#include <cstdarg>
#include <cstring>

#include "core/format.h"

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;

// SIDs compared byte for byte: revision, count, authority, sub-authorities.
bool SameSid(const void* sid, const BYTE* other) {
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return bytes[1] == other[1] && std::memcmp(bytes, other, 8 + 4 * other[1]) == 0;
}

bool IsTokenUser(const void* sid) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    // TOKEN_USER and the SID behind it (at most 15 sub-authorities), aligned.
    DWORD_PTR buffer[(sizeof(TOKEN_USER) + 68) / sizeof(DWORD_PTR) + 1] = {};
    DWORD size = 0;
    bool got = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != FALSE;
    CloseHandle(token);
    TOKEN_USER user;
    std::memcpy(&user, buffer, sizeof user);
    return got && SameSid(user.User.Sid, static_cast<const BYTE*>(sid));
}

// The owner is the user running, the Administrators group (an
// administrator's files) or SYSTEM: nobody else can have made the file
// first. Windows 98 has neither owners nor the call.
bool TrustedOwner(HANDLE file) {
    typedef DWORD(WINAPI * GetSecurityInfoFunction)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*,
                                                     PACL*, PACL*, PSECURITY_DESCRIPTOR*);
    auto getSecurityInfo = reinterpret_cast<GetSecurityInfoFunction>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "GetSecurityInfo")));
    if (!getSecurityInfo) return true;
    static const BYTE administrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};  // S-1-5-32-544
    static const BYTE system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};                        // S-1-5-18
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (getSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool trusted = owner && (SameSid(owner, administrators) || SameSid(owner, system) || IsTokenUser(owner));
    LocalFree(descriptor);
    return trusted;
}

// An elevated run appends to a path that others may have prepared: only a
// plain file is used, not a link or reparse point (opened as such, not
// followed) nor a second name of another file.
bool PlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(file, &information) &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && information.nNumberOfLinks == 1;
}

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
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    // Made just now, the file is ours, whoever the volume names as its owner
    // (on a share, SYSTEM's files belong to the computer's account).
    bool made = GetLastError() != ERROR_ALREADY_EXISTS;
    if (!PlainFile(file) || (!made && !TrustedOwner(file))) {
        CloseHandle(file);
        return 0;
    }
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
