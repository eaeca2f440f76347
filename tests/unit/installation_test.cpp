// Whole installations and removals. On both platforms the standard
// distribution is installed through the real API and removed again; on the
// stand-in the program runs as its dialogue flow runs it, on each Windows
// version and over an earlier installation.
#include <string>
#include <vector>

#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/windows_version.h"
#include "driver/board_settings.h"
#include "driver/services.h"
#include "install/manifest.h"
#include "install/run.h"
#include "install/sequences.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

using whole_run::BFAX_PARAMETERS;
using whole_run::FAXINIT_PARAMETERS;
using whole_run::PRODUCT_KEY;

DWORD ReadDword(HKEY root, const char* path, const char* name) {
    DWORD value = 0xA5A5A5A5;
    EXPECT_EQ(1, ReadRegistryValue(root, path, name, REG_DWORD, &value, sizeof value)) << path << "\\" << name;
    return value;
}

std::string ReadText(HKEY root, const char* path, const char* name) {
    char text[260];
    if (!ReadRegistryValue(root, path, name, REG_SZ, text, sizeof text)) return "(missing)";
    return text;
}

class InstallationTest : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        ClassifyWindows();
    }
    void TearDown() override {
#if !ON_STAND_IN
        // The real machine: take away what an installation registered.
        StopAndDeleteService("faxinit");
        StopAndDeleteService("bfax");
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
        DeleteRegistryKey(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
#endif
        InstallTest::TearDown();
    }
};

