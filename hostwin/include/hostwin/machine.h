// Control panel of the stand-in machine: tests use it to set up the simulated
// Windows and to look at what the program did to it. Not available under
// Windows/Wine; tests that need it skip themselves there.
#ifndef HOSTWIN_MACHINE_H
#define HOSTWIN_MACHINE_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hostwin {

// Back to a fresh machine: Windows XP SP2 (NT 5.1.2600), administrator,
// Windows directory C:\WINDOWS (GetSystemWindowsDirectoryA's too),
// program C:\SETUP\setup.exe, current directory C:\, clock at 0 ms, local
// time 2026-12-06 12:00:00; no windows, named objects, message boxes or
// services; the registry keys HKLM\Software, HKLM\System\CurrentControlSet\Services,
// HKCU\Software and HKEY_USERS\.DEFAULT\Software and nothing else.
void Reset();

// ---- system -----------------------------------------------------------------
struct Version { DWORD platform, major, minor, build; };
void SetVersion(const Version& version);
// The directories are made on the simulated disk.
void SetWindowsDirectory(const char* path);
void SetSystemWindowsDirectory(const char* path);
// The program's file is in use from its start (the first GetModuleFileNameA
// after SetModuleFileName) until Restart. As Windows keeps a running
// program's image mapped, it can be renamed (and stays in use under its new
// name), but neither deleted nor replaced (ERROR_ACCESS_DENIED) nor opened
// for writing (ERROR_SHARING_VIOLATION).
void SetModuleFileName(const char* path);
void SetAdministrator(bool administrator);
bool IsAdministrator();
std::string CurrentDirectory();
// Every path handed to SetCurrentDirectoryA, with its result.
struct DirectoryChange { std::string path; BOOL result; };
const std::vector<DirectoryChange>& DirectoryChanges();
// Named mutexes: the program runs in a session of its own, where a name
// and "Global\\" with it are two objects; Windows NT 4.0 refuses names with
// a backslash. A mutex held by another user's program (a service running as
// SYSTEM) cannot be opened: CreateMutexA gives ERROR_ACCESS_DENIED.
void HoldOtherUsersMutex(const char* name);
int LiveLocalAllocations();  // blocks not yet freed
int OpenHandleCount();       // kernel handles (mutexes, files)

// ---- where DLLs come from ------------------------------------------------------------
// Windows looks for a DLL named without a path in the program's folder first
// (unless SetDefaultDllDirectories says otherwise). Noted in order: the calls
// that change the search or load a DLL ("SetDefaultDllDirectories 0x800",
// "SetDllDirectoryA \"\"", "LoadLibraryExA C:\WINDOWS\system32\uxtheme.dll 0x8",
// "LoadLibraryA comctl32.dll"), and those of other DLLs that make Windows load
// one by name: "MessageBoxA" (the theme engine, sounds), "GetSecurityInfo"
// (NTMARTA). Nothing is searched: a name alone is found, a path when its file
// exists.
const std::vector<std::string>& LoaderCalls();
// GetProcAddress does not find the export, as on a Windows version without
// it: SetDefaultDllDirectories before 8 (Vista and 7 without their loader
// update), SetDllDirectoryA before XP SP1, GetSecurityInfo on Windows 98.
void HideExport(const char* name);

// Virtual clock: Sleep advances it instead of waiting.
std::uint64_t Now();
const std::vector<DWORD>& Sleeps();
// Runs after every Sleep, as another thread would act during the pause.
void SetSleepHook(std::function<void()> hook);

// ---- message boxes ----------------------------------------------------------
struct MessageBoxRecord { HWND owner; std::string text, caption; UINT type; int answer; };
// A box is answered by the next queued answer, else with its default button
// (as if Enter was pressed).
void QueueMessageBoxAnswers(std::initializer_list<int> answers);
const std::vector<MessageBoxRecord>& MessageBoxes();
void ClearMessageBoxes();

// ---- windows: they live until Reset or DestroyWindow ------------------------------
HWND CreateWindow(const char* className, const char* title = "");
HWND CreateControl(HWND parent, int id, const char* text = "");
void DestroyWindow(HWND window);
std::string ControlText(HWND parent, int id);
// Called at every redraw request (InvalidateRect): lets a test see what a
// window would show at each one.
void SetRedrawHandler(std::function<void(HWND window, BOOL erase)> handler);
// Every change of the cursor, by resource id (32512 arrow, 32514 wait; 0 another).
const std::vector<int>& CursorHistory();

// ---- counted calls and injected failures -----------------------------------------------
// Counted: the calls of files, LZ32, registry and services that can fail
// (each declares an internal::FaultPoint), not those the stand-in makes
// itself while serving one (LZ32 reading its file). A failed call does
// nothing but report the error Windows would plausibly give it: opens,
// creations, moves and key deletions ERROR_ACCESS_DENIED, reads ERROR_CRC,
// writes ERROR_DISK_FULL, registry queries and sets ERROR_KEY_DELETED, ...
struct FallibleCall {
    std::string call;    // "CreateFileA", "LZRead", "RegSetValueExA", ...
    std::string target;  // the path, key (with the value name) or service it concerns
    DWORD injected;      // the error it was made to fail with; 0 when it ran as usual
};
// Starts counting afresh (number 1 is the next call). With failAt > 0 that
// call fails.
void CountCalls(int failAt = 0);
const std::vector<FallibleCall>& FallibleCalls();
// The power goes as the byte-th byte written to path (counted over every
// write to it from now on; 0: never) would reach the disk: that write keeps
// the bytes before it and fails, and so does every fallible call after it,
// until Restart.
void CutPowerAt(const char* path, std::uint64_t byte);
std::uint64_t BytesWrittenTo();  // the path's bytes since CutPowerAt
// Windows starts again: every handle of the programs that ran is gone (files
// held open too), calls no longer fail, services stop, those marked for
// deletion leave, and those started at boot, by the system or automatically
// start; the files MoveFileExA was to delete at the next boot go.
void Restart();

