// SetupState: the one process-wide record of the setup program. Every part
// reads and writes its fields directly.
#ifndef SETUP_CORE_SETUP_STATE_H
#define SETUP_CORE_SETUP_STATE_H

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "core/shared_types.h"

const int PRODUCT_KEY_FORMAT_SIZE = 256;
const int PRODUCT_NAME_SIZE = 64;
const int CAPTION_SIZE = 128;
const int DIRECTORY_SIZE = 260;

// Values shared between the UI thread and a worker thread, without locks:
// single aligned 32-bit loads and stores.
typedef std::atomic<std::int32_t> SharedValue;

struct SetupState {
    HINSTANCE instance;
    HWND mainWindow;
    HANDLE instanceMutex;  // held until the process ends

    char productKeyFormat[PRODUCT_KEY_FORMAT_SIZE];
    char productName[PRODUCT_NAME_SIZE];
    char caption[CAPTION_SIZE];
    char setupDirectory[DIRECTORY_SIZE];    // distribution directory, no trailing backslash
    char windowsDirectory[DIRECTORY_SIZE];  // no trailing backslash

    int osFamily;
    int osDetail;

    int existingInstallation;  // the product key holds a non-empty "BaseDirectory"
    int goOnUnprivileged;      // not an administrator, and asked once: go on all the same
    int didKeywordsPresent;    // btcall.cfg held at least one DID keyword at start-up

    ManifestEntry* manifest;
    int temporaryNamesListed;  // a listed file is named as a temporary file would be
    std::uint32_t totalBytes;
    std::uint32_t installDate;  // YYYYMMDD of the install record written, 0 before
    SharedValue progress;  // 0..1000

    BoardSettings boards;
    DidSettings did;

    SharedValue removalDone;
    SharedValue installSucceeded;
    SharedValue preparingAlive;
    SharedValue preparationDone;
    int countdown;
    // Set when the user abandons the installation: the worker stops at its
    // next safe point instead of leaving a file half written.
    SharedValue abortRequested;
    // The earlier installation can be put back only once Windows has been
    // restarted (a service it had is still marked for deletion).
    int restartNeeded;

    HWND wizardWindow;
    HWND wizardToCenter;

    // Unattended runs (command line). A silent run shows no window; its
    // questions take these answers (1 = Yes).
    int silent;
    int silentStartDrivers;      // start the drivers now (20027)
    int silentSkipMissingFiles;  // go on without a file that cannot be read (20007)
    // An interactive run saves the accepted settings here; empty: not at all.
    char saveAnswersPath[DIRECTORY_SIZE];

    HBRUSH buttonFaceBrush;
    COLORREF buttonHighlightColour;
    HBRUSH buttonHighlightBrush;
    COLORREF navyColour;
    HBRUSH navyBrush;
    HICON appIcon;
};

extern SetupState setupState;

// The record as it stands when the process starts (used at start-up and by
// tests that need a fresh state).
void ResetSetupState();

#endif
