// The driver services: their records, the pauses, the stop wait and the
// deletion; and the service control manager rules they rely on. Under Wine
// these run against the real manager (as an administrator) and delete every
// service they made; a kernel driver never starts there, so starts and stops
// of running services are shown on the stand-in only.
#include <cstring>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "driver/services.h"
#include "support/platform.h"

namespace {

const char* const SERVICES_KEY = "System\\CurrentControlSet\\Services\\";
const char* const BFAX_PATH = "%SystemRoot%\\bfax\\bfax.sys";
const char* const FAXINIT_PATH = "%SystemRoot%\\bfax\\runfaxin.exe";
const char* const TEST_SERVICE = "loxbrinetest";

struct Config {
    bool read = false;
    DWORD type = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    std::string imagePath;
    std::string displayName;
};

Config QueryConfig(const char* name) {
    Config config;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name, SERVICE_QUERY_CONFIG) : nullptr;
    if (service) {
        DWORD needed = 0;
        QueryServiceConfigA(service, nullptr, 0, &needed);
        std::vector<char> buffer(needed + 1);
        auto* record = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (QueryServiceConfigA(service, record, needed, &needed)) {
            config.read = true;
            config.type = record->dwServiceType;
            config.startType = record->dwStartType;
            config.errorControl = record->dwErrorControl;
            config.imagePath = record->lpBinaryPathName;
            config.displayName = record->lpDisplayName;
        }
        CloseServiceHandle(service);
    }
    if (manager) CloseServiceHandle(manager);
    return config;
}

// The first service a service depends on, from its key ("" for none). Wine
// neither reports dependencies through QueryServiceConfigA nor stores the
// list cleanly past its first name, so the first name is what both show.
std::string FirstDependency(const char* name) {
    std::string path = std::string(SERVICES_KEY) + name;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "(no key)";
    char list[1024] = {0};
    DWORD size = sizeof list - 1;
    LONG result = RegQueryValueExA(key, "DependOnService", nullptr, nullptr, reinterpret_cast<BYTE*>(list), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(list) : "";
}

// Both services: named and shown by their name, started automatically,
// normal error control.
void ExpectPackageRecord(const char* name, DWORD type, const char* imagePath) {
    Config config = QueryConfig(name);
    ASSERT_TRUE(config.read) << name;
    EXPECT_EQ(type, config.type) << name;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config.startType) << name;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config.errorControl) << name;
    EXPECT_EQ(imagePath, config.imagePath) << name;
    EXPECT_EQ(name, config.displayName) << name;
}

bool ServiceKeyExists(const char* name) {
    std::string path = std::string(SERVICES_KEY) + name;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

class ServicesTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        setupState.osFamily = setupState.osDetail = OS_WINXP;
    }
    void TearDown() override {
#if ON_STAND_IN
        EXPECT_EQ(0, hostwin::OpenServiceHandleCount()) << "a service handle was left open";
#endif
    }
};

// ---- the service control manager's rules ---------------------------------------------

TEST_F(ServicesTest, ManagerRefusalsAndTheDeletionMark) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    EXPECT_EQ(nullptr, OpenServiceA(manager, "loxbrinemissing", SERVICE_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    EXPECT_EQ(nullptr, OpenServiceA(manager, nullptr, SERVICE_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());

    SC_HANDLE service = CreateServiceA(manager, TEST_SERVICE, TEST_SERVICE, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "loxbrinetest.sys", nullptr,
                                       nullptr, "\0", nullptr, nullptr);
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(nullptr, CreateServiceA(manager, "LoxbrineTest", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "other.sys", nullptr, nullptr,
                                      nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_EXISTS), GetLastError());

    // A stopped service refuses the stop and still reports its status.
    SERVICE_STATUS status;
    std::memset(&status, 0xA5, sizeof status);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), status.dwServiceType);
    std::memset(&status, 0xA5, sizeof status);
    EXPECT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED), status.dwWin32ExitCode);
    EXPECT_EQ(0u, status.dwControlsAccepted);

    SC_HANDLE query = OpenServiceA(manager, "LOXBRINETEST", SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, query);
    EXPECT_FALSE(DeleteService(query));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    // Marked: still there for those who hold it, gone with the last handle.
    EXPECT_TRUE(DeleteService(service));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), GetLastError());
    SC_HANDLE again = OpenServiceA(manager, TEST_SERVICE, SERVICE_ALL_ACCESS);
    EXPECT_NE(nullptr, again);
    EXPECT_EQ(nullptr, CreateServiceA(manager, TEST_SERVICE, TEST_SERVICE, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "loxbrinetest.sys", nullptr,
                                      nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), GetLastError());
    EXPECT_TRUE(ServiceKeyExists(TEST_SERVICE));
    if (again) CloseServiceHandle(again);
    CloseServiceHandle(query);
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_FALSE(CloseServiceHandle(service));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, OpenServiceA(manager, TEST_SERVICE, SERVICE_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    EXPECT_FALSE(ServiceKeyExists(TEST_SERVICE));
    CloseServiceHandle(manager);
}

