// Every call that can fail, failed in turn: a whole run (start-up,
// preparation, installation, report) is made once to count the program's
// file, LZ, registry and service calls, then once more for each of them with
// that call failing - alone, or together with every call after it, clean-up
// included, as a power failure leaves a run. Every run must end in a
// described outcome (a message, a skip, an installation reported as failed,
// or one reported as installed that is complete) and leave no handle open
// and every installed file old or new, never cut short and never lost; a
// temporary file may stay only where its deletion failed, and the next run
// removes it. An update that fails leaves exactly the earlier installation
// (files, configuration files, services, parameters, product key), or, where
// putting it back failed too, its backup folder, from which the next run's
// start-up restores it exactly.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "install/unattended.h"
#include "support/install_fixture.h"
#include "support/platform.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

struct Sweep {
    const char* id;
    const char* name;
    bool earlierInstallation;
    bool persist;   // every call from the failing one on fails too
    bool answerNo;  // every question answered No instead of with its default button
};

struct SweepResult {
    int calls = 0;
    int runs = 0;
    std::map<std::string, int> kinds;  // counted calls by name
    std::map<std::string, int> outcomes;
    int damaged = 0;  // installed files found cut short, or lost
    int strays = 0;   // temporary files left behind
    int removed = 0;  // of those, removed by the next run
    int rolledBack = 0;  // failed updates that left the earlier installation at once
    int left = 0;        // failed updates that left their backup folder
    int restored = 0;    // of those, restored exactly by the next start-up
};

const char* const RECORD = "file:bfax\\backup\\restore.lst";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What differs from the earlier installation, but for the temporary files
// whose deletion failed (the next run removes them).
std::vector<std::string> Differences(const whole_run::Snapshot& before, const whole_run::Snapshot& after) {
    std::vector<std::string> differences;
    for (const auto& entry : after) {
        auto was = before.find(entry.first);
        bool temporary = EndsWith(entry.first, ".part") || EndsWith(entry.first, ".new");
        if (was == before.end() ? !temporary : was->second != entry.second) differences.push_back(entry.first);
    }
    for (const auto& entry : before) {
        if (!after.count(entry.first)) differences.push_back(entry.first + " (gone)");
    }
    return differences;
}

// The files that failed calls excuse: a destination the copy could not
// write its new copy next to, or not move that copy onto, stays as it was;
// a file that could not be deleted may stay.
whole_run::Excuses ExcusesOf(const std::vector<hostwin::FallibleCall>& calls) {
    const std::string windows = "C:\\WINDOWS\\";
    const std::string partial = ".part";
    whole_run::Excuses excuses;
    for (const hostwin::FallibleCall& call : calls) {
        if (!call.injected || call.target.compare(0, windows.size(), windows) != 0) continue;
        std::string relative = call.target.substr(windows.size());
        if (call.call == "DeleteFileA") excuses.undeletable.push_back(relative);
        if (call.call != "CreateFileA" && call.call != "MoveFileExA") continue;
        if (relative.size() > partial.size() &&
            relative.compare(relative.size() - partial.size(), partial.size(), partial) == 0) {
            relative.resize(relative.size() - partial.size());
        }
        excuses.untouchable.push_back(relative);
    }
    return excuses;
}

// Installed files that are neither as before nor as the distribution has
// them, or gone although they were there. btcall.cfg, edited in place, is
// judged by whole_run::Judge.
int Damaged(const whole_run::Scenario& scenario, const whole_run::Snapshot& before,
            const whole_run::Snapshot& after) {
    int damaged = 0;
    for (const whole_run::DistributionFile& file : scenario.files) {
        std::string key = "file:" + file.Destination();
        if (file.name == "btcall.cfg") continue;
        auto was = before.find(key);
        auto is = after.find(key);
        if (is == after.end()) {
            damaged += was != before.end();
        } else {
            damaged += (was == before.end() || is->second != was->second) && is->second != file.installed;
        }
    }
    return damaged;
}

// Files below the driver directory that were not there before and that no
// installation leaves.
std::vector<std::string> Strays(const whole_run::Scenario& scenario, const whole_run::Snapshot& before,
                                const whole_run::Snapshot& after) {
    std::vector<std::string> strays;
    for (const auto& entry : after) {
        if (entry.first.compare(0, 5, "file:") != 0 || before.count(entry.first) ||
            entry.first == "file:bfax\\faxinit.cfg") {
            continue;
        }
        bool listed = false;
        for (const whole_run::DistributionFile& file : scenario.files) {
            listed |= entry.first == "file:" + file.Destination();
        }
        if (!listed) strays.push_back(entry.first);
    }
    return strays;
}

void Print(const std::map<std::string, int>& counts) {
    const char* separator = " ";
    for (const auto& count : counts) {
        std::printf("%s%s %d", separator, count.first.c_str(), count.second);
        separator = ", ";
    }
    std::printf("\n");
}

class FaultSweepTest : public SetupTest, public ::testing::WithParamInterface<Sweep> {
protected:
    void TearDown() override { FreeManifestEntries(); }

