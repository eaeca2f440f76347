// Whole installations and removals, start to end, without any window: the
// list is read and measured, the boards validated, the sequence run, and the
// entire machine looked at afterwards (files byte for byte, registry values,
// service records, messages, pauses).
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/windows_version.h"
#include "driver/board_settings.h"
#include "driver/services.h"
#include "install/manifest.h"
#include "install/sequences.h"
#include "support/install_fixture.h"
#include "support/installed_keys.h"
#include "support/message_boxes.h"

namespace {

using installed_keys::BFAX_PARAMETERS;
using installed_keys::FAXINIT_PARAMETERS;
using installed_keys::PRODUCT_KEY;

const char* const BTCALL_SOURCE =
    "; call control configuration\r\n"
    "path %windir%\\bfax\\morvik\\\r\n"
    "log %WINDIR%\\unchanged\r\n"
    "did_variable 1\r\n"
    "did_digits\t8\r\n"
    "immediate\r\n"
    "channels 4\r\n";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class InstallationTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        ClassifyWindows();
        setupState.did.didVariable = 0;
        setupState.did.didDigits = 4;
        setupState.did.winkStart = 1;
    }

    void TearDown() override {
#if !ON_STAND_IN
        // The real machine: take away what an installation registered.
        StopAndDeleteService("faxinit");
        StopAndDeleteService("bfax");
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
#endif
        InstallTest::TearDown();
    }

    // A distribution with a compressed driver, a plain program that always
    // replaces the installed one, a compressed file in a sub-folder, and the
    // call-control configuration for the morvik folder.
    void MakeDistribution() {
        MakeDirectory(Dist("drivers"));
        WriteList(
            "[Files]\r\n"
            "bfax.sys,x,1\r\n"
            "runfaxin.exe,x,1\r\n"
            "drivers\\bfaxdll.dll,x,0\r\n"
            "btcall.cfg,A,1\r\n"
            "readme.txt,A,0\r\n");
        Copy(Fixture(CompressedName("noise.bin")), Dist("bfax.sy_"));
        Copy(Fixture("window.bin"), Dist("runfaxin.exe"));
        Copy(Fixture(CompressedName("text.txt")), Dist("drivers\\bfaxdll.dl_"));
        PutFile(Dist("btcall.cfg"), BTCALL_SOURCE);
        Copy(Fixture("small.ini"), Dist("readme.txt"));
    }

    static void Copy(const std::string& bytes, const std::string& to) { ASSERT_TRUE(PutFile(to, bytes)) << to; }

    // Board 1 TR114 PCI; boards 2 and 5 TR114 ISA at 300 (4 channels) and
    // 340 (2 channels); IRQ 5, DMA 1.
    void ChooseBoards(bool withIsa = true) {
        BoardForm form;
        std::memset(&form, 0, sizeof form);
        form.rows[0].typeSelection = BOARD_TR114_PCI;
        if (withIsa) {
            form.rows[1].typeSelection = BOARD_TR114_ISA;
            std::strcpy(form.rows[1].ioBaseText, "300");
            std::strcpy(form.rows[1].channelsText, "4");
            form.rows[4].typeSelection = BOARD_TR114_ISA;
            std::strcpy(form.rows[4].ioBaseText, "340");
            std::strcpy(form.rows[4].channelsText, "2");
        }
        std::strcpy(form.irqText, "5");
        std::strcpy(form.dmaText, "1");
        ASSERT_EQ(1, ValidateBoardSettings(form, setupState.boards).accepted);
    }

    // Preparation and installation as the two worker threads run them.
    void Install() {
        ASSERT_GT(ReadFileManifest(Owner()), 0);
        ComputeTotalBytes();
        setupState.progress = 0;
        RunInstallation(Owner());
    }

    // The usual distribution and boards, installed.
    void InstallStandard() {
        MakeDistribution();
        ChooseBoards();
        Install();
    }

    // Everything of a complete installation with the usual boards.
    void ExpectCompleteInstallation() {
        ExpectFilesInstalled();
        ExpectInstallRecord(HKEY_LOCAL_MACHINE);
        ExpectDriverParameters(5, 1);
        ExpectServicesRegistered();
    }

    std::string Bfax(const std::string& name) const { return Win("bfax\\" + name); }
    std::string Morvik(const std::string& name) const { return Win("bfax\\morvik\\" + name); }

    std::string ExpectedBtcall() const {
        return "; call control configuration\r\n"
               "path " + Lower(setupState.windowsDirectory) + "\\bfax\\morvik\\\r\n"
               "log %WINDIR%\\unchanged\r\n"
               "did_variable            0\r\n"
               "did_digits              4\r\n"
               "wink\r\n"
               "channels 4\r\n";
    }

    void ExpectFilesInstalled() {
        EXPECT_EQ((Fixture("noise.bin")), FileText(Bfax("bfax.sys")));
        EXPECT_EQ((Fixture("window.bin")), FileText(Bfax("runfaxin.exe")));
        EXPECT_EQ((Fixture("text.txt")), FileText(Bfax("bfaxdll.dll")));
        EXPECT_EQ((Fixture("small.ini")), FileText(Morvik("readme.txt")));
        EXPECT_FALSE(DirectoryExists(Bfax("drivers")));  // sub-folders are not reproduced
        EXPECT_EQ(ExpectedBtcall(), FileText(Morvik("btcall.cfg")));
        EXPECT_EQ(std::string("addrs 304 4\r\naddrs 344 2\r\n"), FileText(Bfax("faxinit.cfg")));
    }

    static DWORD ReadDword(HKEY root, const char* path, const char* name) {
        DWORD value = 0xA5A5A5A5;
        EXPECT_EQ(1, ReadRegistryValue(root, path, name, REG_DWORD, &value, sizeof value)) << path << "\\" << name;
        return value;
    }

    static std::string ReadText(HKEY root, const char* path, const char* name) {
        char text[260];
        if (!ReadRegistryValue(root, path, name, REG_SZ, text, sizeof text)) return "(missing)";
        return text;
    }

    void ExpectInstallRecord(HKEY root, const std::string& path = PRODUCT_KEY) {
        EXPECT_EQ(std::string(setupState.windowsDirectory) + "\\bfax", ReadText(root, path.c_str(), "BaseDirectory"));
#if ON_STAND_IN
        EXPECT_EQ(20261231u, ReadDword(root, path.c_str(), "InstallDate"));
        EXPECT_EQ(235958u, ReadDword(root, path.c_str(), "InstallTime"));
#else
        SYSTEMTIME now;
        GetLocalTime(&now);
        DWORD date = ReadDword(root, path.c_str(), "InstallDate");
        EXPECT_EQ(now.wYear, date / 10000);
        EXPECT_LE(ReadDword(root, path.c_str(), "InstallTime"), 235959u);
#endif
    }

    void ExpectDriverParameters(DWORD irq, DWORD dma) {
        const std::pair<const char*, DWORD> expected[] = {
            {"BFAX_BUF_SIZE", 8192}, {"BFAX_DMA_CHAN", dma},    {"BFAX_HW_INT", irq},       {"BFAX_NUM_USER_INTRS", 10},
            {"CMD_HISTORY_SIZE", 1}, {"FIFO_HISTORY_SIZE", 0}, {"HW_BUS_NUM", 0},          {"HW_BUS_TYPE", 1},
            {"HW_DMA_PORT", 0},      {"HW_INTR_LEVEL", irq},    {"NBFAX", 16},
        };
        for (const auto& value : expected) {
            EXPECT_EQ(value.second, ReadDword(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS, value.first)) << value.first;
        }
        EXPECT_EQ("-n faxinit.cfg", ReadText(HKEY_LOCAL_MACHINE, FAXINIT_PARAMETERS, "CMD_LINE"));
#if ON_STAND_IN
        EXPECT_EQ(11u, hostwin::ValueNames(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS).size());
        EXPECT_EQ(std::vector<std::string>{"CMD_LINE"}, hostwin::ValueNames(HKEY_LOCAL_MACHINE, FAXINIT_PARAMETERS));
        hostwin::RegistryValue commandLine;
        ASSERT_TRUE(hostwin::FindValue(HKEY_LOCAL_MACHINE, FAXINIT_PARAMETERS, "CMD_LINE", &commandLine));
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), commandLine.type);
        EXPECT_EQ(15u, commandLine.data.size());
