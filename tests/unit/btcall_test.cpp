// btcall.cfg: finding keyword lines, reading and rewriting them, the DID
// settings and the %windir% placeholder.
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "core/startup.h"
#include "driver/btcall.h"
#include "install/unattended.h"
#include "support/driver_directory.h"
#include "support/platform.h"

namespace {

const char BTCALL[] = "bfax\\morvik\\btcall.cfg";

// ---- finding a keyword line ------------------------------------------------------

struct Found {
    int result;
    KeywordLine line;
};

Found Find(const std::string& text, const char* keyword) {
    Found found{0, {-7, -7, -7}};
    found.result = FindKeywordLine(text.c_str(), static_cast<std::int32_t>(text.size()), keyword, &found.line);
    return found;
}

std::string ValueOf(const std::string& text, const char* keyword) {
    Found found = Find(text, keyword);
    if (!found.result) return "<not found>";
    if (found.line.valueStart < 0) return "<none>";
    return text.substr(found.line.valueStart, found.line.lineEnd - found.line.valueStart + 1);
}

TEST(FindKeywordLineTest, SeparatorFormsAndWhereTheValueLies) {
    Found space = Find("did_digits  \t 4 x\t \r\nnext\r\n", "did_digits");
    ASSERT_EQ(1, space.result);
    EXPECT_EQ(0, space.line.lineStart);
    EXPECT_EQ(14, space.line.valueStart);
    EXPECT_EQ(18, space.line.lineEnd);  // trailing blanks belong to the line

    // No "did_digits " anywhere: the TAB form is tried next.
    EXPECT_EQ("12", ValueOf("did_digits\t12\r\n", "did_digits"));
    EXPECT_EQ("8", ValueOf("DID_DIGITS 8\r\n", "did_digits"));
    // The keyword alone also matches a longer word, whose next byte is then
    // skipped as if it were the separator.
    EXPECT_EQ("e 5", ValueOf("winkle 5\r\n", "wink"));
    EXPECT_EQ("<none>", ValueOf("x\r\nwink\r\n", "wink"));
    // Any control byte but TAB ends the line.
    EXPECT_EQ("4", ValueOf(std::string("did_digits 4\x1A" "5\r\n"), "did_digits"));
}

TEST(FindKeywordLineTest, OnlyTheFirstOccurrenceAtALineStartCounts) {
    EXPECT_EQ(0, Find(" did_digits 4\r\n", "did_digits").result);
    EXPECT_EQ(2, Find("a\rdid_digits 4\r\n", "did_digits").line.lineStart);
    EXPECT_EQ(2, Find("a\ndid_digits 4\r\n", "did_digits").line.lineStart);
    // A comment mentioning the keyword hides the real line below it...
    EXPECT_EQ(0, Find("; set did_digits here\r\ndid_digits 4\r\n", "did_digits").result);
    // ...but only for the form it holds: the TAB line is still found.
    EXPECT_EQ("6", ValueOf("; set did_digits here\r\ndid_digits\t6\r\n", "did_digits"));
}

TEST(FindKeywordLineTest, NotFound) {
    EXPECT_EQ(0, Find("immediate\r\nwink", "wink").result);  // no line break after the last line
    KeywordLine line;
    EXPECT_EQ(0, FindKeywordLine("wink\r\n", 4, "wink", &line));  // the length ends the search
    EXPECT_EQ(0, Find("", "wink").result);
    EXPECT_EQ(0, Find("wink\r\n", "").result);
    EXPECT_EQ(0, FindKeywordLine(nullptr, 0, "wink", &line));
    EXPECT_EQ(0, FindKeywordLine("wink\r\n", 6, nullptr, &line));
    EXPECT_EQ(0, FindKeywordLine("wink\r\n", 6, "wink", nullptr));
}

// ---- the file operations -------------------------------------------------------------

std::string Filler(std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text += "channel_option " + std::to_string(text.size()) + "\r\n";
    return text;
}

class BtcallTest : public SetupTest {
protected:
    void Use(const std::string& windowsDirectory) {
        directory_.reset();
        directory_.reset(new DriverDirectory(windowsDirectory));
    }
    void SetUp() override {
        SetupTest::SetUp();
        Use("C:\\BTCALLTEST");
    }
    void TearDown() override { directory_.reset(); }

