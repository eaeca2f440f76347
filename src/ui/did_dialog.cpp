#include "ui/did_dialog.h"

#include "core/format.h"
#include "core/messages.h"
#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/btcall.h"
#include "resource.h"
#include "ui/controls.h"
#include "ui/dialog_services.h"

namespace {

void OnInitDialog(HWND dialog) {
    CenterWindow(dialog);
    const DidSettings& did = setupState.did;
    SetChecked(dialog, IDC_DID_VARIABLE, did.didVariable);
    SetChecked(dialog, IDC_DID_FIXED, !did.didVariable);
    HWND digits = GetDlgItem(dialog, IDC_DID_DIGITS);
    char text[16];
    for (int count = 0; count <= MAX_DID_DIGITS; ++count) {
        FormatText(text, sizeof text, "%d", count);
        AddListText(digits, text);
    }
    FormatText(text, sizeof text, "%d", did.didDigits);
    SelectListText(digits, text, did.didDigits);
    SetChecked(dialog, IDC_WINK_START, did.winkStart);
    SetChecked(dialog, IDC_IMMEDIATE_START, !did.winkStart);
}

// OK: a digit count outside 0..63 keeps the dialog open and the settings as
// they were.
void OnOk(HWND dialog) {
    int variable = IsChecked(dialog, IDC_DID_VARIABLE);
    int wink = IsChecked(dialog, IDC_WINK_START);
    int digits = ParseDecimalField(dialog, IDC_DID_DIGITS, 0);
    if (digits < 0 || digits > MAX_DID_DIGITS) {
        ShowMessage(dialog, LoadText(IDS_ENTER_DID_DIGITS), MB_ICONWARNING);
        return;
    }
    setupState.did.didVariable = variable;
    setupState.did.winkStart = wink;
    setupState.did.didDigits = digits;
    // A btcall.cfg that already carries DID settings takes the change now,
    // so that it holds even when the setup is cancelled.
    if (setupState.didKeywordsPresent && WriteDidSettings()) {
        ShowMessage(dialog, LoadText(IDS_DID_CHANGED), MB_ICONINFORMATION);
    }
    EndDialog(dialog, 1);
}

}  // namespace

void RunDidDialog(HWND owner) { RunDialog(IDD_DID_SETTINGS, owner, DidDialogProc); }

INT_PTR CALLBACK DidDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    // Only the OK button's own id confirms; the Enter key's IDOK does not.
    switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_DID_OK:
            OnOk(dialog);
            return TRUE;
    }
    return FALSE;
}