#endif
    }

    static void ExpectServicesRegistered() {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
        struct Expected {
            const char* name;
            DWORD type;
            const char* image;
        };
        const Expected services[] = {{"bfax", SERVICE_KERNEL_DRIVER, "%SystemRoot%\\bfax\\bfax.sys"},
                                     {"faxinit", SERVICE_WIN32_OWN_PROCESS, "%SystemRoot%\\bfax\\runfaxin.exe"}};
        for (const Expected& expected : services) {
            SC_HANDLE service = OpenServiceA(manager, expected.name, SERVICE_QUERY_CONFIG);
            ASSERT_NE(nullptr, service) << expected.name;
            union {
                QUERY_SERVICE_CONFIGA config;
                char bytes[8192];
            } buffer;
            DWORD needed = 0;
            ASSERT_TRUE(QueryServiceConfigA(service, &buffer.config, sizeof buffer, &needed)) << expected.name;
            EXPECT_EQ(expected.type, buffer.config.dwServiceType);
            EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), buffer.config.dwStartType);
            EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), buffer.config.dwErrorControl);
            EXPECT_STRCASEEQ(expected.image, buffer.config.lpBinaryPathName);
            EXPECT_STREQ(expected.name, buffer.config.lpDisplayName);
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
#if ON_STAND_IN
        hostwin::ServiceRecord faxinit;
        ASSERT_TRUE(hostwin::FindService("faxinit", &faxinit));
        EXPECT_EQ(std::vector<std::string>{"bfax"}, faxinit.dependencies);
        hostwin::ServiceRecord bfax;
        ASSERT_TRUE(hostwin::FindService("bfax", &bfax));
        EXPECT_TRUE(bfax.dependencies.empty());
