#include "support/whole_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/format.h"
#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/board_settings.h"
#include "install/run.h"
#include "install/sequences.h"
#include "support/fixture.h"

#ifndef _WIN32

namespace whole_run {

namespace {

const char* const DISTRIBUTION = "C:\\DIST";
const char* const WINDOWS = "C:\\WINDOWS";
const char* const SERVICES_KEY = "System\\CurrentControlSet\\Services";
const char* const COMPANY_KEY = "Software\\Morvik Communication";
const char* const SOURCE_BTCALL =
    "; call control configuration\r\npath %windir%\\bfax\\morvik\\\r\nlog %WINDIR%\\unchanged\r\n"
    "did_variable 0\r\ndid_digits\t8\r\nimmediate\r\nchannels 4\r\n";

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

std::string ListOf(const std::vector<DistributionFile>& files) {
    std::string list;
    for (const DistributionFile& file : files) list += file.name + "," + file.placement + "," + file.overwrite + "\r\n";
    return list;
}

// Board 1 TR114 PCI; boards 2 and 5 TR114 ISA at 300 (4 channels) and 340
// (2 channels); IRQ 5, DMA 1.
BoardForm StandardBoards() {
    BoardForm form;
    std::memset(&form, 0, sizeof form);
    form.rows[0].typeSelection = BOARD_TR114_PCI;
    for (int row : {1, 4}) {
        form.rows[row].typeSelection = BOARD_TR114_ISA;
        CopyText(form.rows[row].ioBaseText, BOARD_TEXT_SIZE, row == 1 ? "300" : "340");
        CopyText(form.rows[row].channelsText, BOARD_TEXT_SIZE, row == 1 ? "4" : "2");
    }
    CopyText(form.irqText, BOARD_TEXT_SIZE, "5");
    CopyText(form.dmaText, BOARD_TEXT_SIZE, "1");
    return form;
}

void Put(const std::string& relative, const std::string& bytes) {
    EXPECT_TRUE(PutFile(std::string(WINDOWS) + "\\" + relative, bytes)) << relative;
}

// Started on demand, the driver from its older place: told apart from new
// ones. Without the read-me, which an update then adds.
void EarlierInstallation() {
    hostwin::MakeDirectories("C:\\WINDOWS\\bfax\\morvik");
    for (const char* name : {"bfax.sys", "runfaxin.exe", "bfaxdll.dll", "notes.txt", "setup.exe"}) {
        Put(std::string("bfax\\") + name, std::string("old ") + name);
    }
    Put("bfax\\faxinit.cfg", "addrs 200 8\r\n");
    // Edited already with the DID settings a first installation writes: the
    // same whether start-up could read them or not, and whether an update
    // edits it again in place (its copy skipped) or not.
    Put("bfax\\morvik\\btcall.cfg", "path c:\\windows\\bfax\\morvik\\\r\ndid_variable            0\r\n"
                                 "did_digits              4\r\nwink\r\n");
    const char* images[] = {"System32\\drivers\\bfax.sys", "%SystemRoot%\\bfax\\runfaxin.exe"};
    for (int i = 0; i < 2; ++i) {
        hostwin::ServiceRecord record;
        record.name = i == 0 ? "bfax" : "faxinit";
        record.type = i == 0 ? SERVICE_KERNEL_DRIVER : SERVICE_WIN32_OWN_PROCESS;
        record.imagePath = images[i];
        if (i == 1) record.dependencies = {"bfax"};
        // What a restore must keep, though the program never sets it.
        (i == 0 ? record.group : record.account) = i == 0 ? "Extended Base" : "NT AUTHORITY\\LocalService";
        record.state = SERVICE_RUNNING;
        hostwin::AddService(record);
    }
    hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS, "NBFAX", 16);
    hostwin::SetStringValue(HKEY_LOCAL_MACHINE, (std::string(SERVICES_KEY) + "\\faxinit\\Parameters").c_str(),
                            "CMD_LINE", "-n faxinit.cfg");
    hostwin::SetStringValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory", "C:\\WINDOWS\\bfax");
    hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", 20010101);
    hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallTime", 101);
    // An older version's entry, with fewer values than an installation writes.
    hostwin::SetStringValue(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayVersion", "4.2");
    hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "EstimatedSize", 1);
}

void AddKeys(Snapshot* snapshot, HKEY root, const char* rootName, const std::string& path) {
    if (!hostwin::KeyExists(root, path.c_str())) return;
    std::string prefix = std::string(rootName) + "\\" + path;
    (*snapshot)["key:" + prefix] = "";
    for (const std::string& name : hostwin::ValueNames(root, path.c_str())) {
        hostwin::RegistryValue value;
        hostwin::FindValue(root, path.c_str(), name.c_str(), &value);
        (*snapshot)["value:" + prefix + "\\" + name] =
            std::to_string(value.type) + ":" + std::string(value.data.begin(), value.data.end());
    }
    for (const std::string& child : hostwin::SubKeyNames(root, path.c_str())) {
        AddKeys(snapshot, root, rootName, path + "\\" + child);
    }
}

}  // namespace

