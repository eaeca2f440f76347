// btcall.cfg: finding keyword lines, reading and rewriting them, the DID
// settings and the %windir% placeholder.
#include <string>
#include <vector>

#include "core/format.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/btcall.h"
#include "support/fixture.h"

namespace {

// The value part of the keyword's line, "<none>" or "<not found>".
std::string ValueOf(const std::string& text, const char* keyword) {
    KeywordLine line{-7, -7, -7};
    if (!FindKeywordLine(text.c_str(), static_cast<std::int32_t>(text.size()), keyword, &line)) return "<not found>";
    if (line.valueStart < 0) return "<none>";
    return text.substr(line.valueStart, line.lineEnd - line.valueStart + 1);
}

TEST(FindKeywordLineTest, SeparatorFormsLineStartsAndValues) {
    struct Case {
        const char* text;
        const char* keyword;
        const char* value;
    } cases[] = {
        {"x\r\ndid_digits  \t 4 x\t \r\n", "did_digits", "4 x\t "},  // trailing blanks belong to the line
        {"did_digits\t12\r\n", "did_digits", "12"},  // no "did_digits " anywhere: the TAB form
        {"DID_DIGITS 8\r\n", "did_digits", "8"},
        {"winkle 5\r\n", "wink", "e 5"},  // the byte after the keyword is taken as separator
        {"x\r\nwink\r\n", "wink", "<none>"},
        {"did_digits 4\x1A" "5\r\n", "did_digits", "4"},  // any control byte but TAB ends the line
        {" did_digits 4\r\n", "did_digits", "<not found>"},
        {"a\ndid_digits 4\r\n", "did_digits", "4"}, {"a\rdid_digits 4\r\n", "did_digits", "4"},
        // A comment mentioning the keyword hides the real line of the same form.
        {"; set did_digits here\r\ndid_digits 4\r\n", "did_digits", "<not found>"},
        {"; set did_digits here\r\ndid_digits\t6\r\n", "did_digits", "6"},
        {"", "wink", "<not found>"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.value, ValueOf(c.text, c.keyword)) << c.text;
    KeywordLine line{};
    EXPECT_EQ(0, FindKeywordLine("wink\r\n", 4, "wink", &line));  // the length ends the search
}

class BtcallTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        Use("WINDOWS");
    }
    // Makes the scratch folder's NAME, with bfax\morvik in it, the Windows directory.
    void Use(const std::string& name) {
        windows_ = Dir(name);
        for (const char* sub : {"", "\\bfax", "\\bfax\\morvik"}) MakeDirectory(windows_ + sub);
        CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, windows_.c_str());
    }
    // The Windows directory as the placeholder's expansion writes it.
    std::string Lowered() const {
        std::string lowered = windows_;
        LowerCaseText(&lowered[0]);
        return lowered;
    }
    void Write(const std::string& content) { EXPECT_TRUE(PutFile(windows_ + "\\bfax\\morvik\\btcall.cfg", content)); }
    std::string Content() const { return FileText(windows_ + "\\bfax\\morvik\\btcall.cfg"); }
    std::string Value(const char* keyword) {
        std::vector<char> value(256, '#');  // exactly the size the caller promises
        if (!ReadKeywordValue(keyword, value.data())) return "<not found>";
        return value.data();
    }

    std::string windows_;
};

TEST_F(BtcallTest, ReadKeywordValueTrimsAndCutsAt255) {
    EXPECT_EQ("<not found>", Value("did_digits"));  // no file
    Write("did_digits\t12  \t\r\nimmediate\r\nnote " + std::string(300, 'v') + "\r\n");
    EXPECT_EQ("12", Value("did_digits"));
    EXPECT_EQ("", Value("immediate"));
    EXPECT_EQ(std::string(255, 'v'), Value("note"));
    EXPECT_EQ("<not found>", Value("wink"));
    char value[256] = "untouched";
    EXPECT_EQ(0, ReadKeywordValue(nullptr, value));
    EXPECT_STREQ("untouched", value);
}