#endif
    }
};

TEST_F(InstallationTest, FirstInstallationOnTheRealPlatform) {
    REQUIRE_REAL_WINDOWS();
    InstallStandard();
    ASSERT_EQ(1, setupState.installSucceeded);
    ExpectCompleteInstallation();
    EXPECT_EQ(1000, setupState.progress);

    // The drivers are not started here: a kernel driver never starts under
    // Wine. Removal takes both services and the product key, and no file.
    RemoveDrivers();
    EXPECT_EQ(0, ServiceExists("bfax"));
    EXPECT_EQ(0, ServiceExists("faxinit"));
    char base[260];
    EXPECT_EQ(0, ReadRegistryValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory", REG_SZ, base, sizeof base));
    EXPECT_TRUE(FileExists(Bfax("bfax.sys")));
    EXPECT_TRUE(FileExists(Bfax("faxinit.cfg")));
    EXPECT_TRUE(FileExists(Morvik("btcall.cfg")));
}

#if ON_STAND_IN

class StandInInstallationTest : public InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        SYSTEMTIME time = {2026, 12, 4, 31, 23, 59, 58, 0};
        hostwin::SetLocalTime(time);
    }

    void TearDown() override {
        EXPECT_EQ(0, hostwin::OpenKeyCount());
        EXPECT_EQ(0, hostwin::OpenServiceHandleCount());
        EXPECT_EQ(0, hostwin::OpenFileCount());
        EXPECT_EQ(0, hostwin::LiveLocalAllocations() - ManifestBlocks());
        InstallationTest::TearDown();
    }

    void OnWindows(const hostwin::Version& version) {
        hostwin::SetVersion(version);
        ClassifyWindows();
    }

    static int ManifestBlocks() {
        int blocks = 0;
        for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) ++blocks;
        return blocks;
    }

    static std::vector<DWORD> Pauses() { return hostwin::Sleeps(); }

    static std::vector<std::string> Texts(const MessageBoxWatch& boxes) {
        std::vector<std::string> texts;
        for (const ShownBox& box : boxes.Boxes()) texts.push_back(box.text);
        return texts;
    }

    static std::string Running(const char* name) {
        hostwin::ServiceRecord record;
        if (!hostwin::FindService(name, &record)) return "absent";
        if (record.markedForDeletion) return "marked";
        return record.state == SERVICE_RUNNING ? "running" : "stopped";
    }

    // An earlier installation whose two services run.
    void EarlierInstallationRunning() {
        hostwin::ServiceRecord bfax;
        bfax.name = "bfax";
        bfax.type = SERVICE_KERNEL_DRIVER;
        bfax.startType = SERVICE_AUTO_START;
        bfax.imagePath = "%SystemRoot%\\bfax\\bfax.sys";
        bfax.state = SERVICE_RUNNING;
        hostwin::AddService(bfax);
        hostwin::ServiceRecord faxinit;
        faxinit.name = "faxinit";
        faxinit.startType = SERVICE_AUTO_START;
        faxinit.imagePath = "%SystemRoot%\\bfax\\runfaxin.exe";
        faxinit.dependencies = {"bfax"};
        faxinit.state = SERVICE_RUNNING;
        hostwin::AddService(faxinit);
        hostwin::SetStringValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory", "C:\\OLD\\bfax");
        hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", 20010101);
        hostwin::SetDwordValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallTime", 101);
    }

    static const char* const QUESTION;
    static const char* const FAILED;
};

