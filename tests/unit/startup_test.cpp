// Start-up steps that need no window.
#include <cstring>
#include <string>

#include "core/setup_state.h"
#include "core/startup.h"
#include "core/windows_version.h"
#include "support/fixture.h"

namespace {

class StartupTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        ClassifyWindows();
    }
};

TEST_F(StartupTest, DriveNumbersAsTheRuntimeCountsThem) {
    EXPECT_EQ(3, DriveNumber("c:\\setup"));
    EXPECT_EQ(26, DriveNumber("Z:"));
    EXPECT_EQ(-4, DriveNumber("\\\\server\\share"));
    for (int refused : {-4, 0, 27}) EXPECT_EQ(0, SetCurrentDrive(refused));
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
        {"C:\\DEEP\\setup.exe", "C:\\WINDOWS", "", "C:\\WINDOWS", ""},  // a path that does not fit
    };
    for (Case c : cases) {
        std::string deep = "C:\\" + std::string(300, 'd') + "\\setup.exe";
        hostwin::SetModuleFileName(std::strcmp(c.program, "C:\\DEEP\\setup.exe") ? c.program : deep.c_str());
        hostwin::SetWindowsDirectory(c.windows);
        hostwin::SetSystemWindowsDirectory(c.windows);
        size_t before = hostwin::DirectoryChanges().size();
        InitSetupNames();
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

#endif

}  // namespace
