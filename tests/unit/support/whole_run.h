// Whole runs of the program on the stand-in machine, without any window:
// the standard distribution laid out (perhaps over an earlier installation),
// the program run as its dialogue flow runs it (start-up, preparation, the
// Settings page accepted, installation, the report), and what the machine
// holds afterwards.
#ifndef TESTS_SUPPORT_WHOLE_RUN_H
#define TESTS_SUPPORT_WHOLE_RUN_H

#include <map>
#include <string>
#include <vector>

#ifndef _WIN32

#include <hostwin/machine.h>

namespace whole_run {

// The registry keys an installation writes.
inline constexpr const char* PRODUCT_KEY = "Software\\Morvik Communication\\Loxbrine";
inline constexpr const char* BFAX_PARAMETERS = "System\\CurrentControlSet\\Services\\bfax\\Parameters";

// One file of the distribution, as listed and as stored.
struct DistributionFile {
    std::string name;        // the listed name: its path in the distribution, uncompressed
    std::string placement;   // second field: 'A' puts it into the morvik folder
    std::string overwrite;   // third field: '1' replaces an installed copy
    std::string storedName;  // the name it is stored under (compressed: last character '_')
    std::string stored;      // the bytes stored
};

// The machine before the run.
struct Scenario {
    std::vector<DistributionFile> files;
    std::string list;  // Files.ini as stored
    // Old files (the program's copy among them), configuration, record,
    // entry in Programs and Features, running services.
    bool earlierInstallation = false;
};

// The usual distribution: a compressed driver, a plain program, a compressed
// file of several copy chunks in a sub-folder, a plain file stored under its
// compressed name (the sub-folder's file listed twice), btcall.cfg and a
// read-me that is never replaced; Files.ini opens with a long comment so that
// its lines cross its read chunks.
Scenario StandardScenario(bool earlierInstallation);
DistributionFile* FindFile(Scenario* scenario, const std::string& name);

// Makes a fresh machine hold the scenario.
void Prepare(const Scenario& scenario);

struct Run {
    int installSucceeded = 0;
    int maxProgress = 0;   // the highest progress any redraw showed
    std::vector<hostwin::MessageBoxRecord> boxes;
};
// Start-up, preparation, the Settings page accepted with the standard boards,
// installation and its report, answering every message with its default
// button or the answer queued for it.
Run RunProgram();

// Everything an installation touches: "file:bfax\\x" below %windir%, the
// product key in its three places, the uninstall entry (its EstimatedSize as
// "the installed files in KiB" when it is the files' size), the driver service
// keys, "service:NAME" (its configuration) and "state:NAME" (running or not).
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot();
// The entries of after that differ from expected (a missing one as "NAME (gone)"),
// but for those whose names begin with ignored.
std::vector<std::string> Differences(const Snapshot& after, const Snapshot& expected, const char* ignored = nullptr);
// Handles and memory blocks the run left.
std::vector<std::string> LeftOpen();

// The driver services as "bfax new running, faxinit old stopped" ("new": as
// an installation creates them; "marked": marked for deletion), or "none".
std::string ServiceSummary();

}  // namespace whole_run

#endif  // _WIN32

#endif
