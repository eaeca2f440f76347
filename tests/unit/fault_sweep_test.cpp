// Every call that can fail, failed in turn: a whole run is made once to
// count the program's file, LZ, registry and service calls, then once more
// for each of them with exactly that call failing. Every run must end in a
// described outcome and leave nothing broken behind.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "support/install_fixture.h"
#include "support/platform.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::Scenario;

struct SweepResult {
    int calls = 0;
    std::map<std::string, int> outcomes;
};

// A destination that a failed open may leave as it was: the copy step
// skips a file it cannot create, without a word.
std::vector<std::string> UntouchableAfter(const hostwin::FallibleCall& call) {
    const std::string windows = "C:\\WINDOWS\\";
    if (call.call != "CreateFileA" || call.target.compare(0, windows.size(), windows) != 0) return {};
    return {call.target.substr(windows.size())};
}

class FaultSweepTest : public SetupTest {
protected:
    void TearDown() override { FreeManifestEntries(); }

    // One run; failAt 0 fails nothing.
    whole_run::Verdict RunOnce(const Scenario& scenario, int failAt, std::vector<hostwin::FallibleCall>* calls) {
        FreeManifestEntries();
        testing_support::ResetAll();
        whole_run::Prepare(scenario);
        whole_run::Snapshot before = whole_run::TakeSnapshot();
        hostwin::CountCalls(failAt);
        whole_run::Run run = whole_run::RunProgram(whole_run::StandardBoards());
        hostwin::StopFailingCalls();
        *calls = hostwin::FallibleCalls();
        std::vector<std::string> untouchable;
        if (failAt > 0 && failAt <= static_cast<int>(calls->size())) untouchable = UntouchableAfter((*calls)[failAt - 1]);
        return whole_run::Judge(scenario, before, run, untouchable);
    }

    SweepResult Sweep(const Scenario& scenario) {
        SweepResult result;
        std::vector<hostwin::FallibleCall> counted;
        whole_run::Verdict clean = RunOnce(scenario, 0, &counted);
        EXPECT_EQ("installed", clean.outcome);
        for (const std::string& problem : clean.problems) ADD_FAILURE() << "without a fault: " << problem;
        result.calls = static_cast<int>(counted.size());
        for (int k = 1; k <= result.calls; ++k) {
            std::vector<hostwin::FallibleCall> calls;
            whole_run::Verdict verdict = RunOnce(scenario, k, &calls);
            const hostwin::FallibleCall& failed = counted[k - 1];
            // The runs agree up to the failed call.
            if (static_cast<int>(calls.size()) < k || calls[k - 1].call != failed.call ||
                calls[k - 1].target != failed.target || calls[k - 1].injected == 0) {
                ADD_FAILURE() << "call " << k << " is not " << failed.call << " " << failed.target;
            }
            ++result.outcomes[verdict.outcome];
            for (const std::string& problem : verdict.problems) {
                ADD_FAILURE() << "call " << k << " of " << result.calls << ", " << failed.call << " "
                              << failed.target << " failing: " << verdict.outcome << ": " << problem;
            }
        }
        return result;
    }

    static void Print(const char* name, const SweepResult& result) {
        std::printf("fault sweep, %s: %d calls, %d runs with one failing:", name, result.calls, result.calls);
        for (const auto& outcome : result.outcomes) std::printf(" %s %d;", outcome.first.c_str(), outcome.second);
        std::printf("\n");
    }
};

TEST_F(FaultSweepTest, FirstInstallation) {
    SweepResult result = Sweep(whole_run::StandardScenario(false));
    Print("first installation", result);
}

TEST_F(FaultSweepTest, UpdateOverRunningDrivers) {
    SweepResult result = Sweep(whole_run::StandardScenario(true));
    Print("update over running drivers", result);
}

#endif  // ON_STAND_IN

}  // namespace
