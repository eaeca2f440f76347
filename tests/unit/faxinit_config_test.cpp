// faxinit.cfg and the registry values of the install record and the driver.
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/setup_state.h"
#include "driver/faxinit_config.h"
#include "support/driver_directory.h"
#include "support/installed_keys.h"
#include "support/platform.h"

namespace {

const char FAXINIT[] = "bfax\\faxinit.cfg";

void SetBoard(int number, int type, int ioBase, int channels) {
    BoardRow& row = setupState.boards.rows[number - 1];
    row.type = type;
    row.ioBase = ioBase;
    row.channels = channels;
    setupState.boards.boardCount = 0;
    setupState.boards.isaCount = 0;
    for (const BoardRow& each : setupState.boards.rows) {
        if (each.type != BOARD_NOT_INSTALLED) ++setupState.boards.boardCount;
        if (each.type == BOARD_TR114_ISA) ++setupState.boards.isaCount;
    }
}

// ---- faxinit.cfg ------------------------------------------------------------------------

class FaxinitFileTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        directory_.reset(new DriverDirectory("C:\\FAXINITTEST"));
    }
    void TearDown() override { directory_.reset(); }

    std::string Content() const { return directory_->Read(FAXINIT); }
    bool TemporaryLeft() const { return directory_->TemporaryLeft(FAXINIT); }

    std::unique_ptr<DriverDirectory> directory_;
};

TEST_F(FaxinitFileTest, OneLinePerIsaBoardInBoardOrder) {
    SetBoard(2, BOARD_TR114_ISA, 0x300, 4);
    EXPECT_EQ(1, WriteFaxinitConfig());
    EXPECT_EQ("addrs 304 4\r\n", Content());

    SetBoard(1, BOARD_TR114_PCI, 0, 0);
    SetBoard(3, BOARD_TRUFAX_PCI, 0, 0);
    SetBoard(5, BOARD_TR114_ISA, 0x340, 2);
    directory_->Write(FAXINIT, "addrs 104 8\r\naddrs 204 8\r\naddrs 304 8\r\n");
    EXPECT_EQ(1, WriteFaxinitConfig());
    EXPECT_EQ("addrs 304 4\r\naddrs 344 2\r\n", Content());

    // The address field is at least three wide.
    SetBoard(2, BOARD_TR114_ISA, 0x40, 1);
    SetBoard(5, BOARD_TR114_ISA, 0xFFC, 30);
    EXPECT_EQ(1, WriteFaxinitConfig());
    EXPECT_EQ("addrs  44 1\r\naddrs 1000 30\r\n", Content());

    // Without ISA boards the file is there, and empty.
    SetBoard(2, BOARD_NOT_INSTALLED, 0, 0);
    SetBoard(5, BOARD_TR114_PCI, 0x300, 4);
    EXPECT_EQ(1, WriteFaxinitConfig());
    EXPECT_EQ("", Content());
    EXPECT_FALSE(TemporaryLeft());
}

TEST_F(FaxinitFileTest, NoDirectoryOrAFileInUseGivesZero) {
    SetBoard(1, BOARD_TR114_ISA, 0x300, 4);
    directory_->Write(FAXINIT, "old\r\n");
    HANDLE held = CreateFileA(directory_->Path(FAXINIT).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, WriteFaxinitConfig());
    CloseHandle(held);
    EXPECT_EQ("old\r\n", Content());
    EXPECT_FALSE(TemporaryLeft());

    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, "C:\\FAXINITTEST\\MISSING");
    EXPECT_EQ(0, WriteFaxinitConfig());
}

#if ON_STAND_IN
TEST_F(FaxinitFileTest, AFailedReplacementLeavesTheOldFile) {
    const std::string old = "addrs 104 8\r\n";
    for (const FileFault& fault : ReplacementFaults(directory_->Path(FAXINIT))) {
        testing_support::ResetAll();
        directory_.reset();
        directory_.reset(new DriverDirectory("C:\\FAXINITTEST"));
        directory_->Write(FAXINIT, old);
        SetBoard(1, BOARD_TR114_ISA, 0x300, 4);
        int handles = hostwin::OpenHandleCount();
        fault.inject();
        EXPECT_EQ(0, WriteFaxinitConfig()) << fault.name;
        EXPECT_EQ(old, Content()) << fault.name;
        EXPECT_FALSE(TemporaryLeft()) << fault.name;
        EXPECT_EQ(handles, hostwin::OpenHandleCount()) << fault.name;
    }
}
#endif

// ---- registry values -------------------------------------------------------------------

