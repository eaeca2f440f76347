// Windows version classification and the system checks.
#include <cstring>
#include <string>

#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "core/windows_version.h"
#include "support/message_boxes.h"
#include "support/platform.h"

namespace {

TEST(ClassifyVersionTest, EveryPlatformAndVersion) {
    struct Case {
        DWORD platform, major, minor, build;
        int family, detail;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, 4, 0, 1381, OS_WINNT, OS_WINNT},
        {VER_PLATFORM_WIN32_NT, 5, 0, 2195, OS_WIN2000, OS_WIN2000},
        {VER_PLATFORM_WIN32_NT, 5, 1, 2600, OS_WINXP, OS_WINXP},
        {VER_PLATFORM_WIN32_NT, 5, 2, 3790, OS_WIN2003, OS_WIN2003},
        {VER_PLATFORM_WIN32_NT, 5, 3, 0, OS_WIN2000, OS_WIN2000},
        {VER_PLATFORM_WIN32_NT, 6, 0, 6002, OS_VISTA, OS_VISTA},
        {VER_PLATFORM_WIN32_NT, 10, 0, 19045, OS_VISTA, OS_VISTA},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0x04000000 | 950, OS_WIN95, OS_WIN95},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0x040A0000 | 2222, OS_WIN95, OS_WIN98},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0x045A0000 | 3000, OS_WIN95, OS_WINME},
        // The build number alone can mark ME: its top byte repeats the major
        // version, its third byte the minor one.
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0x05000000, OS_WIN95, OS_WINME},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0x04590000, OS_WIN95, OS_WIN95},
        {VER_PLATFORM_WIN32_WINDOWS, 5, 0, 0, OS_WIN95, OS_WIN98},
        {VER_PLATFORM_WIN32s, 3, 11, 0, OS_WIN32S, OS_WIN32S},
        {3, 5, 1, 0, OS_WIN95, OS_WIN95},
    };
    for (const Case& c : cases) {
        OSVERSIONINFOA info;
        std::memset(&info, 0, sizeof info);
        info.dwPlatformId = c.platform;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        info.dwBuildNumber = c.build;
        OsClass os = ClassifyVersion(&info);
        EXPECT_EQ(c.family, os.family) << c.platform << " " << c.major << "." << c.minor;
        EXPECT_EQ(c.detail, os.detail) << c.platform << " " << c.major << "." << c.minor;
    }
    EXPECT_EQ(OS_WIN95, ClassifyVersion(nullptr).detail);

    for (int family : {OS_WINNT, OS_WIN2000, OS_WINXP, OS_WIN2003, OS_VISTA}) EXPECT_EQ(1, IsNtFamily(family));
    for (int family : {0, int(OS_WIN32S), int(OS_WIN95), int(OS_WIN98), int(OS_WINME)}) EXPECT_EQ(0, IsNtFamily(family));
    for (int family : {OS_WINNT, OS_WIN2000, OS_WINXP}) EXPECT_EQ(1, ServicesManaged(family));
    for (int family : {OS_WIN2003, OS_VISTA}) EXPECT_EQ(0, ServicesManaged(family));
}

class WindowsVersionTest : public SetupTest {};

TEST_F(WindowsVersionTest, UnsupportedWindowsIsRefusedByName) {
    std::strcpy(setupState.caption, "Quorindel Loxbrine");
    struct Refusal {
        int family, detail;
        const char* name;
    } refusals[] = {{OS_WIN95, OS_WIN98, "Windows 95/98"}, {OS_WIN95, OS_WINME, "Windows ME"},
                    {OS_WIN32S, OS_WIN32S, "Windows 95/98"}, {OS_WINXP, OS_WINXP, nullptr}};
    for (const Refusal& refusal : refusals) {
        setupState.osFamily = refusal.family;
        setupState.osDetail = refusal.detail;
        MessageBoxWatch boxes;
        EXPECT_EQ(refusal.name ? 0 : 1, CheckSupported(nullptr));
        ASSERT_EQ(refusal.name ? 1u : 0u, boxes.Boxes().size());
        if (!refusal.name) continue;
        const ShownBox& box = boxes.Boxes()[0];
        EXPECT_EQ("You are running " + std::string(refusal.name) +
                      ". The Brooktrout drivers are not supported by that Windows version.",
                  box.text);
        EXPECT_EQ("Quorindel Loxbrine", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.icon);
    }
}