const char* const StandInInstallationTest::QUESTION =
    "The Brooktrout drivers have been successfully installed. Do you want to start the drivers now?";
const char* const StandInInstallationTest::FAILED = "The Brooktrout drivers cannot be created";

TEST_F(StandInInstallationTest, FirstInstallationOnACleanWindowsXp) {
    MessageBoxWatch boxes({IDYES});
    InstallStandard();
    ASSERT_EQ(1, setupState.installSucceeded);
    EXPECT_EQ(1, ShowInstallResult(Owner()));

    ExpectCompleteInstallation();
    EXPECT_EQ("running", Running("bfax"));
    EXPECT_EQ("running", Running("faxinit"));
    // Nothing went to the fallback places of users without HKLM rights.
    EXPECT_FALSE(hostwin::KeyExists(HKEY_CURRENT_USER, PRODUCT_KEY));

    ASSERT_EQ(1u, boxes.Boxes().size());
    const ShownBox& question = boxes.Boxes()[0];
    EXPECT_EQ(QUESTION, question.text);
    EXPECT_EQ("Quorindel Loxbrine", question.caption);
    EXPECT_EQ(Owner(), question.owner);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), question.buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), question.icon);
    EXPECT_EQ("Installing readme.txt", Status());
    EXPECT_EQ(1000, setupState.progress);

    // Removal 2 x 2000 ms (nothing to remove yet), creation 2 x 2000 ms,
    // start 2 x 2000 ms; the wait cursor shown and put back twice.
    EXPECT_EQ(std::vector<DWORD>(6, 2000), Pauses());
    EXPECT_EQ((std::vector<int>{32514, 32512, 32514, 32512}), hostwin::CursorHistory());
}

