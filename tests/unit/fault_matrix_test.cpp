// The fault matrix: whole updates, each with one fault - a file in use or
// write-protected, a damaged list or compressed file, a hostile btcall.cfg,
// missing rights, services that will not go, what an earlier installation or
// another program left - and what the run must come to: its messages,
// nothing left open, and the machine as the run without the fault leaves it
// (but for the files the fault touches) or, once what stood in the way is
// gone, as it was before. Then the start-up facing hostile records.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/names.h"
#include "core/setup_log.h"
#include "install/run.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::Scenario;

const char* const DRIVER = "bfax\\bfax.sys";
const char* const FAXINIT = "bfax\\faxinit.cfg";
const char* const BTCALL = "bfax\\morvik\\btcall.cfg";
const char* const COPY = "bfax\\setup.exe";
const char* const OLD = "(as before)";

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
    // Installed: files that hold other than the run without the fault leaves.
    std::map<std::string, std::string> files;
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

// The distribution's btcall.cfg, a plain file.
std::function<void(Scenario*)> DistributionBtcall(const std::string& text) {
    return [text](Scenario* scenario) {
        whole_run::DistributionFile* btcall = whole_run::FindFile(scenario, "btcall.cfg");
        btcall->stored = btcall->installed = text;
    };
}

std::vector<Row> Rows() {
    const UINT FAILED = IDS_INSTALL_FAILED;
    const UINT INSTALLED = IDS_INSTALL_SUCCEEDED;
    std::vector<Row> rows;

    // ---- files in use, write protection ---------------------------------------------------
    // Asked about as any file; going on, the earlier copy stays.
    rows.push_back({"ProgramFileUnreadable",
                    "another program holds the running setup.exe open, not shared",
                    {IDS_CANNOT_OPEN_FILE, INSTALLED}});
    rows.back().inject = [] { hostwin::HoldOpen("C:\\DIST\\setup.exe"); };
    rows.back().files = {{COPY, OLD}};
    rows.back().logged = "Message: The file C:\\DIST\\setup.exe cannot be opened.";

    // Put back by values: the sub-key of the fax server's stays, and so does
    // a binary parameter of 64 KiB.
    rows.push_back({"ReadOnlyFaxinitCfg", "faxinit.cfg is write-protected, the product key has a sub-key", {FAILED}});
    rows.back().inject = [] {
        SetFileAttributesA(Windows(FAXINIT).c_str(), FILE_ATTRIBUTE_READONLY);
        std::string server = std::string(whole_run::PRODUCT_KEY) + "\\Server";
        hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, server.c_str(), "Lines", 4);
        std::string bytes = BinaryBytes(65536);
        hostwin::SetValue(HKEY_LOCAL_MACHINE, whole_run::BFAX_PARAMETERS, "Table", REG_BINARY, bytes.data(), 65536);
    };

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
    rows.back().files = {{DRIVER, OLD}};
    rows.back().logged = "the source cannot be read whole; nothing replaced";

    // ---- btcall.cfg as the distribution has it --------------------------------------------
    rows.push_back({"BtcallCfgOf0Bytes", "btcall.cfg is empty", {INSTALLED}, DistributionBtcall("")});
    rows.back().files = {{BTCALL, ""}};

    // The text ends at the first zero byte: the line before it is edited
    // and every byte after it kept.
    std::string binary = std::string(1, '\0') + BinaryBytes(3000) + "path %windir%\r\n";
    rows.push_back({"BtcallCfgBinary", "btcall.cfg holds binary data", {INSTALLED},
                    DistributionBtcall("did_digits 9\r\n" + binary)});
    rows.back().files = {{BTCALL, "did_digits              4\r\n" + binary}};

    // A placeholder that cannot be expanded without losing what follows the
    // zero byte: the installation fails.
    rows.push_back({"BtcallCfgBinaryWithThePlaceholderFirst",
                    "btcall.cfg holds %windir%, then binary data",
                    {FAILED},
                    DistributionBtcall("path %windir%\r\n" + binary)});

    // ---- rights and services --------------------------------------------------------------
    // faxinit never stops (given up after 30 s); bfax, which it needs,
    // cannot stop either, so neither can be created anew, nor again before
    // Windows restarts; the first start-up after that puts them back.
    const auto restartAndStartUp = [] {
        hostwin::Restart();
        InitRun();
    };
    rows.push_back({"ServiceStuckInStopPending", "faxinit stays in stop pending", {IDS_RESTART_NEEDED, FAILED}});
    rows.back().inject = [] { hostwin::SetStopPendingPolls("faxinit", -1); };
    rows.back().release = restartAndStartUp;

    // Held by another program, bfax stays marked for deletion: neither
    // service can come back before Windows restarts.
    rows.push_back({"ServiceMarkedForDeletion", "another program holds bfax open", {IDS_RESTART_NEEDED, FAILED}});
    rows.back().inject = [] {
        OpenServiceA(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), "bfax", SERVICE_ALL_ACCESS);
    };
    rows.back().release = restartAndStartUp;

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
    EXPECT_EQ(row.messages, whole_run::MessageIds(run.boxes));
    EXPECT_EQ(row.messages.back() == IDS_INSTALL_SUCCEEDED, run.installSucceeded == 1);
    EXPECT_LE(run.maxProgress, 1000);
    const std::string log = FileText("C:\\setup.log");
    EXPECT_NE(std::string::npos, log.find(row.logged ? row.logged : "")) << log;

    whole_run::Snapshot expected = before;
    if (run.installSucceeded) {
        expected = reference;
        for (const auto& file : row.files) {
            expected["file:" + file.first] = file.second == OLD ? before["file:" + file.first] : file.second;
        }
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
        "",   // only the header
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
        std::vector<std::string> differences;
        for (const std::string& difference : whole_run::Differences(whole_run::TakeSnapshot(), before)) {
            if (difference.rfind("file:bfax\\backup\\", 0) != 0) differences.push_back(difference);
        }
        EXPECT_EQ(std::vector<std::string>(), differences) << lines;
    }
}

#endif  // ON_STAND_IN

}  // namespace
