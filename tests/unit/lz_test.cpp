// The LZ expander as LZ32 has it: the stand-in's, and under Wine the real
// one, expand the same files to the same bytes.
#include <windows.h>
// lzexpand.h needs windows.h before it.
#include <lzexpand.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/platform.h"

namespace {

const int LZ_FIRST_HANDLE = 0x400;

// A compressed file by hand: header with the expanded size, then the data.
std::string Szdd(std::uint32_t expandedSize, const std::string& data, char mode = 'A') {
    std::string file("SZDD\x88\xF0\x27\x33", 8);
    file += mode;
    file += 'x';
    for (int i = 0; i < 4; ++i) file += static_cast<char>((expandedSize >> (8 * i)) & 0xFF);
    return file + data;
}

// "abc", then a reference 9 bytes long to where "abc" was written (the
// window is written from 0xFF0 on): it overlaps itself.
const std::string ABC_REPEATED("\x07" "abc" "\xF0\xF6", 6);

class LzTest : public ScratchTest {
protected:
    INT OpenLz(const std::string& path) {
        OFSTRUCT reopen;
        std::memset(&reopen, 0xA5, sizeof reopen);
        std::vector<char> name(path.begin(), path.end());
        name.push_back('\0');
        return LZOpenFileA(name.data(), &reopen, OF_READ);
    }
    // Everything LZRead gives, in chunks of the given size.
    static std::string ReadAll(INT file, int chunk = 32768) {
        std::string bytes;
        std::vector<char> buffer(chunk);
        INT got;
        while ((got = LZRead(file, buffer.data(), chunk)) > 0) bytes.append(buffer.data(), got);
        return bytes;
    }
    INT Put(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(PutFile(Dir() / name, bytes));
        return OpenLz(Dir() / name);
    }
};

TEST_F(LzTest, ExpandsCompressedFilesByteForByteAndMeasuresThemFromTheHeader) {
    for (const char* name : {"text.txt", "noise.bin", "blanks.dat", "window.bin", "small.ini"}) {
        std::string original = Fixture(name);
        INT file = Put(CompressedName(name), Fixture(CompressedName(name)));
        ASSERT_GE(file, LZ_FIRST_HANDLE) << name;
        EXPECT_LT(file, LZ_FIRST_HANDLE + 16);
        EXPECT_EQ(static_cast<LONG>(original.size()), LZSeek(file, 0, 2)) << name;
        EXPECT_EQ(0, LZSeek(file, 0, 0));
        std::string expanded = ReadAll(file, name[0] == 's' ? 7 : 32768);
        EXPECT_EQ(original.size(), expanded.size()) << name;
        EXPECT_TRUE(original == expanded) << name;
        EXPECT_LE(LZRead(file, &expanded[0], 1), 0);  // at the end (LZERROR_READ on Windows)
        LZClose(file);
    }
}

TEST_F(LzTest, HandBuiltDataReferencesItselfAndTheBlankWindow) {
    INT file = Put("abc.tx_", Szdd(12, ABC_REPEATED));
    EXPECT_EQ("abcabcabcabc", ReadAll(file));
    LZClose(file);
    // A reference to the start of the window, which holds blanks.
    file = Put("blank.tx_", Szdd(6, std::string("\x02\x00\x02x", 4)));
    EXPECT_EQ("     x", ReadAll(file));
    LZClose(file);
    file = Put("empty.tx_", Szdd(0, ""));
    EXPECT_GE(file, LZ_FIRST_HANDLE);
    EXPECT_EQ(0, LZSeek(file, 0, 2));
    EXPECT_EQ("", ReadAll(file));
    LZClose(file);
}

TEST_F(LzTest, DataEndingBeforeTheHeaderSizeComesOutShort) {
    // The header promises 20 bytes; the reference that would follow "abc"
    // lacks its second byte.
    INT file = Put("cut.tx_", Szdd(20, ABC_REPEATED.substr(0, 5)));
    EXPECT_EQ(20, LZSeek(file, 0, 2));
    EXPECT_EQ(0, LZSeek(file, 0, 0));
    EXPECT_EQ("abc", ReadAll(file));
    LZClose(file);
}

TEST_F(LzTest, AHeaderSizeBeyondLongCannotBeSoughtToButTheStartCan) {
    INT file = Put("huge.tx_", Szdd(0xFFFFFFF0u, ABC_REPEATED));
    EXPECT_EQ(LZERROR_BADVALUE, LZSeek(file, 0, 2));
    EXPECT_EQ(0, LZSeek(file, 0, 0));
    EXPECT_EQ("abcabcabcabc", ReadAll(file));
    LZClose(file);
}

TEST_F(LzTest, SeeksForwardAndBackWithinTheExpandedFile) {
    std::string original = Fixture("text.txt");
    INT file = Put("text.tx_", Fixture("text.tx_"));
    char buffer[16];
    EXPECT_EQ(40000, LZSeek(file, 40000, 0));
    ASSERT_EQ(16, LZRead(file, buffer, 16));
    EXPECT_EQ(original.substr(40000, 16), std::string(buffer, 16));
    EXPECT_EQ(40016, LZSeek(file, 0, 1));
    EXPECT_EQ(5, LZSeek(file, 5, 0));  // backwards: expanded again from the start
    ASSERT_EQ(16, LZRead(file, buffer, 16));
    EXPECT_EQ(original.substr(5, 16), std::string(buffer, 16));
    EXPECT_EQ(LZERROR_BADVALUE, LZSeek(file, static_cast<LONG>(original.size()) + 1, 0));
    EXPECT_EQ(LZERROR_BADVALUE, LZSeek(file, -1, 0));
    EXPECT_EQ(21, LZSeek(file, 0, 1));  // a refused seek leaves the position
    LZClose(file);
}

TEST_F(LzTest, FilesWithoutAnSzddHeaderPassThroughUnchanged) {
    const std::string plain = "plain text, not compressed";
    const std::string notSzdd = "SZDE\x88\xF0\x27\x33" "A" "x" "\x05\x00\x00\x00" "hello";
    const std::string otherMode = Szdd(12, ABC_REPEATED, 'B');
    const std::string shortHeader("SZDD\x88\xF0\x27\x33", 8);
    for (const std::string& bytes : {plain, notSzdd, otherMode, shortHeader}) {
        INT file = Put("plain.tx_", bytes);
        ASSERT_GE(file, 0);
        EXPECT_TRUE(file < LZ_FIRST_HANDLE || file >= LZ_FIRST_HANDLE + 16);
        EXPECT_EQ(static_cast<LONG>(bytes.size()), LZSeek(file, 0, 2));
        EXPECT_EQ(0, LZSeek(file, 0, 0));
        EXPECT_TRUE(bytes == ReadAll(file)) << bytes;
        LZClose(file);
        // LZInit hands such a file back to be read as it is, from its
        // start, and refuses another mode.
        HANDLE opened = CreateFileA((Dir() / "plain.tx_").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        INT handle = static_cast<INT>(reinterpret_cast<ULONG_PTR>(opened));
        EXPECT_EQ(bytes == otherMode ? LZERROR_UNKNOWNALG : handle, LZInit(handle));
        EXPECT_EQ(0, LZSeek(handle, 0, 1));
        LZClose(handle);
    }
}

TEST_F(LzTest, MissingFilesFailAndTheCompressedNameIsTriedToo) {
    OFSTRUCT reopen;
    std::memset(&reopen, 0xA5, sizeof reopen);
    std::string missing = Dir() / "missing.tx_";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LZERROR_BADINHANDLE, LZOpenFileA(&missing[0], &reopen, OF_READ));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, reopen.nErrCode);

