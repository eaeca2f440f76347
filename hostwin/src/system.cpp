// KERNEL32 basics of the stand-in: version record, directories, modules,
// current directory, error mode, named mutexes, MulDiv, local memory.
#include "internal.h"

#include <hostwin/machine.h>

#include <aclapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace hostwin {
namespace {

struct System {
    Version version = {VER_PLATFORM_WIN32_NT, 5, 1, 2600};
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string systemWindowsDirectory = "C:\\WINDOWS", moduleFileName = "C:\\SETUP\\setup.exe";
    bool administrator = true;
    std::string currentDirectory = "C:\\";
    std::vector<DirectoryChange> directoryChanges;
    std::map<std::string, int> namedMutexes;  // name -> open handles
    std::map<std::string, int> othersMutexes;  // held by another user
    int liveAllocations = 0;
    std::vector<std::string> loaderCalls;
    std::set<std::string> hiddenExports;
};

System& Sys() {
    static System system;
    return system;
}

const bool registered = internal::RegisterReset([] { Sys() = System(); });

// Module handles: the program itself and KERNEL32.
HMODULE const programModule = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x00400000));
HMODULE const kernelModule = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7C800000));

struct Mutex : internal::KernelObject {
    std::string name;
    ~Mutex() override {
        HOSTWIN_LOCK();
        auto found = Sys().namedMutexes.find(name);
        if (found != Sys().namedMutexes.end() && --found->second == 0) Sys().namedMutexes.erase(found);
    }
};

// A directory or path handed out as the getters do: its length, or the size
// the buffer needs when it does not fit.
DWORD GiveText(const std::string& text, LPSTR buffer, DWORD size) {
    if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    return static_cast<DWORD>(internal::CopyOut(text, buffer, size));
}

UINT WINAPI StandInGetSystemWindowsDirectoryA(LPSTR buffer, UINT size) {
    HOSTWIN_LOCK();
    return GiveText(Sys().systemWindowsDirectory, buffer, size);
}

BOOL WINAPI StandInSetDefaultDllDirectories(DWORD flags) {
    char call[64];
    std::snprintf(call, sizeof call, "SetDefaultDllDirectories 0x%X", static_cast<unsigned>(flags));
    internal::NoteLoaderCall(call);
    return TRUE;
}

BOOL WINAPI StandInSetDllDirectoryA(LPCSTR path) {
    internal::NoteLoaderCall(std::string("SetDllDirectoryA \"") + (path ? path : "(null)") + "\"");
    return TRUE;
}

template <typename F>
FARPROC Export(F function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

// The functions the program looks up rather than imports.
const std::map<std::string, FARPROC>& Exports() {
    static const std::map<std::string, FARPROC> exports = {
        {"GetSystemWindowsDirectoryA", Export(&StandInGetSystemWindowsDirectoryA)},
        {"SetDefaultDllDirectories", Export(&StandInSetDefaultDllDirectories)},
        {"SetDllDirectoryA", Export(&StandInSetDllDirectoryA)},
        {"GetSecurityInfo", Export(&GetSecurityInfo)},
    };
    return exports;
}

struct Token : internal::KernelObject {};

}  // namespace

void SetVersion(const Version& version) { HOSTWIN_LOCK(); Sys().version = version; }
// The directories a machine reports exist on its disk.
void SetWindowsDirectory(const char* path) {
    HOSTWIN_LOCK();
    Sys().windowsDirectory = path;
    MakeDirectories(path);
}
void SetSystemWindowsDirectory(const char* path) {
    HOSTWIN_LOCK();
    Sys().systemWindowsDirectory = path;
    MakeDirectories(path);
}
void SetModuleFileName(const char* path) {
    HOSTWIN_LOCK();
    Sys().moduleFileName = path;
    internal::RunFrom(nullptr);
    const char* last = std::strrchr(path, '\\');
    if (last && last > path) MakeDirectories(std::string(path, last).c_str());
}
void HoldOtherUsersMutex(const char* name) { HOSTWIN_LOCK(); Sys().othersMutexes[name] = 1; }
void SetAdministrator(bool administrator) { HOSTWIN_LOCK(); Sys().administrator = administrator; }
bool IsAdministrator() { HOSTWIN_LOCK(); return Sys().administrator; }
std::string CurrentDirectory() { HOSTWIN_LOCK(); return Sys().currentDirectory; }
const std::vector<DirectoryChange>& DirectoryChanges() { return Sys().directoryChanges; }
int LiveLocalAllocations() { HOSTWIN_LOCK(); return Sys().liveAllocations; }
const std::vector<std::string>& LoaderCalls() { return Sys().loaderCalls; }
void HideExport(const char* name) { HOSTWIN_LOCK(); Sys().hiddenExports.insert(name); }

namespace internal {

void NoteLoaderCall(const std::string& call) { HOSTWIN_LOCK(); Sys().loaderCalls.push_back(call); }

std::string SidBytes(FileOwner owner) {
    // Revision 1, the count of sub-authorities, the NT authority (5), then
    // the sub-authorities as 32-bit little-endian numbers.
    static const std::vector<DWORD> subAuthorities[] = {{32, 544}, {18}, {21, 7, 7, 7, 1000}, {21, 7, 7, 7, 1001}};
    const std::vector<DWORD>& parts = subAuthorities[owner];
    std::string sid = {1, static_cast<char>(parts.size()), 0, 0, 0, 0, 0, 5};
    for (DWORD part : parts) sid.append(reinterpret_cast<const char*>(&part), sizeof part);
    return sid;
}

}  // namespace internal

}  // namespace hostwin

using namespace hostwin;
using internal::Fail;

