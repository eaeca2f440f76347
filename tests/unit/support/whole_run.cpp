#include "support/whole_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "core/format.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/startup.h"
#include "core/text.h"
#include "core/windows_version.h"
#include "install/manifest.h"
#include "install/sequences.h"
#include "install/unattended.h"
#include "support/files.h"

namespace whole_run {

const char* const DISTRIBUTION = "C:\\DIST";

const char* const SOURCE_BTCALL =
    "; call control configuration\r\n"
    "path %windir%\\bfax\\morvik\\\r\n"
    "log %WINDIR%\\unchanged\r\n"
    "did_variable 0\r\n"
    "did_digits\t8\r\n"
    "wink\r\n"
    "channels 4\r\n";

// As an earlier installation with other DID settings left it.
const char* const OLD_BTCALL =
    "; call control configuration\r\n"
    "path c:\\windows\\bfax\\morvik\\\r\n"
    "log %WINDIR%\\unchanged\r\n"
    "did_variable            1\r\n"
    "did_digits              6\r\n"
    "immediate\r\n"
    "channels 4\r\n";

const char* const OLD_FAXINIT = "addrs 200 8\r\n";
const char* const NEW_FAXINIT = "addrs 304 4\r\naddrs 344 2\r\n";

namespace {

// The test files are read once; every run lays them out anew.
const std::string& Cached(const std::string& name) {
    static std::map<std::string, std::string> files;
    auto found = files.find(name);
    if (found == files.end()) found = files.emplace(name, Fixture(name)).first;
    return found->second;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

}  // namespace

std::string DistributionFile::Destination() const {
    std::string base = name.substr(name.find_last_of("\\/") == std::string::npos ? 0 : name.find_last_of("\\/") + 1);
    return (placement.find('A') != std::string::npos ? "bfax\\morvik\\" : "bfax\\") + base;
}

std::string ListOf(const std::vector<DistributionFile>& files) {
    std::string list;
    for (const DistributionFile& file : files) list += file.name + "," + file.placement + "," + file.overwrite + "\r\n";
    return list;
}

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
        {"bfax.sys", "x", "1", "bfax.sy_", Cached("window.bi_"), Cached("window.bin")},
        {"runfaxin.exe", "x", "1", "runfaxin.exe", Cached("blanks.dat"), Cached("blanks.dat")},
        {"drivers\\bfaxdll.dll", "x", "0", "drivers\\bfaxdll.dl_", Cached("text.tx_"), Cached("text.txt")},
        {"notes.txt", "x", "1", "notes.tx_", Cached("small.ini"), Cached("small.ini")},
        {"btcall.cfg", "A", "1", "btcall.cfg", SOURCE_BTCALL, SOURCE_BTCALL},
        {"readme.txt", "A", "0", "readme.txt", "read me\r\n", "read me\r\n"},
    };
    // Three entries in the first 1024-byte chunk of the list, three after
    // a long comment in the second.
    std::vector<DistributionFile> first(scenario.files.begin(), scenario.files.begin() + 3);
    std::vector<DistributionFile> second(scenario.files.begin() + 3, scenario.files.end());
    scenario.list = "[Files]\r\n" + ListOf(first) + "; " + std::string(1000, '-') + "\r\n" + ListOf(second);
    return scenario;
}

BoardForm StandardBoards() {
    BoardForm form;
    std::memset(&form, 0, sizeof form);
    form.rows[0].typeSelection = BOARD_TR114_PCI;
    form.rows[1].typeSelection = BOARD_TR114_ISA;
    CopyText(form.rows[1].ioBaseText, BOARD_TEXT_SIZE, "300");
    CopyText(form.rows[1].channelsText, BOARD_TEXT_SIZE, "4");
    form.rows[4].typeSelection = BOARD_TR114_ISA;
    CopyText(form.rows[4].ioBaseText, BOARD_TEXT_SIZE, "340");
    CopyText(form.rows[4].channelsText, BOARD_TEXT_SIZE, "2");
    CopyText(form.irqText, BOARD_TEXT_SIZE, "5");
    CopyText(form.dmaText, BOARD_TEXT_SIZE, "1");
    return form;
}

