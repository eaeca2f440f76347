// Every call that can fail, failed in turn: a whole run (start-up,
// preparation, installation, report) is made once to count the program's
// file, LZ, registry and service calls, then once more for each of them with
// that call failing - alone, or together with every call after it. Every run
// must end in a described outcome (a message, a skip, an installation
// reported as failed, or one reported as installed that is complete) and
// leave no handle open, no temporary file and no configuration file cut.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

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
};

// The files that failed calls excuse: a destination the copy could not
// create stays as it was, a file that could not be deleted may stay.
whole_run::Excuses ExcusesOf(const std::vector<hostwin::FallibleCall>& calls) {
    const std::string windows = "C:\\WINDOWS\\";
    whole_run::Excuses excuses;
    for (const hostwin::FallibleCall& call : calls) {
        if (!call.injected || call.target.compare(0, windows.size(), windows) != 0) continue;
        std::string relative = call.target.substr(windows.size());
        if (call.call == "CreateFileA") excuses.untouchable.push_back(relative);
        if (call.call == "DeleteFileA") excuses.undeletable.push_back(relative);
    }
    return excuses;
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
    whole_run::Verdict RunOnce(int failAt, std::vector<hostwin::FallibleCall>* calls) {
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
        return whole_run::Judge(scenario, before, run, ExcusesOf(*calls));
    }

    SweepResult Run() {
        SweepResult result;
        std::vector<hostwin::FallibleCall> counted;
        whole_run::Verdict clean = RunOnce(0, &counted);
        for (const std::string& problem : clean.problems) ADD_FAILURE() << "without a fault: " << problem;
        result.calls = static_cast<int>(counted.size());
        for (const hostwin::FallibleCall& call : counted) ++result.kinds[call.call];
        for (int k = 1; k <= result.calls; ++k) {
            std::vector<hostwin::FallibleCall> calls;
            whole_run::Verdict verdict = RunOnce(k, &calls);
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
    std::printf("fault sweep, %s: %d runs:", GetParam().name, result.runs);
    Print(result.outcomes);
    std::printf("  the %d calls counted:", result.calls);
    Print(result.kinds);
}

const Sweep SWEEPS[] = {
    {"FirstOneCall", "first installation, one call failing", false, false, false},
    {"UpdateOneCall", "update over running drivers, one call failing", true, false, false},
    {"UpdateOneCallAnsweredNo", "update, one call failing, every question answered No", true, false, true},
    {"UpdateFromOneOn", "update, every call failing from one on", true, true, false},
};

std::string SweepName(const ::testing::TestParamInfo<Sweep>& info) { return info.param.id; }

INSTANTIATE_TEST_SUITE_P(WholeRuns, FaultSweepTest, ::testing::ValuesIn(SWEEPS), SweepName);

#endif  // ON_STAND_IN

}  // namespace