TEST_F(ServicesTest, ConfigurationIsReportedAfterTheBufferSizeIsAsked) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    SC_HANDLE service = CreateServiceA(manager, TEST_SERVICE, "Loxbrine Test Service", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                       "C:\\loxbrinetest.exe", nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, service);
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(service, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_GT(needed, static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGA)));
    std::vector<char> buffer(needed, '\xA5');
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    EXPECT_FALSE(QueryServiceConfigA(service, config, sizeof *config - 1, &needed));
    EXPECT_EQ('\xA5', buffer[0]);  // nothing is written into a short buffer
    ASSERT_TRUE(QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config->dwStartType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_IGNORE), config->dwErrorControl);
    EXPECT_STREQ("C:\\loxbrinetest.exe", config->lpBinaryPathName);
    EXPECT_STREQ("Loxbrine Test Service", config->lpDisplayName);
    EXPECT_STREQ("", config->lpLoadOrderGroup);
    EXPECT_STREQ("LocalSystem", config->lpServiceStartName);
    EXPECT_STREQ("", config->lpDependencies);
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// ---- the driver services ---------------------------------------------------------------

TEST_F(ServicesTest, BothServicesAreCreatedWithTheirRecordsAndRemovedAgain) {
    StopAndDeleteService("faxinit");  // leftovers of an interrupted run
    StopAndDeleteService("bfax");
    ASSERT_EQ(0, ServiceExists("bfax"));
#if ON_STAND_IN
    hostwin::ClearServiceCalls();
#endif
    EXPECT_EQ(1, CreateDriverServices());
    EXPECT_EQ(1, ServiceExists("bfax"));
    EXPECT_EQ(1, ServiceExists("faxinit"));

    ExpectPackageRecord("bfax", SERVICE_KERNEL_DRIVER, BFAX_PATH);
    EXPECT_EQ("", FirstDependency("bfax"));
    ExpectPackageRecord("faxinit", SERVICE_WIN32_OWN_PROCESS, FAXINIT_PATH);
    EXPECT_EQ("bfax", FirstDependency("faxinit"));

#if ON_STAND_IN
    // The dependency list is exactly one name and the end of the list.
    hostwin::RegistryValue list;
    ASSERT_TRUE(hostwin::FindValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\faxinit",
                                   "DependOnService", &list));
    EXPECT_EQ(std::string("bfax\0\0", 6), std::string(list.data.begin(), list.data.end()));
    EXPECT_EQ((std::vector<DWORD>{2000, 2000}), hostwin::Sleeps());
    // A pause after each creation, the last one included.
    std::vector<std::string> creations;
    for (const auto& call : hostwin::ServiceCalls()) {
        if (call.call == "CreateServiceA") creations.push_back(call.service + "@" + std::to_string(call.time));
    }
    EXPECT_EQ((std::vector<std::string>{"bfax@0", "faxinit@2000"}), creations);
#endif

    StopAndDeleteService("bfax");
    StopAndDeleteService("faxinit");
    EXPECT_EQ(0, ServiceExists("bfax"));
    EXPECT_EQ(0, ServiceExists("faxinit"));
    EXPECT_FALSE(ServiceKeyExists("bfax"));
    EXPECT_FALSE(ServiceKeyExists("faxinit"));
}

TEST_F(ServicesTest, DependentServiceAloneDependsOnNothing) {
    StopAndDeleteService("faxinit");
    ASSERT_EQ(0, ServiceExists("bfax"));
    EXPECT_EQ(1, CreateDependentService("faxinit", FAXINIT_PATH));
    EXPECT_EQ("", FirstDependency("faxinit"));
    EXPECT_EQ(0, CreateDependentService("faxinit", FAXINIT_PATH));  // exists already
    StopAndDeleteService("faxinit");
    EXPECT_EQ(0, ServiceExists("faxinit"));
    StopAndDeleteService("faxinit");  // a service that does not exist: nothing happens
}

#if ON_STAND_IN