TEST_F(StandInInstallationTest, UpdateOverRunningServicesRemovesTheDependentFirst) {
    EarlierInstallationRunning();
    MessageBoxWatch boxes({IDNO});
    InstallStandard();
    ASSERT_EQ(1, setupState.installSucceeded);
    EXPECT_EQ(1, ShowInstallResult(Owner()));
    ExpectServicesRegistered();
    EXPECT_EQ("stopped", Running("bfax"));  // No: nothing started
    EXPECT_EQ("stopped", Running("faxinit"));
    ExpectInstallRecord(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(std::vector<std::string>{QUESTION}, Texts(boxes));
    // faxinit is stopped and deleted before bfax.
    std::vector<std::string> deletions;
    for (const hostwin::ServiceCall& call : hostwin::ServiceCalls()) {
        if (call.call == "DeleteService") deletions.push_back(call.service);
    }
    EXPECT_EQ((std::vector<std::string>{"faxinit", "bfax"}), deletions);
}

TEST_F(StandInInstallationTest, TheOldOrderFailsAnUpdateOverRunningServices) {
    // bfax first, as the drivers were once removed: its stop is refused while
    // faxinit runs, it stays running and marked, and cannot be created anew.
    EarlierInstallationRunning();
    StopAndDeleteService("bfax");
    StopAndDeleteService("faxinit");
    EXPECT_EQ("marked", Running("bfax"));
    EXPECT_EQ(0, CreateDriverServices());
}

class ManagedVersionTest : public StandInInstallationTest,
                           public ::testing::WithParamInterface<hostwin::Version> {};

TEST_P(ManagedVersionTest, InstallsLikeWindowsXp) {
    OnWindows(GetParam());
    ASSERT_EQ(1, ServicesManaged(setupState.osFamily));
    MessageBoxWatch boxes({IDYES});
    InstallStandard();
    ASSERT_EQ(1, setupState.installSucceeded);
    ShowInstallResult(Owner());
    ExpectCompleteInstallation();
    EXPECT_EQ("running", Running("faxinit"));
    EXPECT_EQ(std::vector<DWORD>(6, 2000), Pauses());
}

INSTANTIATE_TEST_SUITE_P(Nt4And2000, ManagedVersionTest,
                         ::testing::Values(hostwin::Version{VER_PLATFORM_WIN32_NT, 4, 0, 1381},
                                           hostwin::Version{VER_PLATFORM_WIN32_NT, 5, 0, 2195}));

class UnmanagedVersionTest : public StandInInstallationTest,
                             public ::testing::WithParamInterface<hostwin::Version> {};

TEST_P(UnmanagedVersionTest, InstallsFilesAndRecordButNoServices) {
    OnWindows(GetParam());
    EarlierInstallationRunning();  // even existing services are left alone
    MessageBoxWatch boxes({IDYES});
    InstallStandard();
    ASSERT_EQ(1, setupState.installSucceeded);
    EXPECT_EQ(1, ShowInstallResult(Owner()));
    ExpectFilesInstalled();
    ExpectInstallRecord(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, FAXINIT_PARAMETERS));
    EXPECT_EQ("running", Running("bfax"));
    EXPECT_EQ("running", Running("faxinit"));
    EXPECT_TRUE(hostwin::ServiceCalls().empty());
    EXPECT_TRUE(Pauses().empty());  // Yes starts nothing, nothing waits
    EXPECT_EQ(std::vector<std::string>{QUESTION}, Texts(boxes));
}

INSTANTIATE_TEST_SUITE_P(Server2003AndVista, UnmanagedVersionTest,
                         ::testing::Values(hostwin::Version{VER_PLATFORM_WIN32_NT, 5, 2, 3790},
                                           hostwin::Version{VER_PLATFORM_WIN32_NT, 6, 0, 6002},
                                           hostwin::Version{VER_PLATFORM_WIN32_NT, 6, 1, 7601}));

TEST_F(StandInInstallationTest, UserWithoutHklmRightsOnVistaGetsTheRecordInTheFallbacks) {
    OnWindows({VER_PLATFORM_WIN32_NT, 6, 0, 6002});
    hostwin::SetAdministrator(false);
    hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
    MessageBoxWatch boxes({IDYES});
    InstallStandard();
    ASSERT_EQ(1, setupState.installSucceeded);
    ExpectFilesInstalled();
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    ExpectInstallRecord(HKEY_CURRENT_USER);
    ExpectInstallRecord(HKEY_USERS, std::string(".DEFAULT\\") + PRODUCT_KEY);
    // The fallback reader finds the user's copy through HKLM.
    EXPECT_EQ(std::string(setupState.windowsDirectory) + "\\bfax",
              ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory"));
}

TEST_F(StandInInstallationTest, UserWithoutRightsOnXpCannotCreateTheServices) {
    hostwin::SetAdministrator(false);
    MessageBoxWatch boxes;
    InstallStandard();
    EXPECT_EQ(0, setupState.installSucceeded);
    EXPECT_EQ(0, ShowInstallResult(Owner()));
    EXPECT_EQ(std::vector<std::string>{FAILED}, Texts(boxes));
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.Boxes()[0].icon);
    EXPECT_EQ(static_cast<UINT>(MB_OK), boxes.Boxes()[0].buttons);
    // Files and configuration were written before the services were tried.
    ExpectFilesInstalled();
    EXPECT_TRUE(hostwin::ServiceNames().empty());
    EXPECT_FALSE(hostwin::KeyExists(HKEY_CURRENT_USER, PRODUCT_KEY));
}