TEST_F(InstallationTest, TheStandardDistributionIsInstalledAndRemoved) {
    whole_run::Scenario scenario = whole_run::StandardScenario(false);
    scenario.files.pop_back();  // the program's copy: a whole run's
    WriteList(scenario.list);
    MakeDirectory(Dist("drivers"));
    for (const whole_run::DistributionFile& file : scenario.files) {
        ASSERT_TRUE(PutFile(Dist(file.storedName), file.stored)) << file.storedName;
    }
    BoardForm form = whole_run::StandardBoards();
    ASSERT_EQ(1, ValidateBoardSettings(form, setupState.boards).accepted);
    ASSERT_GT(ReadFileManifest(Owner()), 0);
    ComputeTotalBytes();
    setupState.progress = 0;
    RunInstallation(Owner());
    ASSERT_EQ(1, setupState.installSucceeded);
    EXPECT_EQ(1000, setupState.progress);

    for (const whole_run::DistributionFile& file : scenario.files) {
        std::string expected = file.name == "btcall.cfg" ? whole_run::InstalledBtcall() : file.installed;
        EXPECT_TRUE(expected == FileText(Win(file.Destination()))) << file.Destination();
    }
    EXPECT_EQ(whole_run::NEW_FAXINIT, FileText(Win("bfax\\faxinit.cfg")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Win("bfax\\drivers").c_str()));  // no sub-folders

    // The record, stamped with the local time.
    EXPECT_EQ(std::string(setupState.windowsDirectory) + "\\bfax",
              ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory"));
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear * 10000u + now.wMonth * 100u + now.wDay,
              ReadDword(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate"));
    EXPECT_LE(ReadDword(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallTime"), 235959u);
    // IRQ 5, DMA 1.
    const std::pair<const char*, DWORD> parameters[] = {
        {"BFAX_BUF_SIZE", 8192}, {"BFAX_DMA_CHAN", 1}, {"BFAX_HW_INT", 5},    {"BFAX_NUM_USER_INTRS", 10},
        {"CMD_HISTORY_SIZE", 1}, {"FIFO_HISTORY_SIZE", 0}, {"HW_BUS_NUM", 0}, {"HW_BUS_TYPE", 1},
        {"HW_DMA_PORT", 0},      {"HW_INTR_LEVEL", 5},    {"NBFAX", 16}};
    for (const auto& value : parameters) {
        EXPECT_EQ(value.second, ReadDword(HKEY_LOCAL_MACHINE, BFAX_PARAMETERS, value.first)) << value.first;
    }
    EXPECT_EQ("-n faxinit.cfg", ReadText(HKEY_LOCAL_MACHINE, FAXINIT_PARAMETERS, "CMD_LINE"));

    // The services as the service control manager reports them.
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    const std::pair<const char*, DWORD> services[] = {{"bfax", SERVICE_KERNEL_DRIVER},
                                                      {"faxinit", SERVICE_WIN32_OWN_PROCESS}};
    const char* images[] = {"%SystemRoot%\\bfax\\bfax.sys", "%SystemRoot%\\bfax\\runfaxin.exe"};
    for (int i = 0; i < 2; ++i) {
        SC_HANDLE service = OpenServiceA(manager, services[i].first, SERVICE_QUERY_CONFIG);
        ASSERT_NE(nullptr, service) << services[i].first;
        union {
            QUERY_SERVICE_CONFIGA config;
            char bytes[8192];
        } buffer;
        DWORD needed = 0;
        ASSERT_TRUE(QueryServiceConfigA(service, &buffer.config, sizeof buffer, &needed)) << services[i].first;
        EXPECT_EQ(services[i].second, buffer.config.dwServiceType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), buffer.config.dwStartType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), buffer.config.dwErrorControl);
        EXPECT_STRCASEEQ(images[i], buffer.config.lpBinaryPathName);
        EXPECT_STREQ(services[i].first, buffer.config.lpDisplayName);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);

    // The drivers are not started here: a kernel driver never starts under
    // Wine. Removal takes both services and the product key, and no file.
    RemoveDrivers();
    EXPECT_EQ(0, ServiceExists("bfax"));
    EXPECT_EQ(0, ServiceExists("faxinit"));
    EXPECT_EQ("(missing)", ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory"));
    EXPECT_TRUE(FileExists(Win("bfax\\bfax.sys")));
    EXPECT_TRUE(FileExists(Win("bfax\\faxinit.cfg")));
}

#if ON_STAND_IN

// ---- whole runs on the stand-in ----------------------------------------------------------
const hostwin::Version NT4 = {VER_PLATFORM_WIN32_NT, 4, 0, 1381};
const hostwin::Version W2000 = {VER_PLATFORM_WIN32_NT, 5, 0, 2195};
const hostwin::Version W2003 = {VER_PLATFORM_WIN32_NT, 5, 2, 3790};
const hostwin::Version VISTA = {VER_PLATFORM_WIN32_NT, 6, 0, 6002};

std::vector<std::string> Deletions() {
    std::vector<std::string> deleted;
    for (const hostwin::ServiceCall& call : hostwin::ServiceCalls()) {
        if (call.call == "DeleteService") deleted.push_back(call.service);
    }
    return deleted;
}

// Windows NT 4.0 to XP get the services, started after the question's Yes;
// Server 2003 and later the files and the record only, and even services
// already there are left alone. A user without HKLM rights who goes on gets
// the record in the fallback places.
struct VersionRow {
    const char* name;
    hostwin::Version version;
    bool earlierInstallation;
    bool administrator;
    const char* services;
    std::vector<std::string> deletions;  // in order
    size_t pauses;                       // removal, creation and start: two each, for the SCM to catch up
};

// As TakeSnapshot shows it: texts with their NUL, numbers as 4 bytes.
whole_run::Snapshot ExpectedEntry() {
    const std::string key = std::string("HKLM\\") + UNINSTALL_KEY + "\\";
    const std::string program = "C:\\WINDOWS\\bfax\\setup.exe";
    const std::pair<const char*, std::string> texts[] = {
        {"DisplayName", "Brooktrout drivers for Quorindel Loxbrine"},
        {"DisplayVersion", SETUP_VERSION_TEXT},
        {"Publisher", SETUP_COMPANY},
        {"InstallLocation", "C:\\WINDOWS\\bfax"},
        {"DisplayIcon", program},
        {"UninstallString", "\"" + program + "\" /remove"},
        {"QuietUninstallString", "\"" + program + "\" /silent /remove"},
        {"InstallDate", "20261206"}};
    whole_run::Snapshot entry = {{"key:" + key.substr(0, key.size() - 1), ""},
                                 {"value:" + key + "EstimatedSize", "the installed files in KiB"},
                                 {"value:" + key + "NoModify", std::string("4:\1\0\0\0", 6)},
                                 {"value:" + key + "NoRepair", std::string("4:\1\0\0\0", 6)}};
    for (const auto& text : texts) entry["value:" + key + text.first] = "1:" + text.second + std::string(1, '\0');
    return entry;
}

class VersionTest : public SetupTest, public ::testing::WithParamInterface<VersionRow> {
protected:
    void TearDown() override { FreeManifestEntries(); }
};

TEST_P(VersionTest, InstallsWithServicesOnlyWhereWindowsManagesThem) {
    const VersionRow& row = GetParam();
    hostwin::SetVersion(row.version);
    if (!row.administrator) {
        hostwin::SetAdministrator(false);
        hostwin::SetKeyRights(HKEY_USERS, ".DEFAULT", hostwin::KEY_RIGHTS_FULL);
        hostwin::QueueMessageBoxAnswers({IDYES});
    }
    whole_run::Prepare(whole_run::StandardScenario(row.earlierInstallation));
    whole_run::Run run = whole_run::RunProgram();
    EXPECT_EQ(1, run.installSucceeded);
    EXPECT_EQ(std::vector<std::string>(), whole_run::LeftOpen());
    EXPECT_EQ(row.services, whole_run::ServiceSummary());
    EXPECT_EQ(row.deletions, Deletions());
    EXPECT_EQ(std::vector<DWORD>(row.pauses, SERVICE_PAUSE_MS), hostwin::Sleeps());
    // The record in HKLM or, for a user without rights there, in the user's
    // profile with a copy for new users; the reader finds it through HKLM.
    EXPECT_EQ(row.administrator, hostwin::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_EQ(!row.administrator, hostwin::KeyExists(HKEY_USERS, (std::string(".DEFAULT\\") + PRODUCT_KEY).c_str()));
    EXPECT_EQ(std::string(setupState.windowsDirectory) + "\\bfax",
              ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "BaseDirectory"));
    EXPECT_EQ(20261206u, ReadDword(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate"));
    // The entry in Programs and Features: in HKLM only, and the copy it names
    // is the program that ran.
    whole_run::Snapshot entry;
    for (const auto& item : whole_run::TakeSnapshot()) {
        if (item.first.find(UNINSTALL_KEY) != std::string::npos) entry.insert(item);
    }
    EXPECT_EQ(row.administrator ? ExpectedEntry() : whole_run::Snapshot(), entry);
    EXPECT_EQ(FileText("C:\\DIST\\setup.exe"), FileText("C:\\WINDOWS\\bfax\\setup.exe"));
}

const char* const NEW_RUNNING = "bfax new running, faxinit new running";

const VersionRow VERSIONS[] = {
    {"Nt4First", NT4, false, true, NEW_RUNNING, {}, 6},
    {"W2000Update", W2000, true, true, NEW_RUNNING, {"faxinit", "bfax"}, 6},  // the dependent first
    {"W2003Update", W2003, true, true, "bfax old running, faxinit old running", {}, 0},
    {"VistaNoHklmRights", VISTA, false, false, "none", {}, 0},
};

std::string VersionName(const ::testing::TestParamInfo<VersionRow>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Versions, VersionTest, ::testing::ValuesIn(VERSIONS), VersionName);

// Abandoned during the pause after the driver's service is made: the
// dependent service is not made and the step says it stopped.
TEST_F(SetupTest, AbandonedDuringTheServicePause) {
    whole_run::Prepare(whole_run::StandardScenario(false));
    InitRun();
    hostwin::SetSleepHook([] { setupState.abortRequested = 1; });
    EXPECT_EQ(0, CreateDriverServices());
    EXPECT_EQ(0, ServiceExists(INIT_SERVICE));
}

#endif  // ON_STAND_IN

}  // namespace