std::string EditedBtcall(const std::string& base, const DidSettings& did, unsigned edits) {
    std::string text = base;
    // The editor sees the text up to its first zero byte.
    size_t end = text.find('\0');
    if (edits & 1) {
        // A placeholder before a zero byte cannot be expanded without losing what follows.
        if (end == std::string::npos) {
            std::string directory = Lower(setupState.windowsDirectory);
            std::string expanded;
            size_t from = 0;
            for (size_t at = text.find("%windir%"); at != std::string::npos; at = text.find("%windir%", from)) {
                expanded.append(text, from, at - from).append(directory);
                from = at + 8;
            }
            text = expanded.append(text, from, std::string::npos);
        }
    }
    // A keyword line: at the start of a line, followed by a blank or its end;
    // any byte below 0x20 but TAB ends it.
    auto replaceLine = [&text](const std::string& keyword, const std::string& line) {
        size_t visible = text.find('\0');
        for (size_t start = 0; start < text.size() && start < visible;) {
            size_t stop = start;
            while (stop < text.size() && (static_cast<unsigned char>(text[stop]) >= 0x20 || text[stop] == '\t')) ++stop;
            if (stop == text.size()) return;  // a last line without its end is never found
            std::string current = text.substr(start, stop - start);
            if (StartsWith(current, keyword) && (current.size() == keyword.size() || current[keyword.size()] == ' ' ||
                                                 current[keyword.size()] == '\t')) {
                text.replace(start, stop - start, line);
                return;
            }
            start = text.find_first_of("\r\n", start);
            if (start == std::string::npos) return;
            ++start;
        }
    };
    auto padded = [](const std::string& keyword, const std::string& value) {
        return keyword + std::string(keyword.size() < 24 ? 24 - keyword.size() : 0, ' ') + value;
    };
    if (edits & 2) replaceLine("did_digits", padded("did_digits", std::to_string(did.didDigits)));
    if (edits & 4) replaceLine("did_variable", padded("did_variable", did.didVariable ? "1" : "0"));
    if (edits & 8) {
        if (did.winkStart) {
            replaceLine("immediate", "wink");
        } else {
            replaceLine("wink", "immediate");
        }
    }
    return text;
}

#ifndef _WIN32

namespace {

const char* const WINDOWS = "C:\\WINDOWS";
const char* const SERVICES_KEY = "System\\CurrentControlSet\\Services";
const char* const COMPANY_KEY = "Software\\Morvik Communication";
const DWORD INSTALL_DATE = 20261206;  // the stand-in's clock
const DWORD INSTALL_TIME = 120000;

std::string Windows(const std::string& relative) { return std::string(WINDOWS) + "\\" + relative; }

void Put(const std::string& path, const std::string& bytes) { EXPECT_TRUE(PutFile(path, bytes)) << path; }

void AddRunningService(const char* name, DWORD type, const char* image, std::vector<std::string> dependencies) {
    hostwin::ServiceRecord record;
    record.name = name;
    record.type = type;
    record.startType = SERVICE_DEMAND_START;
    record.imagePath = image;
    record.dependencies = std::move(dependencies);
    record.state = SERVICE_RUNNING;
    hostwin::AddService(record);
}

void EarlierInstallation() {
    hostwin::MakeDirectories(Windows("bfax\\morvik").c_str());
    Put(Windows("bfax\\bfax.sys"), "old driver");
    Put(Windows("bfax\\runfaxin.exe"), "old program");
    Put(Windows("bfax\\bfaxdll.dll"), "old library");
    Put(Windows("bfax\\notes.txt"), "old notes");
    Put(Windows("bfax\\faxinit.cfg"), OLD_FAXINIT);
    Put(Windows("bfax\\morvik\\btcall.cfg"), OLD_BTCALL);
    Put(Windows("bfax\\morvik\\readme.txt"), "old read me");
    // Started on demand, the driver from its older place: told apart from new ones.
    AddRunningService("bfax", SERVICE_KERNEL_DRIVER, "System32\\drivers\\bfax.sys", {});
    AddRunningService("faxinit", SERVICE_WIN32_OWN_PROCESS, "%SystemRoot%\\bfax\\runfaxin.exe", {"bfax"});
    hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS, "NBFAX", 16);
    hostwin::SetStringValue(HKEY_LOCAL_MACHINE, FAXINIT_PARAMETERS, "CMD_LINE", "-n faxinit.cfg");
    hostwin::SetStringValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory", "C:\\WINDOWS\\bfax");
    hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", 20010101);
    hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallTime", 101);
}

