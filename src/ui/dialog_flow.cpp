#include "ui/dialog_flow.h"

#include "core/setup_state.h"
#include "install/sequences.h"
#include "ui/installing_dialog.h"
#include "ui/preparing_dialog.h"
#include "ui/wizard.h"

INT_PTR RunDialogueFlow(HWND mainWindow) {
    // Every step is tested for non-zero only: a dialog that cannot be
    // created (-1) does not end the flow.
    if (!RunPreparingDialog(mainWindow)) return 0;
    INT_PTR wizard = RunWizard(mainWindow, setupState.caption, 0, SheetCallback, SetupWizardPages);
    if (wizard && RunInstallingDialog(mainWindow)) ShowInstallResult(mainWindow);
    return wizard;
}
