#include "core/setup_state.h"

#include <cstring>

#include "core/format.h"
#include "core/names.h"

SetupState setupState;

// Only start-up and tests call this, before any worker thread exists.
void ResetSetupState() {
    setupState.instance = nullptr;
    setupState.mainWindow = nullptr;
    setupState.instanceMutex = nullptr;
    std::memset(setupState.productKeyFormat, 0, sizeof setupState.productKeyFormat);
    CopyText(setupState.productKeyFormat, sizeof setupState.productKeyFormat, PRODUCT_KEY_FORMAT_MORVIK);
    std::memset(setupState.productName, 0, sizeof setupState.productName);
    std::memset(setupState.caption, 0, sizeof setupState.caption);
    std::memset(setupState.setupDirectory, 0, sizeof setupState.setupDirectory);
    std::memset(setupState.windowsDirectory, 0, sizeof setupState.windowsDirectory);
    setupState.osFamily = 0;
    setupState.osDetail = 0;
    setupState.existingInstallation = 0;
    setupState.goOnUnprivileged = 0;
    setupState.didKeywordsPresent = 0;
    setupState.manifest = nullptr;
    setupState.totalBytes = 0;
    setupState.installDate = 0;
    setupState.progress = 0;
    std::memset(&setupState.boards, 0, sizeof setupState.boards);
    setupState.did.didVariable = 0;
    setupState.did.didDigits = 4;
    setupState.did.winkStart = 1;
    setupState.removalDone = 0;
    setupState.installSucceeded = 0;
    setupState.preparingAlive = 0;
    setupState.preparationDone = 0;
    setupState.countdown = 0;
    setupState.abortRequested = 0;
    setupState.restartNeeded = 0;
    setupState.temporaryNamesListed = 0;
    setupState.wizardWindow = nullptr;
    setupState.wizardToCenter = nullptr;
    setupState.silent = 0;
    setupState.silentStartDrivers = 1;
    setupState.silentSkipMissingFiles = 0;
    std::memset(setupState.saveAnswersPath, 0, sizeof setupState.saveAnswersPath);
    setupState.buttonFaceBrush = nullptr;
    setupState.buttonHighlightColour = 0;
    setupState.buttonHighlightBrush = nullptr;
    setupState.navyColour = 0;
    setupState.navyBrush = nullptr;
    setupState.appIcon = nullptr;
}

namespace {
// The static record starts in the same state as after ResetSetupState.
struct InitialState {
    InitialState() { ResetSetupState(); }
} initialState;
}  // namespace
