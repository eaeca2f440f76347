#include "core/startup.h"

#include <cstring>

#include "core/format.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "core/windows_version.h"

int CheckSingleInstance(const char* name) {
    // One copy in all sessions (a deployment running as SYSTEM, an
    // administrator at the console): the name in the global namespace.
    // Windows NT 4.0 has one namespace and refuses that name.
    char global[MAX_PATH];
    FormatText(global, sizeof global, "Global\\%s", name);
    setupState.instanceMutex = CreateMutexA(nullptr, FALSE, global);
    // Made by another user, whose mutex this one may not open.
    if (!setupState.instanceMutex && GetLastError() == ERROR_ACCESS_DENIED) return 0;
    if (!setupState.instanceMutex) setupState.instanceMutex = CreateMutexA(nullptr, FALSE, name);
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    // A window of ours without the mutex: an older copy is still closing.
    if (FindWindowA(MAIN_WINDOW_CLASS, nullptr)) return 0;
    return 1;
}

int DriveNumber(const char* path) {
    int code = path ? static_cast<unsigned char>(path[0]) : 0;
    return code <= 0x5A ? code - 64 : code - 96;
}

int SetCurrentDrive(int number) {
    if (number < 1 || number > 26) return 0;
    char drive[3] = {static_cast<char>('A' + number - 1), ':', '\0'};
    return SetCurrentDirectoryA(drive) ? 1 : 0;
}

void InitCaption() {
    CopyText(setupState.productName, sizeof setupState.productName, LoadText(IDS_PRODUCT_NAME));
    FormatText(setupState.caption, sizeof setupState.caption, LoadText(IDS_TWO_WORDS), LoadText(IDS_COMPANY_PRODUCT),
               setupState.productName);
}

void InitSetupNames() {
    InitCaption();

    std::memset(setupState.setupDirectory, 0, sizeof setupState.setupDirectory);
    std::memset(setupState.windowsDirectory, 0, sizeof setupState.windowsDirectory);

    // The distribution directory is where the program file lies. A path that
    // does not fit is not used at all rather than cut.
    char program[DIRECTORY_SIZE] = {0};
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length > 0 && length < sizeof program) {
        program[length] = '\0';
        char* lastBackslash = std::strrchr(program, '\\');
        if (lastBackslash) {
            *lastBackslash = '\0';
            CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, program);
        }
    }

    UINT windowsLength = GetWindowsDirectoryPath(setupState.windowsDirectory, sizeof setupState.windowsDirectory);
    if (windowsLength == 0 || windowsLength >= sizeof setupState.windowsDirectory) {
        setupState.windowsDirectory[0] = '\0';
    }
    std::size_t last = std::strlen(setupState.windowsDirectory);
    if (last > 1 && setupState.windowsDirectory[last - 1] == '\\') setupState.windowsDirectory[last - 1] = '\0';

    if (setupState.setupDirectory[0]) {
        // A UNC path gives an invalid drive number; that change simply fails.
        SetCurrentDrive(DriveNumber(setupState.setupDirectory));
        SetCurrentDirectoryA(setupState.setupDirectory);
    }

    // Only a non-empty directory counts as an installation.
    char baseDirectory[DIRECTORY_SIZE];
    setupState.existingInstallation =
        ReadProductValue("BaseDirectory", REG_SZ, baseDirectory, sizeof baseDirectory) && baseDirectory[0] ? 1 : 0;
}
