// The fault matrix: whole updates, each with one fault that no failing call
// stands for (the every-call sweep has those) - a file in use or
// write-protected, a damaged list or compressed file, a hostile btcall.cfg,
// missing rights, services that will not go - and what the run must come to:
// its messages, nothing left open, and the machine as the run without the
// fault leaves it (but for the files the fault touches) or as it was before.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/names.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::Scenario;

const char* const DRIVER = "bfax\\bfax.sys";
const char* const FAXINIT = "bfax\\faxinit.cfg";
const char* const BTCALL = "bfax\\morvik\\btcall.cfg";
const char* const OLD = "(as before)";

struct Row {
    Row(const char* id, const char* fault, std::vector<UINT> messages, std::function<void(Scenario*)> arrange = nullptr)
        : id(id), fault(fault), messages(std::move(messages)), arrange(std::move(arrange)) {}

    const char* id;
    const char* fault;
    std::vector<UINT> messages;  // the last one says whether the run installed
    std::function<void(Scenario*)> arrange;  // the distribution, before it is laid out
    std::function<void()> inject;            // on the machine laid out (with the answers to its questions)
    std::function<void()> release;           // what another program lets go of after the run
    // Installed: files that hold other than the run without the fault leaves.
    std::map<std::string, std::string> files;
    // Failed where the services cannot all be put back: how they are left
    // (their keys and the backup folder then stay for the next run).
    std::string services;
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
    // Skipped without a word: the old driver stays.
    rows.push_back(
        {"DestinationHeldOpenWithoutSharing", "another program holds bfax.sys open, not shared", {INSTALLED}});
    rows.back().inject = [] { hostwin::HoldOpen(Windows(DRIVER).c_str()); };
    rows.back().release = [] { hostwin::ReleaseHeld(Windows(DRIVER).c_str()); };
    rows.back().files = {{DRIVER, OLD}};

    rows.push_back({"ReadOnlyFaxinitCfg", "faxinit.cfg is write-protected", {FAILED}});
    rows.back().inject = [] { SetFileAttributesA(Windows(FAXINIT).c_str(), FILE_ATTRIBUTE_READONLY); };

    // ---- the list file --------------------------------------------------------------------
    // Read whole, the line would name a file that is not there: only its
    // first 1023 bytes count, and they hold one field.
    rows.push_back({"FilesIniWithA1MiBLine", "Files.ini has a line of 1 MiB", {INSTALLED}});
    rows.back().arrange = [](Scenario* scenario) {
        std::string line = "missing.sys" + std::string(1100, ' ') + ",x,1" + std::string(1 << 20, '-');
        scenario->list = line + "\r\n" + whole_run::ListOf(scenario->files);
    };

    // ---- compressed files -----------------------------------------------------------------
    // Asked about; going on, the installed driver stays as it was.
    rows.push_back({"CompressedFileTruncated", "bfax.sy_ is cut off in the middle",
                    {IDS_CANNOT_OPEN_FILE, INSTALLED}, [](Scenario* scenario) {
                        std::string& stored = whole_run::FindFile(scenario, "bfax.sys")->stored;
                        stored.resize(stored.size() / 2);
                    }});
    rows.back().files = {{DRIVER, OLD}};

    // The whole data is written; progress stops at 1000.
    rows.push_back(
        {"CompressedFileExpandingBeyondItsHeader", "bfax.sy_ expands to more than its header says", {INSTALLED}});
    rows.back().arrange = [](Scenario* scenario) {
        std::string& stored = whole_run::FindFile(scenario, "bfax.sys")->stored;
        stored[10] = 100;  // the expanded size, little-endian
        stored[11] = stored[12] = stored[13] = 0;
    };

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
    // cannot stop either, so neither can be created anew, nor again.
    rows.push_back({"ServiceStuckInStopPending", "faxinit stays in stop pending", {FAILED}});
    rows.back().inject = [] { hostwin::SetStopPendingPolls("faxinit", -1); };
    rows.back().services = "bfax old marked, faxinit old marked";

    // Marked by another program that still holds it: while it is held
    // neither service can come back; gone once that program lets go, they
    // are left to the next run's start-up.
    rows.push_back(
        {"ServiceMarkedForDeletion", "bfax is marked for deletion, still held by another program", {FAILED}});
    auto handles = std::make_shared<std::pair<SC_HANDLE, SC_HANDLE>>();
    rows.back().inject = [handles] {
        handles->first = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        handles->second = OpenServiceA(handles->first, "bfax", SERVICE_ALL_ACCESS);
        DeleteService(handles->second);
    };
    rows.back().release = [handles] {
        CloseServiceHandle(handles->second);
        CloseServiceHandle(handles->first);
    };
    rows.back().services = "none";

    // The services are created, the record goes to the user's profiles,
    // the driver parameters nowhere: no installation; the old services come
    // back without their parameters, which stay in the backup folder.
    rows.push_back({"RegistryRefusingHklmWritesGoingOn",
                    "HKLM may only be read, and the user goes on",
                    {IDS_NOT_ADMINISTRATOR, FAILED}});
    rows.back().inject = [] {
        hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "", hostwin::KEY_RIGHTS_READ);
        hostwin::QueueMessageBoxAnswers({IDYES});
    };
    rows.back().services = "bfax old running, faxinit old running";
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
    whole_run::Run run = whole_run::RunProgram();
    if (row.release) row.release();
    whole_run::Snapshot after = whole_run::TakeSnapshot();

    for (const std::string& open : whole_run::LeftOpen()) ADD_FAILURE() << "left open: " << open;
    EXPECT_EQ(row.messages, whole_run::MessageIds(run.boxes));
    EXPECT_EQ(row.messages.back() == IDS_INSTALL_SUCCEEDED, run.installSucceeded == 1);
    EXPECT_LE(run.maxProgress, 1000);

    whole_run::Snapshot expected = before;
    if (run.installSucceeded) {
        expected = reference;
        for (const auto& file : row.files) {
            expected["file:" + file.first] = file.second == OLD ? before["file:" + file.first] : file.second;
        }
    }
    if (!row.services.empty()) {
        EXPECT_EQ(row.services, whole_run::ServiceSummary());
    }
    for (const std::string& difference : whole_run::Differences(after, expected)) {
        bool service = difference.rfind("service:", 0) == 0 || difference.rfind("state:", 0) == 0 ||
                       difference.find(":HKLM\\System\\") != std::string::npos;
        bool backup = difference.rfind("file:bfax\\backup\\", 0) == 0;
        if (!(row.services.size() && (service || backup))) ADD_FAILURE() << "differs: " << difference;
    }
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.id; }

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(Rows()), RowName);

#endif  // ON_STAND_IN

}  // namespace