// The record size the program sets is checked where the tests run under Wine.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    HOSTWIN_LOCK();
    info->dwMajorVersion = Sys().version.major;
    info->dwMinorVersion = Sys().version.minor;
    info->dwBuildNumber = Sys().version.build;
    info->dwPlatformId = Sys().version.platform;
    return TRUE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    HOSTWIN_LOCK();
    return GiveText(Sys().windowsDirectory, buffer, size);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    HOSTWIN_LOCK();
    return GiveText(Sys().currentDirectory, buffer, size);
}

// The program asks for itself and for system DLLs, which are all one here.
HMODULE WINAPI GetModuleHandleA(LPCSTR name) { return name ? kernelModule : programModule; }

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    HOSTWIN_LOCK();
    auto found = Exports().find(name);
    if (module != kernelModule || found == Exports().end() || Sys().hiddenExports.count(name)) {
        return Fail<FARPROC>(127);  // ERROR_PROC_NOT_FOUND
    }
    return found->second;
}

HMODULE WINAPI LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
    char call[MAX_PATH + 64];
    std::snprintf(call, sizeof call, flags ? "LoadLibraryExA %s 0x%X" : "LoadLibraryA %s", name,
                  static_cast<unsigned>(flags));
    internal::NoteLoaderCall(call);
    if (std::strchr(name, '\\') && GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES) {
        return Fail<HMODULE>(126);  // ERROR_MOD_NOT_FOUND
    }
    return kernelModule;
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) { return LoadLibraryExA(name, nullptr, 0); }

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    HOSTWIN_LOCK();
    return GiveText(Sys().systemWindowsDirectory + "\\system32", buffer, size);
}

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD, HANDLE* token) {
    if (process != GetCurrentProcess()) return Fail(ERROR_INVALID_HANDLE);
    *token = internal::AddHandle(std::make_shared<Token>());
    return TRUE;
}

// The user as TOKEN_USER with its SID right behind.
BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID information, DWORD size,
                                LPDWORD needed) {
    if (!std::dynamic_pointer_cast<Token>(internal::FindHandle(token)) || kind != TokenUser) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::string sid = internal::SidBytes(OWNER_USER);
    *needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
    if (size < *needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    TOKEN_USER* user = static_cast<TOKEN_USER*>(information);
    user->User.Sid = user + 1;
    user->User.Attributes = 0;
    std::memcpy(user + 1, sid.data(), sid.size());
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    HOSTWIN_LOCK();
    const std::string& path = Sys().moduleFileName;
    internal::RunFrom(path.c_str());
    if (path.size() < size) return static_cast<DWORD>(internal::CopyOut(path, buffer, size));
    // As on Windows XP: a path that does not fit is cut to the buffer size
    // and is then not terminated.
    std::memcpy(buffer, path.data(), size);
    return Fail(ERROR_INSUFFICIENT_BUFFER, size);
}

// The directory must exist on the simulated disk; "X:" alone means the
// current directory of that drive (its root unless it is the current one).
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    HOSTWIN_LOCK();
    std::string full;
    DWORD error = internal::ExistingDirectory(path, &full);
    Sys().directoryChanges.push_back({path, error ? FALSE : TRUE});
    if (error) return Fail(error);
    Sys().currentDirectory = full;
    return TRUE;
}

// The name is not looked up: the path is formed against the current
// directory (or the current directory of its drive) only.
DWORD WINAPI GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    HOSTWIN_LOCK();
    std::string full;
    if (DWORD error = internal::FullPathName(path, &full)) return Fail<DWORD>(error);
    DWORD length = GiveText(full, buffer, size);
    size_t last = full.find_last_of('\\');
    // A path ending in a backslash has no file part.
    if (filePart && length < size) *filePart = last + 1 == full.size() ? nullptr : buffer + last + 1;
    return length;
}

// No box ever asks about a drive here; the program ignores the mode it replaces.
UINT WINAPI SetErrorMode(UINT) { return 0; }

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    HOSTWIN_LOCK();
    if (name && Sys().version.major < 5 && std::strchr(name, '\\')) return Fail<HANDLE>(ERROR_PATH_NOT_FOUND);
    if (name && Sys().othersMutexes.count(name)) return Fail<HANDLE>(ERROR_ACCESS_DENIED);
    auto mutex = std::make_shared<Mutex>();
    mutex->name = name ? name : "";  // object names are case-sensitive
    int& opened = Sys().namedMutexes[mutex->name];
    DWORD error = opened++ > 0 && !mutex->name.empty() ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    HANDLE handle = internal::AddHandle(mutex);
    SetLastError(error);
    return handle;
}

BOOL WINAPI CloseHandle(HANDLE handle) { return internal::RemoveHandle(handle) ? TRUE : Fail(ERROR_INVALID_HANDLE); }

// Rounds half away from zero; -1 when the result does not fit.
int WINAPI MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    LONGLONG product = static_cast<LONGLONG>(number) * numerator * (denominator < 0 ? -1 : 1);
    LONGLONG d = denominator < 0 ? -static_cast<LONGLONG>(denominator) : denominator;
    LONGLONG result = product < 0 ? (product - d / 2) / d : (product + d / 2) / d;
    return result > 2147483647LL || result < -2147483647LL ? -1 : static_cast<int>(result);
}

// Blocks always come zeroed (the program asks for LPTR).
HLOCAL WINAPI LocalAlloc(UINT, SIZE_T bytes) {
    HOSTWIN_LOCK();
    void* block = std::calloc(bytes ? bytes : 1, 1);
    if (!block) return Fail<HLOCAL>(ERROR_NOT_ENOUGH_MEMORY);
    ++Sys().liveAllocations;
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
    HOSTWIN_LOCK();
    if (memory) --Sys().liveAllocations;
    std::free(memory);
    return nullptr;
}
