// The fault matrix: whole runs of the program, each with one fault that no
// failing call stands for (the every-call sweep has those: a full disk, a
// failing read, a service manager out of reach) - a file in use or
// write-protected, a damaged list or compressed file, a hostile btcall.cfg,
// missing rights or services that will not go - the operation it hits, and
// what the run must come to: the message or the silent skip, the result, and
// the files, the install record and the services afterwards.
// After every row nothing is left open and no temporary file stays.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/names.h"
#include "support/install_fixture.h"
#include "support/platform.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::Scenario;

const char* const DRIVER = "bfax\\bfax.sys";
const char* const PROGRAM = "bfax\\runfaxin.exe";
const char* const FAXINIT = "bfax\\faxinit.cfg";
const char* const BTCALL = "bfax\\morvik\\btcall.cfg";
const char* const README = "bfax\\morvik\\readme.txt";

enum class Outcome { Refused, Failed, Installed };

// What a file holds afterwards: what the installation writes (for btcall.cfg
// with its edits), what was there before, or the distribution's bytes
// without any edit.
enum class Holds { New, Old, AsCopied };

struct FileState {
    const char* path;
    Holds holds;
};

struct Row {
    Row(const char* id, const char* fault, const char* hits, bool earlierInstallation)
        : id(id), fault(fault), hits(hits), earlierInstallation(earlierInstallation) {}

    const char* id;
    const char* fault;
    const char* hits;  // the operation the fault hits
    bool earlierInstallation;
    std::function<void(Scenario*)> arrange;        // the distribution and machine, before they are laid out
    std::function<void(const Scenario&)> inject;   // on the machine laid out
    std::function<void()> release;                 // what another program lets go of after the run
    std::vector<int> answers;                      // to the questions; then default buttons
    std::string btcall;                            // btcall.cfg as installed, if not InstalledBtcall()

    Outcome outcome = Outcome::Installed;
    std::vector<UINT> messages;
    std::vector<FileState> files;
    std::string record;
    std::string services;
};

std::string Windows(const std::string& relative) { return "C:\\WINDOWS\\" + relative; }

// Deterministic bytes of every value but the list's separators.
std::string BinaryBytes(size_t size, const std::string& left_out) {
    std::string bytes;
    unsigned state = 12345;
    while (bytes.size() < size) {
        state = state * 1103515245 + 12345;
        char c = static_cast<char>((state >> 16) & 0xFF);
        if (left_out.find(c) == std::string::npos) bytes += c;
    }
    return bytes;
}

// The run installs: after the questions, the report asks to start the
// drivers (Yes, the default): the new record, the new services running.
void Installs(Row* row, std::vector<UINT> questions = {}) {
    row->outcome = Outcome::Installed;
    row->messages = questions;
    row->messages.push_back(IDS_INSTALL_SUCCEEDED);
    row->record = "HKLM new";
    row->services = "bfax new running, faxinit new running";
}

// An update that fails is undone: the earlier installation as it was.
void RollsBack(Row* row, std::vector<UINT> questions = {}) {
    row->outcome = Outcome::Failed;
    row->messages = questions;
    row->messages.push_back(IDS_INSTALL_FAILED);
    row->record = "HKLM old";
    row->services = "bfax old running, faxinit old running";
    row->files = {{DRIVER, Holds::Old}, {PROGRAM, Holds::Old}, {BTCALL, Holds::Old}, {FAXINIT, Holds::Old}};
}

// Preparation ends with the message; nothing on the machine changes.
void Refused(Row* row, UINT message) {
    row->outcome = Outcome::Refused;
    row->messages = {message};
}

whole_run::DistributionFile* Listed(Scenario* scenario, const char* name) {
    return whole_run::FindFile(scenario, name);
}

// The distribution's btcall.cfg, a plain file: installed as stored.
void DistributionBtcall(Scenario* scenario, const std::string& text) {
    whole_run::DistributionFile* btcall = Listed(scenario, "btcall.cfg");
    btcall->stored = btcall->installed = text;
}

