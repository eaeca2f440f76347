// Control panel of the stand-in machine: tests use it to set up the simulated
// Windows (version, directories, rights, disks, registry, services, scripted
// message boxes, windows) and to look at what the program did to it. Not
// available under Windows/Wine; tests that need it skip themselves there.
#ifndef HOSTWIN_MACHINE_H
#define HOSTWIN_MACHINE_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hostwin {

// Back to a fresh machine: Windows XP SP2 (NT 5.1.2600), administrator,
// Windows directory C:\WINDOWS with GetSystemWindowsDirectoryA present,
// program C:\SETUP\setup.exe, current directory C:\, clock at 0 ms and local
// time 2026-12-06 12:00:00, no windows, named objects, message boxes or
// services, and the registry keys HKLM\Software,
// HKLM\System\CurrentControlSet\Services, HKCU\Software and
// HKEY_USERS\.DEFAULT\Software.
void Reset();

// ---- system -----------------------------------------------------------------
struct Version {
    DWORD platform;
    DWORD major;
    DWORD minor;
    DWORD build;
};
void SetVersion(const Version& version);
void SetVersionQueryFails(bool fails);
// The record size GetVersionExA last saw (to check the caller filled it).
DWORD LastVersionQuerySize();

// The directories are made on the simulated disk.
void SetWindowsDirectory(const char* path);
// The directory GetSystemWindowsDirectoryA reports; nullptr removes the
// export from KERNEL32 (as on NT 4.0).
void SetSystemWindowsDirectory(const char* pathOrNull);
void SetModuleFileName(const char* path);
void SetAdministrator(bool administrator);
bool IsAdministrator();

std::string CurrentDirectory();
// Every path handed to SetCurrentDirectoryA, and to CreateDirectoryA, with its result.
struct DirectoryChange {
    std::string path;
    BOOL result;
};
const std::vector<DirectoryChange>& DirectoryChanges();
const std::vector<DirectoryChange>& DirectoryCreations();

// Local memory: make LocalAlloc fail, and count blocks not yet freed.
void SetLocalAllocFails(bool fails);
int LiveLocalAllocations();

// Kernel handles (mutexes, files) currently open.
int OpenHandleCount();

// ---- virtual clock: Sleep advances it instead of waiting ------------------------
std::uint64_t Now();
const std::vector<DWORD>& Sleeps();
// Called at the end of every Sleep, with its length: what happens meanwhile.
void SetSleepHandler(std::function<void(DWORD milliseconds)> handler);

// ---- message boxes ----------------------------------------------------------
struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    int answer;
};
// Answers given to the next message boxes, in order. When the queue is
// empty a box is answered with its default button (as if Enter was pressed).
void QueueMessageBoxAnswers(std::initializer_list<int> answers);
// Called for every box before it is answered; may return an answer (or 0 to
// use the queue / default button).
void SetMessageBoxHandler(std::function<int(const MessageBoxRecord&)> handler);
// Make MessageBoxA fail (return 0) as when no box can be shown.
void SetMessageBoxFails(bool fails);
const std::vector<MessageBoxRecord>& MessageBoxes();
void ClearMessageBoxes();

// ---- windows ---------------------------------------------------------------------
// A top-level window of the given class; its controls are made with
// CreateControl. Windows live until Reset or DestroyWindow.
HWND CreateWindow(const char* className, const char* title = "");
HWND CreateControl(HWND parent, int id, const char* text = "");
void DestroyWindow(HWND window);
std::string WindowText(HWND window);
std::string ControlText(HWND parent, int id);
// Every text a window was given with WM_SETTEXT, in order.
std::vector<std::string> TextHistory(HWND window);
// Called at every redraw request (InvalidateRect): lets a test see what a
// window would show at each one.
void SetRedrawHandler(std::function<void(HWND window, BOOL erase)> handler);
// Every change of the cursor, by resource id (32512 arrow, 32514 wait); 0
// for a cursor that is not a system cursor.
const std::vector<int>& CursorHistory();

// ---- counted calls and injected failures -----------------------------------------------
// Counted calls: CreateFileA, ReadFile, WriteFile, FlushFileBuffers,
// MoveFileExA, DeleteFileA, CreateDirectoryA; LZInit, LZRead, LZSeek;
// RegCreateKeyExA, RegOpenKeyExA, RegQueryValueExA, RegSetValueExA,
// RegDeleteKeyA; OpenSCManagerA, CreateServiceA, OpenServiceA,
// ControlService, QueryServiceStatus, DeleteService, StartServiceA. A call
// the stand-in makes itself while serving one of these (LZ32 reading its
// file) is not counted. A failed call does nothing but report its error, as
// Windows would plausibly give it: ERROR_ACCESS_DENIED for opens, creations,
// moves, deletions of keys and the service manager; reads ERROR_CRC, writes
// ERROR_DISK_FULL, flushes ERROR_WRITE_FAULT, file deletions
// ERROR_SHARING_VIOLATION; LZInit LZERROR_GLOBALLOC, LZRead LZERROR_READ,
// LZSeek LZERROR_BADVALUE (plain files: -1, as a failed SetFilePointer
// gives); registry queries and sets ERROR_KEY_DELETED (another program
// removed the key meanwhile); ControlService and StartServiceA
// ERROR_SERVICE_REQUEST_TIMEOUT.
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
const std::vector<FallibleCall>& FallibleCalls();
// Every call of this name fails with error until Reset.
void FailEveryCall(const char* call, DWORD error);

