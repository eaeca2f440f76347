// Stand-in controls that count the program's calls that can fail, and fail
// one of them (or every one from there on), in the manner of SQLite's I/O
// error tests. Included by hostwin/machine.h.
//
// Counted calls: CreateFileA, ReadFile, WriteFile, FlushFileBuffers,
// MoveFileExA, DeleteFileA, CreateDirectoryA, RemoveDirectoryA; LZInit,
// LZRead, LZSeek; RegCreateKeyExA, RegOpenKeyExA, RegQueryValueExA,
// RegEnumValueA, RegSetValueExA, RegDeleteKeyA; OpenSCManagerA,
// CreateServiceA, OpenServiceA, ControlService, QueryServiceStatus,
// QueryServiceConfigA, DeleteService, StartServiceA.
// A call the stand-in makes itself while serving one of these (LZ32 reading
// its file) is not counted. A failed call does nothing but report its
// error, chosen as Windows would plausibly give it for that call:
//   file opens, moves, directory creations      ERROR_ACCESS_DENIED
//   reads ERROR_CRC, writes ERROR_DISK_FULL, flushes ERROR_WRITE_FAULT,
//   deletes and directory removals ERROR_SHARING_VIOLATION
//   LZInit LZERROR_GLOBALLOC,
//   LZRead LZERROR_READ, LZSeek LZERROR_BADVALUE (plain files: -1, as a
//   failed SetFilePointer gives)
//   registry opens, creates and deletes ERROR_ACCESS_DENIED, queries,
//   enumerations and sets ERROR_KEY_DELETED (another program removed the key meanwhile)
//   service manager (configuration queries too): ERROR_ACCESS_DENIED; ControlService and StartServiceA
//   ERROR_SERVICE_REQUEST_TIMEOUT
#ifndef HOSTWIN_FAULTS_H
#define HOSTWIN_FAULTS_H

#include <windows.h>

#include <string>
#include <vector>

namespace hostwin {

struct FallibleCall {
    std::string call;    // "CreateFileA", "LZRead", "RegSetValueExA", ...
    std::string target;  // the path, key (with the value name) or service it concerns
    DWORD injected;      // the error it was made to fail with; 0 when it ran as usual
};

// Calls are always counted. CountCalls starts afresh: the log is emptied and
// the next call is number 1. With failAt > 0 call number failAt fails, and
// with persist every call after it too. Reset empties the log and fails
// nothing.
void CountCalls(int failAt = 0, bool persist = false);
// From now on no call is made to fail by CountCalls; the log is kept and grows.
void StopFailingCalls();
// The calls counted since CountCalls, in order.
const std::vector<FallibleCall>& FallibleCalls();

// Every call of this name fails with error until Reset (whether or not calls
// are being counted).
void FailEveryCall(const char* call, DWORD error);

}  // namespace hostwin

#endif