DistributionFile* FindFile(Scenario* scenario, const std::string& name) {
    for (DistributionFile& file : scenario->files) {
        if (file.name == name) return &file;
    }
    ADD_FAILURE() << "no distribution file " << name;
    return nullptr;
}

Scenario StandardScenario(bool earlierInstallation) {
    Scenario scenario;
    scenario.earlierInstallation = earlierInstallation;
    scenario.files = {
        {"bfax.sys", "x", "1", "bfax.sy_", Fixture("window.bi_")},
        {"runfaxin.exe", "x", "1", "runfaxin.exe", Fixture("blanks.dat")},
        {"drivers\\bfaxdll.dll", "x", "0", "drivers\\bfaxdll.dl_", Fixture("text.tx_")},
        {"notes.txt", "x", "1", "notes.tx_", Fixture("small.ini")},
        {"btcall.cfg", "A", "1", "btcall.cfg", SOURCE_BTCALL},
        {"readme.txt", "A", "0", "readme.txt", "read me\r\n"},
    };
    // Three entries in the first 1024-byte chunk of the list, three after
    // a long comment in the second; the file in the sub-folder is listed twice.
    std::vector<DistributionFile> first(scenario.files.begin(), scenario.files.begin() + 3);
    std::vector<DistributionFile> second(scenario.files.begin() + 3, scenario.files.end());
    scenario.list = "[Files]\r\n" + ListOf(first) + "; " + std::string(1000, '-') + "\r\n" + ListOf(second) +
                    ListOf({first.back()});
    // Not listed: the program copies itself.
    scenario.files.push_back({"setup.exe", "x", "1", "setup.exe", "MZ setup program"});
    return scenario;
}

void Prepare(const Scenario& scenario) {
    hostwin::SetModuleFileName((std::string(DISTRIBUTION) + "\\setup.exe").c_str());
    hostwin::MakeDirectories(DISTRIBUTION);
    EXPECT_TRUE(PutFile(std::string(DISTRIBUTION) + "\\Files.ini", scenario.list));
    for (const DistributionFile& file : scenario.files) {
        std::string path = std::string(DISTRIBUTION) + "\\" + file.storedName;
        hostwin::MakeDirectories(path.substr(0, path.rfind('\\')).c_str());
        EXPECT_TRUE(PutFile(path, file.stored)) << path;
    }
    if (scenario.earlierInstallation) EarlierInstallation();
}

Run RunProgram() {
    Run run;
    HWND owner = hostwin::CreateWindow("SetupWholeRun", "Quorindel Loxbrine");
    HWND bar = hostwin::CreateControl(owner, 1022);
    hostwin::CreateControl(owner, 1023);
    hostwin::SetRedrawHandler([&run, bar](HWND window, BOOL) {
        if (window == bar) run.maxProgress = std::max(run.maxProgress, static_cast<int>(setupState.progress));
    });

    // Start-up, then the preparation worker.
    InitRun();
    const char* result = "";
    if (PrepareInstallation(owner, &result) == RUN_GOES_ON) {
        // The Settings page accepts the boards; the installation worker runs.
        EXPECT_EQ(1, ValidateBoardSettings(StandardBoards(), setupState.boards).accepted);
        setupState.progress = 0;
        RunInstallation(owner);
        run.installSucceeded = setupState.installSucceeded;
        ShowInstallResult(owner);
    }
    run.boxes = hostwin::MessageBoxes();
    hostwin::SetRedrawHandler(nullptr);
    hostwin::DestroyWindow(owner);
    return run;
}