std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const auto& call : hostwin::ServiceCalls()) {
        calls.push_back(call.call + (call.service.empty() ? "" : " " + call.service) + (call.succeeded ? "" : " failed"));
    }
    return calls;
}

void AddRunning(const char* name, const char* dependency = nullptr) {
    hostwin::ServiceRecord record;
    record.name = name;
    record.type = dependency ? SERVICE_WIN32_OWN_PROCESS : SERVICE_KERNEL_DRIVER;
    record.startType = SERVICE_AUTO_START;
    record.imagePath = dependency ? FAXINIT_PATH : BFAX_PATH;
    if (dependency) record.dependencies.push_back(dependency);
    record.state = SERVICE_RUNNING;
    hostwin::AddService(record);
}

TEST_F(ServicesTest, Windows2003AndVistaManageNoServices) {
    for (int family : {OS_WIN2003, OS_VISTA}) {
        setupState.osFamily = setupState.osDetail = family;
        EXPECT_EQ(1, CreateDriverServices());
        EXPECT_EQ(1, StartDriverServices());
    }
    EXPECT_TRUE(hostwin::ServiceCalls().empty());
    EXPECT_TRUE(hostwin::Sleeps().empty());
    EXPECT_TRUE(hostwin::CursorHistory().empty());
    EXPECT_TRUE(hostwin::ServiceNames().empty());
}

TEST_F(ServicesTest, NoFaxinitWithoutBfaxAndNoPause) {
    AddRunning("bfax");
    hostwin::ClearServiceCalls();
    EXPECT_EQ(0, CreateDriverServices());
    EXPECT_EQ((std::vector<std::string>{"OpenSCManagerA", "CreateServiceA bfax failed", "CloseServiceHandle"}),
              Calls());
    EXPECT_TRUE(hostwin::Sleeps().empty());

    // The same when the old bfax could not be stopped and waits for deletion.
    hostwin::SetStopRefused("bfax", true);
    StopAndDeleteService("bfax");
    hostwin::ServiceRecord record;
    ASSERT_TRUE(hostwin::FindService("bfax", &record));
    EXPECT_TRUE(record.markedForDeletion);
    EXPECT_EQ(0, CreateDriverServices());
    EXPECT_FALSE(hostwin::FindService("faxinit"));
}

TEST_F(ServicesTest, FaxinitThatCannotBeCreatedFailsAfterOnePause) {
    AddRunning("faxinit", "bfax");
    EXPECT_EQ(0, CreateDriverServices());
    EXPECT_TRUE(hostwin::FindService("bfax"));
    EXPECT_EQ((std::vector<DWORD>{2000}), hostwin::Sleeps());
}

TEST_F(ServicesTest, UserWhoIsNotAdministratorSeesAndCreatesNothing) {
    AddRunning("bfax");
    hostwin::SetAdministrator(false);
    EXPECT_EQ(0, ServiceExists("bfax"));
    EXPECT_EQ(0, CreateDriverServices());
    StopAndDeleteService("bfax");
    StartDriverService("bfax");
    hostwin::ServiceRecord record;
    ASSERT_TRUE(hostwin::FindService("bfax", &record));
    EXPECT_FALSE(record.markedForDeletion);
    EXPECT_FALSE(hostwin::FindService("faxinit"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), hostwin::ServiceCalls().back().error);
}

TEST_F(ServicesTest, StopWaitPollsEvery250MsUntilTheServiceHasStopped) {
    AddRunning("bfax");
    hostwin::SetStopPendingPolls("bfax", 8);  // about 2 s
    hostwin::ClearServiceCalls();
    StopAndDeleteService("bfax");
    EXPECT_EQ(std::vector<DWORD>(8, 250), hostwin::Sleeps());
    std::vector<std::string> expected = {"OpenSCManagerA", "OpenServiceA bfax", "ControlService bfax"};
    for (int poll = 0; poll < 9; ++poll) expected.push_back("QueryServiceStatus bfax");
    expected.insert(expected.end(), {"DeleteService bfax", "CloseServiceHandle bfax", "CloseServiceHandle"});
    EXPECT_EQ(expected, Calls());
    EXPECT_EQ(2000u, hostwin::ServiceCalls()[11].time);  // the poll that saw it stopped
    EXPECT_FALSE(hostwin::FindService("bfax"));
}

