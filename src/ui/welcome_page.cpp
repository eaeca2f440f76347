// The wizard's first page: install (update) the drivers, or remove an
// existing installation at once.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "core/setup_state.h"
#include "install/sequences.h"
#include "resource.h"
#include "ui/controls.h"
#include "ui/dialog_services.h"
#include "ui/wizard.h"

namespace {

// Removal is offered only where something is installed.
void UpdateRemoveChoice(HWND page) { EnableWindow(GetDlgItem(page, IDC_REMOVE), setupState.existingInstallation); }

// Next: on to the Settings page, or the removal, after which the wizard
// closes as cancelled.
INT_PTR OnNext(HWND page) {
    if (!IsChecked(page, IDC_REMOVE)) return SetPageResult(page, 1);
    if (!AskAndRemoveDrivers(page)) return SetPageResult(page, 0);
    setupState.removalDone = 1;
    PressWizardCancel();
    return SetPageResult(page, 1);
}

INT_PTR OnNotify(HWND page, const NMHDR* header) {
    switch (header->code) {
        case PSN_SETACTIVE:
            SetWizardButtons(PSWIZB_NEXT);
            break;
        case PSN_KILLACTIVE:
            return OnNext(page);
        case PSN_QUERYCANCEL:
            if (!ConfirmAbort(page)) return SetPageResult(page, 0);
            break;
    }
    UpdateRemoveChoice(page);
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            CenterSheetOnce();
            SetChecked(page, IDC_INSTALL, 1);
            UpdateRemoveChoice(page);
            return TRUE;
        case WM_COMMAND:
            UpdateRemoveChoice(page);
            return FALSE;
        case WM_NOTIFY:
            return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    }
    return FALSE;
}