    void Write(const std::string& content) { directory_->Write(BTCALL, content); }
    std::string Content() const { return directory_->Read(BTCALL); }
    bool TemporaryLeft() const { return directory_->TemporaryLeft(BTCALL); }
    std::string Value(const char* keyword) {
        std::vector<char> value(256, '#');  // exactly the size the caller promises
        if (!ReadKeywordValue(keyword, value.data())) return "<not found>";
        return value.data();
    }

    std::unique_ptr<DriverDirectory> directory_;
};

TEST_F(BtcallTest, ReadKeywordValueTrimsAndCutsAt255) {
    std::string longValue(300, 'v');
    Write("did_digits\t12  \t\r\nimmediate\r\nnote " + longValue + "\r\n");
    EXPECT_EQ("12", Value("did_digits"));
    EXPECT_EQ("", Value("immediate"));
    EXPECT_EQ(std::string(255, 'v'), Value("note"));
    EXPECT_EQ("<not found>", Value("wink"));
    char value[256] = "untouched";
    EXPECT_EQ(0, ReadKeywordValue(nullptr, value));
    EXPECT_STREQ("untouched", value);
}

TEST_F(BtcallTest, MissingAndEmptyFilesHoldNothing) {
    EXPECT_EQ("<not found>", Value("did_digits"));
    EXPECT_EQ(0, ReadDidSettings());
    EXPECT_EQ(0, WriteKeywordLine("did_digits", "5"));
    EXPECT_EQ(0, ExpandWindirInBtcall());
    EXPECT_FALSE(directory_->Exists(BTCALL));

    Write("");
    EXPECT_EQ(0, ReadDidSettings());
    EXPECT_EQ(0, WriteDidSettings());
    EXPECT_EQ("", Content());
    EXPECT_EQ(4, setupState.did.didDigits);
    EXPECT_EQ(0, setupState.did.didVariable);
    EXPECT_EQ(1, setupState.did.winkStart);
}

TEST_F(BtcallTest, LinesGrowAndShrinkInPlace) {
    // "did_digits 4" and three spaces (15) becomes the 25-character form.
    Write("; digits\r\ndid_digits 4   \r\nwink\r\n");
    EXPECT_EQ(1, WriteKeywordLine("did_digits", "7"));
    EXPECT_EQ("; digits\r\ndid_digits              7\r\nwink\r\n", Content());

    Write("did_variable 1 ; the number of digits varies from call to call\r\nwink\r\n");
    EXPECT_EQ(1, WriteKeywordLine("did_variable", "0"));
    EXPECT_EQ("did_variable            0\r\nwink\r\n", Content());

    // A keyword of 24 characters or more is followed by the value directly.
    Write("a_keyword_of_26_characters x\r\n");
    EXPECT_EQ(1, WriteKeywordLine("a_keyword_of_26_characters", "1"));
    EXPECT_EQ("a_keyword_of_26_characters1\r\n", Content());

    // 255 characters fit; a longer line is not written cut.
    Write("note x\r\n");
    EXPECT_EQ(0, WriteKeywordLine("note", std::string(232, 'v').c_str()));
    EXPECT_EQ("note x\r\n", Content());
    EXPECT_EQ(1, WriteKeywordLine("note", std::string(231, 'v').c_str()));
    EXPECT_EQ("note" + std::string(20, ' ') + std::string(231, 'v') + "\r\n", Content());
    EXPECT_FALSE(TemporaryLeft());
}

TEST_F(BtcallTest, AHundredKiBFileIsEditedWhole) {
    std::string head = Filler(60 * 1024);
    std::string tail = Filler(40 * 1024);
    Write(head + "did_digits 4\r\n" + tail + "wink\r\n");
    EXPECT_EQ(1, WriteKeywordLine("did_digits", "12"));
    EXPECT_EQ(head + "did_digits              12\r\n" + tail + "wink\r\n", Content());
    EXPECT_EQ(1, ReadDidSettings());
    EXPECT_EQ(12, setupState.did.didDigits);
}

TEST_F(BtcallTest, ReadDidSettingsTakesOnlyAcceptableValues) {
    Write("did_variable 1\r\ndid_digits\t63\r\nimmediate\r\n");
    EXPECT_EQ(1, ReadDidSettings());
    EXPECT_EQ(1, setupState.did.didVariable);
    EXPECT_EQ(63, setupState.did.didDigits);
    EXPECT_EQ(0, setupState.did.winkStart);

    // Unacceptable values are found but change nothing.
    setupState.did = DidSettings{0, 9, 1};
    for (const char* text : {"did_variable 2\r\ndid_digits 64\r\n", "did_variable 0\r\ndid_digits -1\r\n",
                             "did_digits 99999999999999999999\r\n"}) {
        Write(text);
        EXPECT_EQ(1, ReadDidSettings()) << text;
        EXPECT_EQ(0, setupState.did.didVariable) << text;
        EXPECT_EQ(9, setupState.did.didDigits) << text;
        EXPECT_EQ(1, setupState.did.winkStart) << text;
    }
    Write("did_digits 0x\r\n");
    EXPECT_EQ(1, ReadDidSettings());
    EXPECT_EQ(0, setupState.did.didDigits);

    // Both start lines: wink start wins.
    Write("wink\r\nimmediate\r\n");
    setupState.did.winkStart = 0;
    EXPECT_EQ(1, ReadDidSettings());
    EXPECT_EQ(1, setupState.did.winkStart);
}

TEST_F(BtcallTest, WriteDidSettingsRewritesTheLinesThatExist) {
    Write("; DID\r\ndid_variable 0\r\ndid_digits 4\r\nwink\r\n");
    setupState.did.didVariable = 1;
    setupState.did.didDigits = 0;
    setupState.did.winkStart = 0;
    EXPECT_EQ(1, WriteDidSettings());
    EXPECT_EQ("; DID\r\ndid_variable            1\r\ndid_digits              0\r\nimmediate\r\n", Content());

    // The start line alone is enough for success.
    Write("immediate\r\n");
    setupState.did.winkStart = 1;
    EXPECT_EQ(1, WriteDidSettings());
    EXPECT_EQ("wink\r\n", Content());
    // A start line that already matches stays, and nothing is added.
    EXPECT_EQ(0, WriteDidSettings());
    EXPECT_EQ("wink\r\n", Content());
    EXPECT_FALSE(TemporaryLeft());
}

TEST_F(BtcallTest, WindirIsExpandedInLowerCase) {
    Use("C:\\WINNT");
    Write("path %windir%\\bfax\\morvik\r\nlog %WINDIR%\\x %Windir%\r\nfax %windir%\r\n");
    EXPECT_EQ(1, ExpandWindirInBtcall());
    EXPECT_EQ("path c:\\winnt\\bfax\\morvik\r\nlog %WINDIR%\\x %Windir%\r\nfax c:\\winnt\r\n", Content());
    EXPECT_FALSE(TemporaryLeft());
    // Nothing left to expand: not re-created.
    EXPECT_EQ(0, ExpandWindirInBtcall());

    Use("C:\\B\xDCRO");  // C:\BÜRO
    Write("path %windir%\\bfax\r\n");
    EXPECT_EQ(1, ExpandWindirInBtcall());
    EXPECT_EQ("path c:\\b\xFCro\\bfax\r\n", Content());
}

TEST_F(BtcallTest, EveryPlaceholderOfALargeFileIsExpanded) {
    // Far more growth than the 1024 bytes of slack that editing needs.
    Use("C:\\A Windows Directory With A Long Name");
    std::string line = "path %windir%\\bfax\\morvik\r\n";
    std::string expanded = "path c:\\a windows directory with a long name\\bfax\\morvik\r\n";
    std::string before = Filler(40 * 1024);
    std::string after = before;
    for (int i = 0; i < 200; ++i) {
        before += line;
        after += expanded;
    }
    Write(before);
    EXPECT_EQ(1, ExpandWindirInBtcall());
    EXPECT_EQ(after, Content());
}

TEST_F(BtcallTest, AZeroByteInTheFileKeepsItFromBeingCut) {
    std::string content("path %windir%\r\n\0tail %windir%\r\n", 32);
    Write(content);
    EXPECT_EQ(0, ExpandWindirInBtcall());
    EXPECT_EQ(content, Content());
}

TEST_F(BtcallTest, AnInstallationsEditsTellNothingToDoFromFailure) {
    // No file, or nothing in it to change: nothing is wrong.
    EXPECT_EQ(1, EditBtcallForInstallation());
    Write("; nothing of ours\r\n");
    EXPECT_EQ(1, EditBtcallForInstallation());
    EXPECT_EQ("; nothing of ours\r\n", Content());
    Write("path %windir%\r\ndid_digits 8\r\nimmediate\r\n");
    EXPECT_EQ(1, EditBtcallForInstallation());
    EXPECT_EQ("path c:\\btcalltest\r\ndid_digits              4\r\nwink\r\n", Content());
    // A placeholder before a zero byte cannot be expanded: the file stays.
    const std::string damaged = std::string("path %windir%\r\n\0rest\r\n", 21);
    Write(damaged);
    EXPECT_EQ(0, EditBtcallForInstallation());
    EXPECT_EQ(damaged, Content());
}

TEST_F(BtcallTest, AFileInUseIsLeftAlone) {
    std::string content = "path %windir%\r\ndid_digits 4\r\nimmediate\r\n";
    Write(content);
    // Held without sharing: not even read.
    HANDLE held = CreateFileA(directory_->Path(BTCALL).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, ReadDidSettings());
    EXPECT_EQ(0, ExpandWindirInBtcall());
    EXPECT_EQ(0, EditBtcallForInstallation());  // the edits it needs cannot be made
    CloseHandle(held);
    // Held by a reader: read, but not replaced under it.
    held = CreateFileA(directory_->Path(BTCALL).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ("4", Value("did_digits"));
    EXPECT_EQ(0, WriteDidSettings());
    EXPECT_EQ(0, EditBtcallForInstallation());
    CloseHandle(held);
    EXPECT_EQ(content, Content());
    EXPECT_FALSE(TemporaryLeft());
}

#if ON_STAND_IN
TEST_F(BtcallTest, WithoutMemoryNothingIsReadOrWritten) {
    std::string content = "path %windir%\r\ndid_digits 8\r\n";
    Write(content);
    hostwin::SetLocalAllocFails(true);
    EXPECT_EQ(0, ReadDidSettings());
    EXPECT_EQ(4, setupState.did.didDigits);
    EXPECT_EQ(0, WriteDidSettings());
    EXPECT_EQ(0, ExpandWindirInBtcall());
    hostwin::SetLocalAllocFails(false);
    EXPECT_EQ(content, Content());
}

TEST_F(BtcallTest, AFailedReplacementLeavesTheOldFile) {
    const std::string content = "path %windir%\r\ndid_digits 4\r\nimmediate\r\n";
    for (const FileFault& fault : ReplacementFaults(directory_->Path(BTCALL))) {
        testing_support::ResetAll();
        Use("C:\\BTCALLTEST");
        Write(content);
        int handles = hostwin::OpenHandleCount();
        fault.inject();
        EXPECT_EQ(0, WriteDidSettings()) << fault.name;
        EXPECT_EQ(0, ExpandWindirInBtcall()) << fault.name;
        EXPECT_EQ(content, Content()) << fault.name;
        EXPECT_FALSE(TemporaryLeft()) << fault.name;
        EXPECT_EQ(handles, hostwin::OpenHandleCount()) << fault.name;
        EXPECT_EQ(0, hostwin::LiveLocalAllocations()) << fault.name;
    }
}

TEST_F(BtcallTest, AFailedReadChangesNothing) {
    const std::string content = Filler(8 * 1024) + "path %windir%\r\ndid_digits 4\r\n";
    Write(content);
    hostwin::FailReadAt(directory_->Path(BTCALL).c_str(), 4096);
    EXPECT_EQ(0, ReadDidSettings());
    EXPECT_EQ(0, WriteKeywordLine("did_digits", "5"));
    EXPECT_EQ(0, ExpandWindirInBtcall());
    // The fault stays on the file, so look at it from the host's side.
    std::ifstream host(hostwin::HostPath(directory_->Path(BTCALL).c_str()), std::ios::binary);
    std::string stored((std::istreambuf_iterator<char>(host)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(stored == content) << stored.size() << " bytes";
}

TEST_F(BtcallTest, StartUpLoadsTheDidSettings) {
    hostwin::SetWindowsDirectory("C:\\BTCALLTEST");
    hostwin::SetSystemWindowsDirectory("C:\\BTCALLTEST");
    Write("did_digits 7\r\n");
    InitRun();
    EXPECT_EQ(1, setupState.didKeywordsPresent);
    EXPECT_EQ(7, setupState.did.didDigits);

    directory_->Write(BTCALL, "; no DID here\r\n");
    InitRun();
    EXPECT_EQ(0, setupState.didKeywordsPresent);
}
#endif

}  // namespace
