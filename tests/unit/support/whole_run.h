// Whole runs of the program without any window: the standard distribution
// and boards (on both platforms); on the stand-in machine also the machine
// laid out (perhaps with an earlier installation), the program run as its
// dialogue flow runs it (start-up, preparation, the Settings page accepted,
// installation, the report), and what the machine holds afterwards.
#ifndef TESTS_SUPPORT_WHOLE_RUN_H
#define TESTS_SUPPORT_WHOLE_RUN_H

#include <map>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "driver/board_settings.h"

#ifndef _WIN32
#include <hostwin/machine.h>
#endif

namespace whole_run {

// The registry keys an installation writes.
inline constexpr const char* PRODUCT_KEY = "Software\\Morvik Communication\\Loxbrine";
inline constexpr const char* BFAX_PARAMETERS = "System\\CurrentControlSet\\Services\\bfax\\Parameters";
inline constexpr const char* FAXINIT_PARAMETERS = "System\\CurrentControlSet\\Services\\faxinit\\Parameters";

// One file of the distribution, as listed and as stored.
struct DistributionFile {
    std::string name;        // the listed name: its path in the distribution, uncompressed
    std::string placement;   // second field: 'A' puts it into the morvik folder
    std::string overwrite;   // third field: '1' replaces an installed copy
    std::string storedName;  // the name it is stored under (compressed: last character '_')
    std::string stored;      // the bytes stored
    std::string installed;   // the bytes once installed (btcall.cfg: before its edits)

    // Relative to the Windows directory: "bfax\\x" or "bfax\\morvik\\x".
    std::string Destination() const;
};

// The machine before the run.
struct Scenario {
    std::vector<DistributionFile> files;
    std::string list;                  // Files.ini as stored
    // Old files (the program's copy among them), configuration, record,
    // entry in Programs and Features, running services.
    bool earlierInstallation = false;
};

// The usual distribution: a compressed driver, a plain program, a compressed
// file of several copy chunks in a sub-folder, a plain file stored under its
// compressed name, btcall.cfg and a read-me that is never replaced; Files.ini
// opens with a long comment so that its lines cross its read chunks.
Scenario StandardScenario(bool earlierInstallation);
// Files.ini lines for the files.
std::string ListOf(const std::vector<DistributionFile>& files);
DistributionFile* FindFile(Scenario* scenario, const std::string& name);

extern const char* const NEW_FAXINIT;  // faxinit.cfg for the standard boards
// btcall.cfg as installed from the distribution's with the default DID settings
// (4 digits, fixed, wink start) into the Windows directory.
std::string InstalledBtcall(std::string windowsDirectory = setupState.windowsDirectory);

// Board 1 TR114 PCI; boards 2 and 5 TR114 ISA at 300 (4 channels) and 340
// (2 channels); IRQ 5, DMA 1.
BoardForm StandardBoards();

#ifndef _WIN32

// Where setup.exe and its distribution lie on the stand-in machine.
extern const char* const DISTRIBUTION;

// Makes a fresh machine hold the scenario.
void Prepare(const Scenario& scenario);

struct Run {
    bool prepared = false;  // preparation went through
    int installSucceeded = 0;
    int maxProgress = 0;   // the highest progress any redraw showed
    std::vector<hostwin::MessageBoxRecord> boxes;
};
// Start-up, preparation, the Settings page accepted with the standard boards,
// installation and its report, answering every message with its default
// button unless a handler was set.
Run RunProgram();

// Everything an installation touches: "file:bfax\\x" below %windir%, the
// product key in its three places, the uninstall entry (its EstimatedSize as
// "the installed files in KiB" when it is the files' size), the driver service
// keys, "service:NAME" (its configuration) and "state:NAME" (running or not).
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot();
// The entries of after that differ from expected (a missing one as "NAME (gone)").
std::vector<std::string> Differences(const Snapshot& after, const Snapshot& expected);
// Handles and memory blocks the run left.
std::vector<std::string> LeftOpen();

// The driver services as "bfax new running, faxinit old stopped" ("new": as
// an installation creates them; "marked": marked for deletion), or "none".
std::string ServiceSummary();
// The messages of a run by their string ids (0 for any other text).
std::vector<UINT> MessageIds(const std::vector<hostwin::MessageBoxRecord>& boxes);

#endif  // _WIN32

}  // namespace whole_run

#endif
