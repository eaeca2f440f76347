// The setup wizard: a property sheet in wizard mode built from a page table,
// and what its pages share.
#ifndef SETUP_UI_WIZARD_H
#define SETUP_UI_WIZARD_H

#include <windows.h>
#include <prsht.h>

struct WizardPage {
    WORD templateId;  // 0 ends the table
    WORD titleId;     // string id, 0 for none
    WORD iconId;      // icon id, 0 for none
    DLGPROC procedure;
};

const int MAX_WIZARD_PAGES = 32;

// Loads COMCTL32 (after the DLL search is restricted: it is no start-up
// import) and initialises the common controls. 0 when that cannot be done.
int InitWizardControls();

// The wizard of a run: Welcome, then Settings.
extern const WizardPage SetupWizardPages[];

// The sheet's result: 0 when cancelled (or no page), non-zero after Finish.
INT_PTR RunWizard(HWND owner, const char* caption, int startPage, PFNPROPSHEETCALLBACK callback,
                  const WizardPage* pageTable);
int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM lParam);
// Places the sheet over the main window, once, by the first page to start.
void CenterSheetOnce();

// A page's answer to a notification: 0 lets the action go ahead (allow
// non-zero), 1 refuses it. Returns 1 (message handled).
INT_PTR SetPageResult(HWND page, int allow);
// Button requests are posted: the sheet is busy calling the page.
void SetWizardButtons(DWORD buttons);
void PressWizardCancel();

// The page procedures (welcome_page.cpp, settings_page.cpp).
INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

#endif
