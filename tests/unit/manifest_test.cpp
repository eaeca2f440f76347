// Reading Files.ini into the manifest, measuring the listed files, the total.
#include <cstring>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "install/manifest.h"
#include "support/install_fixture.h"
#include "support/message_boxes.h"

namespace {

const std::uint32_t BOTH = ENTRY_SUBDIR | ENTRY_OVERWRITE;

class ManifestTest : public InstallTest {};

TEST_F(ManifestTest, LineEndsFieldsAndFlags) {
    const std::vector<std::string> lines = {
        "[Files]",
        "bfax.sys,,1",             // two fields once the empty one is dropped
        ",lead.sys,x,1",           // leading comma
        "trail.sys,x,1,",          // trailing comma
        "four.sys,x,1,y",          // four fields
        "bfax.sys, A, 1",          // blanks belong to the fields
        " blank.sys,a,0",          // lower-case a is no placement letter
        "btcall.cfg,BAa,10",
        "flags.sys,xAx,01",
        "; a comment, with two, commas",
        "",
        "bfax.sys,A,1",            // listed twice: two entries
    };
    const std::vector<ListedEntry> expected = {
        {"lead.sys", ENTRY_OVERWRITE, 0}, {"trail.sys", ENTRY_OVERWRITE, 0}, {"bfax.sys", BOTH, 0},
        {" blank.sys", 0, 0},             {"btcall.cfg", BOTH, 0},           {"flags.sys", BOTH, 0},
        {"; a comment", 0, 0},            {"bfax.sys", BOTH, 0},
    };
    for (const char* end : {"\r\n", "\n", "\r"}) {
        std::string text;
        for (const std::string& line : lines) text += line + end;
        WriteList(text + "last.sys,A,1");  // no line end: not read
        // Read over the list of the previous round: replaced, not leaked.
        EXPECT_EQ(8, ReadFileManifest(Owner())) << "line end " << std::strlen(end);
        EXPECT_EQ(expected, Entries());
    }
}

TEST_F(ManifestTest, OnlyTheFirst1023BytesOfALineCountAndANulEndsIt) {
    std::string longLine = "cut.sys,A,1" + std::string(1012, '1') + ",fourth field beyond the cut";
    ASSERT_GT(longLine.size(), 1023u);
    std::string text = longLine + "\n" + "next.sys,x,1\n" + std::string("zero.sys,A,1\0,x,y\n", 18);
    text += std::string(3000, 'z') + "\r\n" + "after.sys,x,0\r\n";
    WriteList(text);
    EXPECT_EQ(4, ReadFileManifest(Owner()));
    std::vector<ListedEntry> entries = Entries();
    ASSERT_EQ(4u, entries.size());
    EXPECT_EQ("cut.sys", entries[0].name);
    EXPECT_EQ(BOTH, entries[0].flags);
    EXPECT_EQ("next.sys", entries[1].name);
    EXPECT_EQ("zero.sys", entries[2].name);
    EXPECT_EQ(BOTH, entries[2].flags);
    EXPECT_EQ("after.sys", entries[3].name);
}

TEST_F(ManifestTest, AListWithoutOneUsableLineIsReported) {
    MessageBoxWatch boxes;
    for (const std::string& text : {std::string("only.sys,A,1"), std::string("[Files]\r\na,b\r\n\r\n"),
                                    std::string(""), std::string("<none>")}) {
        if (text == "<none>") {
            DeleteFileA(Dist("Files.ini").c_str());
        } else {
            WriteList(text);
        }
        setupState.progress = 0;
        EXPECT_EQ(0, ReadFileManifest(Owner()));
        EXPECT_EQ(nullptr, setupState.manifest);
        EXPECT_EQ(0, setupState.progress);
    }
    ASSERT_EQ(4u, boxes.Boxes().size());
    const ShownBox& box = boxes.Boxes()[0];
    EXPECT_EQ("The file \"" + Dist("Files.ini") +
                  "\" cannot be found or is damaged. The Setup Program cannot be continued.\n\n"
                  "Try to find out the reason for this error and run Setup again.",
              box.text);
    EXPECT_EQ("Quorindel Loxbrine", box.caption);
    EXPECT_EQ(Owner(), box.owner);
    EXPECT_EQ(static_cast<UINT>(MB_OK), box.buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.icon);
}

TEST_F(ManifestTest, NamesThatWouldLeaveTheDriverDirectoryOrBeCutAreIgnored) {
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
    std::vector<ListedEntry> entries = Entries();
    ASSERT_EQ(4u, entries.size());
    EXPECT_EQ("x/../../system32/evil.dll", entries[0].name);  // installed as bfax\evil.dll
    EXPECT_EQ(fits, entries[1].name);
    EXPECT_EQ("com10.sys", entries[2].name);
    EXPECT_EQ("lpt0.sys", entries[3].name);  // port 0 names no device
}

TEST_F(ManifestTest, SizesComeFromTheCompressedFormFirst) {
    ASSERT_TRUE(PutFile(Dist("plain.txt"), "twelve bytes"));
    ASSERT_TRUE(MakeDirectory(Dist("drivers")));
    ASSERT_TRUE(PutFile(Dist("drivers\\text.tx_"), Fixture("text.tx_")));
    ASSERT_TRUE(PutFile(Dist("both.txt"), "the plain form"));
    ASSERT_TRUE(PutFile(Dist("both.tx_"), Fixture("window.bi_")));
    ASSERT_TRUE(PutFile(Dist("fake.tx_"), "not compressed"));
    WriteList("plain.txt,x,1\ndrivers\\text.txt,A,0\nboth.txt,x,1\nfake.txt,x,1\nmissing.sys,A,1\n");
    EXPECT_EQ(5, ReadFileManifest(Owner()));
    std::vector<ListedEntry> expected = {{"plain.txt", ENTRY_OVERWRITE, 12},
                                         {"drivers\\text.txt", ENTRY_SUBDIR, 70000},
                                         {"both.txt", ENTRY_OVERWRITE, 12289},
                                         {"fake.txt", ENTRY_OVERWRITE, 14},
                                         {"missing.sys", BOTH, 0}};
    EXPECT_EQ(expected, Entries());
    ComputeTotalBytes();
    EXPECT_EQ(12u + 70000u + 12289u + 14u, setupState.totalBytes);
    EXPECT_EQ(1000, setupState.progress);
}

TEST_F(ManifestTest, MeasuringMovesProgressOncePerEntry) {
    REQUIRE_STAND_IN();
    WriteList("a.sys,x,0\nb.sys,x,0\nc.sys,x,0\n");
    EXPECT_EQ(3, ReadFileManifest(Owner()));
    EXPECT_EQ((std::vector<int>{333, 667, 1000}), progressAtRedraws);

    progressAtRedraws.clear();
    setupState.progress = 0;
    MeasureManifest(Owner(), 0);  // no count: nothing to show
    EXPECT_TRUE(progressAtRedraws.empty());
    MeasureManifest(Owner(), 2);  // a count below the entries stops at 1000
    EXPECT_EQ((std::vector<int>{500, 1000, 1000}), progressAtRedraws);
}

TEST_F(ManifestTest, GetExpandedSizeEdges) {
    EXPECT_EQ(0u, GetExpandedSize(Dist("nothing.here").c_str()));
    EXPECT_EQ(0u, GetExpandedSize(Dir().Path().c_str()));  // a directory is no file
    std::string tooLong = Dist(std::string(260, 'x'));
    EXPECT_EQ(0u, GetExpandedSize(tooLong.c_str()));
    EXPECT_EQ(0u, GetExpandedSize(nullptr));
}

TEST_F(ManifestTest, EntriesThatCannotBeAllocatedAreDropped) {
    REQUIRE_STAND_IN();
#if ON_STAND_IN
    MessageBoxWatch boxes;
    WriteList("a.sys,x,1\n");
    hostwin::SetLocalAllocFails(true);
    EXPECT_EQ(0, ReadFileManifest(Owner()));
    hostwin::SetLocalAllocFails(false);
    EXPECT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(0, hostwin::OpenHandleCount());
#endif
}

}  // namespace
