#include "core/windows_version.h"

#include <cstring>

#include "core/format.h"
#include "core/messages.h"
#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"

namespace {

struct OsClass {
    int family;
    int detail;
};

// info == nullptr stands for a failed query.
OsClass ClassifyVersion(const OSVERSIONINFOA* info) {
    OsClass os = {OS_WIN95, OS_WIN95};
    if (!info) return os;  // unreadable: counts as the Windows 95 family
    switch (info->dwPlatformId) {
        case VER_PLATFORM_WIN32s:
            os.family = os.detail = OS_WIN32S;
            break;
        case VER_PLATFORM_WIN32_WINDOWS: {
            os.family = os.detail = OS_WIN95;
            if (info->dwMajorVersion > 4 || info->dwMinorVersion != 0) os.detail = OS_WIN98;
            // The build number repeats major and minor version in its high word.
            DWORD buildMajor = (info->dwBuildNumber >> 24) & 0xFF;
            DWORD buildMinor = (info->dwBuildNumber >> 16) & 0xFF;
            if (buildMajor > 4 || buildMinor >= 90) os.detail = OS_WINME;
            break;
        }
        case VER_PLATFORM_WIN32_NT:
            os.family = os.detail = OS_WINNT;
            if (info->dwMajorVersion == 5) {
                os.family = os.detail = OS_WIN2000;
                if (info->dwMinorVersion == 1) os.family = os.detail = OS_WINXP;
                if (info->dwMinorVersion == 2) os.family = os.detail = OS_WIN2003;
            } else if (info->dwMajorVersion >= 6) {
                os.family = os.detail = OS_VISTA;
            }
            break;
        default:
            break;
    }
    return os;
}

int IsNtFamily(int family) {
    return family == OS_WINNT || family == OS_WIN2000 || family == OS_WINXP || family == OS_WIN2003 ||
           family == OS_VISTA;
}

int IsAdministrator() {
    if (!IsNtFamily(setupState.osFamily)) return 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
    RegCloseKey(key);
    return 1;
}

}  // namespace

void ClassifyWindows() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    OsClass os = ClassifyVersion(GetVersionExA(&info) ? &info : nullptr);
    setupState.osFamily = os.family;
    setupState.osDetail = os.detail;
}

int ServicesManaged(int family) { return family != OS_WIN2003 && family != OS_VISTA; }

UINT WindowsName() {
    if (setupState.osDetail == OS_WINME) return IDS_WINDOWS_ME;
    switch (setupState.osFamily) {
        case OS_WIN2000: return IDS_WINDOWS_2000;
        case OS_WINXP: return IDS_WINDOWS_XP;
        case OS_WIN2003: return IDS_WINDOWS_2003;
        case OS_VISTA: return IDS_WINDOWS_VISTA;
        case OS_WINNT: return IDS_WINDOWS_NT;
        default: return IDS_WINDOWS_95_98;
    }
}

int CheckSupported(HWND owner) {
    if (IsNtFamily(setupState.osFamily)) return 1;
    char message[TEXT_RING_SLOT_SIZE];
    const char* name = LoadText(setupState.osDetail == OS_WINME ? IDS_WINDOWS_ME : IDS_WINDOWS_95_98);
    FormatText(message, sizeof message, LoadText(IDS_WINDOWS_NOT_SUPPORTED), name);
    ShowMessage(owner, message, MB_ICONWARNING);
    return 0;
}

int ConfirmAdministrator(HWND owner) {
    if (setupState.goOnUnprivileged || IsAdministrator()) return 1;
    // A silent run has nobody to say Yes: it installs nothing.
    int answer = ShowMessage(owner, LoadText(IDS_NOT_ADMINISTRATOR), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, IDNO);
    // Start-up may ask before the Preparing dialog does: once is enough.
    setupState.goOnUnprivileged = answer == IDYES ? 1 : 0;
    return setupState.goOnUnprivileged;
}

typedef UINT(WINAPI* GetSystemWindowsDirectoryFunction)(LPSTR, UINT);

UINT GetWindowsDirectoryPath(char* buffer, UINT size) {
    UINT result = GetWindowsDirectoryA(buffer, size);
    // On terminal servers the shared system Windows directory is wanted, not
    // the per-user one; NT 4.0 does not have the call.
    if (IsNtFamily(setupState.osFamily) && setupState.osDetail != OS_WINNT) {
        HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
        FARPROC proc = kernel ? GetProcAddress(kernel, "GetSystemWindowsDirectoryA") : nullptr;
        if (proc) {
            // Through void(*)(void), the generic function pointer type.
            auto function = reinterpret_cast<GetSystemWindowsDirectoryFunction>(reinterpret_cast<void (*)(void)>(proc));
            result = function(buffer, size);
        }
    }
    return result;
}
