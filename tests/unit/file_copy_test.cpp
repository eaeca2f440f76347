// Reading Files.ini, placing and expanding the listed files into the driver
// directories.
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "install/file_copy.h"
#include "install/manifest.h"
#include "support/fixture.h"

namespace {

class FileCopyTest : public InstallTest {
protected:
    // Reads and measures the list as preparation does, then copies.
    int Install(const std::string& list) {
        WriteList(list);
        FreeManifestEntries();
        EXPECT_GT(ReadFileManifest(Owner()), 0);
        ComputeTotalBytes();
        setupState.progress = 0;
        CreateDriverDirectories();
        return CopyManifestFiles(Owner());
    }
    std::string Bfax(const std::string& name) const { return Win("bfax\\" + name); }
};

TEST_F(FileCopyTest, PresentFilesStayUnlessMarkedForOverwriting) {
    ASSERT_TRUE(PutFile(Dist("keep.sys"), "new keep"));
    ASSERT_TRUE(PutFile(Dist("swap.sys"), "new"));
    ASSERT_TRUE(MakeDirectory(Win("bfax")));
    ASSERT_TRUE(PutFile(Bfax("keep.sys"), "installed before"));
    ASSERT_TRUE(PutFile(Bfax("swap.sys"), "a longer file installed before"));
    // Left by a run cut off while copying: removed. A listed file of that
    // name is not one: the copy takes another name.
    ASSERT_TRUE(PutFile(Bfax("keep.sys.part"), "new"));
    ASSERT_TRUE(PutFile(Bfax("swap.sys.part"), "ne"));
    EXPECT_EQ(1, Install("keep.sys,x,0\nswap.sys,x,1\nswap.sys.part,x,0\n"));
    EXPECT_EQ("installed before", FileText(Bfax("keep.sys")));
    EXPECT_EQ("new", FileText(Bfax("swap.sys")));  // replaced whole, also when shorter
    EXPECT_FALSE(FileExists(Bfax("keep.sys.part")));
    EXPECT_EQ("ne", FileText(Bfax("swap.sys.part")));
    EXPECT_EQ("Installing swap.sys", Status());
    // A second run finds everything in place and nothing to replace.
    EXPECT_EQ(0, Install("keep.sys,x,0\n"));
    EXPECT_EQ(1000, setupState.progress);
}

#if ON_STAND_IN
// The program adds itself last, to be copied as it is (not from a packed
// file of its name) and counted; run from that copy, it stays out.
TEST_F(FileCopyTest, TheProgramCopiesItselfButNotOntoItself) {
    ASSERT_TRUE(PutFile(Dist("setup.exe"), "the program"));
    ASSERT_TRUE(PutFile(Dist("setup.ex_"), Fixture("text.tx_")));
    hostwin::SetModuleFileName(Dist("setup.exe").c_str());
    WriteList("setup.ex_,x,1\n");
    ASSERT_EQ(1, ReadFileManifest(Owner()));
    AddProgramEntry();
    ComputeTotalBytes();
    EXPECT_EQ(Fixture("text.txt").size() + 11, setupState.totalBytes);
    EXPECT_EQ(0u, PlainFileSize(Dist("gone.exe").c_str()));
    EXPECT_EQ(2, CopyManifestFiles(Owner()));
    EXPECT_EQ("the program", FileText(Bfax("setup.exe")));
    hostwin::SetModuleFileName(Bfax("SETUP.EXE").c_str());
    AddProgramEntry();
    EXPECT_EQ((std::vector<std::string>{"setup.ex_", "setup.exe"}), EntryNames());
}
#endif

TEST_F(FileCopyTest, NamesThatWouldLeaveTheDriverDirectoryOrBeCutAreIgnored) {
    std::string dist = setupState.setupDirectory;
    std::string fits(255 - dist.size() - 1, 'f');  // the full path has 255 characters
    std::string tooLong = fits + "g";
    WriteList("dir\\..,A,1\n" "sub/.,A,1\n" "sub\\,A,1\n" "c:evil.dll,x,1\n" "x.sys:stream,x,1\n"
              "dots\\. .,x,1\n" "nul,x,1\n" "Com1.sys,x,1\n" "lpt9,x,1\n" "con .txt,x,1\n"
              "COM\xB9.sys,x,1\n" "lpt\xB3,x,1\n"  // superscript digits name the same devices
              "CONOUT$ .txt,x,1\n" "aux         .sys,x,1\n" +
              tooLong + ",x,1\n" + std::string(300, 'n') + ",x,1\n" +
              "x/../../system32/evil.dll,x,1\n" + fits + ",x,1\n" + "com10.sys,x,1\n" + "lpt0.sys,x,1\n");
    EXPECT_EQ(4, ReadFileManifest(Owner()));
    // The first is installed as bfax\evil.dll; port 0 names no device.
    EXPECT_EQ((std::vector<std::string>{"x/../../system32/evil.dll", fits, "com10.sys", "lpt0.sys"}), EntryNames());
}

}  // namespace