// ---- files ----------------------------------------------------------------------------
// The simulated disks live in a host directory that Reset makes anew. Windows
// paths map onto it with their own rules: drive letters and shares, '\' and
// '/', "." and "..", trailing dots and blanks dropped from the last name,
// names compared without regard to (ASCII) case but stored as first written.
// A file deleted while open leaves its directory at once; no streams, device
// names or short names.
// Existing parts found regardless of case, the rest appended as written;
// empty for a path that is not valid or whose drive or share does not exist.
std::string HostPath(const char* windowsPath);
bool MakeDirectories(const char* windowsPath);  // drive or share included
int OpenFileCount();                            // files the program has open
// Another program holds the existing file open for reading and writing,
// sharing nothing, until ReleaseHeld or Reset; false when missing or open.
bool HoldOpen(const char* path);
void ReleaseHeld(const char* path);
int OpenLzFileCount();  // files open through LZInit (handles 0x400..0x40F)
// Another name for an existing file: a hard link (one file, two names), or a
// symbolic link, a reparse point that Windows follows unless it is opened
// with FILE_FLAG_OPEN_REPARSE_POINT (the link itself then, with
// FILE_ATTRIBUTE_REPARSE_POINT). false when it cannot be made.
bool MakeLink(const char* existing, const char* newName, bool symbolic);
// Owners, as GetSecurityInfo reads them: a file the program creates belongs
// to the Administrators group when the user is an administrator (an
// administrator's default owner), else to the user, the process token's
// user (S-1-5-21-7-7-7-1000); on a share to the account the server knows,
// here another one (...-1001), as SYSTEM's files there belong to the
// computer's account.
enum FileOwner { OWNER_ADMINISTRATORS, OWNER_SYSTEM, OWNER_USER, OWNER_OTHER_USER };
bool SetFileOwner(const char* path, FileOwner owner);

// ---- registry -------------------------------------------------------------------------
// Paths are relative to their root; names compare without regard to case.
// Opening or creating a key with more access than the user's rights is
// refused with ERROR_ACCESS_DENIED; creating a sub-key needs
// KEY_CREATE_SUB_KEY on the parent, deleting a key DELETE on it. By default
// an administrator has full rights, any other user full rights under
// HKEY_CURRENT_USER and read rights elsewhere; SetKeyRights sets them for a
// key (root: "") and what is below it, unless a deeper setting says otherwise.
const REGSAM KEY_RIGHTS_FULL = KEY_ALL_ACCESS;
const REGSAM KEY_RIGHTS_READ = KEY_READ;
void SetKeyRights(HKEY root, const char* path, REGSAM rights);
// Seen from outside (no rights apply).
bool KeyExists(HKEY root, const char* path);
// With everything below it; handles still open there answer ERROR_KEY_DELETED.
void DeleteKeyTree(HKEY root, const char* path);
std::vector<std::string> SubKeyNames(HKEY root, const char* path);
std::vector<std::string> ValueNames(HKEY root, const char* path);
struct RegistryValue {
    DWORD type = 0;          // REG_NONE
    std::vector<BYTE> data;  // exactly as stored
};
// Values are written with their key made when missing; strings with their NUL.
void SetValue(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size);
void SetStringValue(HKEY root, const char* path, const char* name, const char* text);
void SetDwordValue(HKEY root, const char* path, const char* name, DWORD value);
bool FindValue(HKEY root, const char* path, const char* name, RegistryValue* value = nullptr);
std::vector<std::string> OpenKeyPaths();  // as "HKLM\path"

// ---- services -------------------------------------------------------------------------
// Each service has its key in HKLM (Type, Start, ErrorControl, ImagePath as
// REG_EXPAND_SZ, DisplayName, DependOnService when there are dependencies,
// Group when it has one, ObjectName for Win32 services), gone with the record. A user who is not an
// administrator may connect to the manager and query, nothing more.
// StartServiceA starts a service (and first what it depends on) at once; an
// accepted stop stops it at once, or after a scripted number of status
// queries in SERVICE_STOP_PENDING. DeleteService marks the record; it
// leaves when the service is stopped and its last handle closed.
struct ServiceRecord {
    std::string name;
    std::string displayName;  // empty: the name
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string imagePath;
    std::vector<std::string> dependencies;
    std::string group;    // load-order group; empty: none
    std::string account;  // empty: the system's (LocalSystem for a Win32 service)
    DWORD state = SERVICE_STOPPED;
    bool markedForDeletion = false;  // filled in by FindService
};
void AddService(const ServiceRecord& record);  // installed before the program ran
bool FindService(const char* name, ServiceRecord* record = nullptr);
std::vector<std::string> ServiceNames();
// Scripted by service name, kept when the service is deleted and created
// again: status queries in SERVICE_STOP_PENDING after a stop (-1: for ever).
void SetStopPendingPolls(const char* name, int polls);
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

}  // namespace hostwin

#endif
