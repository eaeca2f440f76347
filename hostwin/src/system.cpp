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
    bool versionFails = false;
    DWORD lastVersionSize = 0;
    std::string windowsDirectory = "C:\\WINDOWS";
    bool systemWindowsDirectoryPresent = true;
    std::string systemWindowsDirectory = "C:\\WINDOWS";
    std::string moduleFileName = "C:\\SETUP\\setup.exe";
    std::string tempPath = "C:\\WINDOWS\\TEMP\\";
    bool administrator = true;
    std::string currentDirectory = "C:\\";
    std::vector<DirectoryChange> directoryChanges;
    UINT errorMode = 0;
    std::map<std::string, int> namedMutexes;  // name -> open handles
    bool localAllocFails = false;
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
        if (name.empty()) return;
        HOSTWIN_LOCK();
        auto found = Sys().namedMutexes.find(name);
        if (found != Sys().namedMutexes.end() && --found->second == 0) Sys().namedMutexes.erase(found);
    }
    internal::HandleKind Kind() const override { return internal::HandleKind::Mutex; }
};

UINT WINAPI StandInGetSystemWindowsDirectoryA(LPSTR buffer, UINT size) {
    HOSTWIN_LOCK();
    const std::string& dir = Sys().systemWindowsDirectory;
    if (!buffer || size <= dir.size()) return static_cast<UINT>(dir.size() + 1);
    internal::CopyOut(dir, buffer, size);
    return static_cast<UINT>(dir.size());
}

}  // namespace

void SetVersion(const Version& version) {
    HOSTWIN_LOCK();
    Sys().version = version;
}
void SetVersionQueryFails(bool fails) {
    HOSTWIN_LOCK();
    Sys().versionFails = fails;
}
DWORD LastVersionQuerySize() { return Sys().lastVersionSize; }
// The directories a machine reports exist on its disks.
void SetWindowsDirectory(const char* path) {
    HOSTWIN_LOCK();
    Sys().windowsDirectory = path;
    MakeDirectories(path);
}
void SetSystemWindowsDirectory(const char* pathOrNull) {
    HOSTWIN_LOCK();
    Sys().systemWindowsDirectoryPresent = pathOrNull != nullptr;
    Sys().systemWindowsDirectory = pathOrNull ? pathOrNull : "";
    if (pathOrNull) MakeDirectories(pathOrNull);
}
void SetModuleFileName(const char* path) {
    HOSTWIN_LOCK();
    Sys().moduleFileName = path;
    std::string directory = path;
    size_t lastBackslash = directory.rfind('\\');
    if (lastBackslash != std::string::npos && lastBackslash > 0) {
        MakeDirectories(directory.substr(0, lastBackslash).c_str());
    }
}
void SetAdministrator(bool administrator) {
    HOSTWIN_LOCK();
    Sys().administrator = administrator;
}
bool IsAdministrator() {
    HOSTWIN_LOCK();
    return Sys().administrator;
}
std::string CurrentDirectory() {
    HOSTWIN_LOCK();
    return Sys().currentDirectory;
}
const std::vector<DirectoryChange>& DirectoryChanges() { return Sys().directoryChanges; }
void SetLocalAllocFails(bool fails) {
    HOSTWIN_LOCK();
    Sys().localAllocFails = fails;
}
int LiveLocalAllocations() {
    HOSTWIN_LOCK();
    return Sys().liveAllocations;
}

}  // namespace hostwin