std::vector<Row> Rows() {
    std::vector<Row> rows;


    // ---- reads, files in use, write protection: over an earlier installation -------
    {
        // Skipped without a word: the old driver stays.
        Row row("DestinationHeldOpenWithoutSharing", "another program holds bfax.sys open, not shared",
                "copying bfax.sys", true);
        row.inject = [](const Scenario&) { hostwin::HoldOpen(Windows(DRIVER).c_str()); };
        row.release = [] { hostwin::ReleaseHeld(Windows(DRIVER).c_str()); };
        Installs(&row);
        row.files = {{DRIVER, Holds::Old}, {PROGRAM, Holds::New}, {BTCALL, Holds::New}, {FAXINIT, Holds::New}};
        rows.push_back(row);
    }
    {
        Row row("ReadOnlyFaxinitCfg", "faxinit.cfg is write-protected", "writing faxinit.cfg", true);
        row.inject = [](const Scenario&) { SetFileAttributesA(Windows(FAXINIT).c_str(), FILE_ATTRIBUTE_READONLY); };
        RollsBack(&row);
        rows.push_back(row);
    }

    // ---- the list file ----------------------------------------------------------------------
    {
        Row row("FilesIniBinary", "Files.ini holds binary data", "reading Files.ini", true);
        row.arrange = [](Scenario* scenario) { scenario->list = BinaryBytes(8192, ","); };
        Refused(&row, IDS_FILE_LIST_DAMAGED);
        rows.push_back(row);
    }
    {
        Row row("FilesIniOf100000Lines", "Files.ini has 100,000 lines", "reading Files.ini", true);
        row.arrange = [](Scenario* scenario) {
            std::string list;
            for (int line = 0; line < 100000 - 6; ++line) list += "; line " + std::to_string(line) + "\r\n";
            scenario->list = list + whole_run::ListOf(scenario->files);
        };
        Installs(&row);
        row.files = {{DRIVER, Holds::New}, {README, Holds::Old}, {BTCALL, Holds::New}};
        rows.push_back(row);
    }
    {
        // Read whole, the line would name a file that is not there: only its
        // first 1023 bytes count, and they hold one field.
        Row row("FilesIniWithA1MiBLine", "Files.ini has a line of 1 MiB", "reading Files.ini", true);
        row.arrange = [](Scenario* scenario) {
            std::string line = "missing.sys" + std::string(1100, ' ') + ",x,1" + std::string(1 << 20, '-');
            scenario->list = line + "\r\n" + whole_run::ListOf(scenario->files);
        };
        Installs(&row);
        row.files = {{DRIVER, Holds::New}, {PROGRAM, Holds::New}, {BTCALL, Holds::New}};
        rows.push_back(row);
    }

    // ---- compressed files ----------------------------------------------------------------
    for (int answer : {IDYES, IDNO}) {
        // Asked about: the installed driver stays as it was, whether the
        // installation goes on without the new one or ends there.
        Row row(answer == IDYES ? "CompressedFileTruncated" : "CompressedFileTruncatedAnsweredNo",
                "bfax.sy_ is cut off in the middle", "expanding bfax.sys", true);
        row.arrange = [](Scenario* scenario) {
            std::string& stored = Listed(scenario, "bfax.sys")->stored;
            stored.resize(stored.size() / 2);
        };
        row.answers = {answer};
        if (answer == IDYES) {
            Installs(&row, {IDS_CANNOT_OPEN_FILE});
            row.files = {{DRIVER, Holds::Old}, {PROGRAM, Holds::New}, {BTCALL, Holds::New}};
        } else {
            RollsBack(&row, {IDS_CANNOT_OPEN_FILE});
        }
        rows.push_back(row);
    }
    {
        // Without its signature the file is no compressed file: the expander
        // hands it out as it is.
        Row row("CompressedFileWithAWrongHeader", "bfax.sy_ has a damaged header", "expanding bfax.sys", true);
        row.arrange = [](Scenario* scenario) {
            whole_run::DistributionFile* driver = Listed(scenario, "bfax.sys");
            driver->stored[3] = 'X';
            driver->installed = driver->stored;
        };
        Installs(&row);
        row.files = {{DRIVER, Holds::New}};
        rows.push_back(row);
    }
    {
        // The whole data is written; progress stops at 1000.
        Row row("CompressedFileExpandingBeyondItsHeader", "bfax.sy_ expands to more than its header says",
                "expanding bfax.sys", true);
        row.arrange = [](Scenario* scenario) {
            std::string& stored = Listed(scenario, "bfax.sys")->stored;
            stored[10] = 100;  // the expanded size, little-endian
            stored[11] = stored[12] = stored[13] = 0;
        };
        Installs(&row);
        row.files = {{DRIVER, Holds::New}};
        rows.push_back(row);
    }

    // ---- btcall.cfg as the distribution has it --------------------------------------------
    {
        Row row("BtcallCfgOf0Bytes", "btcall.cfg is empty", "editing btcall.cfg", true);
        row.arrange = [](Scenario* scenario) { DistributionBtcall(scenario, ""); };
        Installs(&row);
        row.files = {{BTCALL, Holds::AsCopied}};
        rows.push_back(row);
    }
    {
        // The text ends at the first zero byte: the line before it is edited
        // and every byte after it kept.
        Row row("BtcallCfgBinary", "btcall.cfg holds binary data", "editing btcall.cfg", true);
        std::string rest = std::string(1, '\0') + BinaryBytes(3000, "") + "path %windir%\r\n";
        row.arrange = [rest](Scenario* scenario) { DistributionBtcall(scenario, "did_digits 9\r\n" + rest); };
        row.btcall = "did_digits              4\r\n" + rest;
        Installs(&row);
        row.files = {{BTCALL, Holds::New}};
        rows.push_back(row);
    }
    {
        // A placeholder that cannot be expanded without losing what follows
        // the zero byte: the file stays as copied, the drivers uninstalled.
        Row row("BtcallCfgBinaryWithThePlaceholderFirst", "btcall.cfg holds %windir%, then binary data",
                "editing btcall.cfg", true);
        row.arrange = [](Scenario* scenario) {
            DistributionBtcall(scenario, "path %windir%\r\n" + std::string(1, '\0') + BinaryBytes(3000, ""));
        };
        RollsBack(&row);
        rows.push_back(row);
    }
    {
        Row row("BtcallCfgOf1MiB", "btcall.cfg is 1 MiB long", "editing btcall.cfg", true);
        std::string lines;
        for (int line = 0; lines.size() < (1u << 20); ++line) lines += "; trunk %windir%\\line" + std::to_string(line) + "\r\n";
        row.arrange = [lines](Scenario* scenario) { DistributionBtcall(scenario, whole_run::SOURCE_BTCALL + lines); };
        for (size_t at = lines.find("%windir%"); at != std::string::npos; at = lines.find("%windir%", at)) {
            lines.replace(at, 8, "c:\\windows");
        }
        row.btcall = whole_run::InstalledBtcall("C:\\WINDOWS") + lines;
        Installs(&row);
        row.files = {{BTCALL, Holds::New}};
        rows.push_back(row);
    }

    // ---- rights and services ------------------------------------------------------------------
    {
        // The services cannot even be read, so the update could not be
        // undone: nothing is changed.
        Row row("NoAdministratorRightsGoingOn", "the user is no administrator, and goes on",
                "recording the old services", true);
        row.inject = [](const Scenario&) { hostwin::SetAdministrator(false); };
        row.answers = {IDYES};
        RollsBack(&row, {IDS_NOT_ADMINISTRATOR});
        rows.push_back(row);
    }
    {
        // faxinit never stops (given up after 30 s); bfax, which it needs,
        // cannot stop either, so neither can be created anew, nor again: the
        // rest is put back, the backup folder left for the next run.
        Row row("ServiceStuckInStopPending", "faxinit stays in stop pending", "removing the old services", true);
        row.inject = [](const Scenario&) { hostwin::SetStopPendingPolls("faxinit", -1); };
        RollsBack(&row);
        row.services = "bfax old marked, faxinit old marked";
        rows.push_back(row);
    }
    {
        // Marked by another program that still holds it: it stays until that
        // program lets go, and bfax cannot be created meanwhile.
        Row row("ServiceMarkedForDeletion", "bfax is marked for deletion, still held by another program",
                "creating bfax", true);
        auto handles = std::make_shared<std::pair<SC_HANDLE, SC_HANDLE>>();
        row.inject = [handles](const Scenario&) {
            handles->first = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
            handles->second = OpenServiceA(handles->first, "bfax", SERVICE_ALL_ACCESS);
            DeleteService(handles->second);
        };
        row.release = [handles] {
            CloseServiceHandle(handles->second);
            CloseServiceHandle(handles->first);
        };
        // The rest is put back; while bfax is held neither service can come
        // back: gone once the other program lets go, they are left to the
        // next run's start-up.
        RollsBack(&row);
        row.services = "none";
        rows.push_back(row);
    }
    {
        // The services are created, the record goes to the user's profiles,
        // the driver parameters nowhere: no installation, and the old
        // services come back (without their parameters, which stay in the
        // backup folder).
        Row row("RegistryRefusingHklmWritesGoingOn", "HKLM may only be read, and the user goes on",
                "writing the install record and the driver parameters", true);
        row.inject = [](const Scenario&) { hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "", hostwin::KEY_RIGHTS_READ); };
        row.answers = {IDYES};
        RollsBack(&row, {IDS_NOT_ADMINISTRATOR});
        rows.push_back(row);
    }
    return rows;
}

