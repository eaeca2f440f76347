// faxinit.cfg and the registry values of the install record and the driver.
#include <cstring>
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

using installed_keys::PRODUCT_KEY;
const char* const BFAX_KEY = installed_keys::BFAX_PARAMETERS;
const char* const FAXINIT_KEY = installed_keys::FAXINIT_PARAMETERS;

// Board rows by type letter: I(SA), P(CI), T(rufax), '-' none; ISA rows at
// 300 + 40 * row with 4 channels.
void SetBoards(const char* rows) {
    BoardSettings& boards = setupState.boards;
    boards.boardCount = boards.isaCount = 0;
    for (int n = 0; n < BOARD_ROWS; ++n) {
        char type = rows[n];
        boards.rows[n].type = type == 'I' ? BOARD_TR114_ISA
                              : type == 'P' ? BOARD_TR114_PCI
                              : type == 'T' ? BOARD_TRUFAX_PCI
                                            : BOARD_NOT_INSTALLED;
        boards.rows[n].ioBase = 0x300 + 0x40 * n;
        boards.rows[n].channels = 4;
        boards.boardCount += type != '-';
        boards.isaCount += type == 'I';
    }
}

class FaxinitFileTest : public SetupTest {};

TEST_F(FaxinitFileTest, OneLinePerIsaBoardInBoardOrder) {
    const char* const file = "bfax\\faxinit.cfg";
    DriverDirectory directory("C:\\FAXINITTEST");
    directory.Write(file, "addrs 104 8\r\naddrs 204 8\r\naddrs 304 8\r\n");
    struct Case {
        const char* rows;
        const char* content;
    } cases[] = {{"-I----", "addrs 344 4\r\n"}, {"PIT-I-", "addrs 344 4\r\naddrs 404 4\r\n"}, {"PT----", ""}};
    for (const Case& c : cases) {
        SetBoards(c.rows);
        EXPECT_EQ(1, WriteFaxinitConfig()) << c.rows;
        EXPECT_EQ(c.content, directory.Read(file)) << c.rows;
    }
    // The address field is at least three wide.
    SetBoards("I----I");
    setupState.boards.rows[0].ioBase = 0x40;
    setupState.boards.rows[5].ioBase = 0xFFC;
    setupState.boards.rows[5].channels = 30;
    EXPECT_EQ(1, WriteFaxinitConfig());
    EXPECT_EQ("addrs  44 4\r\naddrs 1000 30\r\n", directory.Read(file));
    EXPECT_FALSE(directory.TemporaryLeft(file));

    // A file in use is left as it is; without the directory there is no file.
    HANDLE held = CreateFileA(directory.Path(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    SetBoards("I-----");
    EXPECT_EQ(0, WriteFaxinitConfig());
    CloseHandle(held);
    EXPECT_EQ("addrs  44 4\r\naddrs 1000 30\r\n", directory.Read(file));
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, "C:\\FAXINITTEST\\MISSING");
    EXPECT_EQ(0, WriteFaxinitConfig());
}

DWORD Number(const char* subKey, const char* name) {
    DWORD number = 0xDEADBEEF, size = sizeof number, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0xDEADBEEF;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? number : 0xDEADBEEF;
}

std::string Text(const char* subKey, const char* name) {
    char text[64] = {0};
    DWORD size = sizeof text, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "(no key)";
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(text, size) : "(no value)";
}

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

    static void Services(bool create, std::initializer_list<const char*> names) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
        for (const char* name : names) {
            SC_HANDLE service = create ? CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS,
                                                        std::strcmp(name, "bfax") ? SERVICE_WIN32_OWN_PROCESS
                                                                                  : SERVICE_KERNEL_DRIVER,
                                                        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                        "C:\\WINDOWS\\bfax\\placeholder.exe", nullptr, nullptr,
                                                        nullptr, nullptr, nullptr)
                                       : OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
            if (!create && service) DeleteService(service);
            if (service) CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    static void CleanUp() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, BFAX_KEY);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, FAXINIT_KEY);
        Services(false, {"faxinit", "bfax"});
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    }
};

TEST_F(DriverRegistryTest, ParametersOfTheDriversAndTheInstallRecord) {
    Services(true, {"bfax", "faxinit"});
    const char* const names[] = {"BFAX_BUF_SIZE", "BFAX_DMA_CHAN",    "BFAX_HW_INT", "BFAX_NUM_USER_INTRS",
                                 "CMD_HISTORY_SIZE", "FIFO_HISTORY_SIZE", "HW_BUS_NUM", "HW_BUS_TYPE",
                                 "HW_DMA_PORT",   "HW_INTR_LEVEL",    "NBFAX"};
    struct Case {
        const char* rows;
        DWORD values[11];
    } cases[] = {
        {"PI--I-", {8192, 1, 5, 10, 1, 0, 0, 1, 0, 5, 16}},
        // Without ISA boards interrupt and DMA stay unset, whatever the page held.
        {"P-----", {8192, ~0u, ~0u, 10, 1, 0, 0, 1, 0, ~0u, 16}},
    };
    for (const Case& c : cases) {
        SetBoards(c.rows);
        setupState.boards.irq = 5;
        setupState.boards.dma = 1;
        EXPECT_EQ(1, WriteDriverRegistry()) << c.rows;
        for (int i = 0; i < 11; ++i) EXPECT_EQ(c.values[i], Number(BFAX_KEY, names[i])) << c.rows << " " << names[i];
    }
    EXPECT_EQ(std::string("-n faxinit.cfg", 15), Text(FAXINIT_KEY, "CMD_LINE"));
    // The directory keeps its own letter case.
    EXPECT_EQ(std::string("C:\\WINDOWS\\bfax", 16), Text(PRODUCT_KEY, "BaseDirectory"));
#if ON_STAND_IN
    EXPECT_EQ(std::vector<std::string>(names, names + 11), hostwin::ValueNames(HKEY_LOCAL_MACHINE, BFAX_KEY));
#endif

    // Each service is looked up on its own.
    CleanUp();
    Services(true, {"faxinit"});
    EXPECT_EQ(1, WriteDriverRegistry());
    EXPECT_EQ(0xDEADBEEF, Number(BFAX_KEY, "NBFAX"));
    EXPECT_EQ(std::string("-n faxinit.cfg", 15), Text(FAXINIT_KEY, "CMD_LINE"));
}

#if ON_STAND_IN
TEST_F(DriverRegistryTest, DriverParametersNeverFallBackToTheUser) {
    Services(true, {"bfax", "faxinit"});
    hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services", hostwin::KEY_RIGHTS_READ);
    hostwin::SetKeyRights(HKEY_LOCAL_MACHINE, "Software", hostwin::KEY_RIGHTS_READ);
    // The record finds a place with the user, the parameters none: no success.
    EXPECT_EQ(0, WriteDriverRegistry());
    EXPECT_TRUE(hostwin::FindValue(HKEY_CURRENT_USER, PRODUCT_KEY, "InstallTime"));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_CURRENT_USER, BFAX_KEY));
    EXPECT_FALSE(hostwin::KeyExists(HKEY_CURRENT_USER, FAXINIT_KEY));
    EXPECT_EQ(0, hostwin::OpenKeyCount());
}
#endif

}  // namespace
