#include "ui/preparing_dialog.h"

#include "core/setup_state.h"
#include "install/run.h"
#include "resource.h"
#include "ui/dialog_services.h"
#include "ui/progress_bar.h"

namespace {

const UINT_PTR COUNTDOWN_TIMER = 1;
const UINT COUNTDOWN_PERIOD_MS = 1000;
const int COUNTDOWN_TICKS = 10;
const int END_REQUEST_REPEATS = 20;
const DWORD END_REQUEST_PAUSE_MS = 500;

// The worker's end request can be lost while the dialog is still being
// created; it is repeated while the dialog lives, and the timer backs it up.
void EndPreparation(HWND dialog) {
    EndDialog(dialog, 1);
    for (int i = 0; i < END_REQUEST_REPEATS && setupState.preparingAlive; ++i) {
        Sleep(END_REQUEST_PAUSE_MS);
        if (setupState.preparingAlive) EndDialog(dialog, 1);
    }
}

DWORD WINAPI PreparationWorker(LPVOID parameter) {
    HWND dialog = static_cast<HWND>(parameter);
    const char* result = "";
    if (PrepareInstallation(dialog, &result) != RUN_GOES_ON) {
        EndDialog(dialog, 0);
        return 0;
    }
    EndPreparation(dialog);
    return 0;
}

INT_PTR OnInitDialog(HWND dialog) {
    CenterWindow(dialog);
    setupState.preparingAlive = 1;
    setupState.preparationDone = 0;
    setupState.countdown = COUNTDOWN_TICKS;
    SetTimer(dialog, COUNTDOWN_TIMER, COUNTDOWN_PERIOD_MS, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, PreparationWorker, dialog, 0, nullptr);
    if (!worker) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    CloseHandle(worker);
    return TRUE;
}

void OnTimer(HWND dialog, WPARAM id) {
    if (id != COUNTDOWN_TIMER) return;
    if (!setupState.preparingAlive || !setupState.preparationDone) return;
    if (--setupState.countdown <= 0) EndDialog(dialog, 1);
}

INT_PTR CALLBACK PreparingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_DRAWITEM:
            return DrawProgressItem(lParam);
        case WM_TIMER:
            OnTimer(dialog, wParam);
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && ConfirmAbort(dialog)) EndDialog(dialog, 0);
            return FALSE;
        case WM_DESTROY:
            KillTimer(dialog, COUNTDOWN_TIMER);
            setupState.preparingAlive = 0;
            return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunPreparingDialog(HWND owner) {
    setupState.progress = 0;
    return RunDialog(IDD_PREPARING, owner, PreparingDialogProc);
}
