// The wizard's second page: up to six boards, their interrupt and DMA
// channel, and the way to the DID settings; checked on Finish.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "core/messages.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/board_settings.h"
#include "install/answers.h"
#include "install/run.h"
#include "resource.h"
#include "ui/controls.h"
#include "ui/did_dialog.h"
#include "ui/dialog_services.h"
#include "ui/wizard.h"

namespace {

HWND Row(HWND page, int firstId, int row) { return GetDlgItem(page, firstId + row); }

void UpdateBoardControls(HWND page) {
    int selections[BOARD_ROWS];
    for (int row = 0; row < BOARD_ROWS; ++row) selections[row] = GetListSelection(page, IDC_BOARD_TYPE_1 + row);
    BoardEnabling enabling = ComputeBoardEnabling(selections);
    for (int row = 0; row < BOARD_ROWS; ++row) {
        EnableWindow(Row(page, IDC_BOARD_LABEL_1, row), enabling.rowLabel[row]);
        EnableWindow(Row(page, IDC_BOARD_TYPE_1, row), enabling.typeList[row]);
        EnableWindow(Row(page, IDC_IO_BASE_1, row), enabling.ioBase[row]);
        EnableWindow(Row(page, IDC_CHANNELS_1, row), enabling.channels[row]);
    }
    EnableWindow(GetDlgItem(page, IDC_IRQ_LABEL), enabling.irqLabel);
    EnableWindow(GetDlgItem(page, IDC_IRQ), enabling.irqEntry);
    EnableWindow(GetDlgItem(page, IDC_DMA_LABEL), enabling.dmaLabel);
    EnableWindow(GetDlgItem(page, IDC_DMA), enabling.dmaEntry);
    EnableWindow(GetDlgItem(page, IDC_DID_BUTTON), enabling.didButton);
}

void FillLists(HWND page) {
    for (int row = 0; row < BOARD_ROWS; ++row) {
        FillListFromTextIds(Row(page, IDC_BOARD_TYPE_1, row), BOARD_TYPE_DEFAULT, BoardTypeTextIds);
    }
    SetListSelection(page, IDC_BOARD_TYPE_1, FIRST_ROW_TYPE_DEFAULT);
    for (int row = 0; row < BOARD_ROWS; ++row) {
        HWND list = Row(page, IDC_IO_BASE_1, row);
        for (const char* choice : IoBaseChoices) AddListText(list, choice);
    }
    for (int row = 0; row < BOARD_ROWS; ++row) {
        HWND list = Row(page, IDC_CHANNELS_1, row);
        for (const char* choice : ChannelChoices) AddListText(list, choice);
    }
    HWND irq = GetDlgItem(page, IDC_IRQ);
    for (const char* choice : IrqChoices) AddListText(irq, choice);
    SelectListText(irq, IRQ_DEFAULT_TEXT, -1);
    HWND dma = GetDlgItem(page, IDC_DMA);
    for (const char* choice : DmaChoices) AddListText(dma, choice);
    SelectListText(dma, DMA_DEFAULT_TEXT, -1);
}

void ReadBoardForm(HWND page, BoardForm& form) {
    for (int row = 0; row < BOARD_ROWS; ++row) {
        BoardFormRow& formRow = form.rows[row];
        formRow.typeSelection = GetListSelection(page, IDC_BOARD_TYPE_1 + row);
        GetControlText(page, IDC_IO_BASE_1 + row, formRow.ioBaseText);
        GetControlText(page, IDC_CHANNELS_1 + row, formRow.channelsText);
    }
    GetControlText(page, IDC_IRQ, form.irqText);
    GetControlText(page, IDC_DMA, form.dmaText);
}

// Finish: the boards are checked and stored; the wizard ends only on a
// confirmed, valid form.
INT_PTR OnFinish(HWND page) {
    BoardForm form = {};
    ReadBoardForm(page, form);
    BoardCheckResult verdict = ValidateBoardSettings(form, setupState.boards);
    if (!verdict.accepted) {
        char text[BOARD_MESSAGE_SIZE];
        BoardCheckMessage(verdict, text);
        ShowMessage(page, text, MB_ICONWARNING);
        return SetPageResult(page, 0);
    }
    if (!ConfirmInstall(page)) return SetPageResult(page, 0);
    // Asked for on the command line: the accepted settings as an answers file.
    if (setupState.saveAnswersPath[0]) {
        int saved = WriteAnswersFile(setupState.saveAnswersPath);
        LogLine("Answers file %s %s", setupState.saveAnswersPath, saved ? "written" : "cannot be written");
    }
    return SetPageResult(page, 1);
}

INT_PTR OnNotify(HWND page, const NMHDR* header) {
    switch (header->code) {
        case PSN_SETACTIVE:
            // Finish only: there is no way back to the Welcome page.
            SetWizardButtons(PSWIZB_FINISH);
            break;
        case PSN_KILLACTIVE:
            return SetPageResult(page, 1);
        case PSN_WIZFINISH:
            return OnFinish(page);
        case PSN_QUERYCANCEL:
            if (!ConfirmAbort(page)) return SetPageResult(page, 0);
            break;
    }
    UpdateBoardControls(page);
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK SettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            CenterSheetOnce();
            FillLists(page);
            UpdateBoardControls(page);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_DID_BUTTON) RunDidDialog(page);
            // Selection changes arrive here too: the enabling follows at once.
            UpdateBoardControls(page);
            return FALSE;
        case WM_NOTIFY:
            return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    }
    return FALSE;
}
