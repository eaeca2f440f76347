// Whole installations on the stand-in, as the dialogue flow runs them, on
// each Windows version and over an earlier installation. (The real API's
// installation and removal are the end-to-end scenarios'.)
#include <cstring>
#include <string>
#include <vector>

#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "driver/services.h"
#include "install/run.h"
#include "support/fixture.h"
#include "support/whole_run.h"

namespace {

#if ON_STAND_IN

using whole_run::PRODUCT_KEY;

std::string ReadText(HKEY root, const char* path, const char* name) {
    char text[260];
    if (!ReadRegistryValue(root, path, name, REG_SZ, text, sizeof text)) return "(missing)";
    return text;
}

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

const char* const NEW_RUNNING = "bfax new running, faxinit new running";

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
    DWORD date = 0;
    EXPECT_EQ(1, ReadRegistryValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", REG_DWORD, &date, sizeof date));
    EXPECT_EQ(20261206u, date);
    // The entry in Programs and Features (each of its values: the end-to-end
    // checks) in HKLM only, its size each installed file once, and the copy
    // it names is the program that ran.
    const whole_run::Snapshot after = whole_run::TakeSnapshot();
    EXPECT_EQ(row.administrator ? "20261206" : "(missing)", ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "InstallDate"));
    auto size = after.find(std::string("value:HKLM\\") + UNINSTALL_KEY + "\\EstimatedSize");
    EXPECT_EQ(row.administrator ? "the installed files in KiB" : "(none)",
              size == after.end() ? "(none)" : size->second);
    // The driver's parameters for IRQ 5 and DMA 1, the ISA boards at 300 and
    // 340 in faxinit.cfg, btcall.cfg with the default DID settings.
    std::string parameters;
    const std::string key = std::string("value:HKLM\\") + whole_run::BFAX_PARAMETERS + "\\";
    for (const auto& item : after) {
        DWORD value;  // "4:" and its bytes
        if (item.first.rfind(key, 0) != 0 || item.second.size() != 6) continue;
        std::memcpy(&value, item.second.data() + 2, 4);
        parameters += item.first.substr(key.size()) + "=" + std::to_string(value) + " ";
    }
    if (row.services == NEW_RUNNING) {
        EXPECT_EQ("BFAX_BUF_SIZE=8192 BFAX_DMA_CHAN=1 BFAX_HW_INT=5 BFAX_NUM_USER_INTRS=10 CMD_HISTORY_SIZE=1 "
                  "FIFO_HISTORY_SIZE=0 HW_BUS_NUM=0 HW_BUS_TYPE=1 HW_DMA_PORT=0 HW_INTR_LEVEL=5 NBFAX=16 ",
                  parameters);
    }
    EXPECT_EQ("addrs 304 4\r\naddrs 344 2\r\n", FileText("C:\\WINDOWS\\bfax\\faxinit.cfg"));
    EXPECT_EQ("; call control configuration\r\npath c:\\windows\\bfax\\morvik\\\r\nlog %WINDIR%\\unchanged\r\n"
              "did_variable            0\r\ndid_digits              4\r\nwink\r\nchannels 4\r\n",
              FileText("C:\\WINDOWS\\bfax\\morvik\\btcall.cfg"));
    EXPECT_EQ(FileText("C:\\DIST\\setup.exe"), FileText("C:\\WINDOWS\\bfax\\setup.exe"));
}

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
