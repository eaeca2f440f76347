// The fault matrix: whole updates, each with one fault - no name for the
// backup folder, a damaged compressed file, a service that will not stop,
// missing rights - and what the run must come to: its
// messages, nothing left open, and the machine as the run without the fault
// leaves it (but for the files the fault touches) or, once what stood in the
// way is gone, as it was before. Then the start-up facing hostile records.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/names.h"
#include "core/setup_log.h"
#include "core/text.h"
#include "install/run.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::Scenario;

const char* const DRIVER = "bfax\\bfax.sys";

struct Row {
    Row(const char* id, const char* fault, std::vector<UINT> messages, std::function<void(Scenario*)> arrange = nullptr)
        : id(id), fault(fault), messages(std::move(messages)), arrange(std::move(arrange)) {}

    const char* id;
    const char* fault;
    std::vector<UINT> messages;  // the last one says whether the run installed
    std::function<void(Scenario*)> arrange;  // the distribution, before it is laid out
    std::function<void()> inject;            // on the machine laid out (with the answers to its questions)
    // After the run: what another program lets go of, or what stood in the
    // way going, and the next start-up.
    std::function<void()> release;
    // Installed: files left as they were, where the run without the fault replaces them.
    std::vector<std::string> kept;
    const char* logged = nullptr;   // a line of the run's log
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.id; }

std::string Windows(const std::string& relative) { return "C:\\WINDOWS\\" + relative; }

// Bytes of every value, in a fixed jumble.
std::string BinaryBytes(size_t size) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(i * 167 % 256);
    return bytes;
}

// The messages of a run by their string ids (0 for any other text): the
// template's text before its first "%s".
std::vector<UINT> MessageIds(const std::vector<hostwin::MessageBoxRecord>& boxes) {
    std::vector<UINT> ids;
    for (const hostwin::MessageBoxRecord& box : boxes) {
        ids.push_back(0);
        for (UINT id : {IDS_CANNOT_OPEN_FILE, IDS_INSTALL_FAILED, IDS_INSTALL_SUCCEEDED, IDS_NOT_ADMINISTRATOR,
                        IDS_RESTART_NEEDED}) {
            std::string text = LoadText(id);
            if (box.text.rfind(text.substr(0, text.find("%s")), 0) == 0) ids.back() = id;
        }
    }
    return ids;
}

std::vector<Row> Rows() {
    const UINT FAILED = IDS_INSTALL_FAILED;
    const UINT INSTALLED = IDS_INSTALL_SUCCEEDED;
    std::vector<Row> rows;

    // ---- what the update sets aside --------------------------------------------------------
    // No free name for the backup folder: no update without its record.
    rows.push_back({"EveryBackupNameTaken", "bfax\\backup and backup.1 to backup.9 are files", {FAILED}});
    rows.back().inject = [] {
        PutFile(Windows("bfax\\backup"), "another's");
        for (int i = 1; i <= 9; ++i) PutFile(Windows("bfax\\backup." + std::to_string(i)), "another's");
    };

    // ---- compressed files -----------------------------------------------------------------
    // Asked about; going on, the installed driver stays as it was.
    rows.push_back({"CompressedFileTruncated", "bfax.sy_ is cut off in the middle",
                    {IDS_CANNOT_OPEN_FILE, INSTALLED}, [](Scenario* scenario) {
                        std::string& stored = whole_run::FindFile(scenario, "bfax.sys")->stored;
                        stored.resize(stored.size() / 2);
                    }});
    rows.back().kept = {DRIVER};
    rows.back().logged = "the source cannot be read whole; nothing replaced";

    // ---- rights and services --------------------------------------------------------------
    // faxinit never stops (given up after 30 s); bfax, which it needs,
    // cannot stop either, so neither can be created anew before Windows
    // restarts; the first start-up after that puts them back, by values:
    // the sub-key of the fax server's stays, and so does a binary parameter
    // of 64 KiB.
    rows.push_back({"ServiceStuckInStopPending", "faxinit stays in stop pending", {IDS_RESTART_NEEDED, FAILED}});
    rows.back().inject = [] {
        hostwin::SetStopPendingPolls("faxinit", -1);
        std::string server = std::string(whole_run::PRODUCT_KEY) + "\\Server";
        hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, server.c_str(), "Lines", 4);
        std::string bytes = BinaryBytes(65536);
        hostwin::SetValue(HKEY_LOCAL_MACHINE, whole_run::BFAX_PARAMETERS, "Table", REG_BINARY, bytes.data(), 65536);
    };
    rows.back().release = [] {
        hostwin::Restart();
        InitRun();
    };

    // The services are created, the record goes to the user's profiles,
    // the driver parameters nowhere: no installation; the old services come
    // back at once, their parameters with the next start-up that may write.
    rows.push_back({"RegistryRefusingHklmWritesGoingOn",
                    "HKLM may only be read, and the user goes on",
                    {IDS_NOT_ADMINISTRATOR, FAILED}});
    rows.back().inject = [] {
        hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "", hostwin::KEY_RIGHTS_READ);
        hostwin::QueueMessageBoxAnswers({IDYES});
    };
    rows.back().release = [] {
        hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "", hostwin::KEY_RIGHTS_FULL);
        InitRun();
    };

    return rows;
}

class FaultMatrixTest : public SetupTest, public ::testing::WithParamInterface<Row> {
protected:
    void TearDown() override { FreeManifestEntries(); }
};

