// The update record read back at start-up: what it set aside comes back,
// what cannot come back now keeps the folder for the next run, and the log
// says which.
#include <string>
#include <vector>

#include "core/setup_log.h"
#include "install/rollback.h"
#include "install/run.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

const std::string BFAX = "C:\\WINDOWS\\bfax\\";
const std::string LOG = "C:\\setup.log";

// The earlier installation and what an update of it left: bfax.sys set
// aside and its new copy in place, a temporary cut short, and the record.
void LeaveUpdate(const std::string& lines) {
    ResetAll();
    whole_run::Prepare(whole_run::StandardScenario(true));
    InitRun();
    OpenSetupLog(LOG.c_str());
    hostwin::MakeDirectories((BFAX + "backup\\files").c_str());
    PutFile(BFAX + "backup\\files\\bfax.sys", "old bfax.sys");
    PutFile(BFAX + "bfax.sys", "new bfax.sys");
    PutFile(BFAX + "bfax.sys.part", "cut");
    PutFile(BFAX + "backup\\restore.lst", "Loxbrine update record\t2\r\n" + lines + "recorded\r\n");
}

TEST(RollbackTest, WhatCannotComeBackKeepsTheRecord) {
    const std::string moved = "moved\tbfax.sys\tbfax.sys.part\r\n";
    struct Case {
        std::string lines;
        bool held;  // another program holds the new bfax.sys open
        LeftBackup left;
        const char* bfax;
        const char* logged;
    } cases[] = {
        {moved, false, LEFT_BACKUP_RESTORED, "old bfax.sys", "The earlier installation is restored"},
        {"moved\tbfax.sys\r\n" + moved, false, LEFT_BACKUP_RESTORED, "old bfax.sys", "is not understood; skipped"},
        {"service\tbfax\t1\t0\t1\t3\t1\tC:\\evil\\bfax.sys\tbfax\t\t\t\r\n" + moved, false, LEFT_BACKUP_RESTORED,
         "old bfax.sys", "A service line of the record names what the installation does not own"},
        {moved, true, LEFT_BACKUP_FAILED, "new bfax.sys", "not restored whole; what is missing stays in"},  // last
    };
    for (const Case& c : cases) {
        LeaveUpdate(c.lines);
        if (c.held) hostwin::HoldOpen((BFAX + "bfax.sys").c_str());
        EXPECT_EQ(c.left, RestoreLeftBackup()) << c.lines;
        hostwin::ReleaseHeld((BFAX + "bfax.sys").c_str());
        EXPECT_EQ(c.bfax, FileText(BFAX + "bfax.sys")) << c.lines;
        EXPECT_FALSE(FileExists(BFAX + "bfax.sys.part")) << c.lines;
        EXPECT_EQ(c.held, BackupLeft() == 1) << c.lines;
        CloseSetupLog();
        EXPECT_NE(std::string::npos, FileText(LOG).find(c.logged)) << c.lines;
    }
    // The next run puts it back.
    EXPECT_EQ(LEFT_BACKUP_RESTORED, RestoreLeftBackup());
    EXPECT_EQ("old bfax.sys", FileText(BFAX + "bfax.sys"));
    // Nor are services that cannot be looked at taken for put back.
    const std::string absent = "service\tbfax\t0\t0\t1\t3\t1\t\t\t\t\t\r\n" + moved;
    LeaveUpdate(absent);
    hostwin::CountCalls();
    RestoreLeftBackup();
    const std::vector<hostwin::FallibleCall>& calls = hostwin::FallibleCalls();
    int manager = 1;
    while (manager <= static_cast<int>(calls.size()) && calls[manager - 1].call != "OpenSCManagerA") ++manager;
    LeaveUpdate(absent);
    hostwin::CountCalls(manager);
    EXPECT_EQ(LEFT_BACKUP_FAILED, RestoreLeftBackup());
}

// An installed file that cannot be set aside is not replaced, and the log says why.
TEST(RollbackTest, AFileThatCannotBeSetAsideIsLogged) {
    // The first run counts the calls; the second fails the move that sets bfax.sys aside.
    size_t setAside = 0;
    for (int run = 0; run < 2; ++run) {
        ResetAll();
        whole_run::Prepare(whole_run::StandardScenario(true));
        OpenSetupLog(LOG.c_str());
        hostwin::CountCalls(static_cast<int>(setAside));
        whole_run::RunProgram();
        CloseSetupLog();
        FreeManifestEntries();
        const std::vector<hostwin::FallibleCall>& calls = hostwin::FallibleCalls();
        if (run == 0) {
            while (setAside < calls.size() && calls[setAside].target != BFAX + "backup\\files\\bfax.sys") ++setAside;
            ASSERT_LT(setAside++, calls.size());  // numbered from 1
        }
    }
    EXPECT_NE(std::string::npos, FileText(LOG).find(BFAX + "bfax.sys cannot be set aside (error 5)")) << FileText(LOG);
}

// Services are put back only where they changed: a running driver is not
// stopped and deleted for nothing.
TEST(RollbackTest, ServicesComeBackOnlyWhereTheyChanged) {
    ResetAll();
    whole_run::Prepare(whole_run::StandardScenario(true));
    InitRun();
    ASSERT_EQ(1, BeginRollback());
    EXPECT_EQ(0, EndRollback(0));
    for (const hostwin::ServiceCall& call : hostwin::ServiceCalls()) EXPECT_NE("DeleteService", call.call);
}

#endif

}  // namespace
