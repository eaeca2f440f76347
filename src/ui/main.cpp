// Entry point of setup.exe.
#include <windows.h>

#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/startup.h"
#include "core/windows_version.h"
#include "ui/dialog_services.h"
#include "ui/installing_dialog.h"
#include "ui/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    setupState.instance = instance;
    if (!CheckSingleInstance(INSTANCE_MUTEX_NAME)) return 0;
    ChooseProductRoot();
    ClassifyWindows();
    InitSetupNames();
    InitUiResources();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (!RegisterMainClass() || !CreateMainWindow()) return 0;
    ShowWindow(setupState.mainWindow, SW_SHOWMAXIMIZED);
    PostMessageA(setupState.mainWindow, WM_START_FLOW, 0, 0);

    MSG message;
    message.wParam = 0;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyMainWindow();
    AwaitStoppedInstallation();
    return static_cast<int>(message.wParam);
}