TEST_F(ServicesTest, StopWaitGivesUpAfter30SecondsAndStillRequestsTheDeletion) {
    AddRunning("bfax");
    hostwin::SetStopPendingPolls("bfax", -1);
    StopAndDeleteService("bfax");
    EXPECT_EQ(std::vector<DWORD>(120, 250), hostwin::Sleeps());
    EXPECT_EQ(30000u, hostwin::Now());
    EXPECT_EQ("DeleteService bfax", Calls()[Calls().size() - 3]);
    hostwin::ServiceRecord record;
    ASSERT_TRUE(hostwin::FindService("bfax", &record));
    EXPECT_TRUE(record.markedForDeletion);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), record.state);
    EXPECT_EQ(0, CreateKernelDriverService("bfax", BFAX_PATH));
    const auto& calls = hostwin::ServiceCalls();
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), calls[calls.size() - 2].error);
}

TEST_F(ServicesTest, NoWaitWhenTheStopIsRefusedOrTheStatusCannotBeRead) {
    AddRunning("bfax");
    hostwin::SetServiceState("bfax", SERVICE_STOPPED);
    StopAndDeleteService("bfax");  // already stopped: refused, no wait
    EXPECT_FALSE(hostwin::FindService("bfax"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), hostwin::ServiceCalls()[2].error);

    AddRunning("bfax");
    hostwin::SetStopRefused("bfax", true);
    StopAndDeleteService("bfax");
    hostwin::ServiceRecord record;
    ASSERT_TRUE(hostwin::FindService("bfax", &record));
    EXPECT_TRUE(record.markedForDeletion);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), record.state);

    AddRunning("faxinit", "bfax");
    hostwin::SetStopPendingPolls("faxinit", -1);
    hostwin::SetStatusQueryFails("faxinit", ERROR_INVALID_HANDLE);
    hostwin::ClearServiceCalls();
    StopAndDeleteService("faxinit");
    EXPECT_EQ((std::vector<std::string>{"OpenSCManagerA", "OpenServiceA faxinit", "ControlService faxinit",
                                        "QueryServiceStatus faxinit failed", "DeleteService faxinit",
                                        "CloseServiceHandle faxinit", "CloseServiceHandle"}),
              Calls());
    EXPECT_TRUE(hostwin::Sleeps().empty());
}

TEST_F(ServicesTest, RemovingBfaxFirstLeavesItRunningWhileFaxinitRuns) {
    // Windows refuses to stop a service another running service depends on;
    // the deletion mark is set all the same and the record stays until the
    // driver stops, so new services of that name cannot be created meanwhile.
    AddRunning("bfax");
    AddRunning("faxinit", "bfax");
    StopAndDeleteService("bfax");
    EXPECT_EQ(static_cast<DWORD>(ERROR_DEPENDENT_SERVICES_RUNNING), hostwin::ServiceCalls()[2].error);
    StopAndDeleteService("faxinit");
    EXPECT_FALSE(hostwin::FindService("faxinit"));
    hostwin::ServiceRecord record;
    ASSERT_TRUE(hostwin::FindService("bfax", &record));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), record.state);
    EXPECT_EQ(0, CreateDriverServices());
}

TEST_F(ServicesTest, StartShowsTheWaitCursorAndPausesAfterEachService) {
    AddRunning("bfax");
    AddRunning("faxinit", "bfax");
    hostwin::SetServiceState("faxinit", SERVICE_STOPPED);
    hostwin::SetServiceState("bfax", SERVICE_STOPPED);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    hostwin::ClearServiceCalls();
    EXPECT_EQ(1, StartDriverServices());
    EXPECT_EQ((std::vector<int>{32512, 32514, 32512}), hostwin::CursorHistory());
    EXPECT_EQ((std::vector<DWORD>{2000, 2000}), hostwin::Sleeps());
    std::vector<std::string> starts;
    for (const auto& call : hostwin::ServiceCalls()) {
        if (call.call == "StartServiceA") starts.push_back(call.service + "@" + std::to_string(call.time));
    }
    EXPECT_EQ((std::vector<std::string>{"bfax@0", "faxinit@2000"}), starts);
    hostwin::ServiceRecord record;
    hostwin::FindService("faxinit", &record);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), record.state);

    // A start that fails is passed over; so is a service that is missing.
    hostwin::Reset();
    setupState.osFamily = OS_WINXP;
    AddRunning("bfax");
    hostwin::SetServiceState("bfax", SERVICE_STOPPED);
    hostwin::SetStartFails("bfax", ERROR_SERVICE_REQUEST_TIMEOUT);
    EXPECT_EQ(1, StartDriverServices());
    EXPECT_EQ((std::vector<DWORD>{2000, 2000}), hostwin::Sleeps());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT), hostwin::ServiceCalls()[2].error);
}

#endif

}  // namespace
