// Every call that can fail, failed in turn: a whole run (start-up,
// preparation, installation, report) is made once without a fault to count
// the program's file, LZ, registry and service calls, then once for each of
// them failing - alone, or with every call after it, clean-up included, as a
// power failure leaves a run. Each run must end with its message, leave no
// handle open, and leave: when refused, the machine untouched; when
// installed, what the run without a fault leaves but for files whose copy
// was skipped; when a first installation failed, every file absent or whole;
// when an update failed, exactly the earlier installation, or its backup
// folder, from which the next start-up restores it. A temporary file may stay
// only where its deletion failed, and the next run removes it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/names.h"
#include "core/setup_state.h"
#include "install/run.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::Snapshot;

struct Sweep {
    const char* id;
    const char* name;
    bool earlierInstallation;
    bool persist;   // every call from the failing one on fails too
    bool answerNo;  // every question answered No instead of with its default button
};

void PrintTo(const Sweep& sweep, std::ostream* out) { *out << sweep.id; }

struct SweepResult {
    int runs = 0;
    std::map<std::string, int> outcomes;
    int damaged = 0;     // installed files found otherwise: cut short, lost, not replaced
    int strays = 0;      // temporary files left behind
    int removed = 0;     // of those, removed by the next run
    int rolledBack = 0;  // failed updates that left the earlier installation at once
    int left = 0;        // failed updates that left their backup folder
    int restored = 0;    // of those, restored exactly by the next start-up
};

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Whether text has reference's lines, each as there or as in source: a
// configuration file with some of its edits made.
bool PartlyEdited(const std::string& text, const std::string& source, const std::string& reference) {
    std::istringstream found(text), from(source), to(reference);
    std::string line, before, after;
    while (std::getline(to, after)) {
        bool read = std::getline(found, line) && std::getline(from, before);
        if (!read || (line != before && line != after)) return false;
    }
    return !std::getline(found, line) && text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

// What a failing call excuses in a run that installs: the entry in Programs
// and Features, which decides nothing, missing where a call writing it
// failed, or giving another size where a file's size could not be read.
struct Excuse {
    const char* call;
    const char* target;   // part of the call's target
    const char* excused;  // part of the differences it excuses
};
const Excuse EXCUSES[] = {
    {"RegCreateKeyExA", UNINSTALL_KEY, UNINSTALL_KEY},
    {"RegSetValueExA", UNINSTALL_KEY, UNINSTALL_KEY},
    {"CreateFileA", "C:\\WINDOWS\\bfax\\", "\\EstimatedSize"},
};

bool Excused(const std::vector<hostwin::FallibleCall>& calls, const std::string& difference) {
    for (const hostwin::FallibleCall& call : calls) {
        for (const Excuse& excuse : EXCUSES) {
            if (call.injected && call.call == excuse.call && call.target.find(excuse.target) != std::string::npos &&
                difference.find(excuse.excused) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

class FaultSweepTest : public SetupTest, public ::testing::WithParamInterface<Sweep> {
protected:
    void TearDown() override { FreeManifestEntries(); }

    // A new run: on a fresh machine, answering as the sweep does, or on the
    // machine as the last run left it, answering as usual (the next run).
    void NewRun(bool freshMachine) {
        FreeManifestEntries();
        ResetAll(freshMachine);
        hostwin::SetMessageBoxHandler(nullptr);
        if (freshMachine && GetParam().answerNo) {
            hostwin::SetMessageBoxHandler([](const hostwin::MessageBoxRecord& box) {
                return (box.type & MB_TYPEMASK) == MB_YESNO ? IDNO : 0;
            });
        }
    }

    // What the next run's start-up (or, with whole, the whole next run) leaves.
    Snapshot Next(bool whole) {
        NewRun(false);
        if (whole) whole_run::RunProgram();
        if (!whole) InitRun();
        return whole_run::TakeSnapshot();
    }

    // One whole run on a fresh machine with call failAt failing; its problems.
    std::vector<std::string> RunOnce(int failAt, SweepResult* result, std::string* outcome) {
        const Sweep& sweep = GetParam();
        NewRun(true);
        whole_run::Prepare(scenario_);
        Snapshot before = whole_run::TakeSnapshot();
        hostwin::CountCalls(failAt, sweep.persist);
        whole_run::Run run = whole_run::RunProgram();
        hostwin::StopFailingCalls();
        calls_ = hostwin::FallibleCalls();
        Snapshot after = whole_run::TakeSnapshot();
        std::vector<std::string> problems = whole_run::LeftOpen();

        // What failed calls excuse: a destination the copy could not write
        // its new copy next to, or not move that copy onto, stays as it was;
        // a file that could not be deleted may stay.
        const std::string windows = "C:\\WINDOWS\\";
        std::vector<std::string> untouchable, undeletable;
        for (const hostwin::FallibleCall& call : calls_) {
            if (!call.injected || !StartsWith(call.target, windows)) continue;
            std::string relative = call.target.substr(windows.size());
            if (call.call == "DeleteFileA" || call.call == "RemoveDirectoryA") undeletable.push_back(relative);
            if (call.call != "CreateFileA" && call.call != "MoveFileExA") continue;
            bool part = relative.size() > 5 && relative.compare(relative.size() - 5, 5, ".part") == 0;
            untouchable.push_back(part ? relative.substr(0, relative.size() - 5) : relative);
        }

        // The messages: 20030 first, 20007 questions, and the one that ends the run.
        std::vector<UINT> ids = whole_run::MessageIds(run.boxes);
        for (size_t i = 0; i + 1 < ids.size(); ++i) {
            if (ids[i] != IDS_CANNOT_OPEN_FILE && !(i == 0 && ids[i] == IDS_NOT_ADMINISTRATOR)) {
                problems.push_back("unexpected message: " + run.boxes[i].text);
            }
        }
        UINT last = ids.empty() ? 0 : ids.back();
        *outcome = !run.prepared ? "refused" : run.installSucceeded ? "installed" : "failed";
        if (ids.size() > 1 && ids[ids.size() - 2] == IDS_CANNOT_OPEN_FILE) *outcome += " after 20007";
        bool reported = !run.prepared
                            ? last == IDS_FILE_LIST_DAMAGED || (last == IDS_NOT_ADMINISTRATOR && ids.size() == 1)
                            : last == (run.installSucceeded ? IDS_INSTALL_SUCCEEDED : IDS_INSTALL_FAILED);
        if (!reported) problems.push_back("the run not reported as it ended");

        bool failedUpdate = sweep.earlierInstallation && run.prepared && !run.installSucceeded;
        if (failedUpdate && after.count("file:bfax\\backup\\restore.lst")) {
            ++result->left;
            after = Next(false);
            if (!after.count("file:bfax\\backup\\restore.lst")) ++result->restored;
        } else if (failedUpdate) {
            ++result->rolledBack;
        }

        // Refused, or a failed update: the machine as it was. Installed: as
        // the run without a fault leaves it, but for excused files and
        // whether the drivers could be started. A failed first installation:
        // each file absent or as that run leaves it, btcall.cfg perhaps with
        // only some of its edits made.
        bool firstFailed = run.prepared && !run.installSucceeded && !sweep.earlierInstallation;
        Snapshot expected = run.installSucceeded || firstFailed ? reference_ : before;
        std::vector<std::string> mayStay = untouchable;
        if (run.installSucceeded) {
            for (const whole_run::DistributionFile& file : scenario_.files) {
                std::string named = std::string(whole_run::DISTRIBUTION) + "\\" + file.name;
                for (const hostwin::MessageBoxRecord& box : run.boxes) {
                    if (box.text.find(named.substr(0, named.size() - 1)) != std::string::npos) {
                        mayStay.push_back(file.Destination());
                    }
                }
                // Its probe failing, a file never replaced may be taken for missing.
                std::string key = "file:" + file.Destination();
                if (Contains(untouchable, file.Destination()) && after.count(key) && after.at(key) == file.installed) {
                    expected[key] = file.installed;
                }
            }
            for (const auto& entry : after) {
                if (StartsWith(entry.first, "state:")) expected[entry.first] = entry.second;
            }
        }
        std::vector<std::string> strays = whole_run::Strays(scenario_, before, after);
        for (const std::string& difference :
             whole_run::Differences(after, expected, before, mayStay)) {
            bool file = StartsWith(difference, "file:"), gone = difference.find(" (gone)") != std::string::npos;
            if (file && Contains(strays, difference.substr(5))) continue;
            bool partly = difference == "file:bfax\\morvik\\btcall.cfg" && !gone &&
                          PartlyEdited(after.at(difference), whole_run::SOURCE_BTCALL, reference_.at(difference));
            if ((firstFailed && (!file || gone || partly)) || (run.installSucceeded && Excused(calls_, difference))) {
                continue;
            }
            result->damaged += file;
            problems.push_back("not as expected: " + difference);
        }
        if (strays.empty()) return problems;

        if (run.installSucceeded && after.count("file:bfax\\backup\\restore.lst")) {
            // An update that stands, whose backup folder could not go: the
            // next start-up removes the folder and nothing else.
            for (const std::string& difference : whole_run::Differences(Next(false), after)) {
                if (!StartsWith(difference, "file:bfax\\backup\\")) problems.push_back("next start-up: " + difference);
            }
        }
        result->strays += static_cast<int>(strays.size());
        for (const std::string& stray : strays) {
            if (!Contains(undeletable, stray) && !StartsWith(stray, "bfax\\backup\\")) {
                problems.push_back("left behind: " + stray);
            }
        }
        Snapshot next = Next(true);
        for (const std::string& stray : strays) {
            if (next.count("file:" + stray)) {
                problems.push_back("the next run left " + stray);
            } else {
                ++result->removed;
            }
        }
        return problems;
    }

    // What the run without a fault leaves; an update's is a first
    // installation's but for the files it never replaces.
    Snapshot Reference(bool earlierInstallation) {
        Snapshot first = earlierInstallation ? Reference(false) : Snapshot();
        NewRun(true);
        scenario_ = whole_run::StandardScenario(earlierInstallation);
        whole_run::Prepare(scenario_);
        Snapshot before = whole_run::TakeSnapshot();
        hostwin::CountCalls();
        whole_run::Run run = whole_run::RunProgram();
        Snapshot after = whole_run::TakeSnapshot();
        EXPECT_EQ(1, run.installSucceeded);
        EXPECT_TRUE(whole_run::LeftOpen().empty());
        EXPECT_TRUE(whole_run::Strays(scenario_, before, after).empty());
        if (earlierInstallation) {
            std::vector<std::string> neverReplaced = {"bfax\\bfaxdll.dll"};
            EXPECT_EQ(std::vector<std::string>(), whole_run::Differences(after, first, before, neverReplaced));
        }
        return after;
    }

    void Run(SweepResult* result) {
        reference_ = Reference(GetParam().earlierInstallation);
        std::vector<hostwin::FallibleCall> counted = calls_ = hostwin::FallibleCalls();
        EXPECT_GT(counted.size(), 100u);  // every area takes part
        for (size_t k = 1; k <= counted.size(); ++k) {
            std::string outcome;
            std::vector<std::string> problems = RunOnce(static_cast<int>(k), result, &outcome);
            ++result->runs;
            ++result->outcomes[outcome];
            const hostwin::FallibleCall& failing = counted[k - 1];
            for (const std::string& problem : problems) {
                ADD_FAILURE() << "call " << k << " of " << counted.size() << " failing (" << failing.call << " "
                              << failing.target << "): " << outcome << ": " << problem;
            }
        }
    }

    whole_run::Scenario scenario_;
    Snapshot reference_;
    std::vector<hostwin::FallibleCall> calls_;
};

TEST_P(FaultSweepTest, EveryRunEndsInADescribedOutcome) {
    SweepResult result;
    Run(&result);
    EXPECT_EQ(0, result.damaged);
    EXPECT_EQ(result.left, result.restored);
    std::string outcomes;
    for (const auto& outcome : result.outcomes) outcomes += ", " + outcome.first + " " + std::to_string(outcome.second);
    std::printf("fault sweep, %s: %d runs%s\n", GetParam().name, result.runs, outcomes.c_str());
    char summary[512];
    std::snprintf(summary, sizeof summary,
                  "%s: %d runs, installed files cut short or lost: %d, temporary files left: %d, removed by the "
                  "next run: %d; failed updates put back at once: %d, backup folder left: %d, restored by the "
                  "next start-up: %d",
                  GetParam().name, result.runs, result.damaged, result.strays, result.removed, result.rolledBack,
                  result.left, result.restored);
    std::printf("  %s\n", summary);
    RecordProperty("summary", summary);  // tools/test shows it
}

const Sweep SWEEPS[] = {
    {"FirstOneCall", "first installation, one call failing", false, false, false},
    {"UpdateOneCall", "update over running drivers and other files, one call failing", true, false, false},
    {"UpdateOneCallAnsweredNo", "update, one call failing, every question answered No", true, false, true},
    {"UpdateFromOneOn", "update, every call failing from one on, clean-up included", true, true, false},
};

std::string SweepName(const ::testing::TestParamInfo<Sweep>& info) { return info.param.id; }

INSTANTIATE_TEST_SUITE_P(WholeRuns, FaultSweepTest, ::testing::ValuesIn(SWEEPS), SweepName);

// The power goes while an update writes its record, at every byte of every
// write; Windows starts again, then the copy of setup in the driver directory
// (as Programs and Features starts it), and after another restart once more.
// Every start-up must go through and leave one installation whole, the
// earlier one or the new one: every file of the earlier installation there,
// old or new, none cut short (the copy's own file too, which it cannot
// replace while it runs); the services, parameters, product key and entry
// all of one of them.
class PowerCutTest : public FaultSweepTest {};

TEST_P(PowerCutTest, EveryCutLeavesOneInstallationWhole) {
    const char* const RECORD = "C:\\WINDOWS\\bfax\\backup\\restore.lst";
    reference_ = Reference(true);
    NewRun(true);
    whole_run::Prepare(scenario_);
    hostwin::CutPowerAt(RECORD, 0);
    whole_run::RunProgram();
    const std::uint64_t cuts = hostwin::BytesWrittenTo();
    int putBack = 0, completed = 0, stuck = 0, lost = 0;
    Snapshot before;
    for (std::uint64_t cut = 1; cut <= cuts; ++cut) {
        NewRun(true);
        whole_run::Prepare(scenario_);
        if (cut == 1) before = whole_run::TakeSnapshot();
        hostwin::CutPowerAt(RECORD, cut);
        whole_run::RunProgram();
        hostwin::Restart();
        hostwin::SetModuleFileName("C:\\WINDOWS\\bfax\\setup.exe");
        NewRun(false);
        stuck += !InitRun();
        hostwin::Restart();
        Snapshot after = whole_run::TakeSnapshot();
        NewRun(false);
        stuck += !InitRun();
        EXPECT_EQ(after, whole_run::TakeSnapshot()) << "cut at byte " << cut;
        for (const auto& entry : before) {
            auto found = after.find(entry.first);
            bool kept = found != after.end() &&
                        (found->second == entry.second || found->second == reference_[entry.first]);
            lost += StartsWith(entry.first, "file:") && !kept;
        }
        // Which services run after Windows started again depends on how they start.
        std::vector<std::string> old = whole_run::Differences(after, before);
        std::vector<std::string> whole = whole_run::Differences(after, reference_);
        auto running = [](const std::string& difference) { return StartsWith(difference, "state:"); };
        old.erase(std::remove_if(old.begin(), old.end(), running), old.end());
        whole.erase(std::remove_if(whole.begin(), whole.end(), running), whole.end());
        putBack += old.empty();
        completed += whole.empty();
        if (!old.empty() && !whole.empty()) {
            std::string differences;
            for (const std::string& difference : old) differences += " " + difference;
            ADD_FAILURE() << "cut at byte " << cut << " leaves neither installation whole:" << differences;
        }
    }
    EXPECT_EQ(0, stuck);
    EXPECT_EQ(0, lost);
    char summary[256];
    std::snprintf(summary, sizeof summary,
                  "%s: %llu cut points, put back exactly: %d, completed: %d, stuck: %d, lost: %d", GetParam().name,
                  static_cast<unsigned long long>(cuts), putBack, completed, stuck, lost);
    std::printf("  %s\n", summary);
    RecordProperty("summary", summary);
}

// Answering No changes nothing here: the only question comes once the record is complete.
const Sweep CUTS[] = {
    {"UpdateCut", "power cut while an update over running drivers writes its record", true, false, false}};

INSTANTIATE_TEST_SUITE_P(PowerCuts, PowerCutTest, ::testing::ValuesIn(CUTS), SweepName);

#endif  // ON_STAND_IN

}  // namespace