Snapshot TakeSnapshot() {
    Snapshot snapshot;
    std::filesystem::path root = hostwin::HostPath(WINDOWS);
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(root / "bfax", ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_regular_file()) continue;
        std::string relative = std::filesystem::relative(it->path(), root).string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        std::ifstream in(it->path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        snapshot["file:" + relative] = bytes.str();
    }
    AddKeys(&snapshot, HKEY_LOCAL_MACHINE, "HKLM", COMPANY_KEY);
    AddKeys(&snapshot, HKEY_CURRENT_USER, "HKCU", COMPANY_KEY);
    AddKeys(&snapshot, HKEY_USERS, "HKU", std::string(".DEFAULT\\") + COMPANY_KEY);
    AddKeys(&snapshot, HKEY_LOCAL_MACHINE, "HKLM", UNINSTALL_KEY);
    for (const char* service : {"bfax", "faxinit"}) {
        AddKeys(&snapshot, HKEY_LOCAL_MACHINE, "HKLM", std::string(SERVICES_KEY) + "\\" + service);
        AddKeys(&snapshot, HKEY_CURRENT_USER, "HKCU", std::string(SERVICES_KEY) + "\\" + service);  // must stay empty
    }
    for (const std::string& name : hostwin::ServiceNames()) {
        hostwin::ServiceRecord record;
        hostwin::FindService(name.c_str(), &record);
        std::ostringstream text;
        text << "type " << record.type << ", start " << record.startType << ", errors " << record.errorControl
             << ", image " << record.imagePath << ", shown as " << record.displayName << ", group " << record.group
             << ", account " << record.account << ", depends on";
        for (const std::string& dependency : record.dependencies) text << " " << dependency;
        snapshot["service:" + name] = text.str() + (record.markedForDeletion ? ", marked for deletion" : "");
        snapshot["state:" + name] = record.state == SERVICE_RUNNING ? "running" : "stopped";
    }
    // The entry's size is judged against the installed files the snapshot
    // holds (not the backup folder), so that runs which leave other files
    // compare alike.
    std::uint64_t bytes = 0;
    for (const auto& entry : snapshot) {
        bool installed = StartsWith(entry.first, "file:") && !StartsWith(entry.first, "file:bfax\\backup\\");
        bytes += installed ? entry.second.size() : 0;
    }
    auto size = snapshot.find(std::string("value:HKLM\\") + UNINSTALL_KEY + "\\EstimatedSize");
    const DWORD kilobytes = static_cast<DWORD>((bytes + 1023) / 1024);
    if (size != snapshot.end() && size->second == "4:" + std::string(reinterpret_cast<const char*>(&kilobytes), 4)) {
        size->second = "the installed files in KiB";
    }
    return snapshot;
}

std::vector<std::string> Differences(const Snapshot& after, const Snapshot& expected, const char* ignored) {
    std::vector<std::string> differences;
    auto note = [&](const std::string& name, const char* how) {
        if (!ignored || !StartsWith(name, ignored)) differences.push_back(name + how);
    };
    for (const auto& entry : after) {
        auto found = expected.find(entry.first);
        if (found == expected.end() || found->second != entry.second) note(entry.first, "");
    }
    for (const auto& entry : expected) {
        if (!after.count(entry.first)) note(entry.first, " (gone)");
    }
    return differences;
}

std::vector<std::string> LeftOpen() {
    std::vector<std::string> open = hostwin::OpenKeyPaths();
    int left = hostwin::OpenFileCount() + hostwin::OpenServiceHandleCount() + hostwin::OpenLzFileCount() +
               hostwin::LiveLocalAllocations();
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) --left;
    if (left) open.push_back(std::to_string(left) + " files, service handles, LZ files or memory blocks");
    return open;
}

std::string ServiceSummary() {
    std::string summary;
    for (const char* name : {"bfax", "faxinit"}) {
        hostwin::ServiceRecord record;
        if (!hostwin::FindService(name, &record)) continue;
        bool fresh = record.startType == SERVICE_AUTO_START && StartsWith(record.imagePath, "%SystemRoot%\\bfax\\");
        const char* state = record.markedForDeletion             ? "marked"
                             : record.state == SERVICE_RUNNING ? "running"
                                                               : "stopped";
        summary += std::string(summary.empty() ? "" : ", ") + name + (fresh ? " new " : " old ") + state;
    }
    return summary.empty() ? "none" : summary;
}

}  // namespace whole_run

#endif  // _WIN32
