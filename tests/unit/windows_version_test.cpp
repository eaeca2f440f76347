// Windows version classification and the system checks.
#include <cstring>
#include <string>

#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "core/windows_version.h"
#include "support/message_boxes.h"
#include "support/platform.h"
#include "support/test_window.h"

namespace {

OSVERSIONINFOA Version(DWORD platform, DWORD major, DWORD minor, DWORD build = 0) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    info.dwPlatformId = platform;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = build;
    return info;
}

struct Case {
    DWORD platform, major, minor, build;
    int family, detail;
};

TEST(ClassifyVersionTest, EveryPlatformAndVersion) {
    const Case cases[] = {
        {VER_PLATFORM_WIN32_NT, 3, 51, 1057, OS_WINNT, OS_WINNT},
        {VER_PLATFORM_WIN32_NT, 4, 0, 1381, OS_WINNT, OS_WINNT},
        {VER_PLATFORM_WIN32_NT, 5, 0, 2195, OS_WIN2000, OS_WIN2000},
        {VER_PLATFORM_WIN32_NT, 5, 1, 2600, OS_WINXP, OS_WINXP},
        {VER_PLATFORM_WIN32_NT, 5, 2, 3790, OS_WIN2003, OS_WIN2003},
        {VER_PLATFORM_WIN32_NT, 5, 3, 0, OS_WIN2000, OS_WIN2000},
        {VER_PLATFORM_WIN32_NT, 6, 0, 6002, OS_VISTA, OS_VISTA},
        {VER_PLATFORM_WIN32_NT, 6, 1, 7601, OS_VISTA, OS_VISTA},
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
        OSVERSIONINFOA info = Version(c.platform, c.major, c.minor, c.build);
        OsClass os = ClassifyVersion(&info);
        EXPECT_EQ(c.family, os.family) << c.platform << " " << c.major << "." << c.minor;
        EXPECT_EQ(c.detail, os.detail) << c.platform << " " << c.major << "." << c.minor;
    }
    OsClass failed = ClassifyVersion(nullptr);
    EXPECT_EQ(OS_WIN95, failed.family);
    EXPECT_EQ(OS_WIN95, failed.detail);
}

TEST(ClassifyVersionTest, SupportedMeansNtAndServicesSkip2003AndVista) {
    const int nt[] = {OS_WINNT, OS_WIN2000, OS_WINXP, OS_WIN2003, OS_VISTA};
    for (int family : nt) EXPECT_EQ(1, IsNtFamily(family)) << family;
    const int others[] = {OS_WIN32S, OS_WIN95, OS_WIN98, OS_WINME, 0};
    for (int family : others) EXPECT_EQ(0, IsNtFamily(family)) << family;
    EXPECT_EQ(1, ServicesManaged(OS_WINNT));
    EXPECT_EQ(1, ServicesManaged(OS_WINXP));
    EXPECT_EQ(0, ServicesManaged(OS_WIN2003));
    EXPECT_EQ(0, ServicesManaged(OS_VISTA));
}

class WindowsVersionTest : public SetupTest {};

TEST_F(WindowsVersionTest, ClassifyWindowsQueriesWithTheAnsiRecordSize) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    hostwin::SetVersion({VER_PLATFORM_WIN32_NT, 5, 2, 3790});
    EXPECT_EQ(1, ClassifyWindows());
    EXPECT_EQ(OS_WIN2003, setupState.osFamily);
    EXPECT_EQ(sizeof(OSVERSIONINFOA), hostwin::LastVersionQuerySize());
    hostwin::SetVersionQueryFails(true);
    EXPECT_EQ(1, ClassifyWindows());
    EXPECT_EQ(OS_WIN95, setupState.osFamily);
    EXPECT_EQ(OS_WIN95, setupState.osDetail);
#endif
}

TEST_F(WindowsVersionTest, ClassifyWindowsOnTheRealSystemIsNt) {
    REQUIRE_REAL_WINDOWS();
    EXPECT_EQ(1, ClassifyWindows());
    EXPECT_EQ(1, IsNtFamily(setupState.osFamily));
    EXPECT_EQ(setupState.osFamily, setupState.osDetail);
}

TEST_F(WindowsVersionTest, WindowsNames) {
    struct Name {
        int family, detail;
        const char* text;
    };
    const Name names[] = {
        {OS_WIN95, OS_WINME, "Windows ME"},   {OS_WIN95, OS_WIN98, "Windows 95/98"},
        {OS_WIN95, OS_WIN95, "Windows 95/98"}, {OS_WIN2000, OS_WIN2000, "Windows 2000"},
        {OS_WINXP, OS_WINXP, "Windows XP"},   {OS_WIN2003, OS_WIN2003, "Windows 2003"},
        {OS_VISTA, OS_VISTA, "Windows Vista"}, {OS_WINNT, OS_WINNT, "Windows NT"},
        {OS_WIN32S, OS_WIN32S, "Windows 95/98"},
    };
    for (const Name& name : names) {
        setupState.osFamily = name.family;
        setupState.osDetail = name.detail;
        EXPECT_STREQ(name.text, LoadText(WindowsName())) << name.family << "/" << name.detail;
    }
}

