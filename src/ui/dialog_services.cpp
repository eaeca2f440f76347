#include "ui/dialog_services.h"

#include "core/messages.h"
#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "resource.h"
#include "ui/model/placement.h"

int InitUiResources() {
    // Read once: a later change of the colour scheme is not followed.
    setupState.buttonHighlightColour = GetSysColor(COLOR_BTNHIGHLIGHT);
    setupState.buttonFaceBrush = GetSysColorBrush(COLOR_BTNFACE);
    setupState.buttonHighlightBrush = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
    setupState.navyColour = RGB(0, 0, 128);
    setupState.navyBrush = CreateSolidBrush(setupState.navyColour);
    setupState.appIcon = LoadIconA(setupState.instance, MAKEINTRESOURCEA(IDI_APP));
    return 1;
}

INT_PTR RunDialog(int templateId, HWND owner, DLGPROC procedure) {
    return DialogBoxParamA(setupState.instance, MAKEINTRESOURCEA(templateId), owner, procedure, 0);
}

void CenterWindow(HWND window, int dx, int dy, int minLeft, int minTop) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    RECT mainRect;
    const RECT* reference = nullptr;
    int screenWidth = 0;
    int screenHeight = 0;
    if (setupState.mainWindow && GetWindowRect(setupState.mainWindow, &mainRect)) {
        reference = &mainRect;
    } else {
        HDC screen = GetDC(nullptr);
        if (!screen) return;
        screenWidth = GetDeviceCaps(screen, HORZRES);
        screenHeight = GetDeviceCaps(screen, VERTRES);
        ReleaseDC(nullptr, screen);
    }
    WindowPosition position =
        ComputeCenteredPosition(rect, reference, screenWidth, screenHeight, CenterRequest{dx, dy, minLeft, minTop});
    if (!position.move) return;
    SetWindowPos(window, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterWindow(HWND window) { CenterWindow(window, 0, 0, 0, 0); }

int ConfirmAbort(HWND owner) {
    // After a removal there is nothing left to lose.
    if (setupState.removalDone) return 1;
    return ShowMessage(owner, LoadText(IDS_CONFIRM_ABORT), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}