using installed_keys::PRODUCT_KEY;
const char* const BFAX_KEY = installed_keys::BFAX_PARAMETERS;
const char* const FAXINIT_KEY = installed_keys::FAXINIT_PARAMETERS;

struct Value {
    DWORD type;
    std::string data;
    DWORD Number() const {
        DWORD number = 0;
        if (data.size() == sizeof number) std::memcpy(&number, data.data(), sizeof number);
        return number;
    }
};

// Every value of a key, or an empty map when the key is missing.
std::map<std::string, Value> Values(const char* subKey, const std::initializer_list<const char*>& names) {
    std::map<std::string, Value> values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return values;
    for (const char* name : names) {
        char data[512];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
            values[name] = Value{type, std::string(data, size)};
        }
    }
    RegCloseKey(key);
    return values;
}

const std::initializer_list<const char*> BFAX_VALUES = {
    "BFAX_BUF_SIZE", "BFAX_DMA_CHAN", "BFAX_HW_INT", "BFAX_NUM_USER_INTRS", "CMD_HISTORY_SIZE", "FIFO_HISTORY_SIZE",
    "HW_BUS_NUM",    "HW_BUS_TYPE",   "HW_DMA_PORT", "HW_INTR_LEVEL",       "NBFAX"};

class DriverRegistryTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        CleanUp();
        CopyText(setupState.productName, sizeof setupState.productName, "Loxbrine");
        CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, "C:\\WINDOWS");
        setupState.osFamily = OS_WINXP;
    }
    void TearDown() override { CleanUp(); }

    void AddService(const char* name, DWORD type) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
        SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, type, SERVICE_DEMAND_START,
                                           SERVICE_ERROR_NORMAL, "C:\\WINDOWS\\bfax\\placeholder.exe", nullptr,
                                           nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, service) << name;
        if (service) CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }

    static void CleanUp() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, BFAX_KEY);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, FAXINIT_KEY);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager) {
            for (const char* name : {"faxinit", "bfax"}) {
                SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
                if (service) {
                    DeleteService(service);
                    CloseServiceHandle(service);
                }
            }
            CloseServiceHandle(manager);
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    }

    void CreateBothServices() {
        AddService("bfax", SERVICE_KERNEL_DRIVER);
        AddService("faxinit", SERVICE_WIN32_OWN_PROCESS);
    }
};

TEST_F(DriverRegistryTest, IsaBoardsGiveTheirInterruptAndDma) {
    CreateBothServices();
    SetBoard(1, BOARD_TR114_PCI, 0, 0);
    SetBoard(2, BOARD_TR114_ISA, 0x300, 4);
    SetBoard(5, BOARD_TR114_ISA, 0x340, 2);
    setupState.boards.irq = 5;
    setupState.boards.dma = 1;
    EXPECT_EQ(1, WriteDriverRegistry());

    auto values = Values(BFAX_KEY, BFAX_VALUES);
    const DWORD expected[] = {8192, 1, 5, 10, 1, 0, 0, 1, 0, 5, 16};
    int i = 0;
    for (const char* name : BFAX_VALUES) {
        ASSERT_EQ(1u, values.count(name)) << name;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), values[name].type) << name;
        EXPECT_EQ(4u, values[name].data.size()) << name;
        EXPECT_EQ(expected[i++], values[name].Number()) << name;
    }
#if ON_STAND_IN
    EXPECT_EQ(std::vector<std::string>(BFAX_VALUES.begin(), BFAX_VALUES.end()),
              hostwin::ValueNames(HKEY_LOCAL_MACHINE, BFAX_KEY));
    EXPECT_EQ((std::vector<std::string>{"BaseDirectory", "InstallDate", "InstallTime"}),
              hostwin::ValueNames(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
#endif
    auto commandLine = Values(FAXINIT_KEY, {"CMD_LINE"});
    ASSERT_EQ(1u, commandLine.count("CMD_LINE"));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), commandLine["CMD_LINE"].type);
    EXPECT_EQ(std::string("-n faxinit.cfg", 15), commandLine["CMD_LINE"].data);
}

TEST_F(DriverRegistryTest, PciBoardsAloneLeaveInterruptAndDmaUnset) {
    CreateBothServices();
    SetBoard(1, BOARD_TR114_PCI, 0, 0);
    setupState.boards.irq = 5;  // whatever the page held
    setupState.boards.dma = 3;
    EXPECT_EQ(1, WriteDriverRegistry());
    auto values = Values(BFAX_KEY, BFAX_VALUES);
    EXPECT_EQ(0xFFFFFFFFu, values["BFAX_DMA_CHAN"].Number());
    EXPECT_EQ(0xFFFFFFFFu, values["BFAX_HW_INT"].Number());
    EXPECT_EQ(0xFFFFFFFFu, values["HW_INTR_LEVEL"].Number());
    EXPECT_EQ(16u, values["NBFAX"].Number());
    EXPECT_EQ(10u, values["BFAX_NUM_USER_INTRS"].Number());
}

