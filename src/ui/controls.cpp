#include "ui/controls.h"

#include "core/format.h"
#include "core/text.h"

int IsChecked(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, int flag) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, flag ? BST_CHECKED : BST_UNCHECKED, 0);
}

void FillListFromTextIds(HWND list, int selection, const UINT* ids) {
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (; *ids; ++ids) {
        char text[CONTROL_TEXT_SIZE];
        CopyText(text, sizeof text, LoadText(*ids));
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    if (selection != -1) SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

int AddListText(HWND list, const char* text) {
    if (!text || !text[0]) return 0;
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    return 1;
}

int SelectListText(HWND list, const char* text, int fallback) {
    if ((!text || !text[0]) && fallback < 0) return 0;
    if (!text) text = "";
    LRESULT index = SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    if (index == CB_ERR) index = fallback;
    if (SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR) {
        SetWindowTextA(list, text);
    }
    return 1;
}

int GetListSelection(HWND dialog, int id) {
    LRESULT index = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void SetListSelection(HWND dialog, int id, int index) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