TEST_P(FaultMatrixTest, EndsAsDescribed) {
    const Row& row = GetParam();
    SCOPED_TRACE(row.fault);
    // What the run without the fault leaves.
    static const whole_run::Snapshot reference = [] {
        whole_run::Prepare(whole_run::StandardScenario(true));
        whole_run::RunProgram();
        FreeManifestEntries();
        return whole_run::TakeSnapshot();
    }();
    ResetAll();

    Scenario scenario = whole_run::StandardScenario(true);
    if (row.arrange) row.arrange(&scenario);
    whole_run::Prepare(scenario);
    if (row.inject) row.inject();
    whole_run::Snapshot before = whole_run::TakeSnapshot();
    OpenSetupLog("C:\\setup.log");
    whole_run::Run run = whole_run::RunProgram();
    CloseSetupLog();
    if (row.release) row.release();
    whole_run::Snapshot after = whole_run::TakeSnapshot();

    EXPECT_EQ(std::vector<std::string>(), whole_run::LeftOpen());
    EXPECT_EQ(row.messages, MessageIds(run.boxes));
    EXPECT_EQ(row.messages.back() == IDS_INSTALL_SUCCEEDED, run.installSucceeded == 1);
    EXPECT_LE(run.maxProgress, 1000);
    const std::string log = FileText("C:\\setup.log");
    EXPECT_NE(std::string::npos, log.find(row.logged ? row.logged : "")) << log;

    whole_run::Snapshot expected = before;
    if (run.installSucceeded) {
        expected = reference;
        for (const std::string& file : row.kept) expected["file:" + file] = before["file:" + file];
    }
    EXPECT_EQ(std::vector<std::string>(), whole_run::Differences(after, expected));
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.id; }

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(Rows()), RowName);

// A record left over an earlier installation that names what the
// installation does not own, or cannot be understood: start-up goes on,
// touching nothing outside the installation (and here nothing in it).
TEST_F(SetupTest, HostileRecordsTouchNothingElse) {
    const std::string header = "Loxbrine update record\t2\r\n";
    const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string entry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other";
    const std::string lots(5000, 'a');
    const std::string bfax = "service\tbfax\t1\t0\t1\t2\t1\t";  // present, stopped, a driver started automatically
    const std::string records[] = {
        "new\t..\\win.ini\t..\\win.ini.part\r\nnew\tC:\\WINDOWS\\win.ini\tC:\\WINDOWS\\win.ini.part\r\n"
        "new\tmorvik\\..\\..\\win.ini\tmorvik\\..\\..\\win.ini.part\r\nnew\tnotes.txt\t..\\wi.ini.part\r\n"
        "moved\t..\\win.ini\t..\\win.ini.part\r\n",
        "key\tHKLM\t" + run + "\t1\r\nvalue\tevil\t1\t4100\r\nkey\tHKLM\t" + run + "\t0\r\nkey\tHKLM\t" + entry +
            "\t0\r\n",
        "key\tHKLM\tSoftware\\Morvik Communication\t1\r\n",  // a parent, never written
        "service\tother\t0\t0\t16\t2\t1\t\t\t\t\t\r\n",
        "service\tbfax\t1\t1\t16\t2\t1\t%25SystemRoot%25\\bfax\\bfax.exe\tbfax\t\t\t\r\n",
        bfax + "C:\\evil\\bfax.sys\tbfax\t\t\t\r\n" + bfax + "%25SystemRoot%25\\..\\evil.sys\tbfax\t\t\t\r\n",
        bfax + "%25SystemRoot%25\\bfax\\bfax.sys\t" + lots + "\t\t\t\r\nnew\t" + lots + "\t" + lots + ".part\r\n",
        "key\tHKLM\r\nvalue\t%zz\t1\t00\r\ndelete\tnotes.txt\r\n"
        "service\tbfax\t1\tx\t1\t2\t1\t%25SystemRoot%25\\bfax\\bfax.sys\tbfax\t\t\t\r\n",
        "-",  // an older program's record
    };
    for (const std::string& lines : records) {
        ResetAll();
        whole_run::Prepare(whole_run::StandardScenario(true));
        for (const std::string& key : {run, entry}) {
            hostwin::SetStringValue(HKEY_LOCAL_MACHINE, key.c_str(), "keep", "keep");
        }
        hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, "Software\\Morvik Communication", "Shared", 1);
        hostwin::ServiceRecord other;
        other.name = "other";
        hostwin::AddService(other);
        PutFile("C:\\WINDOWS\\win.ini", "[windows]\r\n");
        MakeDirectory("C:\\WINDOWS\\bfax\\backup");
        PutFile("C:\\WINDOWS\\bfax\\backup\\win.ini", "another");
        bool ours = lines != "-";
        PutFile("C:\\WINDOWS\\bfax\\backup\\restore.lst",
                ours ? header + lines + (lines.empty() ? "" : "recorded\r\n") : "service 6266617\r\nrecorded\r\n");
        auto outside = [&run, &entry] {
            std::string seen = FileText("C:\\WINDOWS\\win.ini");
            for (const std::string& key : {run, entry}) {
                for (const std::string& name : hostwin::ValueNames(HKEY_LOCAL_MACHINE, key.c_str())) seen += "|" + name;
            }
            return seen;
        };
        const whole_run::Snapshot before = whole_run::TakeSnapshot();
        const std::string outsideBefore = outside();
        EXPECT_EQ(1, InitRun()) << lines;
        EXPECT_EQ(outsideBefore, outside()) << lines;
        EXPECT_EQ(ours, !FileExists("C:\\WINDOWS\\bfax\\backup\\restore.lst")) << lines;
        const whole_run::Snapshot after = whole_run::TakeSnapshot();
        EXPECT_EQ(std::vector<std::string>(), whole_run::Differences(after, before, "file:bfax\\backup\\")) << lines;
    }
}

#endif  // ON_STAND_IN

}  // namespace
