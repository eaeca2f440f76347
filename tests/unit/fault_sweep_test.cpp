// The power goes while an update writes its record, at every byte of every
// write; Windows starts again, then the copy of setup in the driver directory
// (as Programs and Features starts it), and after another restart once more.
// Every start-up must go through and leave one installation whole, the
// earlier one or the new one: every file of the earlier installation there,
// old or new, none cut short (the copy's own file too, which it cannot
// replace while it runs); the services, parameters, product key and entry
// all of one of them.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "install/run.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::Snapshot;

class PowerCutTest : public SetupTest {
protected:
    void TearDown() override { FreeManifestEntries(); }

    // The machine as the last run left it (next) or a fresh one holding the update.
    void NewRun(bool fresh) {
        FreeManifestEntries();
        ResetAll(fresh);
        if (fresh) whole_run::Prepare(whole_run::StandardScenario(true));
    }
};

TEST_F(PowerCutTest, EveryCutLeavesOneInstallationWhole) {
    const char* const RECORD = "C:\\WINDOWS\\bfax\\backup\\restore.lst";
    NewRun(true);
    const Snapshot before = whole_run::TakeSnapshot();
    hostwin::CutPowerAt(RECORD, 0);
    ASSERT_EQ(1, whole_run::RunProgram().installSucceeded);
    const Snapshot reference = whole_run::TakeSnapshot();
    const std::uint64_t cuts = hostwin::BytesWrittenTo();
    int putBack = 0, completed = 0, stuck = 0, lost = 0;
    for (std::uint64_t cut = 1; cut <= cuts; ++cut) {
        NewRun(true);
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
            auto installed = reference.find(entry.first);
            bool kept = found != after.end() && (found->second == entry.second ||
                                                 (installed != reference.end() && found->second == installed->second));
            lost += entry.first.rfind("file:", 0) == 0 && !kept;
        }
        // Which services run after Windows started again depends on how they start.
        std::vector<std::string> old = whole_run::Differences(after, before, "state:");
        bool whole = whole_run::Differences(after, reference, "state:").empty();
        putBack += old.empty();
        completed += whole;
        EXPECT_TRUE(old.empty() || whole) << "cut at byte " << cut << " leaves neither installation whole: "
                                          << ::testing::PrintToString(old);
    }
    EXPECT_EQ(0, stuck);
    EXPECT_EQ(0, lost);
    char summary[256];
    std::snprintf(summary, sizeof summary,
                  "power cut while an update over running drivers writes its record: %llu cut points, put back "
                  "exactly: %d, completed: %d, stuck: %d, lost: %d",
                  static_cast<unsigned long long>(cuts), putBack, completed, stuck, lost);
    std::printf("  %s\n", summary);
    RecordProperty("summary", summary);  // tools/test shows it
}

#endif  // ON_STAND_IN

}  // namespace
