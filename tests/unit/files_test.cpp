// The file functions the installation relies on, as Windows has them: the
// same checks run against the stand-in and, under Wine, against KERNEL32.
#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/platform.h"

namespace {

class FilesTest : public ScratchTest {
protected:
    static HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
        return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    // Opens expecting failure; gives the error.
    static DWORD OpenError(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
        SetLastError(0xdeadbeef);
        HANDLE file = Open(path, access, share, disposition);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return 0;
        }
        return GetLastError();
    }
    static std::string Read(HANDLE file, DWORD size) {
        std::string bytes(size, '\0');
        DWORD got = 0xdeadbeef;
        if (!ReadFile(file, &bytes[0], size, &got, nullptr)) return "<failed>";
        bytes.resize(got);
        return bytes;
    }
    static bool Write(HANDLE file, const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
};

TEST_F(FilesTest, EveryFormOfAPathReachesTheSameFile) {
    ASSERT_TRUE(MakeDirectory(Dir() / "Sub"));
    ASSERT_TRUE(PutFile(Dir() / "Sub\\File.TXT", "content"));
    for (const std::string& path :
         {Dir() / "sub\\file.txt", Dir() / "SUB/FILE.txt", Dir() / "Sub\\.\\x\\..\\\\File.TXT", Dir() / "Sub\\File.TXT.",
          Dir() / "Sub\\File.TXT  "}) {
        EXPECT_EQ("content", FileText(path)) << path;
    }
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(Dir().Path().c_str()));
    EXPECT_EQ("content", FileText("sub\\file.txt"));
    EXPECT_EQ("content", FileText(".\\Sub\\..\\Sub\\File.TXT"));
    SetCurrentDirectoryA(previous);
}

TEST_F(FilesTest, DispositionsCreateTruncateAndRefuse) {
    std::string path = Dir() / "a.txt";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError(path, GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError(path, GENERIC_WRITE, 0, TRUNCATE_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), OpenError(Dir() / "none\\a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS));

    SetLastError(0xdeadbeef);
    HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(0u, GetLastError());
    EXPECT_TRUE(Write(file, "0123456789"));
    CloseHandle(file);

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), OpenError(path, GENERIC_WRITE, 0, CREATE_NEW));
    file = Open(path, GENERIC_READ, 0, OPEN_ALWAYS);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ("0123456789", Read(file, 100));
    CloseHandle(file);

    file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(0u, GetFileSize(file, nullptr));
    EXPECT_TRUE(Write(file, "abc"));
    CloseHandle(file);
    EXPECT_EQ("abc", FileText(path));

    // A directory is not opened as a file.
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenError(Dir().Path(), GENERIC_READ, 0, OPEN_EXISTING));
}