using namespace hostwin;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    HOSTWIN_LOCK();
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Sys().lastVersionSize = info->dwOSVersionInfoSize;
    // Windows accepts the plain and the extended record sizes only.
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (Sys().versionFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = Sys().version.major;
    info->dwMinorVersion = Sys().version.minor;
    info->dwBuildNumber = Sys().version.build;
    info->dwPlatformId = Sys().version.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    HOSTWIN_LOCK();
    const std::string& dir = Sys().windowsDirectory;
    if (!buffer || size <= dir.size()) return static_cast<UINT>(dir.size() + 1);
    internal::CopyOut(dir, buffer, size);
    return static_cast<UINT>(dir.size());
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (!name) return programModule;
    std::string upper = internal::UpperAscii(name);
    if (upper == "KERNEL32.DLL" || upper == "KERNEL32") return kernelModule;
    SetLastError(126);  // ERROR_MOD_NOT_FOUND
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    HOSTWIN_LOCK();
    if (module == kernelModule && name && std::strcmp(name, "GetSystemWindowsDirectoryA") == 0 &&
        Sys().systemWindowsDirectoryPresent) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&StandInGetSystemWindowsDirectoryA));
    }
    SetLastError(127);  // ERROR_PROC_NOT_FOUND
    return nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    HOSTWIN_LOCK();
    if (module && module != programModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const std::string& path = Sys().moduleFileName;
    if (!buffer || size == 0) return 0;
    if (path.size() < size) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    // As on Windows XP: a path that does not fit is cut to the buffer size
    // and is then not terminated.
    std::memcpy(buffer, path.data(), size);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    HOSTWIN_LOCK();
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The directory must exist on the simulated disks; "X:" alone means the
    // current directory of that drive (its root unless it is the current one).
    std::string full;
    DWORD error = internal::ExistingDirectory(path, &full);
    if (error) {
        SetLastError(error);
    } else {
        Sys().currentDirectory = full;
    }
    Sys().directoryChanges.push_back({path, error ? FALSE : TRUE});
    return error ? FALSE : TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    HOSTWIN_LOCK();
    const std::string& dir = Sys().currentDirectory;
    if (!buffer || size <= dir.size()) return static_cast<DWORD>(dir.size() + 1);
    internal::CopyOut(dir, buffer, size);
    return static_cast<DWORD>(dir.size());
}

// The name is not looked up: the path is formed against the current
// directory (or the current directory of its drive) only.
DWORD WINAPI GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    HOSTWIN_LOCK();
    std::string full;
    DWORD error = internal::FullPathName(path, &full);
    if (error) {
        SetLastError(error);
        return 0;
    }
    if (!buffer || size <= full.size()) return static_cast<DWORD>(full.size() + 1);
    internal::CopyOut(full, buffer, size);
    if (filePart) {
        size_t last = full.find_last_of('\\');
        // A path ending in a backslash has no file part.
        *filePart = last == std::string::npos || last + 1 == full.size() ? nullptr : buffer + last + 1;
    }
    return static_cast<DWORD>(full.size());
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    HOSTWIN_LOCK();
    const std::string& dir = Sys().tempPath;
    if (!buffer || size <= dir.size()) return static_cast<DWORD>(dir.size() + 1);
    internal::CopyOut(dir, buffer, size);
    return static_cast<DWORD>(dir.size());
}

UINT WINAPI SetErrorMode(UINT mode) {
    HOSTWIN_LOCK();
    UINT previous = Sys().errorMode;
    Sys().errorMode = mode;
    return previous;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    HOSTWIN_LOCK();
    auto mutex = std::make_shared<Mutex>();
    DWORD error = ERROR_SUCCESS;
    if (name && *name) {
        mutex->name = name;  // object names are case-sensitive
        int& opened = Sys().namedMutexes[mutex->name];
        if (opened > 0) error = ERROR_ALREADY_EXISTS;
        ++opened;
    }
    HANDLE handle = internal::AddHandle(mutex);
    SetLastError(error);
    return handle;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (!internal::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

int WINAPI MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    LONGLONG a = number;
    LONGLONG d = denominator;
    if (d < 0) {
        a = -a;
        d = -d;
    }
    LONGLONG product = a * numerator;
    // Rounds half away from zero; -1 when the result does not fit.
    LONGLONG result = product < 0 ? (product - d / 2) / d : (product + d / 2) / d;
    if (result > 2147483647LL || result < -2147483647LL) return -1;
    return static_cast<int>(result);
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    HOSTWIN_LOCK();
    if (Sys().localAllocFails) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ++Sys().liveAllocations;
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
    if (!memory) return nullptr;
    HOSTWIN_LOCK();
    --Sys().liveAllocations;
    std::free(memory);
    return nullptr;
}
