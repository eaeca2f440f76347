// Whole runs of the program without any window: the standard distribution
// and boards (on both platforms); on the stand-in machine also the machine
// laid out (perhaps with an earlier installation), the program run as its
// dialogue flow runs it (start-up, preparation, the Settings page accepted,
// installation, the report), and what the machine holds afterwards judged
// against everything such a run may leave.
#ifndef TESTS_SUPPORT_WHOLE_RUN_H
#define TESTS_SUPPORT_WHOLE_RUN_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/shared_types.h"
#include "driver/board_settings.h"
#include "support/installed_keys.h"

#ifndef _WIN32
#include <hostwin/machine.h>
#endif

namespace whole_run {

using installed_keys::BFAX_PARAMETERS;
using installed_keys::FAXINIT_PARAMETERS;
using installed_keys::PRODUCT_KEY;

// One file of the distribution, as listed and as stored.
struct DistributionFile {
    std::string name;        // the listed name: its path in the distribution, uncompressed
    std::string placement;   // second field: 'A' puts it into the morvik folder
    std::string overwrite;   // third field: '1' replaces an installed copy
    std::string storedName;  // the name it is stored under (compressed: last character '_')
    std::string stored;      // the bytes stored
    std::string installed;   // the bytes once installed

    bool Replaces() const { return overwrite.find('1') != std::string::npos; }
    // Relative to the Windows directory: "bfax\\x" or "bfax\\morvik\\x".
    std::string Destination() const;
};

// The machine before the run.
struct Scenario {
    std::vector<DistributionFile> files;
    std::string list;                  // Files.ini as stored
    bool listPresent = true;
    bool earlierInstallation = false;  // old files and configuration, record, running services
    std::function<void()> adjust;      // anything else, done last
};

// The usual distribution: a compressed driver, a plain program, a compressed
// file of several copy chunks in a sub-folder, a plain file stored under its
// compressed name, btcall.cfg and a read-me that is never replaced; Files.ini
// opens with a long comment so that its lines cross its read chunks.
Scenario StandardScenario(bool earlierInstallation);
// Files.ini lines for the files.
std::string ListOf(const std::vector<DistributionFile>& files);
DistributionFile* FindFile(Scenario* scenario, const std::string& name);

// What the earlier installation left, relative to the Windows directory.
extern const char* const OLD_BTCALL;
extern const char* const OLD_FAXINIT;
extern const char* const SOURCE_BTCALL;
extern const char* const NEW_FAXINIT;

// Board 1 TR114 PCI; boards 2 and 5 TR114 ISA at 300 (4 channels) and 340
// (2 channels); IRQ 5, DMA 1.
BoardForm StandardBoards();

// The btcall.cfg an installation makes of base: %windir% expanded, then the
// DID lines rewritten; edits picks which of the four edits were made (bits:
// 1 expansion, 2 digits, 4 variable, 8 start mode).
std::string EditedBtcall(const std::string& base, const DidSettings& did, unsigned edits = 15);

#ifndef _WIN32

// Where setup.exe and its distribution lie on the stand-in machine.
extern const char* const DISTRIBUTION;

// Makes a fresh machine hold the scenario.
void Prepare(const Scenario& scenario);

struct Run {
    bool prepared = false;  // preparation went through
    int installSucceeded = 0;
    int reportResult = 0;
    DidSettings did = {};  // the DID settings the installation wrote
    std::string status;    // the owner's status line at the end
    int maxProgress = 0;   // the highest progress any redraw showed
    std::vector<hostwin::MessageBoxRecord> boxes;
};
// Start-up, preparation, the Settings page accepted, installation and its
// report, answering every message with its default button unless a handler
// was set; atProgress runs at every redraw of the progress bar.
Run RunProgram(const BoardForm& form, const std::function<void()>& atProgress = nullptr);

// Everything an installation touches: files below %windir%\bfax, the product
// key in its three places, the driver service keys, the service records.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot();

// The driver services as "bfax new running, faxinit old stopped" ("new": as
// an installation creates them; "marked": marked for deletion), or "none".
std::string ServiceSummary();
// The install record as "HKLM new", "HKLM old, HKCU new", "HKLM partial", or "none".
std::string RecordSummary();

// What faults may excuse in the files a run leaves, by their path relative to
// the Windows directory ("bfax\\x").
struct Excuses {
    // Destinations the copy step could not create: it skips them without a
    // word, so they may stay as they were.
    std::vector<std::string> untouchable;
    // Files the run could not delete: such a temporary file may stay.
    std::vector<std::string> undeletable;
};

struct Verdict {
    std::string outcome;                // "refused", "failed", "installed", with what was skipped
    std::vector<std::string> problems;  // empty when the run left only what it may
};
// Judges the run: no handle or memory block left, no temporary file, every
// file whole (old or new; btcall.cfg possibly with only some of its edits
// made), none that was there lost, the messages in a described order, and a
// run reported as installed really complete.
Verdict Judge(const Scenario& scenario, const Snapshot& before, const Run& run, const Excuses& excuses = {});

// Text of a message as the program shows it.
std::string MessageText(unsigned id);

#endif  // _WIN32

}  // namespace whole_run

#endif
