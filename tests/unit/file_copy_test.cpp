// Placing and expanding the listed files into the driver directories.
#include <string>
#include <vector>

#include "core/format.h"
#include "core/setup_state.h"
#include "install/file_copy.h"
#include "install/manifest.h"
#include "support/install_fixture.h"
#include "support/message_boxes.h"

namespace {

const std::string CANNOT_OPEN_END =
    " cannot be opened. Maybe the media is damaged.\n\nLoxbrine possibly cannot operate correctly without this "
    "file. Do you want to continue with the installation?";

class FileCopyTest : public InstallTest {
protected:
    // Reads and measures the list as preparation does, then copies.
    int Install(const std::string& list) {
        WriteList(list);
        FreeManifest();
        EXPECT_GT(ReadFileManifest(Owner()), 0);
        ComputeTotalBytes();
        setupState.progress = 0;
        progressAtRedraws.clear();
        CreateDriverDirectories();
        return CopyManifestFiles(Owner());
    }
    std::string Bfax(const std::string& name) const { return Win("bfax\\" + name); }
};

TEST_F(FileCopyTest, BuildFilePathsForBothPlacements) {
    ManifestEntry entry = {};
    CopyText(entry.name, sizeof entry.name, "drivers\\bfax.sys");
    char compressed[FILE_PATH_SIZE], plain[FILE_PATH_SIZE], destination[FILE_PATH_SIZE], name[FILE_PATH_SIZE];
    ASSERT_EQ(1, BuildFilePaths(&entry, compressed, plain, destination, name, 0));
    EXPECT_EQ(Dist("drivers\\bfax.sys"), plain);
    EXPECT_EQ(Dist("drivers\\bfax.sy_"), compressed);
    EXPECT_EQ(Bfax("bfax.sys"), destination);
    EXPECT_STREQ("bfax.sys", name);
    entry.flags = ENTRY_SUBDIR;
    CopyText(entry.name, sizeof entry.name, "sub/dir/btcall.cfg");
    ASSERT_EQ(1, BuildFilePaths(&entry, compressed, plain, destination, nullptr, 0));
    EXPECT_EQ(Bfax("morvik\\btcall.cfg"), destination);
    EXPECT_FALSE(DirectoryExists(Bfax("morvik")));
    EXPECT_EQ(0, BuildFilePaths(&entry, compressed, nullptr, destination, name, 0));
    EXPECT_EQ(0, BuildFilePaths(nullptr, compressed, plain, destination, name, 0));
    CopyText(entry.name, sizeof entry.name, "sub\\..");
    EXPECT_EQ(0, BuildFilePaths(&entry, compressed, plain, destination, name, 1));
}

TEST_F(FileCopyTest, PlainFilesAreCopiedAndCompressedOnesExpanded) {
    ASSERT_TRUE(MakeDirectory(Dist("drivers")));
    ASSERT_TRUE(PutFile(Dist("drivers\\bfax.sy_"), Fixture("text.tx_")));
    ASSERT_TRUE(PutFile(Dist("btcall.cfg"), Fixture("small.ini")));
    ASSERT_TRUE(PutFile(Dist("runfaxin.exe"), "the plain form is never looked at"));
    ASSERT_TRUE(PutFile(Dist("runfaxin.ex_"), Fixture("noise.bi_")));
    EXPECT_EQ(3, Install("drivers\\bfax.sys,x,0\nbtcall.cfg,A,0\nrunfaxin.exe,x,1\n"));
    EXPECT_TRUE(Fixture("text.txt") == FileText(Bfax("bfax.sys")));
    EXPECT_TRUE(Fixture("small.ini") == FileText(Bfax("morvik\\btcall.cfg")));
    EXPECT_TRUE(Fixture("noise.bin") == FileText(Bfax("runfaxin.exe")));
    EXPECT_FALSE(FileExists(Bfax("drivers\\bfax.sys")));
    EXPECT_EQ("Installing runfaxin.exe", Status());
    EXPECT_EQ(1000, setupState.progress);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(Bfax("runfaxin.exe").c_str()));
#if ON_STAND_IN
    EXPECT_EQ((std::vector<std::string>{"Installing drivers\\bfax.sys", "Installing btcall.cfg",
                                        "Installing runfaxin.exe"}),
              hostwin::TextHistory(GetDlgItem(Owner(), 1023)));
    EXPECT_EQ(0, hostwin::OpenHandleCount());
    EXPECT_EQ(0, hostwin::OpenLzFileCount());
#endif
}

