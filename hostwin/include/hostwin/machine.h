// Control panel of the stand-in machine: tests use it to set up the simulated
// Windows (version, directories, rights, scripted message boxes, windows) and
// to look at what the program did to it. Not available under Windows/Wine;
// tests that need it skip themselves there.
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
// time 2026-12-06 12:00:00, no windows, no named objects, no message boxes.
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

void SetWindowsDirectory(const char* path);
// The directory GetSystemWindowsDirectoryA reports; nullptr removes the
// export from KERNEL32 (as on NT 4.0).
void SetSystemWindowsDirectory(const char* pathOrNull);
void SetModuleFileName(const char* path);
void SetAdministrator(bool administrator);
bool IsAdministrator();

std::string CurrentDirectory();
// Every path handed to SetCurrentDirectoryA, with its result.
struct DirectoryChange {
    std::string path;
    BOOL result;
};
const std::vector<DirectoryChange>& DirectoryChanges();

// Local memory: make LocalAlloc fail, and count blocks not yet freed.
void SetLocalAllocFails(bool fails);
int LiveLocalAllocations();

// Kernel handles (mutexes, files, ...) currently open.
int OpenHandleCount();

// ---- virtual clock ------------------------------------------------------------
// Sleep advances the clock instead of waiting.
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
    DWORD threadId;  // hostwin thread number of the caller
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

// ---- cursor -------------------------------------------------------------------------
// Every change of the cursor, by resource id (32512 arrow, 32514 wait); 0
// for a cursor that is not a system cursor.
const std::vector<int>& CursorHistory();

}  // namespace hostwin

// Controls of the larger areas, one header each.
#include <hostwin/faults.h>
#include <hostwin/files.h>
#include <hostwin/lz.h>
#include <hostwin/registry.h>
#include <hostwin/services.h>

#endif
