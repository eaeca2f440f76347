#include "ui/wizard.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstddef>
#include <cstring>

#include "core/dll_search.h"
#include "core/setup_state.h"
#include "resource.h"
#include "ui/dialog_services.h"
#include "ui/model/placement.h"

// Version-1 records: the sheet steps through the array by each record's
// dwSize, so the array must hold records of exactly that size.
static_assert(sizeof(PROPSHEETPAGEA_V1) == offsetof(PROPSHEETPAGEA, pcRefParent) + sizeof(UINT*),
              "page records are read by their size");

namespace {

typedef INT_PTR(WINAPI* PropertySheetFunction)(LPCPROPSHEETHEADERA);
PropertySheetFunction propertySheet = nullptr;

// Through void(*)(void), the generic function pointer type.
template <typename Function>
Function ExportOf(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

}  // namespace

int InitWizardControls() {
    HMODULE controls = LoadCommonControls();
    // InitCommonControls is there by ordinal on every version.
    auto initCommonControls = controls ? ExportOf<void(WINAPI*)(void)>(controls, MAKEINTRESOURCEA(17)) : nullptr;
    propertySheet = controls ? ExportOf<PropertySheetFunction>(controls, "PropertySheetA") : nullptr;
    if (!initCommonControls || !propertySheet) return 0;
    initCommonControls();
    return 1;
}

const WizardPage SetupWizardPages[] = {
    {IDD_WELCOME_PAGE, 0, 0, WelcomePageProc},
    {IDD_SETTINGS_PAGE, 0, 0, SettingsPageProc},
    {0, 0, 0, nullptr},
};

INT_PTR RunWizard(HWND owner, const char* caption, int startPage, PFNPROPSHEETCALLBACK callback,
                  const WizardPage* pageTable) {
    PROPSHEETPAGEA_V1 pages[MAX_WIZARD_PAGES];
    std::memset(pages, 0, sizeof pages);
    if (!pageTable || pageTable[0].templateId == 0) return 0;
    int count = 0;
    for (; count < MAX_WIZARD_PAGES && pageTable[count].templateId != 0; ++count) {
        const WizardPage& entry = pageTable[count];
        PROPSHEETPAGEA_V1& page = pages[count];
        page.dwSize = sizeof page;
        if (entry.iconId) page.dwFlags |= PSP_USEICONID;
        if (entry.titleId) page.dwFlags |= PSP_USETITLE;
        page.hInstance = setupState.instance;
        page.pszTemplate = MAKEINTRESOURCEA(entry.templateId);
        page.pszIcon = entry.iconId ? MAKEINTRESOURCEA(entry.iconId) : nullptr;
        page.pszTitle = entry.titleId ? MAKEINTRESOURCEA(entry.titleId) : nullptr;
        page.pfnDlgProc = entry.procedure;
    }
    if (count == 0) return 0;

    PROPSHEETHEADERA header;
    std::memset(&header, 0, sizeof header);
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags =
        PSH_PROPTITLE | PSH_USEICONID | PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_NOAPPLYNOW | PSH_USECALLBACK;
    header.hwndParent = owner;
    header.hInstance = setupState.instance;
    header.pszIcon = MAKEINTRESOURCEA(IDI_APP);
    header.pszCaption = caption;
    header.nPages = static_cast<UINT>(count);
    header.nStartPage = static_cast<UINT>(startPage);
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);
    header.pfnCallback = callback;
    SetFocus(owner);
    return propertySheet ? propertySheet(&header) : 0;
}

int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM) {
    if (message == PSCB_INITIALIZED) {
        setupState.wizardWindow = sheet;
        setupState.wizardToCenter = sheet;
    }
    return 0;
}

void CenterSheetOnce() {
    RECT mainRect = {0, 0, 0, 0};
    GetWindowRect(setupState.mainWindow, &mainRect);
    if (!setupState.wizardToCenter) return;
    CenterRequest request = WizardCenterRequest(mainRect);
    CenterWindow(setupState.wizardToCenter, request.dx, request.dy, request.minLeft, request.minTop);
    setupState.wizardToCenter = nullptr;
}

INT_PTR SetPageResult(HWND page, int allow) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, allow ? 0 : 1);
    return TRUE;
}

void SetWizardButtons(DWORD buttons) { PostMessageA(setupState.wizardWindow, PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(buttons)); }

void PressWizardCancel() { PostMessageA(setupState.wizardWindow, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); }