TEST_F(FileCopyTest, PresentFilesStayUnlessMarkedForOverwriting) {
    ASSERT_TRUE(PutFile(Dist("keep.sys"), "new keep"));
    ASSERT_TRUE(PutFile(Dist("swap.sys"), "new"));
    ASSERT_TRUE(MakeDirectory(Win("bfax")));
    ASSERT_TRUE(PutFile(Bfax("keep.sys"), "installed before"));
    ASSERT_TRUE(PutFile(Bfax("swap.sys"), "a longer file installed before"));
    // Left by a run cut off while copying: removed, whether copied now or not.
    ASSERT_TRUE(PutFile(Bfax("keep.sys.part"), "new"));
    ASSERT_TRUE(PutFile(Bfax("swap.sys.part"), "ne"));
    EXPECT_EQ(1, Install("keep.sys,x,0\nswap.sys,x,1\n"));
    EXPECT_EQ("installed before", FileText(Bfax("keep.sys")));
    EXPECT_EQ("new", FileText(Bfax("swap.sys")));  // replaced whole, also when shorter
    EXPECT_FALSE(FileExists(Bfax("keep.sys.part")));
    EXPECT_FALSE(FileExists(Bfax("swap.sys.part")));
    EXPECT_EQ("Installing swap.sys", Status());
    // A second run finds everything in place and nothing to replace.
    EXPECT_EQ(0, Install("keep.sys,x,0\n"));
    EXPECT_EQ(1000, setupState.progress);
}

TEST_F(FileCopyTest, AMissingFileIsAskedAboutNamingItsCompressedForm) {
    ASSERT_TRUE(PutFile(Dist("b.sys"), "b"));
    ASSERT_TRUE(PutFile(Dist("d.sys"), "d"));
    MessageBoxWatch boxes({IDYES, IDNO});
    EXPECT_EQ(0, Install("a.sys,x,1\nb.sys,x,1\nc.sys,x,1\nd.sys,x,1\n"));
    ASSERT_EQ(2u, boxes.Boxes().size());
    const ShownBox& box = boxes.Boxes()[0];
    EXPECT_EQ("The file " + Dist("a.sy_") + CANNOT_OPEN_END, box.text);
    EXPECT_EQ("Quorindel Loxbrine", box.caption);
    EXPECT_EQ(Owner(), box.owner);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), box.buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.icon);
    EXPECT_EQ("The file " + Dist("c.sy_") + CANNOT_OPEN_END, boxes.Boxes()[1].text);
    EXPECT_EQ("b", FileText(Bfax("b.sys")));   // Yes went on
    EXPECT_FALSE(FileExists(Bfax("d.sys")));  // No stopped
    EXPECT_EQ("Installing c.sys", Status());
    EXPECT_EQ(1000, setupState.progress);
}

TEST_F(FileCopyTest, ADestinationInUseIsSkippedSilently) {
    ASSERT_TRUE(PutFile(Dist("busy.sys"), "new driver"));
    ASSERT_TRUE(PutFile(Dist("free.sys"), "free"));
    ASSERT_TRUE(MakeDirectory(Win("bfax")));
    ASSERT_TRUE(PutFile(Bfax("busy.sys"), "running driver"));
    // Held open without sharing, as a running program would.
    HANDLE busy = CreateFileA(Bfax("busy.sys").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);
    MessageBoxWatch boxes;
    EXPECT_EQ(2, Install("busy.sys,x,1\nfree.sys,x,1\n"));
    CloseHandle(busy);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ("running driver", FileText(Bfax("busy.sys")));
    EXPECT_EQ("free", FileText(Bfax("free.sys")));
}

TEST_F(FileCopyTest, AFileThatCannotBePlacedAtAllEndsTheStep) {
    ASSERT_TRUE(PutFile(Dist("first.sys"), "first"));
    ASSERT_TRUE(PutFile(Dist("blocked.sys"), "blocked"));
    ASSERT_TRUE(PutFile(Dist("last.sys"), "last"));
    // A folder of the file's name: there is no installed copy to keep.
    ASSERT_TRUE(MakeDirectory(Win("bfax")));
    ASSERT_TRUE(MakeDirectory(Bfax("blocked.sys")));
    MessageBoxWatch boxes;
    EXPECT_EQ(0, Install("first.sys,x,1\nblocked.sys,x,1\nlast.sys,x,1\n"));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ("first", FileText(Bfax("first.sys")));
    EXPECT_FALSE(FileExists(Bfax("last.sys")));
    EXPECT_EQ(1000, setupState.progress);
    RemoveDirectoryA(Bfax("blocked.sys").c_str());
}

