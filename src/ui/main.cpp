// Entry point of setup.exe.
#include <windows.h>

#include "core/command_line.h"
#include "core/names.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/startup.h"
#include "install/run.h"
#include "ui/dialog_services.h"
#include "ui/installing_dialog.h"
#include "ui/main_window.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    setupState.instance = hInstance;
    // First of all StartRun restricts where DLLs come from. Before start-up
    // changes the current directory: file names of the command line are
    // taken relative to the one we were started in.
    CommandLine commandLine = {};
    int ended = StartRun(lpCmdLine, &commandLine);
    if (ended != RUN_GOES_ON) return ended;
    if (commandLine.silent) return RunSilentSetup(commandLine);

    // An interactive removal ends with the exit codes of the silent one; an
    // interactive installation always with 0.
    const bool removal = commandLine.remove != 0;
    const int failed = removal ? EXIT_INSTALL_FAILED : 0;
    if (!CheckSingleInstance(INSTANCE_MUTEX_NAME)) {
        return EndRun(removal ? EXIT_ALREADY_RUNNING : 0, "another copy of the setup program is running");
    }
    if (!InitRun()) return EndRun(failed, "the earlier installation cannot be restored");
    InitUiResources();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (!RegisterMainClass() || !CreateMainWindow()) return EndRun(failed, "the main window cannot be created");
    ShowWindow(setupState.mainWindow, SW_SHOWMAXIMIZED);
    if (removal) {
        // No Preparing dialog and no wizard: the removal reads no Files.ini.
        // Its message boxes keep the main window painted.
        UpdateWindow(setupState.mainWindow);
        const char* result = "";
        int exitCode = RunRemoval(setupState.mainWindow, &result);
        DestroyMainWindow();
        return EndRun(exitCode, result);
    }
    PostMessageA(setupState.mainWindow, WM_START_FLOW, 0, 0);

    MSG message;
    message.wParam = 0;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyMainWindow();
    AwaitStoppedInstallation();
    const char* result = setupState.installSucceeded ? "installed"
                         : setupState.removalDone    ? "removed"
                                                     : "nothing installed";
    return EndRun(static_cast<int>(message.wParam), result);
}