    // One whole run on a fresh machine; failAt 0 fails nothing.
    whole_run::Verdict RunOnce(int failAt, std::vector<hostwin::FallibleCall>* calls, SweepResult* result) {
        const Sweep& sweep = GetParam();
        FreeManifestEntries();
        testing_support::ResetAll();
        whole_run::Scenario scenario = whole_run::StandardScenario(sweep.earlierInstallation);
        whole_run::Prepare(scenario);
        if (sweep.answerNo) {
            hostwin::SetMessageBoxHandler([](const hostwin::MessageBoxRecord& box) {
                return (box.type & MB_TYPEMASK) == MB_YESNO ? IDNO : 0;
            });
        }
        whole_run::Snapshot before = whole_run::TakeSnapshot();
        hostwin::CountCalls(failAt, sweep.persist);
        whole_run::Run run = whole_run::RunProgram(whole_run::StandardBoards());
        hostwin::StopFailingCalls();
        *calls = hostwin::FallibleCalls();
        whole_run::Snapshot after = whole_run::TakeSnapshot();
        whole_run::Excuses excuses = ExcusesOf(*calls);
        bool failedUpdate = sweep.earlierInstallation && run.prepared && !run.installSucceeded;
        if (failedUpdate && after.count(RECORD)) {
            // The next run's start-up, without faults, finds the folder.
            ++result->left;
            FreeManifestEntries();
            ResetSetupState();
            setupState.instance = GetModuleHandleA(nullptr);
            hostwin::SetMessageBoxHandler(nullptr);
            if (InitRun() && !(after = whole_run::TakeSnapshot()).count(RECORD)) ++result->restored;
        } else if (failedUpdate) {
            ++result->rolledBack;
        } else if (run.installSucceeded && after.count(RECORD)) {
            // An update that stands, whose backup folder could not go: the
            // next start-up removes it (checked below with the other strays).
            for (const auto& entry : after) {
                if (entry.first.compare(0, 17, "file:bfax\\backup\\") == 0) {
                    excuses.undeletable.push_back(entry.first.substr(5));
                }
            }
        }
        // Judged once the next start-up has put back what this run could not.
        whole_run::Verdict verdict = whole_run::Judge(scenario, before, run, excuses);
        if (failedUpdate) {
            for (const std::string& difference : Differences(before, after)) {
                verdict.problems.push_back("not as before the update: " + difference);
            }
        }
        result->damaged += Damaged(scenario, before, after);
        std::vector<std::string> strays = Strays(scenario, before, after);
        if (strays.empty()) return verdict;

        // The next run, without faults and answering as usual, on the
        // machine as this one left it.
        result->strays += static_cast<int>(strays.size());
        FreeManifestEntries();
        ResetSetupState();
        setupState.instance = GetModuleHandleA(nullptr);
        hostwin::SetMessageBoxHandler(nullptr);
        whole_run::RunProgram(whole_run::StandardBoards());
        whole_run::Snapshot next = whole_run::TakeSnapshot();
        for (const std::string& stray : strays) {
            if (next.count(stray)) {
                verdict.problems.push_back("the next run left " + stray.substr(5));
            } else {
                ++result->removed;
            }
        }
        return verdict;
    }

    SweepResult Run() {
        SweepResult result;
        std::vector<hostwin::FallibleCall> counted;
        whole_run::Verdict clean = RunOnce(0, &counted, &result);
        for (const std::string& problem : clean.problems) ADD_FAILURE() << "without a fault: " << problem;
        result.calls = static_cast<int>(counted.size());
        for (const hostwin::FallibleCall& call : counted) ++result.kinds[call.call];
        for (int k = 1; k <= result.calls; ++k) {
            std::vector<hostwin::FallibleCall> calls;
            whole_run::Verdict verdict = RunOnce(k, &calls, &result);
            ++result.runs;
            ++result.outcomes[verdict.outcome];
            const hostwin::FallibleCall& failing = counted[k - 1];
            // The runs agree up to the failing call.
            if (static_cast<int>(calls.size()) < k || calls[k - 1].call != failing.call ||
                calls[k - 1].target != failing.target || !calls[k - 1].injected) {
                ADD_FAILURE() << "call " << k << " is not " << failing.call << " " << failing.target;
            }
            for (const std::string& problem : verdict.problems) {
                ADD_FAILURE() << "call " << k << " of " << result.calls << " failing (" << failing.call << " "
                              << failing.target << "): " << verdict.outcome << ": " << problem;
            }
        }
        return result;
    }
};

TEST_P(FaultSweepTest, EveryRunEndsInADescribedOutcome) {
    SweepResult result = Run();
    EXPECT_GT(result.calls, 100);  // every area takes part
    EXPECT_EQ(0, result.damaged);
    EXPECT_EQ(result.left, result.restored);
    std::printf("fault sweep, %s: %d runs:", GetParam().name, result.runs);
    Print(result.outcomes);
    char summary[512];
    std::snprintf(summary, sizeof summary,
                  "%s: %d runs, installed files cut short or lost: %d, temporary files left: %d, removed by the "
                  "next run: %d; failed updates put back at once: %d, backup folder left: %d, restored by the "
                  "next start-up: %d",
                  GetParam().name, result.runs, result.damaged, result.strays, result.removed, result.rolledBack,
                  result.left, result.restored);
    std::printf("  %s\n", summary);
    RecordProperty("summary", summary);  // tools/test shows it
    std::printf("  the %d calls counted:", result.calls);
    Print(result.kinds);
}

const Sweep SWEEPS[] = {
    {"FirstOneCall", "first installation, one call failing", false, false, false},
    {"UpdateOneCall", "update over running drivers and other files, one call failing", true, false, false},
    {"UpdateOneCallAnsweredNo", "update, one call failing, every question answered No", true, false, true},
    {"UpdateFromOneOn", "update, every call failing from one on, clean-up included", true, true, false},
};

std::string SweepName(const ::testing::TestParamInfo<Sweep>& info) { return info.param.id; }

INSTANTIATE_TEST_SUITE_P(WholeRuns, FaultSweepTest, ::testing::ValuesIn(SWEEPS), SweepName);

#endif  // ON_STAND_IN

}  // namespace