TEST_F(StandInInstallationTest, MissingFileAnsweredNoStopsBeforeAnyConfiguration) {
    EarlierInstallationRunning();
    MakeDistribution();
    DeleteFileA(Dist("drivers\\bfaxdll.dl_").c_str());
    ChooseBoards();
    MessageBoxWatch boxes({IDNO});
    Install();
    EXPECT_EQ(0, setupState.installSucceeded);
    ShowInstallResult(Owner());
    ASSERT_EQ(2u, boxes.Boxes().size());
    EXPECT_EQ("The file " + Dist("drivers\\bfaxdll.dl_") +
                  " cannot be opened. Maybe the media is damaged.\n\nLoxbrine possibly cannot operate correctly "
                  "without this file. Do you want to continue with the installation?",
              boxes.Boxes()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), boxes.Boxes()[0].icon);
    EXPECT_EQ(FAILED, boxes.Boxes()[1].text);
    // The earlier installation is gone, the files before the gap are there,
    // nothing after it was written or configured.
    EXPECT_EQ("absent", Running("bfax"));
    EXPECT_EQ("absent", Running("faxinit"));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_TRUE(FileExists(Bfax("runfaxin.exe")));
    EXPECT_FALSE(FileExists(Morvik("btcall.cfg")));
    EXPECT_FALSE(FileExists(Bfax("faxinit.cfg")));
    EXPECT_EQ(1000, setupState.progress);
}

TEST_F(StandInInstallationTest, MissingFileAnsweredYesInstallsTheRest) {
    MakeDistribution();
    DeleteFileA(Dist("readme.txt").c_str());
    ChooseBoards();
    MessageBoxWatch boxes({IDYES, IDNO});
    Install();
    EXPECT_EQ(1, setupState.installSucceeded);
    EXPECT_FALSE(FileExists(Morvik("readme.txt")));
    EXPECT_EQ(ExpectedBtcall(), FileText(Morvik("btcall.cfg")));
    ExpectServicesRegistered();
}

TEST_F(StandInInstallationTest, FaxinitCfgThatCannotBeCreatedStopsBeforeBtcallAndServices) {
    EarlierInstallationRunning();
    MakeDistribution();
    ChooseBoards();
    MakeDirectory(Win("bfax"));
    PutFile(Bfax("faxinit.cfg"), "addrs 200 8\r\n");
    ASSERT_TRUE(hostwin::HoldOpen(Bfax("faxinit.cfg").c_str()));
    MessageBoxWatch boxes;
    Install();
    EXPECT_EQ(0, setupState.installSucceeded);
    ShowInstallResult(Owner());
    EXPECT_EQ(std::vector<std::string>{FAILED}, Texts(boxes));
    hostwin::ReleaseHeld(Bfax("faxinit.cfg").c_str());
    EXPECT_EQ("addrs 200 8\r\n", FileText(Bfax("faxinit.cfg")));
    EXPECT_EQ(BTCALL_SOURCE, FileText(Morvik("btcall.cfg")));  // copied, not edited
    EXPECT_TRUE(hostwin::ServiceNames().empty());               // removed, not created
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
}