TEST_F(FileCopyTest, DataEndingBeforeItsExpandedSizeIsAskedAboutAndReplacesNothing) {
    // Header: 20 bytes; the data gives "abc" only.
    std::string cut = std::string("SZDD\x88\xF0\x27\x33" "Ax\x14\x00\x00\x00", 14) + std::string("\x07" "abc\xF0", 5);
    ASSERT_TRUE(PutFile(Dist("cut.sy_"), cut));
    ASSERT_TRUE(PutFile(Dist("new.sy_"), cut));
    ASSERT_TRUE(PutFile(Dist("next.sys"), "next"));
    ASSERT_TRUE(MakeDirectory(Win("bfax")));
    ASSERT_TRUE(PutFile(Bfax("cut.sys"), "the installed copy"));
    MessageBoxWatch boxes({IDYES, IDYES});
    EXPECT_EQ(3, Install("cut.sys,x,1\nnew.sys,x,1\nnext.sys,x,1\n"));
    ASSERT_EQ(2u, boxes.Boxes().size());
    EXPECT_EQ("The file " + Dist("cut.sy_") + CANNOT_OPEN_END, boxes.Boxes()[0].text);
    EXPECT_EQ("the installed copy", FileText(Bfax("cut.sys")));
    EXPECT_FALSE(FileExists(Bfax("new.sys")));
    EXPECT_FALSE(FileExists(Bfax("cut.sys.part")));
    EXPECT_EQ("next", FileText(Bfax("next.sys")));
}

TEST_F(FileCopyTest, ADistributionFolderOf200CharactersIsMeasuredAndInstalledWhole) {
    // Deeper than the 128 characters of a path that LZOpenFileA keeps.
    std::string folder = Dist("share");
    ASSERT_TRUE(MakeDirectory(folder));
    while (folder.size() < 200) {
        folder += "\\a folder on a network share";
        ASSERT_TRUE(MakeDirectory(folder));
    }
    CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, folder.c_str());
    ASSERT_TRUE(PutFile(folder + "\\bfax.sy_", Fixture("text.tx_")));
    ASSERT_TRUE(PutFile(folder + "\\notes.tx_", "stored under its compressed name"));
    ASSERT_TRUE(PutFile(folder + "\\runfaxin.exe", "plain"));
    ASSERT_TRUE(PutFile(folder + "\\Files.ini", "bfax.sys,x,1\nnotes.txt,x,1\nrunfaxin.exe,x,1\n"));
    MessageBoxWatch boxes;
    ASSERT_EQ(3, ReadFileManifest(Owner()));
    std::vector<ListedEntry> measured = Entries();
    EXPECT_EQ(Fixture("text.txt").size(), measured[0].expandedSize);
    EXPECT_EQ(32u, measured[1].expandedSize);
    ComputeTotalBytes();
    CreateDriverDirectories();
    EXPECT_EQ(3, CopyManifestFiles(Owner()));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(Fixture("text.txt") == FileText(Bfax("bfax.sys")));
    EXPECT_EQ("stored under its compressed name", FileText(Bfax("notes.txt")));
    EXPECT_EQ("plain", FileText(Bfax("runfaxin.exe")));
}

TEST_F(FileCopyTest, NamesThatTryToLeaveTheDirectoryLandInIt) {
    ASSERT_TRUE(MakeDirectory(Dist("x")));
    ASSERT_TRUE(PutFile(Dir() / "evil.dll", "outside"));
    EXPECT_EQ(1, Install("x/../../evil.dll,x,1\nx\\..\\..,x,1\n"));
    EXPECT_EQ("outside", FileText(Bfax("evil.dll")));
    EXPECT_EQ("outside", FileText(Dir() / "evil.dll"));
    EXPECT_FALSE(FileExists(Win("evil.dll")));
}

// ---- what only the stand-in can show -------------------------------------------------
TEST_F(FileCopyTest, ProgressFollowsEveryChunkAndCountsSkippedFiles) {
    REQUIRE_STAND_IN();
    ASSERT_TRUE(PutFile(Dist("big.bin"), std::string(70000, 'b')));
    ASSERT_TRUE(PutFile(Dist("kept.bin"), std::string(10000, 'k')));
    ASSERT_TRUE(PutFile(Dist("small.bin"), std::string(20000, 's')));
    ASSERT_TRUE(MakeDirectory(Win("bfax")));
    ASSERT_TRUE(PutFile(Bfax("kept.bin"), "present"));
    MessageBoxWatch boxes({IDYES});
    EXPECT_EQ(3, Install("big.bin,x,1\nmissing.bin,x,1\nkept.bin,x,0\nsmall.bin,x,1\n"));
    // 100000 bytes in all, in chunks of 32768 bytes; the kept file's 10000
    // bytes show with the next chunk; the end redraws once more.
    EXPECT_EQ((std::vector<int>{328, 655, 700, 1000, 1000}), progressAtRedraws);
}

