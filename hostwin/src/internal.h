// Shared plumbing of the stand-in: one lock for the whole simulated machine,
// reset hooks for each area, and the table of kernel handles.
#ifndef HOSTWIN_INTERNAL_H
#define HOSTWIN_INTERNAL_H

#include <windows.h>

#include <hostwin/machine.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

// What the stand-in's calls report beyond the codes the program names
// itself (windows.h declares only those).
const DWORD ERROR_NOT_ENOUGH_MEMORY = 8, ERROR_CRC = 23, ERROR_WRITE_FAULT = 29,
    ERROR_SHARING_VIOLATION = 32, ERROR_BAD_NETPATH = 53, ERROR_INVALID_PARAMETER = 87, ERROR_DISK_FULL = 112,
    ERROR_INVALID_NAME = 123, ERROR_NEGATIVE_SEEK = 131, ERROR_DIR_NOT_EMPTY = 145,
    ERROR_FILENAME_EXCED_RANGE = 206, ERROR_MORE_DATA = 234, ERROR_DIRECTORY = 267, ERROR_KEY_DELETED = 1018,
    ERROR_SERVICE_ALREADY_RUNNING = 1056, ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061, ERROR_SERVICE_DEPENDENCY_FAIL = 1068,
    ERROR_SERVICE_DEPENDENCY_DELETED = 1075, FILE_BEGIN = 0, FILE_CURRENT = 1;

namespace hostwin {
namespace internal {

// Every API entry point that touches shared state holds this lock.
std::recursive_mutex& MachineLock();
#define HOSTWIN_LOCK() std::lock_guard<std::recursive_mutex> hostwinLock_(::hostwin::internal::MachineLock())

// Each area registers how it returns to a fresh machine; Reset runs them in
// registration order. Use from a static initialiser:
//   static const bool registered = RegisterReset([] { ... });
bool RegisterReset(std::function<void()> reset);
// The same for what Restart changes.
bool RegisterRestart(std::function<void()> restart);

// Kernel objects behind HANDLE values. Each kind supplies its own object;
// CloseHandle removes the entry and lets the object go.
struct KernelObject {
    virtual ~KernelObject() = default;
};
HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);

// Upper-cases ASCII letters (Windows names compare case-insensitively).
std::string UpperAscii(const std::string& text);

// Loader (system.cpp): notes a call for LoaderCalls.
void NoteLoaderCall(const std::string& call);
// The bytes of an owner's SID, as Windows lays one out.
std::string SidBytes(FileOwner owner);

// Files (files.cpp). The program runs from path (see SetModuleFileName),
// from now until Restart; null: it runs from no file yet.
void RunFrom(const char* path);
// The full path GetFullPathNameA would form, against the
// current directory; 0 or the error code the file functions give.
DWORD FullPathName(const char* path, std::string* full);
// The upper-case full path of an open file, empty for another handle.
std::string FileKeyOf(HANDLE handle);
// For SetCurrentDirectoryA: 0 and the full path when path names an existing
// directory, else the error code.
DWORD ExistingDirectory(const char* path, std::string* full);

// Declared first thing by every entry point whose call can fail (see
// hostwin/machine.h): counts the call, unless the stand-in makes it itself
// from within another counted call, and says whether it is to fail, with
// error.
class FaultPoint {
public:
    FaultPoint(const char* call, const std::string& target, DWORD error);
    ~FaultPoint();
    FaultPoint(const FaultPoint&) = delete;
    FaultPoint& operator=(const FaultPoint&) = delete;
    bool Fails() const { return fails_; }
    DWORD Error() const { return error_; }
    // Fails(), and when so the last error set to Error().
    bool FailsSettingError() const {
        if (fails_) SetLastError(error_);
        return fails_;
    }

private:
    bool fails_;
    DWORD error_;
};

// How many of count bytes written to the file (its upper-case full path)
// reach the disk before the power goes (see CutPowerAt).
DWORD BytesBeforePowerCut(const std::string& key, DWORD count);

// Sets the last error and gives the result a failed call returns.
template <typename T = BOOL>
T Fail(DWORD error, T result = T()) {
    SetLastError(error);
    return result;
}

// Copies text into a caller's buffer the way most Win32 text getters do:
// at most size - 1 characters and a NUL; returns the characters copied.
size_t CopyOut(const std::string& text, char* buffer, size_t size);

}  // namespace internal
}  // namespace hostwin

#endif