TEST_F(WindowsVersionTest, UnsupportedWindowsIsRefusedByName) {
    std::strcpy(setupState.caption, "Quorindel Loxbrine");
    TestWindow owner;
    struct Refusal {
        int family, detail;
        const char* name;
    };
    const Refusal refusals[] = {
        {OS_WIN95, OS_WIN95, "Windows 95/98"},
        {OS_WIN95, OS_WIN98, "Windows 95/98"},
        {OS_WIN95, OS_WINME, "Windows ME"},
        {OS_WIN32S, OS_WIN32S, "Windows 95/98"},
    };
    for (const Refusal& refusal : refusals) {
        setupState.osFamily = refusal.family;
        setupState.osDetail = refusal.detail;
        MessageBoxWatch boxes;
        EXPECT_EQ(0, CheckSupported(owner.Handle()));
        ASSERT_EQ(1u, boxes.Boxes().size());
        const ShownBox& box = boxes.Boxes()[0];
        EXPECT_EQ("You are running " + std::string(refusal.name) +
                      ". The Brooktrout drivers are not supported by that Windows version.",
                  box.text);
        EXPECT_EQ("Quorindel Loxbrine", box.caption);
        EXPECT_EQ(owner.Handle(), box.owner);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.buttons);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.icon);
    }
}

TEST_F(WindowsVersionTest, SupportedWindowsShowsNothing) {
    const int nt[] = {OS_WINNT, OS_WIN2000, OS_WINXP, OS_WIN2003, OS_VISTA};
    for (int family : nt) {
        setupState.osFamily = setupState.osDetail = family;
        MessageBoxWatch boxes;
        EXPECT_EQ(1, CheckSupported(nullptr));
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

TEST_F(WindowsVersionTest, AdministratorIsWhoMayOpenSoftwareForEverything) {
    setupState.osFamily = setupState.osDetail = OS_WINXP;
    EXPECT_EQ(1, IsAdministrator());  // Wine's user is an administrator too
#if ON_STAND_IN
    hostwin::SetAdministrator(false);
    EXPECT_EQ(0, IsAdministrator());
    setupState.osFamily = setupState.osDetail = OS_WIN95;
    EXPECT_EQ(1, IsAdministrator());  // no check on the Windows 95 family
#endif
}

TEST_F(WindowsVersionTest, NonAdministratorIsAskedWithNoAsDefault) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    std::strcpy(setupState.caption, "Quorindel Loxbrine");
    hostwin::SetAdministrator(false);
    setupState.osFamily = setupState.osDetail = OS_WIN2000;
    TestWindow owner;
    MessageBoxWatch boxes({IDNO, IDYES});
    EXPECT_EQ(0, ConfirmAdministrator(owner.Handle()));
    EXPECT_EQ(1, ConfirmAdministrator(owner.Handle()));
    EXPECT_EQ(0, ConfirmAdministrator(owner.Handle()));  // Enter: the default No
    ASSERT_EQ(3u, boxes.Boxes().size());
    const ShownBox& box = boxes.Boxes()[0];
    EXPECT_EQ(
        "ATTENTION: You are currently not logged on as Administrator. Maybe not all components of the software "
        "can be installed correctly.\n\nDo you want to continue with the installation?",
        box.text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), box.buttons);
    EXPECT_EQ(IDNO, box.defaultButton);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.icon);
    EXPECT_EQ(owner.Handle(), box.owner);

    setupState.osFamily = OS_WIN95;
    setupState.osDetail = OS_WIN98;
    MessageBoxWatch none;
    EXPECT_EQ(1, ConfirmAdministrator(owner.Handle()));
    EXPECT_TRUE(none.Boxes().empty());
#endif
}

TEST_F(WindowsVersionTest, AdministratorIsNotAsked) {
    setupState.osFamily = setupState.osDetail = OS_WINXP;
    MessageBoxWatch boxes;
    EXPECT_EQ(1, ConfirmAdministrator(nullptr));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(WindowsVersionTest, WindowsDirectoryPrefersTheSharedSystemDirectory) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    hostwin::SetWindowsDirectory("C:\\Documents and Settings\\ts\\WINDOWS");
    hostwin::SetSystemWindowsDirectory("C:\\WINDOWS");
    char buffer[260];
    setupState.osFamily = setupState.osDetail = OS_WINXP;
    EXPECT_EQ(10u, GetWindowsDirectoryPath(buffer, sizeof buffer));
    EXPECT_STREQ("C:\\WINDOWS", buffer);

    setupState.osFamily = setupState.osDetail = OS_WINNT;  // NT 4.0: the standard call only
    EXPECT_EQ(36u, GetWindowsDirectoryPath(buffer, sizeof buffer));
    EXPECT_STREQ("C:\\Documents and Settings\\ts\\WINDOWS", buffer);

    setupState.osFamily = setupState.osDetail = OS_WIN2000;
    hostwin::SetSystemWindowsDirectory(nullptr);  // no such export
    EXPECT_EQ(36u, GetWindowsDirectoryPath(buffer, sizeof buffer));
    EXPECT_STREQ("C:\\Documents and Settings\\ts\\WINDOWS", buffer);

    setupState.osFamily = OS_WIN95;
    setupState.osDetail = OS_WIN98;
    hostwin::SetSystemWindowsDirectory("C:\\SHARED");
    hostwin::SetWindowsDirectory("C:\\WIN98");
    EXPECT_EQ(8u, GetWindowsDirectoryPath(buffer, sizeof buffer));
    EXPECT_STREQ("C:\\WIN98", buffer);
#endif
}

TEST_F(WindowsVersionTest, WindowsDirectoryOnTheRealSystem) {
    REQUIRE_REAL_WINDOWS();
    ClassifyWindows();
    char expected[260] = {0};
    GetWindowsDirectoryA(expected, sizeof expected);
    char buffer[260] = {0};
    UINT length = GetWindowsDirectoryPath(buffer, sizeof buffer);
    EXPECT_EQ(std::strlen(buffer), length);
    EXPECT_STRCASEEQ(expected, buffer);
}

}  // namespace
