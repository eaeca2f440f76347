// Entry point of setup.exe.
#include <windows.h>

#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/startup.h"
#include "core/windows_version.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    setupState.instance = instance;
    if (!CheckSingleInstance(INSTANCE_MUTEX_NAME)) return 0;
    ChooseProductRoot();
    ClassifyWindows();
    InitSetupNames();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return 0;
}