// ---- snapshots ----------------------------------------------------------------------
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

std::string Describe(const hostwin::ServiceRecord& record) {
    std::ostringstream text;
    text << "type " << record.type << ", start " << record.startType << ", errors " << record.errorControl
         << ", image " << record.imagePath << ", shown as " << record.displayName << ", depends on";
    for (const std::string& name : record.dependencies) text << " " << name;
    text << ", state " << record.state << (record.markedForDeletion ? ", marked for deletion" : "");
    return text.str();
}

std::string ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// ---- judging --------------------------------------------------------------------------
// One file as found: its bytes, or absent.
struct Content {
    bool present;
    std::string bytes;
    bool operator==(const Content& other) const {
        return present == other.present && (!present || bytes == other.bytes);
    }
};
const Content ABSENT = {false, ""};

Content FileIn(const Snapshot& snapshot, const std::string& relative) {
    auto found = snapshot.find("file:" + relative);
    return found == snapshot.end() ? ABSENT : Content{true, found->second};
}

std::string Show(const Content& content) {
    if (!content.present) return "(absent)";
    std::string shown = content.bytes.size() > 80 ? content.bytes.substr(0, 80) + "..." : content.bytes;
    return "\"" + shown + "\" (" + std::to_string(content.bytes.size()) + " bytes)";
}

// What the messages of a run said, in order.
struct Messages {
    int administrator = 0;   // 20030 asked: its answer
    bool listDamaged = false;
    std::vector<std::string> missing;  // paths named by 20007, answered with anything but No
    bool stoppedOnMissing = false;     // a 20007 answered No
    bool failed = false;               // 20026
    bool succeeded = false;            // 20027
    std::vector<std::string> unexpected;
};

Messages ReadMessages(const std::vector<hostwin::MessageBoxRecord>& boxes) {
    Messages messages;
    char listDamaged[2048];
    FormatText(listDamaged, sizeof listDamaged, LoadText(IDS_FILE_LIST_DAMAGED),
               (std::string(DISTRIBUTION) + "\\Files.ini").c_str());
    const std::string cannotOpen = MessageText(IDS_CANNOT_OPEN_FILE);
    const std::string opening = cannotOpen.substr(0, cannotOpen.find("%s"));
    const std::string middle = cannotOpen.substr(opening.size() + 2, cannotOpen.find("%s", opening.size() + 2) -
                                                                          opening.size() - 2);
    for (size_t i = 0; i < boxes.size(); ++i) {
        const hostwin::MessageBoxRecord& box = boxes[i];
        bool last = i + 1 == boxes.size();
        if (i == 0 && box.text == MessageText(IDS_NOT_ADMINISTRATOR)) {
            messages.administrator = box.answer;
        } else if (last && box.text == listDamaged && box.type == (MB_OK | MB_ICONWARNING)) {
            messages.listDamaged = true;
        } else if (StartsWith(box.text, opening) && box.text.find(middle) != std::string::npos &&
                   box.type == (MB_ICONERROR | MB_YESNO | MB_SETFOREGROUND)) {
            std::string path = box.text.substr(opening.size(), box.text.find(middle) - opening.size());
            if (box.answer == IDNO) {
                messages.stoppedOnMissing = true;
            } else {
                messages.missing.push_back(path);
            }
        } else if (last && box.text == MessageText(IDS_INSTALL_FAILED) && box.type == MB_ICONWARNING) {
            messages.failed = true;
        } else if (last && box.text == MessageText(IDS_INSTALL_SUCCEEDED) &&
                   box.type == (MB_ICONINFORMATION | MB_YESNO)) {
            messages.succeeded = true;
        } else {
            messages.unexpected.push_back(box.text);
        }
    }
    return messages;
}

bool Named(const Messages& messages, const DistributionFile& file) {
    std::string plain = std::string(DISTRIBUTION) + "\\" + file.name;
    std::string compressed = plain.substr(0, plain.size() - 1) + "_";
    for (const std::string& path : messages.missing) {
        if (path == plain || path == compressed) return true;
    }
    return false;
}

class Judgement {
public:
    Judgement(const Scenario& scenario, const Snapshot& before, const Run& run, const Excuses& excuses)
        : scenario_(scenario), before_(before), after_(TakeSnapshot()), run_(run), excuses_(excuses),
          messages_(ReadMessages(run.boxes)) {}

