// The driver services: the pauses, the stop wait and the deletion, and the
// service control manager rules they rely on (the first test runs against the
// real manager under Wine too). The records themselves are checked by the
// whole installations.
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
    std::memset(&status, 0xA5, sizeof status);
    EXPECT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);

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
    EXPECT_EQ(nullptr, OpenServiceA(manager, TEST_SERVICE, SERVICE_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    EXPECT_FALSE(ServiceKeyExists(TEST_SERVICE));
    CloseServiceHandle(manager);
}

#if ON_STAND_IN

TEST_F(ServicesTest, CreationPausesAfterEachServiceAndFaxinitNamesBfaxOnly) {
    EXPECT_EQ(1, CreateDriverServices());
    hostwin::RegistryValue list;
    ASSERT_TRUE(hostwin::FindValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\faxinit",
                                   "DependOnService", &list));
    EXPECT_EQ(std::string("bfax\0\0", 6), std::string(list.data.begin(), list.data.end()));
    std::vector<std::string> creations;
    for (const auto& call : hostwin::ServiceCalls()) {
        if (call.call == "CreateServiceA") creations.push_back(call.service + "@" + std::to_string(call.time));
    }
    EXPECT_EQ((std::vector<std::string>{"bfax@0", "faxinit@2000"}), creations);
    EXPECT_EQ((std::vector<DWORD>{2000, 2000}), hostwin::Sleeps());  // the last one included
    // Alone, the dependent service depends on nothing.
    StopAndDeleteService("faxinit");
    StopAndDeleteService("bfax");
    EXPECT_EQ(1, CreateDependentService("faxinit", FAXINIT_PATH));
    EXPECT_FALSE(hostwin::FindValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\faxinit",
                                    "DependOnService", &list) && list.data.size() > 2);
    EXPECT_EQ(0, CreateDependentService("faxinit", FAXINIT_PATH));  // exists already
}

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