    // Asked for text.txt, the expander opens text.tx_ when only that exists.
    ASSERT_TRUE(PutFile(Dir() / "text.tx_", Fixture("text.tx_")));
    INT file = OpenLz(Dir() / "text.txt");
    ASSERT_GE(file, LZ_FIRST_HANDLE);
    EXPECT_TRUE(Fixture("text.txt") == ReadAll(file));
    LZClose(file);
}

TEST_F(LzTest, SixteenFilesExpandAtOnce) {
    std::string compressed = Szdd(12, ABC_REPEATED);
    std::vector<INT> files;
    for (int i = 0; i < 17; ++i) files.push_back(Put("f" + std::to_string(i) + ".tx_", compressed));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(LZ_FIRST_HANDLE + i, files[i]);
    // The seventeenth is refused (Windows) or handed out unexpanded (Wine).
    EXPECT_TRUE(files[16] < LZ_FIRST_HANDLE || files[16] >= LZ_FIRST_HANDLE + 16);
    if (files[16] < 0) files.pop_back();
    LZClose(files[3]);
    INT again = OpenLz(Dir() / "f3.tx_");
    EXPECT_EQ(LZ_FIRST_HANDLE + 3, again);  // the lowest free handle
    files[3] = again;
    for (INT file : files) LZClose(file);
}

TEST_F(LzTest, PathsThatDoNotFitTheOpenFileRecordAreNotOpenedButLzInitTakesTheirFiles) {
    std::string name = std::string(OFS_MAXPATHNAME - Dir().Path().size(), 'n') + ".tx_";
    INT file = Put(name, Szdd(12, ABC_REPEATED));
    EXPECT_LT(file, 0);
    if (file >= 0) LZClose(file);
    HANDLE opened = CreateFileA((Dir() / name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, opened);
    file = LZInit(static_cast<INT>(reinterpret_cast<ULONG_PTR>(opened)));
    ASSERT_GE(file, LZ_FIRST_HANDLE);
    EXPECT_EQ(12, LZSeek(file, 0, 2));
    EXPECT_EQ(0, LZSeek(file, 0, 0));
    EXPECT_EQ("abcabcabcabc", ReadAll(file));
    LZClose(file);  // closes the file too
}

TEST_F(LzTest, HandlesAreReleasedAndSharingAndReadFaultsReachTheExpander) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    int before = hostwin::OpenHandleCount();
    INT file = Put("text.tx_", Fixture("text.tx_"));
    INT plain = Put("plain.txt", "plain");
    EXPECT_EQ(before + 2, hostwin::OpenHandleCount());
    EXPECT_EQ(1, hostwin::OpenLzFileCount());
    LZClose(file);
    LZClose(plain);
    EXPECT_EQ(before, hostwin::OpenHandleCount());
    EXPECT_EQ(0, hostwin::OpenLzFileCount());

    std::string path = Dir() / "text.tx_";
    ASSERT_TRUE(hostwin::HoldOpen(path.c_str()));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LZERROR_BADINHANDLE, OpenLz(path));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    hostwin::ReleaseHeld(path.c_str());

    hostwin::FailReadAt(path.c_str(), 5000);
    file = OpenLz(path);
    EXPECT_EQ(70000, LZSeek(file, 0, 2));  // the header is still read
    LZSeek(file, 0, 0);
    std::string expanded = ReadAll(file);
    EXPECT_GT(expanded.size(), 0u);
    EXPECT_LT(expanded.size(), 70000u);
    EXPECT_TRUE(Fixture("text.txt").compare(0, expanded.size(), expanded) == 0);
    LZClose(file);
#endif
}

}  // namespace
