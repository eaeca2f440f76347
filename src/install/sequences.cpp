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

namespace {

bool Abandoned() { return setupState.abortRequested != 0; }

}  // namespace

void RunInstallation(HWND owner) {
    setupState.installSucceeded = 0;
    // Whatever an earlier installation left registered goes first.
    RemoveDrivers();
    // Between the steps the user may have abandoned the installation: the
    // next step is not begun (the copy step stops by itself).
    if (Abandoned()) return;
    CreateDriverDirectories();
    if (!CopyManifestFiles(owner)) return;
    if (Abandoned() || !WriteFaxinitConfig()) return;
    // A btcall.cfg left without an edit it needs, or drivers without their
    // parameters, would fail at the next start: not an installation.
    if (Abandoned() || !EditBtcallForInstallation()) return;
    if (Abandoned() || !CreateDriverServices()) return;
    if (Abandoned() || !WriteDriverRegistry()) return;
    setupState.installSucceeded = 1;
}

int RemoveDrivers() {
    WaitCursor wait;
    if (ServicesManaged(setupState.osFamily)) {
        // The dependent service goes first: while "faxinit" runs, the service
        // control manager refuses to stop "bfax", whose deletion would then
        // stay pending and block the new "bfax".
        StopAndDeleteService("faxinit");
        Sleep(SERVICE_PAUSE_MS);
        // An abandoned installation keeps what is left: the product key
        // still tells the next run that there is something to remove.
        if (Abandoned()) return 1;
        StopAndDeleteService("bfax");
        Sleep(SERVICE_PAUSE_MS);
    }
    // The first call deletes the product key with its values; the other two
    // find nothing left.
    DeleteProductKey("BaseDirectory");
    DeleteProductKey("InstallDate");
    DeleteProductKey("InstallTime");
    return 1;
}

int ShowInstallResult(HWND owner) {
    if (!setupState.installSucceeded) {
        ShowMessage(owner, LoadText(IDS_INSTALL_FAILED), MB_ICONWARNING);
        return 0;
    }
    int answer = ShowMessage(owner, LoadText(IDS_INSTALL_SUCCEEDED), MB_ICONINFORMATION | MB_YESNO,
                             setupState.silentStartDrivers ? IDYES : IDNO);
    if (answer != IDNO) StartDriverServices();
    return 1;
}
