// Unattended runs: the command line and the answers file (natively and
// under Wine, where the real profile functions read the files), and whole
// silent runs on the stand-in with their exit codes and logs.
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "core/command_line.h"
#include "core/dll_search.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "install/answers.h"
#include "install/run.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

std::string CurrentDirectory() {
    char directory[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    std::string text(directory, length);
    return text.empty() || text.back() == '\\' ? text : text + "\\";
}

struct CommandCase {
    const char* text;
    const char* parsed;  // "silent remove help | answers | log | save", or the start of the reason
};

// "./" stands for the current directory.
const CommandCase commandCases[] = {
    {"", "0 0 0 |  |  | "},
    {"-SILENT -Answers=a.ini /LOG=\"C:\\setup logs\\fax.log\"", "1 0 0 | ./a.ini | C:\\setup logs\\fax.log | "},
    {"\"/log=C:\\x y\\l.txt\" /silent /remove", "1 1 0 |  | C:\\x y\\l.txt | "},
    {"/saveanswers=saved.ini /log=l.txt", "0 0 0 |  | ./l.txt | ./saved.ini"},
    {"/silent /help /bogus", "/bogus is not a known switch."},
    {"/help /silent=1", "/silent=1 takes no value."},
    {"/silent", "/silent needs /answers=FILE"},
    {"/remove /saveanswers=a.ini", "/remove with /saveanswers: a removal takes no answers file."},
    {"/answers=a.ini", "/answers is used together with /silent only."},
    {"/silent /answers=a.ini /saveanswers=b.ini", "/saveanswers is used in an interactive run only"},
    {"/silent /log=a /log=b /remove", "/log is given twice."},
    {"/silent /answers=", "/answers= needs a file name"},
    {"silent", "silent is not a switch."},
    {"/log=\"C:\\open quote", "The command line cannot be read"},
    {"/log=C:\\<1100>.log /silent /remove", "The command line cannot be read"},
    {"/log=<1019>", "The command line cannot be read"},  // 1,024 characters
    {"/log=<1018>", "The file name"},                    // 1,023: a word, but no file name
    {"/silent\v/remove\x01/log=l.txt", "1 1 0 |  | ./l.txt | "},
};

// "<N>" stands for N characters.
std::string WithLongWord(std::string text) {
    size_t at = text.find('<'), end = text.find('>');
    return at == std::string::npos ? text : text.replace(at, end + 1 - at, std::stoul(text.substr(at + 1)), 'x');
}

class CommandLineTest : public SetupTest {};

TEST_F(CommandLineTest, GoodAndBadLines) {
    const std::string here = CurrentDirectory();
    for (const CommandCase& c : commandCases) {
        CommandLine line;
        std::memset(&line, 0xA5, sizeof line);
        int ok = ParseCommandLine(WithLongWord(c.text).c_str(), &line);
        std::string seen;
        if (ok) {
            std::string expected = c.parsed;
            for (size_t at = expected.find("./"); at != std::string::npos; at = expected.find("./")) {
                expected.replace(at, 2, here);
            }
            seen = std::to_string(line.silent) + " " + std::to_string(line.remove) + " " + std::to_string(line.help) +
                   " | " + line.answers + " | " + line.log + " | " + line.saveAnswers;
            EXPECT_EQ(expected, seen) << c.text;
        } else {
            seen = line.reason;
            EXPECT_EQ(0, seen.compare(0, std::strlen(c.parsed), c.parsed)) << c.text << " gave: " << seen;
            // A refused line that asks for silence is silent all the same.
            EXPECT_EQ(std::strstr(c.text, "/silent") ? 1 : 0, line.silent) << c.text;
        }
    }
    // ... and its log goes where it asks, whatever came before.
    CommandLine refused;
    EXPECT_EQ(0, ParseCommandLine(WithLongWord("/bogus <1100> -LOG=x.log").c_str(), &refused));
    EXPECT_EQ(here + "x.log", std::string(refused.log));
    EXPECT_STREQ("/bogus is not a known switch.", refused.reason);
}

struct AnswersCase {
    const char* file;
    const char* result;  // boards, IRQ, DMA, DID, answers as Summary() gives them, or the end of the reason
};

const char* const TWO_ISA = "[Boards]\r\nBoard1=TR114 PCI\r\nBoard2=TR114 ISA, 300, 4\r\nBoard5=tr114 isa,340 ,2\r\n";

const AnswersCase answersCases[] = {
    {"; hall 2\r\n[boards]\r\n; the PCI board\r\nboard1 = Trufax PCI\r\n", "3 0 0 0 0 0 | 5 1 | 0 4 1 | start skip=0"},
    {TWO_ISA, "1 2:300/4 0 0 2:340/2 0 | 5 1 | 0 4 1 | start skip=0"},
    {"[Boards]\r\nBoard6=TR114 ISA, 40, 30\r\nIRQ=2\r\nDMA=\r\n[DID]\r\nVariable=1\r\nDigits=2,5\r\n"
     "Start=IMMEDIATE\r\n[Setup]\r\nStartDrivers=no\r\nMissingFiles=skip\r\n",
     "0 0 0 0 0 2:40/30 | 2 0 | 1 2 0 | no-start skip=1"},
    {"[DID]\r\nDigits=63\r\n[Boards]\r\nBoard3=\"TR114 PCI\"\r\n", "0 0 1 0 0 0 | 5 1 | 0 63 1 | start skip=0"},
    // The Settings page's messages (their ranges and order: board_settings_test).
    {"[Boards]\r\nBoard1=TR114 ISA, 300, 31\r\nBoard2=TR114 ISA\r\n",
     "Please enter the number of channels for board # 1"},
    {"[Boards]\r\nBoard1=Not installed\r\n", "at least one board installed in the system to continue"},
    // Lines that are no settings at all.
    {"[Boards]\r\nBoard7=TR114 PCI\r\n", "the line Board7= of [Boards] is none of Board1 to Board6."},
    {"[Boards]\r\nBoard1=TR115 PCI\r\n", "in the line Board1=, TR115 PCI is not a board type."},
    {"[Boards]\r\nBoard1=\r\n", "in the line Board1=,  is not a board type."},
    {"[Boards]\r\nBoard1=TR114 PCI, 300\r\n", "the line Board1= holds more than the board type."},
    {"[Boards]\r\nboard1=TR114 PCI\r\nBOARD1=TR114 ISA\r\n", "the line BOARD1= of [Boards] is given twice."},
    {"[Boards]\r\nBoard1=TR114 PCI\r\nSpeed=9600\r\n", "the line Speed of [Boards] is not known."},
    {"[Board]\r\nBoard1=TR114 PCI\r\n", "the section [Board] is not one of [Boards], [DID], [Setup]."},
    {"[Boards]\r\nBoard1=TR114 PCI\r\n[DID]\r\nStart=winks\r\n", "the value is neither wink nor immediate."},
    {"[Boards]\r\nBoard1=TR114 PCI\r\n[DID]\r\nVariable=2\r\n", "the value is neither 0 nor 1."},
    {"[Boards]\r\nBoard1=TR114 PCI\r\n[Setup]\r\nMissingFiles=ignore\r\n", "the value is neither skip nor stop."},
};

std::string Summary() {
    std::ostringstream text;
    for (const BoardRow& row : setupState.boards.rows) {
        text << row.type;
        if (row.type == BOARD_TR114_ISA) {
            text << ':' << std::hex << std::uppercase << row.ioBase << std::dec << '/' << row.channels;
        }
        text << ' ';
    }
    const DidSettings& did = setupState.did;
    text << "| " << setupState.boards.irq << ' ' << setupState.boards.dma << " | " << did.didVariable << ' '
         << did.didDigits << ' ' << did.winkStart << " | " << (setupState.silentStartDrivers ? "start" : "no-start")
         << " skip=" << setupState.silentSkipMissingFiles;
    return text.str();
}

class AnswersFileTest : public ScratchTest {};

// Every usable file also comes back the same through the file /saveanswers writes.
TEST_F(AnswersFileTest, GoodAndBadFiles) {
    const std::string path = Dir("answers.ini");
    const std::string saved = Dir("saved.ini");
    for (const AnswersCase& c : answersCases) {
        ResetSetupState();
        ASSERT_TRUE(PutFile(path, c.file));
        char reason[ANSWERS_REASON_SIZE];
        int ok = ReadAnswersFile(path.c_str(), reason, sizeof reason);
        std::string seen = ok ? Summary() : std::string(reason);
        if (ok) {
            EXPECT_EQ(c.result, seen) << c.file;
            ASSERT_EQ(1, WriteAnswersFile(saved.c_str()));
            ResetSetupState();
            EXPECT_EQ(1, ReadAnswersFile(saved.c_str(), reason, sizeof reason)) << reason;
            // The silent answers are not part of the settings that are saved.
            std::string again = Summary();
            EXPECT_EQ(seen.substr(0, seen.rfind('|')), again.substr(0, again.rfind('|'))) << FileText(saved);
        } else {
            EXPECT_EQ(0, seen.compare(0, path.size() + 18, "The answers file " + path + ":")) << seen;
            EXPECT_NE(std::string::npos, seen.find(c.result)) << c.file << " gave: " << seen;
        }
    }
    EXPECT_EQ(0, ReadAnswersFile(Dir("missing.ini").c_str(), nullptr, 0));
    EXPECT_EQ(0, WriteAnswersFile(Dir("no\\folder\\saved.ini").c_str()));
    // More lines than the list of a section holds is refused, not read in part.
    std::string many = "[Boards]\r\nBoard1=TR114 PCI\r\n";
    for (int n = 0; n < 900; ++n) many += "Key" + std::to_string(n) + "=\r\n";
    ASSERT_TRUE(PutFile(path, many));
    char reason[ANSWERS_REASON_SIZE];
    EXPECT_EQ(0, ReadAnswersFile(path.c_str(), reason, sizeof reason));
    EXPECT_NE(nullptr, std::strstr(reason, "too many lines.")) << reason;
}

#ifndef _WIN32

using namespace whole_run;

const char* const ANSWERS = "C:\\answers.ini";
const char* const STANDARD_ANSWERS =
    "[Boards]\r\nBoard1=TR114 PCI\r\nBoard2=TR114 ISA, 300, 4\r\nBoard5=TR114 ISA, 340, 2\r\nIRQ=5\r\nDMA=1\r\n";
const char* const DEFAULT_LOG = "C:\\WINDOWS\\LoxbrineSetup.log";

// An update that a run did not finish: its record in the backup folder.
void LeaveBackup() {
    hostwin::MakeDirectories("C:\\WINDOWS\\bfax\\backup");
    PutFile("C:\\WINDOWS\\bfax\\backup\\restore.lst", "");
}

class SilentRunTest : public SetupTest {
protected:
    void TearDown() override {
        FreeManifestEntries();
        CloseSetupLog();
        if (setupState.instanceMutex) CloseHandle(setupState.instanceMutex);
        setupState.instanceMutex = nullptr;
    }
};

struct ExitCase {
    const char* what;
    const char* commandText;
    std::function<void()> adjust;
    int exitCode;
    std::vector<const char*> logLines;
    const char* leaves;  // "as before", "installed" (as the interactive run) or "removed"
};

// Nothing is shown on the way, and an installation leaves exactly what the
// interactive run with the same settings leaves.
TEST_F(SilentRunTest, ExitCodes) {
    Prepare(StandardScenario(true));
    RunProgram();
    FreeManifestEntries();
    const Snapshot interactive = TakeSnapshot();
    HANDLE otherCopy = nullptr;
    const ExitCase cases[] = {
        {"installation", "/silent /answers=C:\\answers.ini", [] {}, 0,
         {"command line: /silent /answers=C:\\answers.ini", "Service faxinit started",
          "Message: The Brooktrout drivers have been successfully installed.", "Answer: Yes",
          "Result: installed, exit code 0\r\n"},
         "installed"},
        {"removal", "/silent /remove /log=C:\\r.log", [] {}, 0, {"Answer: Yes", "Service faxinit deleted"},
         "removed"},
        // Without /silent the removal asks over the main window first.
        {"removal asked, No", "/remove /log=C:\\r.log", [] {}, 1602,
         {"Answer: No", "Result: removal declined, nothing changed, exit code 1602"}, "as before"},
        {"Windows 98", "/silent /remove /log=C:\\r.log",
         [] {
             hostwin::SetVersion({VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0x040A0000});
             hostwin::HideExport("GetSecurityInfo");  // no owners there: an earlier log is kept
             PutFile("C:\\r.log", "");
         },
         1150, {"Message: You are running Windows 95/98."}, "as before"},
        {"not an administrator", "/silent /answers=C:\\answers.ini /log=C:\\r.log",
         [] { hostwin::SetAdministrator(false); }, 740,
         {"installed correctly. Do you want to continue with the installation?\r\n"}, "as before"},
        {"not an administrator, an update left", "/silent /remove /log=C:\\r.log",
         [] { hostwin::SetAdministrator(false), LeaveBackup(); }, 740,
         {"Result: not an administrator, nothing installed, exit code 740"}, "as before"},
        // Run by another user in another session (a deployment as SYSTEM).
        {"second copy", "/silent /answers=C:\\answers.ini /log=C:\\r.log",
         [] { hostwin::HoldOtherUsersMutex("Global\\$$ Loxbrine Main Mutex $$"); }, 1618,
         {"Result: another copy of the setup program is running, exit code 1618"}, "as before"},
        {"second copy on Windows NT 4.0", "/silent /answers=C:\\answers.ini /log=C:\\r.log",
         [&otherCopy] {
             hostwin::SetVersion({VER_PLATFORM_WIN32_NT, 4, 0, 1381});
             otherCopy = CreateMutexA(nullptr, FALSE, "$$ Loxbrine Main Mutex $$");
         },
         1618, {}, "as before"},
        {"bad command line", "/silent /answer=C:\\answers.ini", [] {}, 1639,
         {"Invalid command line: /answer=C:\\answers.ini is not a known switch."}, "as before"},
        {"missing file, stop", "/silent /answers=C:\\answers.ini /log=C:\\r.log",
         [] { DeleteFileA("C:\\DIST\\bfax.sy_"); }, 1603,
         {"Restored HKLM\\Software\\Morvik Communication\\Loxbrine", "The earlier installation is restored"},
         "as before"},
        {"log not writable", "/silent /answers=C:\\answers.ini /log=C:\\NO\\SUCH\\r.log", [] {}, 0, {}, "installed"},
    };
    for (const ExitCase& c : cases) {
        ResetAll();
        Prepare(StandardScenario(true));
        PutFile(ANSWERS, STANDARD_ANSWERS);
        c.adjust();
        const Snapshot before = TakeSnapshot();
        CommandLine line;
        int ended = StartRun(c.commandText, &line);
        if (ended < 0 && line.silent) ended = RunSilentSetup(line);
        if (ended < 0) {
            // An interactive removal, as WinMain runs it (its window aside).
            const char* result = "";
            InitRun();
            int exitCode = RunRemoval(nullptr, &result);
            ended = EndRun(exitCode, result);
        }
        EXPECT_EQ(c.exitCode, ended) << c.what;
        TearDown();
        if (otherCopy) CloseHandle(otherCopy);
        otherCopy = nullptr;
        std::string log = FileText(std::strstr(c.commandText, "log=C:\\r.log") ? "C:\\r.log" : DEFAULT_LOG);
        // Every message logged was shown, unless the run was silent.
        size_t logged = 0;
        for (size_t at = log.find("Message: "); at != std::string::npos; at = log.find("Message: ", at + 1)) ++logged;
        EXPECT_EQ(line.silent ? 0 : logged, hostwin::MessageBoxes().size()) << c.what;
        for (const char* line : c.logLines) EXPECT_NE(std::string::npos, log.find(line)) << c.what << ":\n" << log;
        if (c.leaves == std::string("removed")) {
            // No services, no product key, no entry; the files stay.
            Snapshot left = {{"key:HKLM\\Software\\Morvik Communication", ""}};
            for (const auto& item : before) {
                if (item.first.rfind("file:", 0) == 0) left.insert(item);
            }
            EXPECT_EQ(left, TakeSnapshot()) << c.what;
        } else {
            EXPECT_EQ(c.leaves == std::string("installed") ? interactive : before, TakeSnapshot()) << c.what;
        }
    }
}

// A log is only appended to a plain file of the user's, the administrators'
// or SYSTEM's; anything else is left as it was, and the run goes on without.
TEST_F(SetupTest, LogOnlyToPlainFilesOfOurOwn) {
    static const char* const log = "C:\\setup.log";
    static const char* const other = "C:\\WINDOWS\\win.ini";
    struct Row {
        const char* what;
        std::function<void()> prepare;
        bool kept;
        bool denied = false;  // the folder refuses the file
        const char* path = log;
    } rows[] = {
        {"an administrator's", [] { PutFile(log, "earlier\r\n"); }, true},
        {"made now on a share, where the server names another owner", [] {}, true, false,
         "\\\\SERVER\\LOGS\\setup.log"},
        {"another user's", [] { PutFile(log, "earlier\r\n"), hostwin::SetFileOwner(log, hostwin::OWNER_OTHER_USER); },
         false},
        {"a second name of another file", [] { hostwin::MakeLink(other, log, false); }, false},
        {"a symbolic link to another file", [] { hostwin::MakeLink(other, log, true); }, false},
        {"in a folder that cannot be written", [] {}, false, true},
    };
    for (const Row& row : rows) {
        ResetAll();
        PutFile(other, "[windows]\r\n");
        hostwin::MakeDirectories("\\\\SERVER\\LOGS");
        row.prepare();
        const std::string before = FileText(row.path);
        if (row.denied) hostwin::CountCalls(1);
        EXPECT_EQ(row.kept ? 1 : 0, OpenSetupLog(row.path)) << row.what;
        LogLine("line");
        CloseSetupLog();
        const std::string after = FileText(row.path);
        EXPECT_EQ(row.kept, after.size() > before.size() && after.compare(0, before.size(), before) == 0) << row.what;
        EXPECT_EQ("[windows]\r\n", FileText(other)) << row.what;
        EXPECT_EQ(0, hostwin::OpenHandleCount() + hostwin::LiveLocalAllocations()) << row.what;
    }
}

// Nothing that makes Windows load a DLL comes before the search is
// restricted: the log's owner check, a message box, COMCTL32. The DLLs
// loaded late ("preloads") come right after the restriction, each from the
// system directory with what it loads in turn (which ones: the end-to-end
// DLL planting).
TEST_F(SetupTest, DllSearchRestrictedFirst) {
    const std::string system = "LoadLibraryExA C:\\WINDOWS\\system32\\";
    struct Row {
        hostwin::Version version;
        std::vector<const char*> missing;
        std::vector<std::string> calls;
    } rows[] = {
        {{VER_PLATFORM_WIN32_NT, 10, 0, 19045}, {},
         {"SetDefaultDllDirectories 0x800", "preloads", "GetSecurityInfo", "MessageBoxA", "LoadLibraryA comctl32.dll"}},
        {{VER_PLATFORM_WIN32_NT, 5, 1, 2600}, {"SetDefaultDllDirectories"},
         {"SetDllDirectoryA \"\"", "preloads", "GetSecurityInfo", "MessageBoxA", "LoadLibraryA comctl32.dll"}},
        {{VER_PLATFORM_WIN32_NT, 5, 0, 2195}, {"SetDefaultDllDirectories", "SetDllDirectoryA"},
         {"preloads", "GetSecurityInfo", "MessageBoxA", system + "comctl32.dll 0x8"}},
    };
    for (const Row& row : rows) {
        ResetAll();
        hostwin::SetVersion(row.version);
        for (const char* name : row.missing) hostwin::HideExport(name);
        PutFile("C:\\setup.log", "");  // an earlier run's: its owner is read
        CommandLine line;
        EXPECT_EQ(EXIT_INVALID_COMMAND_LINE, StartRun("/log=C:\\setup.log /bogus", &line));
        LoadCommonControls();
        std::vector<std::string> calls = hostwin::LoaderCalls();
        auto first = calls.begin() + (row.missing.size() < 2);
        auto end = first;
        while (end != calls.end() && end->rfind(system, 0) == 0 && end->find(" 0x8") != std::string::npos) ++end;
        if (end != first) *first = "preloads", calls.erase(first + 1, end);
        EXPECT_EQ(row.calls, calls) << row.version.major << "." << row.version.minor;
        CloseSetupLog();
    }
}

#endif  // _WIN32

}  // namespace