TEST_F(StandInInstallationTest, FaxinitThatCannotBeCreatedLeavesBfaxAndNoRecord) {
    // Another program's service is shown as "faxinit": the name is taken as
    // a display name, so our faxinit cannot be created after bfax was.
    hostwin::ServiceRecord other;
    other.name = "otherfax";
    other.displayName = "faxinit";
    other.imagePath = "C:\\OTHER\\otherfax.exe";
    hostwin::AddService(other);
    MessageBoxWatch boxes;
    InstallStandard();
    EXPECT_EQ(0, setupState.installSucceeded);
    ShowInstallResult(Owner());
    EXPECT_EQ(std::vector<std::string>{FAILED}, Texts(boxes));
    hostwin::ServiceRecord bfax;
    ASSERT_TRUE(hostwin::FindService("bfax", &bfax));
    EXPECT_FALSE(bfax.markedForDeletion);
    EXPECT_EQ("%SystemRoot%\\bfax\\bfax.sys", bfax.imagePath);
    EXPECT_EQ("absent", Running("faxinit"));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS));
    EXPECT_EQ(ExpectedBtcall(), FileText(Morvik("btcall.cfg")));
    EXPECT_EQ("addrs 304 4\r\naddrs 344 2\r\n", FileText(Bfax("faxinit.cfg")));
    // The removal's two pauses and the one after creating bfax; none after
    // the failure.
    EXPECT_EQ(std::vector<DWORD>(3, 2000), Pauses());
}

TEST_F(StandInInstallationTest, AServiceThatNeverStopsIsLeftAfterThirtySeconds) {
    EarlierInstallationRunning();
    hostwin::SetStopPendingPolls("faxinit", -1);
    MessageBoxWatch boxes;
    InstallStandard();
    // faxinit keeps stopping and stays marked; bfax, still needed by it,
    // cannot be stopped either, so the new services cannot be created.
    EXPECT_EQ(0, setupState.installSucceeded);
    EXPECT_EQ("marked", Running("faxinit"));
    std::vector<DWORD> pauses = Pauses();
    ASSERT_GE(pauses.size(), 120u);
    EXPECT_EQ(std::vector<DWORD>(120, 250), std::vector<DWORD>(pauses.begin(), pauses.begin() + 120));
    EXPECT_EQ(30000u + 2 * 2000u, hostwin::Now());
}

TEST_F(StandInInstallationTest, AnAbandonedInstallationStopsAtItsNextSafePoint) {
    // Confirmed while the first compressed file is expanded: the copy stops
    // between chunks and removes that file; nothing after the copy runs.
    MakeDistribution();
    ChooseBoards();
    ASSERT_GT(ReadFileManifest(Owner()), 0);
    ComputeTotalBytes();
    hostwin::SetRedrawHandler([](HWND, BOOL) { setupState.abortRequested = 1; });
    MessageBoxWatch boxes;
    RunInstallation(Owner());
    EXPECT_EQ(0, setupState.installSucceeded);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_FALSE(FileExists(Bfax("bfax.sys")));
    EXPECT_FALSE(FileExists(Bfax("runfaxin.exe")));
    EXPECT_FALSE(FileExists(Bfax("faxinit.cfg")));
    EXPECT_TRUE(hostwin::ServiceNames().empty());
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_EQ((std::vector<DWORD>{2000, 2000}), Pauses());  // the removal's only

    // Confirmed before the removal's first pause ended: the rest of the
    // earlier installation stays, its product key included.
    hostwin::SetRedrawHandler(nullptr);
    EarlierInstallationRunning();
    FreeManifest();
    size_t pausesBefore = Pauses().size();
    Install();
    EXPECT_EQ(0, setupState.installSucceeded);
    EXPECT_EQ("absent", Running("faxinit"));
    EXPECT_EQ("running", Running("bfax"));
    EXPECT_TRUE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_EQ(pausesBefore + 1, Pauses().size());
    EXPECT_FALSE(FileExists(Bfax("bfax.sys")));
    setupState.abortRequested = 0;
}

