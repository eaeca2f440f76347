#include "core/dll_search.h"

#include "core/format.h"
#include "core/setup_state.h"
#include "core/shared_types.h"

namespace {

const DWORD LOAD_LIBRARY_SEARCH_SYSTEM32_ONLY = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// What USER32, GDI32, ADVAPI32, the common controls and the theme engine of
// Windows XP to 10 load by name once the program runs, and that are no
// known DLLs on all of them (a known DLL always comes from the system).
// Missing ones are skipped.
const char* const LATE_LOADED[] = {"uxtheme", "dwmapi", "version",  "cryptbase", "cryptsp", "userenv", "profapi",
                                   "msimg32", "ntmarta", "sspicli", "winmm",     "imm32",   "lpk",     "usp10"};

template <typename Function>
Function KernelFunction(const char* name) {
    // Through void(*)(void), the generic function pointer type.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

// From the system directory; what it loads in turn is looked for there first.
HMODULE LoadFromSystem(const char* name) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || !FormatText(path + length, sizeof path - length, "\\%s.dll", name)) {
        return nullptr;
    }
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void RestrictDllSearch() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
    auto setDefault = KernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32_ONLY)) {
        auto setDirectory = KernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA");
        if (setDirectory) setDirectory("");
    }
    // Also after SetDefaultDllDirectories: not every loader applies it to
    // every load (Wine resolves delay-loaded imports without it).
    for (const char* name : LATE_LOADED) LoadFromSystem(name);
}

HMODULE LoadCommonControls() {
    if (setupState.osFamily & (OS_WINXP | OS_WIN2003 | OS_VISTA)) return LoadLibraryA("comctl32.dll");
    return LoadFromSystem("comctl32");
}