    Verdict Judge() {
        CheckNothingLeftOpen();
        for (const std::string& text : messages_.unexpected) Problem("unexpected message: " + text);
        if (!run_.prepared) {
            JudgeRefusal();
        } else if (run_.installSucceeded) {
            JudgeInstalled();
        } else {
            JudgeFailure();
        }
        CheckNoStrayFiles();
        return verdict_;
    }

private:
    void Problem(const std::string& text) { verdict_.problems.push_back(text); }

    void CheckNothingLeftOpen() {
        if (int files = hostwin::OpenFileCount()) Problem(std::to_string(files) + " file(s) left open");
        for (const std::string& key : hostwin::OpenKeyPaths()) Problem("key left open: " + key);
        if (int services = hostwin::OpenServiceHandleCount()) {
            Problem(std::to_string(services) + " service handle(s) left open");
        }
        if (int lz = hostwin::OpenLzFileCount()) Problem(std::to_string(lz) + " LZ file(s) left open");
        int entries = 0;
        for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) ++entries;
        if (int blocks = hostwin::LiveLocalAllocations() - entries) {
            Problem(std::to_string(blocks) + " memory block(s) left besides the list");
        }
    }

    void JudgeRefusal() {
        verdict_.outcome = messages_.listDamaged ? "refused: list damaged (20028)" : "refused: not administrator (20030)";
        if (!messages_.listDamaged && !(messages_.administrator == IDNO && run_.boxes.size() == 1)) {
            Problem("preparation ended without its message");
        }
        for (const auto& entry : before_) {
            auto found = after_.find(entry.first);
            if (found == after_.end() || found->second != entry.second) Problem("changed: " + entry.first);
        }
        for (const auto& entry : after_) {
            if (!before_.count(entry.first)) Problem("appeared: " + entry.first);
        }
    }

    void JudgeFailure() {
        verdict_.outcome = "failed (20026)";
        if (!messages_.failed || run_.reportResult != 0) Problem("a failed installation not reported as failed");
        if (messages_.stoppedOnMissing) verdict_.outcome = "failed after 20007 answered No";
        for (const DistributionFile& file : scenario_.files) {
            // Never a file cut short, and never one lost.
            std::vector<Content> allowed = {Before(file), New(file)};
            if (IsBtcall(file)) {
                allowed = BtcallVariants(allowed);
            }
            Expect(file.Destination(), allowed);
        }
        Expect("bfax\\faxinit.cfg", {FileIn(before_, "bfax\\faxinit.cfg"), {true, NEW_FAXINIT}});
    }

    void JudgeInstalled() {
        verdict_.outcome = "installed";
        if (!messages_.succeeded || run_.reportResult != 1) Problem("a successful installation not reported so");
        if (!messages_.missing.empty()) verdict_.outcome = "installed, a file skipped after 20007";
        for (const DistributionFile& file : scenario_.files) {
            Content before = Before(file);
            std::vector<Content> allowed;
            bool untouchable = Listed(excuses_.untouchable, file.Destination());
            if (Named(messages_, file)) {
                allowed = {before};
            } else if (untouchable && before.present) {
                allowed = {before, New(file)};
                if (Found(file) == before && !(before == New(file))) {
                    verdict_.outcome = "installed, a file left as it was";
                }
            } else if (!file.Replaces() && before.present) {
                allowed = {before};
            } else {
                allowed = {New(file)};
            }
            // btcall.cfg, wherever it came from, carries every edit.
            if (IsBtcall(file)) {
                for (Content& content : allowed) {
                    if (content.present) content.bytes = EditedBtcall(content.bytes, run_.did);
                }
            }
            Expect(file.Destination(), allowed);
        }
        Expect("bfax\\faxinit.cfg", {{true, NEW_FAXINIT}});
        CheckRecord();
        // Windows Server 2003 and later: no services, no driver parameters.
        if (!ServicesManaged(setupState.osFamily)) return;
        CheckParameters();
        CheckService("bfax", SERVICE_KERNEL_DRIVER, "%SystemRoot%\\bfax\\bfax.sys", {});
        CheckService("faxinit", SERVICE_WIN32_OWN_PROCESS, "%SystemRoot%\\bfax\\runfaxin.exe", {"bfax"});
    }

    static bool IsBtcall(const DistributionFile& file) { return file.Destination() == "bfax\\morvik\\btcall.cfg"; }

    Content Before(const DistributionFile& file) const { return FileIn(before_, file.Destination()); }
    Content Found(const DistributionFile& file) const { return FileIn(after_, file.Destination()); }
    static Content New(const DistributionFile& file) { return {true, file.installed}; }

    // Each text btcall.cfg may hold with some of the edits made.
    std::vector<Content> BtcallVariants(const std::vector<Content>& bases) const {
        std::vector<Content> variants;
        for (const Content& base : bases) {
            if (!base.present) {
                variants.push_back(base);
                continue;
            }
            for (unsigned edits = 0; edits < 16; ++edits) variants.push_back({true, EditedBtcall(base.bytes, run_.did, edits)});
        }
        return variants;
    }

    static bool Listed(const std::vector<std::string>& list, const std::string& relative) {
        return std::find(list.begin(), list.end(), relative) != list.end();
    }

    void Expect(const std::string& relative, const std::vector<Content>& allowed) {
        Content found = FileIn(after_, relative);
        if (std::find(allowed.begin(), allowed.end(), found) != allowed.end()) return;
        std::string text = relative + " holds " + Show(found) + "; allowed:";
        for (const Content& content : allowed) text += " " + Show(content);
        Problem(text);
    }

    void CheckNoStrayFiles() {
        std::set<std::string> known = {"file:bfax\\faxinit.cfg"};
        for (const DistributionFile& file : scenario_.files) known.insert("file:" + file.Destination());
        for (const auto& entry : after_) {
            // A failed update that could not be put back whole leaves its backup folder.
            bool backup = !run_.installSucceeded && StartsWith(entry.first, "file:bfax\\backup\\");
            if (StartsWith(entry.first, "file:") && !known.count(entry.first) && !before_.count(entry.first) &&
                !backup && !Listed(excuses_.undeletable, entry.first.substr(5))) {
                Problem("left behind: " + entry.first.substr(5));
            }
        }
    }

    // The record where start-up's reader finds it: in HKLM once the key is
    // there, else where a user's fallback put it.
    void CheckRecord() {
        std::string base = std::string(setupState.windowsDirectory) + "\\bfax";
        std::string text(base.begin(), base.end());
        text.push_back('\0');
        ExpectValue(RecordRoot(), PRODUCT_KEY, "BaseDirectory", REG_SZ, text);
        ExpectDword(RecordRoot(), PRODUCT_KEY, "InstallDate", INSTALL_DATE);
        ExpectDword(RecordRoot(), PRODUCT_KEY, "InstallTime", INSTALL_TIME);
    }

    static HKEY RecordRoot() {
        if (hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY)) return HKEY_LOCAL_MACHINE;
        return HKEY_CURRENT_USER;
    }

    void CheckParameters() {
        for (const auto& value : installed_keys::BfaxParameters(5, 1)) {
            ExpectDword(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS, value.first, value.second);
        }
        ExpectValue(HKEY_LOCAL_MACHINE, FAXINIT_PARAMETERS, "CMD_LINE", REG_SZ, std::string("-n faxinit.cfg", 15));
    }

    void ExpectDword(HKEY root, const char* path, const char* name, DWORD expected) {
        ExpectValue(root, path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&expected), 4));
    }

    void ExpectValue(HKEY root, const char* path, const char* name, DWORD type, const std::string& data) {
        hostwin::RegistryValue value;
        if (!hostwin::FindValue(root, path, name, &value)) {
            Problem(std::string("reported installed without ") + path + "\\" + name);
        } else if (value.type != type || std::string(value.data.begin(), value.data.end()) != data) {
            Problem(std::string("wrong value ") + path + "\\" + name);
        }
    }

    void CheckService(const char* name, DWORD type, const char* image, std::vector<std::string> dependencies) {
        hostwin::ServiceRecord record;
        if (!hostwin::FindService(name, &record)) {
            Problem(std::string("reported installed without the service ") + name);
            return;
        }
        hostwin::ServiceRecord expected = record;
        expected.type = type;
        expected.startType = SERVICE_AUTO_START;
        expected.errorControl = SERVICE_ERROR_NORMAL;
        expected.imagePath = image;
        expected.displayName = name;
        expected.dependencies = dependencies;
        expected.markedForDeletion = false;
        if (Describe(record) != Describe(expected)) Problem(std::string("service ") + name + ": " + Describe(record));
    }

    const Scenario& scenario_;
    const Snapshot& before_;
    Snapshot after_;
    const Run& run_;
    const Excuses& excuses_;
    Messages messages_;
    Verdict verdict_;
};

}  // namespace