// ---- files ----------------------------------------------------------------------------
// The simulated disk lives in a host directory that Reset makes anew: drive
// C: holding C:\WINDOWS and C:\SETUP. Windows paths map onto it with their
// own rules: drive letters, '\' and '/', "." and "..", trailing dots and
// blanks dropped from the last name, names compared without regard to
// (ASCII) case but stored as first written. Attributes, sharing and faults
// are kept by the stand-in. Known simplifications: no network paths; a file
// deleted while still open leaves its directory at once; no streams, device
// names or short names.
std::string HostRoot();
// The host path of a Windows path: existing parts found regardless of case,
// the rest appended as written. Empty when the path is not valid or its
// drive does not exist.
std::string HostPath(const char* windowsPath);
// Every missing directory of a path, its drive included.
bool MakeDirectories(const char* windowsPath);
// Files the program has open through kernel handles.
int OpenFileCount();
// Only this many more bytes fit on the disk: a write that would grow the
// files beyond it fails whole with ERROR_DISK_FULL. Deleting or truncating
// files gives their space back.
void SetDiskFullAfter(std::uint64_t bytes);
// A read of the file that would reach the byte at offset fails whole with
// ERROR_CRC (bytes before it are read as usual by the reads before).
void FailReadAt(const char* path, std::uint64_t offset);
// Another program opens the existing file for reading and writing, sharing
// nothing, and keeps it open until ReleaseHeld or Reset. False when the file
// is missing or already open.
bool HoldOpen(const char* path);
void ReleaseHeld(const char* path);
// Compressed files open through LZInit (handles 0x400..0x40F).
int OpenLzFileCount();

// ---- registry -------------------------------------------------------------------------
// Paths are relative to their root ("Software\Vendor"); names compare
// without regard to case. What the user may do with a key is an access
// mask: opening or creating a key with more access is refused with
// ERROR_ACCESS_DENIED; creating a sub-key needs KEY_CREATE_SUB_KEY on the
// parent, deleting a key DELETE on the key itself. Without settings an
// administrator has full rights everywhere and any other user full rights
// under HKEY_CURRENT_USER and read rights elsewhere. SetKeyRights overrides
// that for the key at path (root itself: "") and everything below it,
// unless a deeper setting says otherwise.
const REGSAM KEY_RIGHTS_FULL = KEY_ALL_ACCESS;
const REGSAM KEY_RIGHTS_READ = KEY_READ;
void SetKeyRights(HKEY root, const char* path, REGSAM rights);

// Keys and values seen from outside (no rights apply).
bool KeyExists(HKEY root, const char* path);
// Removes a key with everything below it; handles still open on those keys
// then answer ERROR_KEY_DELETED.
void DeleteKeyTree(HKEY root, const char* path);
std::vector<std::string> SubKeyNames(HKEY root, const char* path);
std::vector<std::string> ValueNames(HKEY root, const char* path);
struct RegistryValue {
    DWORD type = 0;          // REG_NONE
    std::vector<BYTE> data;  // exactly as stored
    // The data up to the first NUL (all of it when there is none).
    std::string Text() const;
    DWORD Dword() const;  // 0 unless the data holds at least 4 bytes
};
// Writes a value (the key is created when missing).
void SetValue(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size);
void SetStringValue(HKEY root, const char* path, const char* name, const char* text);  // REG_SZ with its NUL
void SetDwordValue(HKEY root, const char* path, const char* name, DWORD value);
bool FindValue(HKEY root, const char* path, const char* name, RegistryValue* value = nullptr);
// Keys opened through HKEYs that are not yet closed, as "HKLM\path".
int OpenKeyCount();
std::vector<std::string> OpenKeyPaths();

// ---- services -------------------------------------------------------------------------
// Each service also has its registry key in HKLM, the services key's NAME
// (Type, Start, ErrorControl, ImagePath as REG_EXPAND_SZ,
// DisplayName, DependOnService when there are dependencies, ObjectName for
// Win32 services); the key goes, with everything below it, when the record
// goes. A user who is not an administrator may connect to the manager and
// query services, nothing more. StartServiceA makes a service (and first
// the services it depends on) SERVICE_RUNNING at once; an accepted stop
// makes it SERVICE_STOPPED at once, or SERVICE_STOP_PENDING for a scripted
// number of status queries. DeleteService marks the record; it disappears
// when the service is stopped and its last handle is closed.
struct ServiceRecord {
    std::string name;
    std::string displayName;  // empty: the name
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string imagePath;
    std::vector<std::string> dependencies;
    DWORD state = SERVICE_STOPPED;
    bool markedForDeletion = false;  // filled in by FindService
};
// A service that was installed before the program ran.
void AddService(const ServiceRecord& record);
bool FindService(const char* name, ServiceRecord* record = nullptr);
std::vector<std::string> ServiceNames();
void SetServiceState(const char* name, DWORD state);

// Scripted behaviour, by service name; kept when the service is deleted and
// created again, cleared by Reset. After an accepted stop the service
// reports SERVICE_STOP_PENDING to this many status queries before it is
// stopped; -1: it never leaves that state.
void SetStopPendingPolls(const char* name, int polls);
// The service does not accept the stop control (ERROR_INVALID_SERVICE_CONTROL).
void SetStopRefused(const char* name, bool refused);
// StartServiceA or QueryServiceStatus fails with this error (0: it works).
void SetStartFails(const char* name, DWORD error);
void SetStatusQueryFails(const char* name, DWORD error);

// Handles to the manager and to services not yet closed.
int OpenServiceHandleCount();
// Every call of the service API, in order, with the virtual clock's time.
struct ServiceCall {
    std::string call;     // "OpenSCManagerA", "CreateServiceA", "OpenServiceA", ...
    std::string service;  // empty for the manager
    std::uint64_t time;
    BOOL succeeded;
    DWORD error;  // GetLastError after a failure, else 0
};
const std::vector<ServiceCall>& ServiceCalls();
void ClearServiceCalls();

}  // namespace hostwin

#endif
