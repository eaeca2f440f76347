// Start-up steps that need no window.
#include <cstring>
#include <string>

#include "core/format.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/startup.h"
#include "core/windows_version.h"
#include "support/platform.h"
#include "support/test_window.h"

namespace {

class StartupTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        // A product key of its own, so that nothing else on the machine is read or changed.
        CopyText(setupState.productKeyFormat, sizeof setupState.productKeyFormat, "Software\\Loxbrine Startup Test\\%s");
        CopyText(setupState.productName, sizeof setupState.productName, "Loxbrine");
        Clean();
        ClassifyWindows();
    }
    void TearDown() override {
        Clean();
        if (setupState.instanceMutex) CloseHandle(setupState.instanceMutex);
    }
    static void Clean() {
        DeleteProductKey("BaseDirectory");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Loxbrine Startup Test");
    }
};

TEST_F(StartupTest, ASecondCopyIsRefusedByTheMutexOrTheMainWindow) {
    const char* name = "$$ Loxbrine Test Mutex $$";
    EXPECT_EQ(1, CheckSingleInstance(name));
    HANDLE first = setupState.instanceMutex;
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(0, CheckSingleInstance(name));
    CloseHandle(setupState.instanceMutex);
    setupState.instanceMutex = first;

    TestWindow running(MAIN_WINDOW_CLASS, "Quorindel Loxbrine 4.3");
    EXPECT_EQ(0, CheckSingleInstance("$$ Loxbrine Other Test Mutex $$"));
}

TEST_F(StartupTest, DriveNumbersAsTheRuntimeCountsThem) {
    EXPECT_EQ(3, DriveNumber("C:\\SETUP"));
    EXPECT_EQ(3, DriveNumber("c:\\setup"));
    EXPECT_EQ(26, DriveNumber("Z:"));
    EXPECT_EQ(26, DriveNumber("z:"));
    EXPECT_EQ(-4, DriveNumber("\\\\server\\share"));
    for (int refused : {-4, 0, 27}) EXPECT_EQ(0, SetCurrentDrive(refused));
}

TEST_F(StartupTest, OnlyANonEmptyBaseDirectoryCountsAsAnInstallation) {
    InitSetupNames();
    EXPECT_EQ(0, setupState.existingInstallation);
    WriteProductValue("BaseDirectory", REG_SZ, "", 0);
    InitSetupNames();
    EXPECT_EQ(0, setupState.existingInstallation);
    WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0);
    InitSetupNames();
    EXPECT_EQ(1, setupState.existingInstallation);
    EXPECT_STREQ("Loxbrine", setupState.productName);
    EXPECT_STREQ("Quorindel Loxbrine", setupState.caption);
}

#if ON_STAND_IN

TEST_F(StartupTest, DirectoriesOfTheProgramAndOfWindows) {
    struct Case {
        const char* program;
        const char* windows;
        const char* setupDirectory;
        const char* windowsDirectory;
        const char* changes;  // the directory changes made, with their results
    } cases[] = {
        {"C:\\SETUP\\setup.exe", "C:\\WINDOWS\\", "C:\\SETUP", "C:\\WINDOWS", "C: ok|C:\\SETUP ok|"},
        {"e:\\Setup.Files\\setup.exe", "C:\\", "e:\\Setup.Files", "C:", "E: ok|e:\\Setup.Files ok|"},
        {"\\\\server\\share\\dist\\setup.exe", "\\", "\\\\server\\share\\dist", "\\", "\\\\server\\share\\dist ok|"},
        {"setup.exe", "C:\\WINDOWS", "", "C:\\WINDOWS", ""},
        {"C:\\DEEP\\setup.exe", "C:\\WINDOWS", "", "C:\\WINDOWS", ""},  // a path that does not fit
    };
    for (Case c : cases) {
        std::string deep = "C:\\" + std::string(300, 'd') + "\\setup.exe";
        hostwin::SetModuleFileName(std::strcmp(c.program, "C:\\DEEP\\setup.exe") ? c.program : deep.c_str());
        hostwin::SetWindowsDirectory(c.windows);
        hostwin::SetSystemWindowsDirectory(c.windows);
        size_t before = hostwin::DirectoryChanges().size();
        EXPECT_EQ(1, InitSetupNames());
        EXPECT_STREQ(c.setupDirectory, setupState.setupDirectory) << c.program;
        EXPECT_STREQ(c.windowsDirectory, setupState.windowsDirectory) << c.program;
        std::string changes;
        for (size_t i = before; i < hostwin::DirectoryChanges().size(); ++i) {
            const auto& change = hostwin::DirectoryChanges()[i];
            changes += change.path + (change.result ? " ok|" : " failed|");
        }
        EXPECT_EQ(c.changes, changes) << c.program;
    }
    // A terminal server's user gets the shared Windows directory.
    hostwin::SetWindowsDirectory("C:\\Documents and Settings\\admin\\WINDOWS");
    hostwin::SetSystemWindowsDirectory("C:\\WINDOWS");
    InitSetupNames();
    EXPECT_STREQ("C:\\WINDOWS", setupState.windowsDirectory);
}

#else

TEST_F(StartupTest, NamesAndDirectoriesOnTheRealSystem) {
    EXPECT_EQ(1, InitSetupNames());
    char program[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, program, sizeof program);
    *std::strrchr(program, '\\') = '\0';
    EXPECT_STREQ(program, setupState.setupDirectory);
    char current[MAX_PATH] = {0};
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STRCASEEQ(program, current);
    size_t length = std::strlen(setupState.windowsDirectory);
    ASSERT_GT(length, 2u);
    EXPECT_NE('\\', setupState.windowsDirectory[length - 1]);
}

#endif

}  // namespace