TEST_F(FileCopyTest, NothingMeasuredLeavesProgressAloneUntilTheEnd) {
    REQUIRE_STAND_IN();
    ASSERT_TRUE(PutFile(Dist("empty.sys"), ""));
    WriteList("empty.sys,x,1\nlate.sys,x,1\n");
    ASSERT_EQ(2, ReadFileManifest(Owner()));
    ComputeTotalBytes();
    ASSERT_EQ(0u, setupState.totalBytes);
    ASSERT_TRUE(PutFile(Dist("late.sys"), "appeared after measuring"));
    setupState.progress = 0;
    progressAtRedraws.clear();
    EXPECT_EQ(2, CopyManifestFiles(Owner()));
    EXPECT_EQ((std::vector<int>{1000}), progressAtRedraws);
    EXPECT_EQ("appeared after measuring", FileText(Bfax("late.sys")));
}

TEST_F(FileCopyTest, DirectoriesAreCreatedFromTheTopDown) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, "C:\\WINDOWS");
    ASSERT_TRUE(PutFile(Dist("a.sys"), "a"));
    ASSERT_TRUE(PutFile(Dist("b.cfg"), "b"));
    WriteList("a.sys,x,1\nb.cfg,A,1\n");
    ReadFileManifest(Owner());
    size_t before = hostwin::DirectoryCreations().size();
    EXPECT_EQ(2, CopyManifestFiles(Owner()));
    std::vector<std::string> created;
    for (size_t i = before; i < hostwin::DirectoryCreations().size(); ++i) {
        const auto& call = hostwin::DirectoryCreations()[i];
        created.push_back(call.path + (call.result ? " made" : ""));
    }
    EXPECT_EQ((std::vector<std::string>{"C:", "C:\\WINDOWS", "C:\\WINDOWS\\bfax made", "C:", "C:\\WINDOWS",
                                        "C:\\WINDOWS\\bfax", "C:\\WINDOWS\\bfax\\morvik made"}),
              created);
    EXPECT_EQ("b", FileText("C:\\WINDOWS\\bfax\\morvik\\b.cfg"));
#endif
}

TEST_F(FileCopyTest, AnAbortBetweenChunksReplacesNothing) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    ASSERT_TRUE(PutFile(Dist("first.sys"), "first"));
    ASSERT_TRUE(PutFile(Dist("large.sys"), std::string(100000, 'L')));
    ASSERT_TRUE(PutFile(Dist("packed.sy_"), Fixture("text.tx_")));
    ASSERT_TRUE(PutFile(Dist("last.sys"), "last"));
    ASSERT_TRUE(MakeDirectory(Win("bfax")));
    for (const char* aborted : {"large.sys", "packed.sys"}) {
        // The user confirms the abort while the second chunk of a file is read.
        int chunks = 0;
        std::string target = Bfax(aborted);
        ASSERT_TRUE(PutFile(target, "installed before"));
        hostwin::SetRedrawHandler([&](HWND, BOOL) {
            if (FileExists(target + ".part") && ++chunks == 2) setupState.abortRequested = 1;
        });
        MessageBoxWatch boxes;
        std::string list = std::string("first.sys,x,1\n") + aborted + ",x,1\nmissing.sys,x,1\nlast.sys,x,1\n";
        EXPECT_EQ(0, Install(list)) << aborted;
        setupState.abortRequested = 0;
        EXPECT_EQ(2, chunks) << aborted;
        EXPECT_EQ("first", FileText(Bfax("first.sys")));
        EXPECT_EQ("installed before", FileText(target)) << aborted;
        EXPECT_FALSE(FileExists(target + ".part")) << aborted;
        EXPECT_FALSE(FileExists(Bfax("last.sys")));
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_EQ(0, hostwin::OpenHandleCount());
        EXPECT_EQ(0, hostwin::OpenLzFileCount());
        DeleteFileA(Bfax("first.sys").c_str());
    }
#endif
}

}  // namespace