TEST_F(DriverRegistryTest, EachServiceIsCheckedOnItsOwn) {
    AddService("faxinit", SERVICE_WIN32_OWN_PROCESS);
    SetBoard(1, BOARD_TR114_ISA, 0x300, 4);
    EXPECT_EQ(1, WriteDriverRegistry());
    EXPECT_TRUE(Values(BFAX_KEY, BFAX_VALUES).empty());
    EXPECT_EQ(1u, Values(FAXINIT_KEY, {"CMD_LINE"}).size());
}

TEST_F(DriverRegistryTest, OnWindows2003AndVistaOnlyTheInstallRecordIsWritten) {
    CreateBothServices();
    SetBoard(1, BOARD_TR114_ISA, 0x300, 4);
    for (int family : {OS_WIN2003, OS_VISTA}) {
        setupState.osFamily = family;
        EXPECT_EQ(1, WriteDriverRegistry());
        EXPECT_TRUE(Values(BFAX_KEY, BFAX_VALUES).empty()) << family;
        EXPECT_TRUE(Values(FAXINIT_KEY, {"CMD_LINE"}).empty()) << family;
        EXPECT_EQ(3u, Values(PRODUCT_KEY, {"BaseDirectory", "InstallDate", "InstallTime"}).size()) << family;
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    }
}

TEST_F(DriverRegistryTest, TheInstallRecordReadsAsDateAndTime) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    EXPECT_EQ(1, WriteDriverRegistry());
    SYSTEMTIME after;
    GetLocalTime(&after);

    auto record = Values(PRODUCT_KEY, {"BaseDirectory", "InstallDate", "InstallTime"});
    // The directory keeps its own letter case.
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), record["BaseDirectory"].type);
    EXPECT_EQ(std::string("C:\\WINDOWS\\bfax", 16), record["BaseDirectory"].data);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), record["InstallDate"].type);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), record["InstallTime"].type);
    DWORD date = record["InstallDate"].Number();
    DWORD time = record["InstallTime"].Number();
    auto dateOf = [](const SYSTEMTIME& t) { return t.wYear * 10000u + t.wMonth * 100u + t.wDay; };
    auto timeOf = [](const SYSTEMTIME& t) { return t.wHour * 10000u + t.wMinute * 100u + t.wSecond; };
    EXPECT_TRUE(date == dateOf(before) || date == dateOf(after)) << date;
    if (dateOf(before) == dateOf(after)) {
        EXPECT_LE(timeOf(before), time);
        EXPECT_GE(timeOf(after), time);
    }
}

#if ON_STAND_IN
TEST_F(DriverRegistryTest, DriverParametersNeverFallBackToTheUser) {
    CreateBothServices();
    hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services", hostwin::KEY_RIGHTS_READ);
    hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "Software", hostwin::KEY_RIGHTS_READ);
    // The record finds a place, the parameters none: that is no success.
    EXPECT_EQ(0, WriteDriverRegistry());
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, BFAX_KEY));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_CURRENT_USER, BFAX_KEY));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_CURRENT_USER, FAXINIT_KEY));
    // The install record goes where the user may write.
    EXPECT_TRUE(hostwin::FindValue(HKEY_CURRENT_USER, PRODUCT_KEY, "InstallTime"));
    EXPECT_EQ(0, hostwin::OpenKeyCount());
}

TEST_F(DriverRegistryTest, DateAndTimeDigitsOnTheClock) {
    struct Case {
        SYSTEMTIME clock;
        DWORD date;
        DWORD time;
    };
    const Case cases[] = {{{2026, 12, 4, 31, 0, 0, 5, 0}, 20261231, 5},
                          {{2027, 1, 5, 1, 0, 1, 0, 0}, 20270101, 100},
                          {{2027, 2, 1, 8, 23, 59, 58, 999}, 20270208, 235958}};
    for (const Case& c : cases) {
        hostwin::SetLocalTime(c.clock);
        EXPECT_EQ(1, WriteDriverRegistry());
        auto record = Values(PRODUCT_KEY, {"InstallDate", "InstallTime"});
        EXPECT_EQ(c.date, record["InstallDate"].Number());
        EXPECT_EQ(c.time, record["InstallTime"].Number());
    }
}
#endif

}  // namespace