TEST_F(StandInInstallationTest, AnAbandonedInstallationStopsWaitingForAServiceThatKeepsStopping) {
    // Confirmed during the fourth poll of a faxinit that never stops: the
    // worker is done within the 3 s the process waits for it, faxinit stays
    // marked for deletion, bfax and the product key stay.
    EarlierInstallationRunning();
    hostwin::SetStopPendingPolls("faxinit", -1);
    int polls = 0;
    std::uint64_t abandonedAt = 0;
    hostwin::SetSleepHandler([&](DWORD milliseconds) {
        if (milliseconds != 250 || ++polls != 4) return;
        setupState.abortRequested = 1;
        abandonedAt = hostwin::Now();
    });
    InstallStandard();
    hostwin::SetSleepHandler(nullptr);
    setupState.abortRequested = 0;
    EXPECT_EQ(4, polls);
    EXPECT_LE(hostwin::Now() - abandonedAt, 3000u);
    EXPECT_EQ("marked", Running("faxinit"));
    EXPECT_EQ("running", Running("bfax"));
    EXPECT_TRUE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_FALSE(FileExists(Bfax("bfax.sys")));
}

TEST_F(StandInInstallationTest, RemovalWhereOnlyFaxinitExists) {
    hostwin::ServiceRecord faxinit;
    faxinit.name = "faxinit";
    faxinit.imagePath = "%SystemRoot%\\bfax\\runfaxin.exe";
    faxinit.state = SERVICE_RUNNING;
    hostwin::AddService(faxinit);
    hostwin::SetStringValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory", "C:\\WINDOWS\\bfax");
    hostwin::SetStringValue(HKEY_CURRENT_USER, PRODUCT_KEY, "BaseDirectory", "C:\\WINDOWS\\bfax");
    MakeDirectory(Win("bfax"));
    PutFile(Bfax("bfax.sys"), "driver");
    MessageBoxWatch boxes;
    EXPECT_EQ(1, RemoveDrivers());
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(hostwin::ServiceNames().empty());
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_TRUE(hostwin::KeyExists(HKEY_CURRENT_USER, PRODUCT_KEY));  // HKLM only
    EXPECT_EQ("driver", FileText(Bfax("bfax.sys")));                  // files stay
    EXPECT_EQ((std::vector<DWORD>{2000, 2000}), Pauses());
    EXPECT_EQ((std::vector<int>{32514, 32512}), hostwin::CursorHistory());
}

TEST_F(StandInInstallationTest, RemovalOnVistaDeletesOnlyTheProductKeyWithoutWaiting) {
    OnWindows({VER_PLATFORM_WIN32_NT, 6, 0, 6002});
    EarlierInstallationRunning();
    EXPECT_EQ(1, RemoveDrivers());
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_EQ("running", Running("bfax"));
    EXPECT_TRUE(Pauses().empty());
}

TEST_F(StandInInstallationTest, ReportAnswersAndFailures) {
    MessageBoxWatch boxes({IDNO, IDYES});
    setupState.installSucceeded = 1;
    EXPECT_EQ(1, ShowInstallResult(Owner()));  // No: nothing started
    EXPECT_TRUE(hostwin::ServiceCalls().empty());
    EXPECT_EQ(1, ShowInstallResult(Owner()));  // Yes: both started (none exist here)
    std::vector<std::string> opened;
    for (const hostwin::ServiceCall& call : hostwin::ServiceCalls()) {
        if (call.call == "OpenServiceA") opened.push_back(call.service);
    }
    EXPECT_EQ((std::vector<std::string>{"bfax", "faxinit"}), opened);
    // A box that cannot be shown counts as Yes.
    hostwin::ClearServiceCalls();
    hostwin::SetMessageBoxFails(true);
    EXPECT_EQ(1, ShowInstallResult(Owner()));
    EXPECT_FALSE(hostwin::ServiceCalls().empty());
    hostwin::SetMessageBoxFails(false);
    setupState.installSucceeded = 0;
    EXPECT_EQ(0, ShowInstallResult(Owner()));
    EXPECT_EQ(FAILED, boxes.Boxes().back().text);
}

#endif  // ON_STAND_IN

}  // namespace
