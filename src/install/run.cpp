#include "install/run.h"

#include <windows.h>

#include "core/dll_search.h"
#include "core/format.h"
#include "core/messages.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/startup.h"
#include "core/text.h"
#include "core/windows_version.h"
#include "driver/btcall.h"
#include "install/answers.h"
#include "install/manifest.h"
#include "install/rollback.h"
#include "install/sequences.h"

namespace {

// The checks of the Preparing dialog, in its order.
int CheckSystem(HWND owner, const char** result) {
    *result = "Windows version not supported";
    if (!CheckSupported(owner)) return EXIT_UNSUPPORTED_WINDOWS;
    *result = "not an administrator, nothing changed";
    return ConfirmAdministrator(owner) ? RUN_GOES_ON : EXIT_NOT_ADMINISTRATOR;
}

}  // namespace

int StartRun(const char* text, CommandLine* line) {
    // Before anything can make Windows load a DLL: the log's owner check,
    // a message box.
    RestrictDllSearch();
    int usable = ParseCommandLine(text, line);
    ClassifyWindows();
    char defaultLog[MAX_PATH];
    if (line->log[0]) {
        OpenSetupLog(line->log);
    } else if (line->silent && DefaultLogPath(defaultLog, sizeof defaultLog)) {
        OpenSetupLog(defaultLog);
    }
    LogLine("%s %s setup %s, command line: %s", LoadText(IDS_COMPANY_PRODUCT), LoadText(IDS_PRODUCT_NAME),
            LoadText(IDS_API_VERSION), text ? text : "");
    InitCaption();
    if (!usable) {
        LogLine("Invalid command line: %s", line->reason);
        // A silent run shows nothing, not even this.
        setupState.silent = line->silent;
        char message[COMMAND_REASON_SIZE + 2048];
        FormatText(message, sizeof message, "%s\n\n%s", line->reason, USAGE_TEXT);
        ShowMessage(nullptr, message, MB_ICONWARNING);
        return EndRun(EXIT_INVALID_COMMAND_LINE, "invalid command line");
    }
    if (line->help) {
        ShowMessage(nullptr, USAGE_TEXT, MB_ICONINFORMATION);
        return EndRun(EXIT_DONE, "usage shown");
    }
    CopyText(setupState.saveAnswersPath, sizeof setupState.saveAnswersPath, line->saveAnswers);
    return RUN_GOES_ON;
}

int InitRun() {
    ChooseProductRoot();
    ClassifyWindows();
    InitSetupNames();
    // Before anything reads the installation: a backup folder that a failed
    // update could not put back. Only an administrator touches it.
    if (BackupLeft() && !ConfirmAdministrator(nullptr)) return 0;
    LeftBackup left = RestoreLeftBackup();
    if (left == LEFT_BACKUP_FAILED || left == LEFT_BACKUP_RESTART) {
        ShowMessage(nullptr, LoadText(left == LEFT_BACKUP_RESTART ? IDS_RESTART_NEEDED : IDS_INSTALL_FAILED),
                    MB_ICONWARNING);
        return 0;
    }
    if (left == LEFT_BACKUP_RESTORED) InitSetupNames();
    setupState.didKeywordsPresent = ReadDidSettings();
    LogLine("Windows: %s (class %d/%d), Windows directory %s", LoadText(WindowsName()), setupState.osFamily,
            setupState.osDetail, setupState.windowsDirectory);
    LogLine("Distribution directory: %s", setupState.setupDirectory);
    return 1;
}

int PrepareInstallation(HWND owner, const char** result) {
    int refused = CheckSystem(owner, result);
    if (refused != RUN_GOES_ON) return refused;
    *result = "Files.ini is missing or unusable";
    if (!ReadFileManifest(owner)) return EXIT_INSTALL_FAILED;
    AddProgramEntry();
    setupState.preparationDone = 1;
    ComputeTotalBytes();
    return RUN_GOES_ON;
}

int ConfirmInstall(HWND owner) {
    return ShowMessage(owner, LoadText(IDS_CONFIRM_INSTALL), MB_YESNO | MB_ICONINFORMATION, IDYES) == IDYES;
}

int RunRemoval(HWND owner, const char** result) {
    int refused = CheckSystem(owner, result);
    if (refused != RUN_GOES_ON) return refused;
    // As on the Welcome page: only what the product key records is removed.
    *result = "nothing installed to remove";
    if (!setupState.existingInstallation) {
        ShowMessage(owner, LoadText(IDS_NOT_INSTALLED), MB_ICONINFORMATION);
        return EXIT_DONE;
    }
    *result = "removal declined, nothing changed";
    if (!AskAndRemoveDrivers(owner)) return EXIT_USER_DECLINED;
    *result = "removed";
    return EXIT_DONE;
}

int EndRun(int exitCode, const char* result) {
    LogLine("Result: %s, exit code %d", result, exitCode);
    CloseSetupLog();
    return exitCode;
}

// ---- the silent run only ------------------------------------------------------

int RunSilentSetup(const CommandLine& line) {
    setupState.silent = 1;
    if (!CheckSingleInstance(INSTANCE_MUTEX_NAME)) {
        return EndRun(EXIT_ALREADY_RUNNING, "another copy of the setup program is running");
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // A user who may not install leaves before anything is touched.
    if (!ConfirmAdministrator(nullptr)) {
        return EndRun(EXIT_NOT_ADMINISTRATOR, "not an administrator, nothing installed");
    }
    if (!InitRun()) return EndRun(EXIT_INSTALL_FAILED, "the earlier installation cannot be restored");

    const char* result = "";
    int ended = line.remove ? RunRemoval(nullptr, &result) : PrepareInstallation(nullptr, &result);
    if (ended != RUN_GOES_ON) return EndRun(ended, result);

    char reason[ANSWERS_REASON_SIZE];
    if (!ReadAnswersFile(line.answers, reason, sizeof reason)) {
        LogLine("%s", reason);
        return EndRun(EXIT_INVALID_COMMAND_LINE, "answers file not usable, nothing installed");
    }
    ConfirmInstall(nullptr);
    RunInstallation(nullptr);
    if (!ShowInstallResult(nullptr)) return EndRun(EXIT_INSTALL_FAILED, "installation failed");
    return EndRun(EXIT_DONE, "installed");
}
