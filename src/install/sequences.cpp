#include "install/sequences.h"

#include "core/names.h"
#include "core/registry.h"
#include "core/messages.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "core/windows_version.h"
#include "driver/btcall.h"
#include "driver/faxinit_config.h"
#include "driver/services.h"
#include "install/file_copy.h"
#include "install/rollback.h"
#include "install/uninstall_entry.h"

namespace {

bool Abandoned() { return setupState.abortRequested != 0; }

// 1 when every step went through.
int InstallationSteps(HWND owner) {
    // Whatever an earlier installation left registered goes first.
    RemoveDrivers();
    // Between the steps the user may have abandoned the installation: the
    // next step is not begun (the copy step stops by itself).
    if (Abandoned()) return 0;
    CreateDriverDirectories();
    if (!CopyManifestFiles(owner)) return 0;
    if (Abandoned() || !WriteFaxinitConfig()) return 0;
    // A btcall.cfg left without an edit it needs, or drivers without their
    // parameters, would fail at the next start: not an installation.
    if (Abandoned() || !EditBtcallForInstallation()) return 0;
    if (Abandoned() || !CreateDriverServices()) return 0;
    if (Abandoned() || !WriteDriverRegistry()) return 0;
    // Programs and Features lists the installation with the command that
    // removes it. The drivers work without it, so it decides nothing; a
    // failed update puts the earlier entry back with the rest.
    WriteUninstallEntry();
    return 1;
}

}  // namespace

void RunInstallation(HWND owner) {
    setupState.installSucceeded = 0;
    // An update goes through whole or not at all: what it replaces is
    // recorded first and put back when it fails or is abandoned.
    if (!BeginRollback()) return;
    setupState.installSucceeded = EndRollback(InstallationSteps(owner));
}

void RemoveDrivers() {
    WaitCursor wait;
    if (ServicesManaged(setupState.osFamily)) {
        // The dependent service goes first: while "faxinit" runs, the service
        // control manager refuses to stop "bfax", whose deletion would then
        // stay pending and block the new "bfax".
        StopAndDeleteService(INIT_SERVICE);
        Sleep(SERVICE_PAUSE_MS);
        // An abandoned installation keeps what is left: the product key
        // still tells the next run that there is something to remove.
        if (Abandoned()) return;
        StopAndDeleteService(DRIVER_SERVICE);
        Sleep(SERVICE_PAUSE_MS);
    }
    // The entry goes first: a removal cut off here leaves the product key,
    // and the next removal still finds something to remove.
    DeleteRegistryKey(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
    // The first call deletes the product key with its values; the other two
    // find nothing left.
    DeleteProductKey("BaseDirectory");
    DeleteProductKey("InstallDate");
    DeleteProductKey("InstallTime");
}

int AskAndRemoveDrivers(HWND owner) {
    if (ShowMessage(owner, LoadText(IDS_CONFIRM_REMOVAL), MB_YESNO | MB_ICONERROR | MB_DEFBUTTON2, IDYES) != IDYES) {
        return 0;
    }
    RemoveDrivers();
    // Reported whatever the removal found to do.
    ShowMessage(owner, LoadText(IDS_DRIVERS_REMOVED), MB_ICONINFORMATION);
    return 1;
}

int ShowInstallResult(HWND owner) {
    if (!setupState.installSucceeded) {
        // The earlier installation waits for a restart to be put back whole.
        if (setupState.restartNeeded) ShowMessage(owner, LoadText(IDS_RESTART_NEEDED), MB_ICONWARNING);
        ShowMessage(owner, LoadText(IDS_INSTALL_FAILED), MB_ICONWARNING);
        return 0;
    }
    int answer = ShowMessage(owner, LoadText(IDS_INSTALL_SUCCEEDED), MB_ICONINFORMATION | MB_YESNO,
                             setupState.silentStartDrivers ? IDYES : IDNO);
    if (answer != IDNO) StartDriverServices();
    return 1;
}
