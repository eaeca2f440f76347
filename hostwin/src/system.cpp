// KERNEL32 basics of the stand-in: version record, directories, modules,
// current directory, error mode, named mutexes, MulDiv, local memory.
#include "internal.h"

#include <hostwin/machine.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

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
    const char* last = std::strrchr(path, '\\');
    if (last && last > path) MakeDirectories(std::string(path, last).c_str());
}
void HoldOtherUsersMutex(const char* name) { HOSTWIN_LOCK(); Sys().othersMutexes[name] = 1; }
void SetAdministrator(bool administrator) { HOSTWIN_LOCK(); Sys().administrator = administrator; }
bool IsAdministrator() { HOSTWIN_LOCK(); return Sys().administrator; }
std::string CurrentDirectory() { HOSTWIN_LOCK(); return Sys().currentDirectory; }
const std::vector<DirectoryChange>& DirectoryChanges() { return Sys().directoryChanges; }
int LiveLocalAllocations() { HOSTWIN_LOCK(); return Sys().liveAllocations; }

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

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) { return GiveText("C:\\WINDOWS\\TEMP\\", buffer, size); }

// The program asks for itself and for KERNEL32, and there for one function.
HMODULE WINAPI GetModuleHandleA(LPCSTR name) { return name ? kernelModule : programModule; }

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == kernelModule && std::strcmp(name, "GetSystemWindowsDirectoryA") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&StandInGetSystemWindowsDirectoryA));
    }
    return Fail<FARPROC>(127);  // ERROR_PROC_NOT_FOUND
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    HOSTWIN_LOCK();
    const std::string& path = Sys().moduleFileName;
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