TEST_F(BtcallTest, LinesAreRewrittenInPlace) {
    // A file larger than 64 KiB, the line deep inside it.
    const std::string head = "; " + std::string(60 * 1024, 'h') + "\r\n", tail = std::string(40 * 1024, 't');
    struct Case {
        std::string before;
        const char* keyword;
        std::string value;
        int written;
        std::string after;
    } cases[] = {
        {"; digits\r\ndid_digits 4   \r\nwink\r\n", "did_digits", "7", 1,
         "; digits\r\ndid_digits              7\r\nwink\r\n"},
        // A keyword of 24 characters or more is followed by the value directly.
        {"a_keyword_of_26_characters x\r\n", "a_keyword_of_26_characters", "1", 1, "a_keyword_of_26_characters1\r\n"},
        {"immediate\r\n", "immediate", "*wink", 1, "wink\r\n"},
        // 255 characters fit; a longer line is not written cut.
        {"note x\r\n", "note", std::string(231, 'v'), 1,
         "note" + std::string(20, ' ') + std::string(231, 'v') + "\r\n"},
        {"note x\r\n", "note", std::string(232, 'v'), 0, "note x\r\n"},
        {head + "did_digits 4\r\n" + tail, "did_digits", "12", 1, head + "did_digits              12\r\n" + tail},
    };
    for (const Case& c : cases) {
        Write(c.before);
        EXPECT_EQ(c.written, WriteKeywordLine(c.keyword, c.value.c_str())) << c.before.substr(0, 40);
        EXPECT_TRUE(c.after == Content()) << c.before.substr(0, 40) << " gave " << Content().substr(0, 80);
    }
}

TEST_F(BtcallTest, WindirIsExpandedInLowerCase) {
    EXPECT_EQ(0, ExpandWindirInBtcall());  // no file
    Use("B\xDCRO");                         // BÜRO
    Write("path %windir%\\bfax\\morvik\r\nlog %WINDIR%\\x %Windir%\r\nfax %windir%\r\n");
    EXPECT_EQ(1, ExpandWindirInBtcall());
    EXPECT_EQ("path " + Lowered() + "\\bfax\\morvik\r\nlog %WINDIR%\\x %Windir%\r\nfax " + Lowered() + "\r\n",
              Content());
    EXPECT_NE(std::string::npos, Content().find("\\b\xFCro\\bfax"));
    EXPECT_EQ(0, ExpandWindirInBtcall());  // nothing left to expand

    // Far more growth than the slack that editing in place needs.
    Use("A Windows Directory With A Long Name");
    std::string before, after;
    for (int i = 0; i < 200; ++i) before += "path %windir%\r\n", after += "path " + Lowered() + "\r\n";
    Write(before);
    EXPECT_EQ(1, ExpandWindirInBtcall());
    EXPECT_TRUE(after == Content());
}

TEST_F(BtcallTest, AnInstallationsEditsTellNothingToDoFromFailure) {
    EXPECT_EQ(1, EditBtcallForInstallation());  // no file
    struct Case {
        std::string before;
        int result;
        std::string after;
    } cases[] = {
        {"; nothing of ours\r\n", 1, "; nothing of ours\r\n"},
        {"path %windir%\r\ndid_digits 8\r\nimmediate\r\n", 1,
         "path " + Lowered() + "\r\ndid_digits              4\r\nwink\r\n"},
        // A zero byte in the file keeps it from being cut.
        {std::string("path %windir%\r\n\0rest\r\n", 21), 0, std::string("path %windir%\r\n\0rest\r\n", 21)},
    };
    for (const Case& c : cases) {
        Write(c.before);
        EXPECT_EQ(c.result, EditBtcallForInstallation()) << c.before;
        EXPECT_EQ(c.after, Content());
    }
    // Nor can a file that another program holds, not shared.
    Write("path %windir%\r\n");
    HANDLE held = CreateFileA((windows_ + "\\bfax\\morvik\\btcall.cfg").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(0, EditBtcallForInstallation());
    CloseHandle(held);
}

}  // namespace
