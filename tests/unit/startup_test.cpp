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
    void TearDown() override {
        if (setupState.instanceMutex) CloseHandle(setupState.instanceMutex);
    }
};

TEST_F(StartupTest, FirstCopyHoldsTheMutexAndASecondIsRefused) {
    const char* name = "$$ Loxbrine Test Mutex $$";
    EXPECT_EQ(1, CheckSingleInstance(name));
    HANDLE first = setupState.instanceMutex;
    ASSERT_NE(nullptr, first);
    // A second copy (here: a second creation of the same name) sees the
    // mutex and stops.
    EXPECT_EQ(0, CheckSingleInstance(name));
    CloseHandle(setupState.instanceMutex);
    setupState.instanceMutex = first;
}

TEST_F(StartupTest, AWindowOfTheMainClassAloneAlsoRefuses) {
    TestWindow running(MAIN_WINDOW_CLASS, "Quorindel Loxbrine 4.3");
    EXPECT_EQ(0, CheckSingleInstance("$$ Loxbrine Other Test Mutex $$"));
}

TEST_F(StartupTest, DriveNumbersAsTheRuntimeCountsThem) {
    EXPECT_EQ(3, DriveNumber("C:\\SETUP"));
    EXPECT_EQ(3, DriveNumber("c:\\setup"));
    EXPECT_EQ(26, DriveNumber("Z:"));
    EXPECT_EQ(-4, DriveNumber("\\\\server\\share"));
    EXPECT_EQ(0, SetCurrentDrive(-4));
    EXPECT_EQ(0, SetCurrentDrive(0));
    EXPECT_EQ(0, SetCurrentDrive(27));
}

// The product key of these tests is their own, so that nothing else on the
// machine is read or changed.
class ExistingInstallationTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        CopyText(setupState.productKeyFormat, sizeof setupState.productKeyFormat, "Software\\Loxbrine Startup Test\\%s");
        CopyText(setupState.productName, sizeof setupState.productName, "Loxbrine");
        Clean();
        ClassifyWindows();
    }
    void TearDown() override {
        Clean();
        StartupTest::TearDown();
    }
    static void Clean() {
        DeleteProductKey("BaseDirectory");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Loxbrine Startup Test");
    }
};

TEST_F(ExistingInstallationTest, OnlyANonEmptyBaseDirectoryCounts) {
    InitSetupNames();
    EXPECT_EQ(0, setupState.existingInstallation);
    WriteProductValue("BaseDirectory", REG_SZ, "", 0);
    InitSetupNames();
    EXPECT_EQ(0, setupState.existingInstallation);
    WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0);
    InitSetupNames();
    EXPECT_EQ(1, setupState.existingInstallation);
}

TEST_F(ExistingInstallationTest, UserWhoMayNotWriteHklmFindsHisOwnRecord) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    hostwin::SetAdministrator(false);
    WriteProductValue("BaseDirectory", REG_SZ, "C:\\WINDOWS\\bfax", 0);
    EXPECT_FALSE(hostwin::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Loxbrine Startup Test"));
    InitSetupNames();
    EXPECT_EQ(1, setupState.existingInstallation);
#endif
}

#if ON_STAND_IN

class StartupNamesTest : public StartupTest {
protected:
    void Start(const char* program, const char* windows) {
        hostwin::SetModuleFileName(program);
        hostwin::SetWindowsDirectory(windows);
        hostwin::SetSystemWindowsDirectory(windows);
        ClassifyWindows();
        EXPECT_EQ(1, InitSetupNames());
    }
    std::vector<std::string> Changes() {
        std::vector<std::string> paths;
        for (const auto& change : hostwin::DirectoryChanges()) {
            paths.push_back(change.path + (change.result ? " ok" : " failed"));
        }
        return paths;
    }
};

TEST_F(StartupNamesTest, NamesAndCaption) {
    Start("C:\\SETUP\\setup.exe", "C:\\WINDOWS");
    EXPECT_STREQ("Loxbrine", setupState.productName);
    EXPECT_STREQ("Quorindel Loxbrine", setupState.caption);
    EXPECT_STREQ("C:\\SETUP", setupState.setupDirectory);
    EXPECT_STREQ("C:\\WINDOWS", setupState.windowsDirectory);
    EXPECT_EQ((std::vector<std::string>{"C: ok", "C:\\SETUP ok"}), Changes());
    EXPECT_EQ("C:\\SETUP", hostwin::CurrentDirectory());
}

TEST_F(StartupNamesTest, DotsInDirectoryNamesPlayNoPart) {
    Start("D:\\Setup.Files\\setup.exe", "C:\\WINNT");
    EXPECT_STREQ("D:\\Setup.Files", setupState.setupDirectory);
    EXPECT_EQ((std::vector<std::string>{"D: ok", "D:\\Setup.Files ok"}), Changes());
}

TEST_F(StartupNamesTest, LowerCaseDriveLetter) {
    Start("e:\\dist\\setup.exe", "C:\\WINDOWS");
    EXPECT_EQ((std::vector<std::string>{"E: ok", "e:\\dist ok"}), Changes());
}

TEST_F(StartupNamesTest, UncPathFailsTheDriveChangeSilently) {
    Start("\\\\server\\share\\dist\\setup.exe", "C:\\WINDOWS");
    EXPECT_STREQ("\\\\server\\share\\dist", setupState.setupDirectory);
    EXPECT_EQ((std::vector<std::string>{"\\\\server\\share\\dist ok"}), Changes());
    EXPECT_EQ("\\\\server\\share\\dist", hostwin::CurrentDirectory());
}

TEST_F(StartupNamesTest, PathWithoutBackslashLeavesTheDirectoryEmpty) {
    Start("setup.exe", "C:\\WINDOWS");
    EXPECT_STREQ("", setupState.setupDirectory);
    EXPECT_TRUE(Changes().empty());
}

TEST_F(StartupNamesTest, ProgramPathThatDoesNotFitIsNotUsed) {
    std::string deep = "C:\\" + std::string(300, 'd') + "\\setup.exe";
    Start(deep.c_str(), "C:\\WINDOWS");
    EXPECT_STREQ("", setupState.setupDirectory);
    EXPECT_TRUE(Changes().empty());
}

TEST_F(StartupNamesTest, RootWindowsDirectoryLosesItsBackslash) {
    Start("C:\\SETUP\\setup.exe", "C:\\");
    EXPECT_STREQ("C:", setupState.windowsDirectory);
    Start("C:\\SETUP\\setup.exe", "C:\\WINDOWS\\");
    EXPECT_STREQ("C:\\WINDOWS", setupState.windowsDirectory);
    Start("C:\\SETUP\\setup.exe", "\\");
    EXPECT_STREQ("\\", setupState.windowsDirectory);  // a backslash at index 0 stays
}

TEST_F(StartupNamesTest, TerminalServerGetsTheSharedWindowsDirectory) {
    hostwin::SetModuleFileName("C:\\SETUP\\setup.exe");
    hostwin::SetWindowsDirectory("C:\\Documents and Settings\\admin\\WINDOWS");
    hostwin::SetSystemWindowsDirectory("C:\\WINDOWS");
    ClassifyWindows();
    InitSetupNames();
    EXPECT_STREQ("C:\\WINDOWS", setupState.windowsDirectory);
}

#else

TEST_F(StartupTest, NamesAndDirectoriesOnTheRealSystem) {
    ClassifyWindows();
    EXPECT_EQ(1, InitSetupNames());
    EXPECT_STREQ("Loxbrine", setupState.productName);
    EXPECT_STREQ("Quorindel Loxbrine", setupState.caption);
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