void Prepare(const Scenario& scenario) {
    std::string setup = std::string(DISTRIBUTION) + "\\setup.exe";
    hostwin::SetModuleFileName(setup.c_str());
    hostwin::MakeDirectories(DISTRIBUTION);
    if (scenario.listPresent) Put(std::string(DISTRIBUTION) + "\\Files.ini", scenario.list);
    for (const DistributionFile& file : scenario.files) {
        std::string path = std::string(DISTRIBUTION) + "\\" + file.storedName;
        hostwin::MakeDirectories(path.substr(0, path.rfind('\\')).c_str());
        Put(path, file.stored);
    }
    if (scenario.earlierInstallation) EarlierInstallation();
    if (scenario.adjust) scenario.adjust();
}

Run RunProgram(const BoardForm& form, const std::function<void()>& atProgress) {
    Run run;
    HWND owner = hostwin::CreateWindow("SetupWholeRun", "Quorindel Loxbrine");
    HWND bar = hostwin::CreateControl(owner, 1022);
    hostwin::CreateControl(owner, 1023);
    hostwin::SetRedrawHandler([&run, &atProgress, bar](HWND window, BOOL) {
        if (window != bar) return;
        run.maxProgress = std::max(run.maxProgress, static_cast<int>(setupState.progress));
        if (atProgress) atProgress();
    });

    // Start-up, then the preparation worker.
    InitRun();
    run.prepared = CheckSupported(owner) && ConfirmAdministrator(owner) && ReadFileManifest(owner) > 0;
    if (run.prepared) {
        ComputeTotalBytes();
        // The Settings page accepts the boards; the installation worker runs.
        EXPECT_EQ(1, ValidateBoardSettings(form, setupState.boards).accepted);
        run.did = setupState.did;
        setupState.progress = 0;
        RunInstallation(owner);
        run.installSucceeded = setupState.installSucceeded;
        run.reportResult = ShowInstallResult(owner);
    }
    run.status = hostwin::ControlText(owner, 1023);
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
        snapshot["file:" + relative] = ReadHostFile(it->path());
    }
    AddKeys(&snapshot, HKEY_LOCAL_MACHINE, "HKLM", COMPANY_KEY);
    AddKeys(&snapshot, HKEY_CURRENT_USER, "HKCU", COMPANY_KEY);
    AddKeys(&snapshot, HKEY_USERS, "HKU", std::string(".DEFAULT\\") + COMPANY_KEY);
    for (const char* service : {"bfax", "faxinit"}) {
        AddKeys(&snapshot, HKEY_LOCAL_MACHINE, "HKLM", std::string(SERVICES_KEY) + "\\" + service);
    }
    for (const std::string& name : hostwin::ServiceNames()) {
        hostwin::ServiceRecord record;
        hostwin::FindService(name.c_str(), &record);
        snapshot["service:" + name] = Describe(record);
    }
    return snapshot;
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

std::string RecordSummary() {
    std::string summary;
    const std::pair<HKEY, const char*> places[] = {{HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_CURRENT_USER, "HKCU"}};
    for (const auto& place : places) {
        if (!hostwin::KeyExists(place.first, PRODUCT_KEY)) continue;
        hostwin::RegistryValue date;
        bool found = hostwin::FindValue(place.first, PRODUCT_KEY, "InstallDate", &date) &&
                     hostwin::FindValue(place.first, PRODUCT_KEY, "BaseDirectory") &&
                     hostwin::FindValue(place.first, PRODUCT_KEY, "InstallTime");
        const char* age = !found ? "partial" : date.Dword() == INSTALL_DATE ? "new" : "old";
        summary += std::string(summary.empty() ? "" : ", ") + place.second + " " + age;
    }
    return summary.empty() ? "none" : summary;
}

Verdict Judge(const Scenario& scenario, const Snapshot& before, const Run& run, const Excuses& excuses) {
    return Judgement(scenario, before, run, excuses).Judge();
}

std::string MessageText(unsigned id) { return LoadText(id); }

#endif  // _WIN32

}  // namespace whole_run
