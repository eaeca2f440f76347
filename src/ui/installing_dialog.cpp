#include "ui/installing_dialog.h"

#include "core/setup_state.h"
#include "install/sequences.h"
#include "resource.h"
#include "ui/dialog_services.h"
#include "ui/progress_bar.h"

namespace {

// An abandoned update puts the earlier installation back before the worker
// ends (services removed and created again, started with their pauses);
// past this the process ends anyway and the next run completes it.
const DWORD STOP_WAIT_MS = 60000;

// Kept only so that an abandoned run can wait for its worker.
HANDLE installationWorker;

INT_PTR OnInitDialog(HWND dialog) {
    CenterWindow(dialog);
    installationWorker = CreateThread(nullptr, 0, InstallationWorker, dialog, 0, nullptr);
    if (!installationWorker) EndDialog(dialog, 0);
    return TRUE;
}

void OnCancel(HWND dialog) {
    if (!ConfirmAbort(dialog)) return;
    // The dialog closes at once; the worker finds the request at its next
    // safe point, removes the file it was writing and stops.
    setupState.abortRequested = 1;
    EndDialog(dialog, 0);
}

}  // namespace

INT_PTR RunInstallingDialog(HWND owner) {
    setupState.progress = 0;
    setupState.abortRequested = 0;
    INT_PTR result = RunDialog(IDD_INSTALLING, owner, InstallingDialogProc);
    // A worker that stopped for the abort may have ended the dialog with 1
    // before its modal loop noticed the user's 0.
    return setupState.abortRequested ? 0 : result;
}

INT_PTR CALLBACK InstallingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_DRAWITEM:
            return DrawProgressItem(lParam);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) OnCancel(dialog);
            return FALSE;
    }
    return FALSE;
}

DWORD WINAPI InstallationWorker(LPVOID parameter) {
    HWND dialog = static_cast<HWND>(parameter);
    RunInstallation(dialog);
    // The outcome travels in installSucceeded; the dialog always ends with 1
    // unless the user has already closed it.
    if (!setupState.abortRequested) EndDialog(dialog, 1);
    return 0;
}

void AwaitStoppedInstallation() {
    if (!installationWorker) return;
    if (setupState.abortRequested) WaitForSingleObject(installationWorker, STOP_WAIT_MS);
    CloseHandle(installationWorker);
    installationWorker = nullptr;
}