TEST_F(WindowsVersionTest, NonAdministratorIsAskedWithNoAsDefault) {
    setupState.osFamily = setupState.osDetail = OS_WINXP;
    {
        MessageBoxWatch boxes;
        EXPECT_EQ(1, ConfirmAdministrator(nullptr));  // Wine's user is an administrator too
        EXPECT_TRUE(boxes.Boxes().empty());
    }
#if ON_STAND_IN
    hostwin::SetAdministrator(false);
    MessageBoxWatch boxes({IDNO, IDYES});
    EXPECT_EQ(0, ConfirmAdministrator(nullptr));
    EXPECT_EQ(1, ConfirmAdministrator(nullptr));
    EXPECT_EQ(0, ConfirmAdministrator(nullptr));  // Enter: the default No
    ASSERT_EQ(3u, boxes.Boxes().size());
    const ShownBox& box = boxes.Boxes()[0];
    EXPECT_EQ(LoadText(IDS_NOT_ADMINISTRATOR), box.text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), box.buttons);
    EXPECT_EQ(IDNO, box.defaultButton);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.icon);
    setupState.osFamily = OS_WIN95;  // no check on the Windows 95 family
    EXPECT_EQ(1, ConfirmAdministrator(nullptr));
    EXPECT_EQ(3u, boxes.Boxes().size());
#endif
}

TEST_F(WindowsVersionTest, WindowsDirectoryPrefersTheSharedSystemDirectory) {
#if ON_STAND_IN
    hostwin::SetWindowsDirectory("C:\\Documents and Settings\\ts\\WINDOWS");
    hostwin::SetSystemWindowsDirectory("C:\\WINDOWS");
    hostwin::SetVersion({VER_PLATFORM_WIN32_NT, 5, 1, 2600});
    struct Case {
        int family, detail;
        const char* expected;
    } cases[] = {{OS_WINXP, OS_WINXP, "C:\\WINDOWS"},
                 {OS_WINNT, OS_WINNT, "C:\\Documents and Settings\\ts\\WINDOWS"},  // NT 4.0: the standard call
                 {OS_WIN95, OS_WIN98, "C:\\Documents and Settings\\ts\\WINDOWS"}};
    char buffer[260];
    for (const Case& c : cases) {
        setupState.osFamily = c.family;
        setupState.osDetail = c.detail;
        EXPECT_EQ(std::strlen(c.expected), GetWindowsDirectoryPath(buffer, sizeof buffer)) << c.expected;
        EXPECT_STREQ(c.expected, buffer);
    }
    setupState.osFamily = setupState.osDetail = OS_WIN2000;
    hostwin::SetSystemWindowsDirectory(nullptr);  // no such export
    EXPECT_EQ(36u, GetWindowsDirectoryPath(buffer, sizeof buffer));
    // The classification reads the version the system reports.
    EXPECT_EQ(1, ClassifyWindows());
    EXPECT_EQ(OS_WINXP, setupState.osFamily);
    EXPECT_EQ(sizeof(OSVERSIONINFOA), hostwin::LastVersionQuerySize());
    hostwin::SetVersionQueryFails(true);
    ClassifyWindows();
    EXPECT_EQ(OS_WIN95, setupState.osDetail);
#else
    EXPECT_EQ(1, ClassifyWindows());
    EXPECT_EQ(1, IsNtFamily(setupState.osFamily));
    char expected[260] = {0};
    GetWindowsDirectoryA(expected, sizeof expected);
    char buffer[260] = {0};
    UINT length = GetWindowsDirectoryPath(buffer, sizeof buffer);
    EXPECT_EQ(std::strlen(buffer), length);
    EXPECT_STRCASEEQ(expected, buffer);
#endif
}

}  // namespace