TEST_F(FilesTest, SharingBetweenOpenHandles) {
    std::string path = Dir() / "shared.bin";
    ASSERT_TRUE(PutFile(path, "data"));
    HANDLE writer = Open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION),
              OpenError(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    // Without data access a file can still be looked at.
    HANDLE probe = Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, probe);
    EXPECT_EQ(4u, GetFileSize(probe, nullptr));
    CloseHandle(probe);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(writer);

    HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE second = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION),
              OpenError(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    // Nor may a new opener deny what the open handles already do.
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), OpenError(path, GENERIC_READ, 0, OPEN_EXISTING));
    CloseHandle(reader);
    CloseHandle(second);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(FilesTest, ReadingWritingAndTheFilePointer) {
    std::string path = Dir() / "pointer.bin";
    HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_TRUE(Write(file, "hello world"));
    EXPECT_EQ("<failed>", Read(file, 5));  // not opened for reading
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(6u, SetFilePointer(file, 6, nullptr, FILE_BEGIN));
    EXPECT_TRUE(Write(file, "WORLD!"));
    EXPECT_EQ(12u, GetFileSize(file, nullptr));
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -20, nullptr, FILE_CURRENT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);

    file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ("hello ", Read(file, 6));
    EXPECT_EQ(9u, SetFilePointer(file, -3, nullptr, FILE_END));
    EXPECT_EQ("LD!", Read(file, 100));
    EXPECT_EQ("", Read(file, 100));  // at the end: success, nothing read
    EXPECT_FALSE(Write(file, "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(file);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(FilesTest, ReadOnlyFilesRefuseWritingAndDeletion) {
    std::string path = Dir() / "locked.cfg";
    ASSERT_TRUE(PutFile(path, "keep"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("keep", FileText(path));
    // Wine keeps read-only as Unix permissions, which do not stop root.
    if (ON_STAND_IN) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenError(path, GENERIC_WRITE, 0, OPEN_EXISTING));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenError(path, GENERIC_WRITE, 0, CREATE_ALWAYS));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ("keep", FileText(path));
        ASSERT_TRUE(PutFile(Dir() / "new.cfg", "new"));
        EXPECT_FALSE(MoveFileExA((Dir() / "new.cfg").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST_F(FilesTest, DirectoriesAreCreatedAndRemovedOneLevelAtATime) {
    std::string top = Dir() / "top";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA((top + "\\inner").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_TRUE(CreateDirectoryA(top.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(top.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(CreateDirectoryA((top + "\\inner").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA(top.c_str()));
    ASSERT_TRUE(PutFile(top + "\\file", "x"));
    EXPECT_FALSE(CreateDirectoryA((top + "\\FILE").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

    EXPECT_FALSE(RemoveDirectoryA(top.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());
    EXPECT_FALSE(RemoveDirectoryA((top + "\\file").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
    EXPECT_FALSE(RemoveDirectoryA((top + "\\gone").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_TRUE(DeleteFileA((top + "\\file").c_str()));
    EXPECT_TRUE(RemoveDirectoryA((top + "\\Inner").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(top.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(top.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FilesTest, MovingReplacesOnlyWhenAskedAndNeverAFileInUse) {
    std::string source = Dir() / "new.cfg";
    std::string target = Dir() / "live.cfg";
    ASSERT_TRUE(PutFile(source, "new"));
    ASSERT_TRUE(PutFile(target, "old"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA(source.c_str(), target.c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

    HANDLE open = Open(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(open);

    EXPECT_TRUE(MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ("new", FileText(target));
    EXPECT_FALSE(FileExists(source));
    EXPECT_FALSE(MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_TRUE(MoveFileExA(target.c_str(), (Dir() / "renamed.cfg").c_str(), 0));
    EXPECT_EQ("new", FileText(Dir() / "RENAMED.CFG"));
}

TEST_F(FilesTest, TemporaryNamesAreUniqueFilesInTheDirectory) {
    char name[MAX_PATH];
    UINT number = GetTempFileNameA(Dir().Path().c_str(), "cfg", 0, name);
    ASSERT_NE(0u, number);
    EXPECT_TRUE(FileExists(name));
    char second[MAX_PATH];
    EXPECT_NE(number, GetTempFileNameA(Dir().Path().c_str(), "cfg", 0, second));
    EXPECT_STRNE(name, second);
    EXPECT_EQ(0x1234u, GetTempFileNameA(Dir().Path().c_str(), "cfgfile", 0x1234, name));
    EXPECT_STRCASEEQ((Dir() / "cfg1234.TMP").c_str(), name);
    EXPECT_FALSE(FileExists(name));  // a given number only forms the name
    EXPECT_EQ(0u, GetTempFileNameA((Dir() / "none").c_str(), "cfg", 0, name));
}

// Windows refuses them in the ANSI functions; Wine does not.
TEST_F(FilesTest, PathsOfMaxPathCharactersAreRefused) {
    REQUIRE_STAND_IN();
    std::string name(MAX_PATH - Dir().Path().size() - 1, 'n');
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(Dir() / name, GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}

// ---- the stand-in machine -----------------------------------------------------------
TEST_F(FilesTest, FreshMachineHasDriveCWithWindowsAndSetup) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    EXPECT_TRUE(DirectoryExists("C:\\WINDOWS"));
    EXPECT_TRUE(DirectoryExists("c:\\setup"));
    EXPECT_TRUE(DirectoryExists("C:\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), OpenError("D:\\x", GENERIC_WRITE, 0, CREATE_ALWAYS));
    hostwin::AddDrive('d');
    EXPECT_TRUE(PutFile("D:\\x", "on d"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_NETPATH), OpenError("\\\\srv\\dist\\x", GENERIC_READ, 0, OPEN_EXISTING));
    hostwin::AddShare("Srv", "Dist");
    EXPECT_TRUE(PutFile("\\\\SRV\\dist\\x", "on the share"));
    EXPECT_EQ("on the share", FileText("//srv/DIST/X"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_NET_NAME), OpenError("\\\\srv\\other\\x", GENERIC_READ, 0, OPEN_EXISTING));
    // Names keep the case they were first written in.
    EXPECT_TRUE(PutFile("C:\\SETUP\\Mixed.Case", "m"));
    EXPECT_TRUE(PutFile("c:\\setup\\MIXED.CASE", "M"));
    EXPECT_EQ(hostwin::HostRoot() + "/C/SETUP/Mixed.Case", hostwin::HostPath("C:\\setup\\mixed.case"));

    hostwin::Reset();
    EXPECT_FALSE(FileExists("C:\\SETUP\\Mixed.Case"));
    EXPECT_FALSE(DirectoryExists("D:\\"));
#endif
}

TEST_F(FilesTest, CurrentDirectoryMustExist) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\missing"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_TRUE(PutFile("C:\\SETUP\\file", ""));
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\SETUP\\file"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
    EXPECT_FALSE(SetCurrentDirectoryA("E:"));
    EXPECT_EQ("C:\\", hostwin::CurrentDirectory());

    EXPECT_TRUE(SetCurrentDirectoryA("c:/windows/"));
    EXPECT_EQ("C:\\windows", hostwin::CurrentDirectory());
    EXPECT_TRUE(SetCurrentDirectoryA("..\\SETUP"));
    EXPECT_EQ("C:\\SETUP", hostwin::CurrentDirectory());
    EXPECT_TRUE(SetCurrentDirectoryA("C:"));  // the current directory of drive C:
    EXPECT_EQ("C:\\SETUP", hostwin::CurrentDirectory());
    EXPECT_FALSE(RemoveDirectoryA("C:\\SETUP\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
#endif
}

TEST_F(FilesTest, FullDiskFailsTheWriteThatDoesNotFit) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    HANDLE file = Open(Dir() / "big", GENERIC_WRITE, 0, CREATE_ALWAYS);
    hostwin::SetDiskFullAfter(100);
    EXPECT_TRUE(Write(file, std::string(60, 'a')));
    DWORD written = 0xdeadbeef;
    EXPECT_FALSE(WriteFile(file, std::string(60, 'b').data(), 60, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
    EXPECT_EQ(0u, written);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(Write(file, std::string(60, 'c')));  // overwriting needs no room
    SetFilePointer(file, 0, nullptr, FILE_END);
    EXPECT_TRUE(Write(file, std::string(40, 'd')));
    EXPECT_FALSE(Write(file, "e"));
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileA((Dir() / "big").c_str()));  // its room comes back
    EXPECT_TRUE(PutFile(Dir() / "again", std::string(100, 'f')));
#endif
}

TEST_F(FilesTest, InjectedReadWriteFlushAndMoveFaults) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    std::string path = Dir() / "faulty.bin";
    ASSERT_TRUE(PutFile(path, std::string(100, 'x')));
    hostwin::FailReadAt(path.c_str(), 50);
    HANDLE file = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(40u, Read(file, 40).size());
    EXPECT_EQ("<failed>", Read(file, 40));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CRC), GetLastError());
    CloseHandle(file);

    std::string target = Dir() / "TARGET.bin";
    hostwin::FailWriteAt(target.c_str(), 10);
    file = Open(Dir() / "target.BIN", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_TRUE(Write(file, "12345678"));
    EXPECT_FALSE(Write(file, "9abc"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), GetLastError());
    CloseHandle(file);

    hostwin::ShortWriteAt(path.c_str(), 30);
    hostwin::FailFlush(path.c_str(), ERROR_DISK_FULL);
    file = Open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "0123456789012345678901234567890123456789", 40, &written, nullptr));
    EXPECT_EQ(30u, written);
    EXPECT_FALSE(FlushFileBuffers(file));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
    CloseHandle(file);

    hostwin::FailMove(target.c_str());
    EXPECT_FALSE(MoveFileExA(path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(FileExists(path));
#endif
}

TEST_F(FilesTest, AFileHeldByAnotherProgramWithoutSharing) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    std::string path = Dir() / "held.sys";
    EXPECT_FALSE(hostwin::HoldOpen(path.c_str()));  // missing
    ASSERT_TRUE(PutFile(path, "driver"));
    ASSERT_TRUE(hostwin::HoldOpen(path.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), OpenError(path, GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION),
              OpenError(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_EQ(0u, OpenError(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(0, hostwin::OpenFileCount());  // the other program's handle is not ours
    hostwin::ReleaseHeld(path.c_str());
    EXPECT_TRUE(PutFile(path, "replaced"));
#endif
}

TEST_F(FilesTest, HandlesAreCountedReusedAndNeverInTheExpandersRange) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    ASSERT_TRUE(PutFile(Dir() / "f", "x"));
    int before = hostwin::OpenHandleCount();
    std::vector<HANDLE> handles;
    std::set<ULONG_PTR> values;
    for (int i = 0; i < 300; ++i) {
        handles.push_back(Open(Dir() / "f", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
        values.insert(reinterpret_cast<ULONG_PTR>(handles.back()));
    }
    EXPECT_EQ(before + 300, hostwin::OpenHandleCount());
    EXPECT_EQ(300, hostwin::OpenFileCount());
    auto expanderRange = values.lower_bound(0x400);
    EXPECT_TRUE(expanderRange == values.end() || *expanderRange >= 0x410);
    HANDLE freed = handles[10];
    CloseHandle(freed);
    HANDLE reused = Open(Dir() / "f", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(freed, reused);
    handles[10] = reused;
    for (HANDLE handle : handles) CloseHandle(handle);
    EXPECT_EQ(before, hostwin::OpenHandleCount());
    EXPECT_EQ(0, hostwin::OpenFileCount());
#endif
}

}  // namespace