class FaultMatrixTest : public SetupTest, public ::testing::WithParamInterface<Row> {
protected:
    void TearDown() override { FreeManifestEntries(); }
};

TEST_P(FaultMatrixTest, EndsAsDescribed) {
    const Row& row = GetParam();
    SCOPED_TRACE(std::string(row.fault) + ", hitting " + row.hits);
    Scenario scenario = whole_run::StandardScenario(row.earlierInstallation);
    if (row.arrange) row.arrange(&scenario);
    whole_run::Prepare(scenario);
    if (row.inject) row.inject(scenario);
    std::deque<int> answers(row.answers.begin(), row.answers.end());
    hostwin::SetMessageBoxHandler([&answers](const hostwin::MessageBoxRecord&) {
        int answer = answers.empty() ? 0 : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    });
    whole_run::Snapshot before = whole_run::TakeSnapshot();
    whole_run::Run run = whole_run::RunProgram(whole_run::StandardBoards());
    hostwin::SetMessageBoxHandler(nullptr);
    if (row.release) row.release();

    whole_run::Snapshot after = whole_run::TakeSnapshot();
    for (const std::string& open : whole_run::LeftOpen()) ADD_FAILURE() << "left open: " << open;
    Outcome outcome = !run.prepared ? Outcome::Refused : run.installSucceeded ? Outcome::Installed : Outcome::Failed;
    EXPECT_EQ(static_cast<int>(row.outcome), static_cast<int>(outcome)) << "0 refused, 1 failed, 2 installed";
    EXPECT_EQ(row.messages, whole_run::MessageIds(run.boxes));
    EXPECT_LE(run.maxProgress, 1000);
    // No temporary file stays; a failed update that could not be put back
    // whole leaves its backup folder for the next run.
    for (const std::string& stray : whole_run::Strays(scenario, before, after)) {
        if (outcome != Outcome::Failed || stray.compare(0, 12, "bfax\\backup\\") != 0) ADD_FAILURE() << "left: " << stray;
    }
    if (outcome == Outcome::Refused) {
        EXPECT_EQ(std::vector<std::string>(), whole_run::Differences(after, before));
        return;
    }
    for (const FileState& file : row.files) {
        std::string key = std::string("file:") + file.path;
        std::string expected = "(absent)";
        const whole_run::DistributionFile* listed = nullptr;
        for (const whole_run::DistributionFile& candidate : scenario.files) {
            if (candidate.Destination() == file.path) listed = &candidate;
        }
        if (file.holds == Holds::Old && before.count(key)) expected = before[key];
        if (file.holds == Holds::AsCopied && listed) expected = listed->installed;
        if (file.holds == Holds::New) {
            expected = file.path == std::string(FAXINIT) ? whole_run::NEW_FAXINIT
                       : file.path != std::string(BTCALL) ? listed->installed
                       : row.btcall.empty()               ? whole_run::InstalledBtcall()
                                                          : row.btcall;
        }
        EXPECT_EQ(expected, after.count(key) ? after[key] : "(absent)") << file.path;
    }
    EXPECT_EQ(row.record, whole_run::RecordSummary());
    EXPECT_EQ(row.services, whole_run::ServiceSummary());
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.id; }

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(Rows()), RowName);

#endif  // ON_STAND_IN

}  // namespace
