// Text and number helpers.
#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/format.h"
#include "core/text.h"
#include "support/platform.h"
#include "support/test_window.h"

namespace {

class TextTest : public SetupTest {};

std::string Trimmed(const char* text) {
    std::vector<char> buffer(text, text + std::strlen(text) + 1);
    TrimText(buffer.data());
    return buffer.data();
}

TEST_F(TextTest, LoadTextRingHands32SlotsRoundAndReusesTheFirstOnThe33rdCall) {
    char* first = LoadText(20000);
    std::set<char*> slots = {first};
    for (int i = 0; i < 31; ++i) slots.insert(LoadText(20014));
    EXPECT_EQ(32u, slots.size());
    char* again = LoadText(20036);
    EXPECT_EQ(first, again);
    EXPECT_STREQ("4.3", first);
}

TEST_F(TextTest, LoadTextGivesSimultaneousCallersDifferentSlots) {
    const int threads = 16;
    for (int round = 0; round < 5; ++round) {
        std::atomic<int> ready{0};
        std::vector<char*> results(threads);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                ++ready;
                while (ready < threads) std::this_thread::yield();
                results[t] = LoadText(20013);
            });
        }
        for (auto& worker : workers) worker.join();
        EXPECT_EQ(static_cast<size_t>(threads), std::set<char*>(results.begin(), results.end()).size());
        for (char* text : results) EXPECT_STREQ("Windows XP", text);
    }
}

TEST_F(TextTest, TrimRemovesBlanksOnBothSidesOnly) {
    EXPECT_EQ("abc", Trimmed("\t abc \r\n"));
    EXPECT_EQ("", Trimmed("   "));
    EXPECT_EQ("", Trimmed(""));
    EXPECT_EQ("\xE4", Trimmed("\xE4 "));
    EXPECT_EQ("a \x01 b\x7F", Trimmed("\x1F" "a \x01 b\x7F"));  // 127 is not blank
    EXPECT_EQ("\xA0x", Trimmed(" \xA0x"));                     // a no-break space stays
    TrimText(nullptr);
}

TEST_F(TextTest, TrimKeepsByte127AndLongTexts) {
    EXPECT_EQ("x\x7F", Trimmed(" x\x7F "));
    std::string longText = "  " + std::string(5000, 'y') + "  ";
    EXPECT_EQ(std::string(5000, 'y'), Trimmed(longText.c_str()));
}

TEST_F(TextTest, CaseMappingKnowsAsciiAndThreeUmlautsOnly) {
    char upper[] = "stra\xDF" "e \xE4\xF6\xFC \xE9";
    UpperCaseText(upper);
    EXPECT_STREQ("STRA\xDF" "E \xC4\xD6\xDC \xE9", upper);
    char lower[] = "\xC4\xD6\xDC \xC9 ABC xyz";
    LowerCaseText(lower);
    EXPECT_STREQ("\xE4\xF6\xFC \xC9 abc xyz", lower);
    char all[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = static_cast<char>(i);
    all[255] = '\0';
    char copy[256];
    std::memcpy(copy, all, sizeof all);
    UpperCaseText(copy);
    for (int i = 1; i < 256; ++i) {
        unsigned char c = static_cast<unsigned char>(copy[i - 1]);
        bool lowerAscii = i >= 'a' && i <= 'z';
        bool lowerUmlaut = i == 0xE4 || i == 0xF6 || i == 0xFC;
        EXPECT_EQ(lowerAscii || lowerUmlaut ? i - 32 : i, c) << "byte " << i;
    }
}

struct Split {
    int count;
    std::vector<std::string> fields;
    std::string rest;  // the whole buffer as left behind, NULs shown as '|'
};

Split SplitOf(const char* input, const char* separators, int maxFields, int skipEmpty) {
    std::vector<char> buffer(input, input + std::strlen(input) + 1);
    std::vector<char*> fields(static_cast<size_t>(maxFields), nullptr);
    Split result;
    result.count = SplitFields(buffer.data(), separators, fields.data(), maxFields, skipEmpty);
    for (int i = 0; i < result.count; ++i) result.fields.push_back(fields[static_cast<size_t>(i)]);
    for (size_t i = 0; i + 1 < buffer.size(); ++i) result.rest += buffer[i] ? buffer[i] : '|';
    return result;
}

TEST_F(TextTest, SplitKeepingEmptyFields) {
    EXPECT_EQ((std::vector<std::string>{"", "a"}), SplitOf(",a", ",", 32, 0).fields);
    EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), SplitOf("a,,b", ",", 32, 0).fields);
    EXPECT_EQ((std::vector<std::string>{"a"}), SplitOf("a,", ",", 32, 0).fields);
    EXPECT_EQ((std::vector<std::string>{"a", ""}), SplitOf("a,,", ",", 32, 0).fields);
    EXPECT_EQ((std::vector<std::string>{""}), SplitOf(",", ",", 32, 0).fields);
    EXPECT_EQ(0, SplitOf("", ",", 32, 0).count);
}

TEST_F(TextTest, SplitStopsAtMaxFieldsLeavingTheRestWhole) {
    Split two = SplitOf("a,b,c", ",", 2, 0);
    EXPECT_EQ((std::vector<std::string>{"a", "b,c"}), two.fields);
    Split one = SplitOf(",,x", ",", 1, 0);
    EXPECT_EQ(1, one.count);
    EXPECT_EQ("", one.fields[0]);
    EXPECT_EQ("|,x", one.rest);  // the text after the first comma is untouched
}

TEST_F(TextTest, SplitSkippingEmptyFields) {
    Split three = SplitOf("name,A,1", ",", 32, 1);
    EXPECT_EQ((std::vector<std::string>{"name", "A", "1"}), three.fields);
    EXPECT_EQ(2, SplitOf("name,,1", ",", 32, 1).count);
    Split runs = SplitOf(",a,,b,", ",", 32, 1);
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), runs.fields);
    EXPECT_EQ(",a|,b|", runs.rest);  // only the separator right after a field becomes NUL
    EXPECT_EQ((std::vector<std::string>{" a ", "\tb"}), SplitOf(" a ,\tb", ",", 32, 1).fields);
}

TEST_F(TextTest, SplitWithSeveralOrNoSeparators) {
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), SplitOf("a;b c", "; ", 32, 1).fields);
    EXPECT_EQ((std::vector<std::string>{"a,b"}), SplitOf("a,b", "", 32, 1).fields);
}

TEST_F(TextTest, FindIgnoringOrMatchingCase) {
    EXPECT_EQ(3, FindText("Windows", "DOWS", 0));
    EXPECT_EQ(-1, FindText("Windows", "DOWS", 1));
    EXPECT_EQ(0, FindText("\xE4rger", "\xC4R", 0));
    EXPECT_EQ(-1, FindText("\xE9t\xE9", "\xC9T", 0));  // no case partner for e-acute
    EXPECT_EQ(-1, FindText("", "a", 0));
    EXPECT_EQ(-1, FindText("abc", "", 0));
    EXPECT_EQ(-1, FindText("ab", "abc", 1));
}

TEST_F(TextTest, FindRetriesOnlyTheCharacterThatEndedAFalseStart) {
    EXPECT_EQ(2, FindText("xaab", "ab", 1));
    // "aab" inside "aaab": after the false start "aa"+"a" the scan resumes
    // with the third 'a' only, so the occurrence at 1 is missed.
    EXPECT_EQ(-1, FindText("aaab", "aab", 1));
    EXPECT_EQ(0, FindText("aab", "aab", 1));
}

TEST_F(TextTest, FindLeavesItsInputsUnchangedAndHandlesLongTexts) {
    const char text[] = "did_digits 4";
    const char pattern[] = "DID_DIGITS";
    EXPECT_EQ(0, FindText(text, pattern, 0));
    EXPECT_STREQ("did_digits 4", text);
    EXPECT_STREQ("DID_DIGITS", pattern);
    std::string big(100000, 'x');
    big += "wink";
    EXPECT_EQ(100000, FindText(big.c_str(), "WINK", 0));
    std::string bigPattern(40000, 'x');
    EXPECT_EQ(0, FindText(big.c_str(), bigPattern.c_str(), 1));
}

struct Replaced {
    int count;
    std::string text;
};

Replaced ReplaceOf(const char* text, const char* pattern, const char* replacement, size_t capacity) {
    std::vector<char> buffer(capacity > std::strlen(text) + 1 ? capacity : std::strlen(text) + 1, '\x5A');
    std::memcpy(buffer.data(), text, std::strlen(text) + 1);
    Replaced result;
    result.count = ReplaceAll(buffer.data(), pattern, replacement, capacity);
    result.text = buffer.data();
    return result;
}

TEST_F(TextTest, ReplaceFitsOrLeavesTheTextUnchanged) {
    Replaced fits = ReplaceOf("%windir%\\bfax", "%windir%", "c:\\windows", 64);
    EXPECT_EQ(1, fits.count);
    EXPECT_EQ("c:\\windows\\bfax", fits.text);
    Replaced exact = ReplaceOf("%windir%\\bfax", "%windir%", "c:\\windows", 16);
    EXPECT_EQ(1, exact.count);
    Replaced tooSmall = ReplaceOf("%windir%\\bfax", "%windir%", "c:\\windows", 15);
    EXPECT_EQ(0, tooSmall.count);
    EXPECT_EQ("%windir%\\bfax", tooSmall.text);
}

TEST_F(TextTest, ReplaceFollowsTheMatchingScan) {
    EXPECT_EQ(1, ReplaceOf("aaa", "aa", "b", 64).count);
    EXPECT_EQ("ba", ReplaceOf("aaa", "aa", "b", 64).text);
    EXPECT_EQ("%X", ReplaceOf("%%windir%", "%windir%", "X", 64).text);
    EXPECT_EQ("a%win", ReplaceOf("a%win", "%windir%", "X", 64).text);  // pending match at the end stays
    EXPECT_EQ("xyxy", ReplaceOf("abab", "ab", "xy", 64).text);
    EXPECT_EQ("ABab", ReplaceOf("ABab", "AB", "AB", 64).text);
    EXPECT_EQ(0, ReplaceOf("%WINDIR%", "%windir%", "X", 64).count);  // exact case only
    EXPECT_EQ(0, ReplaceOf("abc", "", "X", 64).count);
    EXPECT_EQ(0, ReplaceOf("", "a", "X", 64).count);
}

TEST_F(TextTest, ReplaceGrowingAndShrinkingLongTexts) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "path %windir%\\bfax\r\n";
    std::string grown;
    for (int i = 0; i < 5000; ++i) grown += "path c:\\windows\\system\\bfax\r\n";
    Replaced up = ReplaceOf(text.c_str(), "%windir%", "c:\\windows\\system", grown.size() + 1);
    EXPECT_EQ(5000, up.count);
    EXPECT_EQ(grown, up.text);
    EXPECT_EQ(0, ReplaceOf(text.c_str(), "%windir%", "c:\\windows\\system", grown.size()).count);
    std::string shrunk;
    for (int i = 0; i < 5000; ++i) shrunk += "path W\\bfax\r\n";
    Replaced down = ReplaceOf(text.c_str(), "%windir%", "W", text.size() + 1);
    EXPECT_EQ(5000, down.count);
    EXPECT_EQ(shrunk, down.text);
}

// The system's C runtime under Wine, the C library natively: the same answers,
// cut texts terminated, and a text that fills the buffer without its
// terminator reported as cut.
TEST_F(TextTest, FormatFitsOrCutsAndSaysWhich) {
    struct Case {
        std::size_t size;
        const char* format;
        const char* text;
        int result;
        const char* expected;
    } cases[] = {
        {8, "%s", "abcdef", 1, "abcdef"},
        {8, "%s", "abcdefg", 1, "abcdefg"},
        {8, "%s", "abcdefgh", 0, "abcdefg"},
        {8, "%s!", "abcdefghij", 0, "abcdefg"},
        {1, "%s", "a", 0, ""},
        {64, "%-6s|", "ab", 1, "ab    |"},
    };
    char buffer[64];
    for (const Case& c : cases) {
        std::memset(buffer, 0x5A, sizeof buffer);
        EXPECT_EQ(c.result, FormatText(buffer, c.size, c.format, c.text)) << c.text << " in " << c.size;
        EXPECT_STREQ(c.expected, buffer) << c.text << " in " << c.size;
    }
    EXPECT_EQ(1, FormatText(buffer, sizeof buffer, "addrs %3X %d", 0x2A0, 1));
    EXPECT_STREQ("addrs 2A0 1", buffer);
}

class ControlTextTest : public SetupTest {};

TEST_F(ControlTextTest, ReadsAtMost255CharactersAndEmptiesForMissingControls) {
    TestWindow window;
    window.AddControl(1021, "  12  ");
    std::string longText(300, 'q');
    window.AddControl(1022, longText.c_str());
    char buffer[CONTROL_TEXT_SIZE];
    EXPECT_EQ(6, GetControlText(window.Handle(), 1021, buffer));
    EXPECT_STREQ("  12  ", buffer);
    EXPECT_EQ(2, GetControlTextTrimmed(window.Handle(), 1021, buffer));
    EXPECT_STREQ("12", buffer);
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(255, GetControlText(window.Handle(), 1022, buffer));
    EXPECT_EQ(std::string(255, 'q'), buffer);
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(0, GetControlText(window.Handle(), 4711, buffer));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(0, GetControlText(window.Handle(), 1021, nullptr));
    EXPECT_EQ(0, GetControlTextTrimmed(window.Handle(), 1021, nullptr));
}

TEST_F(ControlTextTest, WindowItselfWithIdZero) {
    TestWindow window("SetupTestWindow", "Own title");
    char buffer[CONTROL_TEXT_SIZE];
    EXPECT_EQ(9, GetControlText(window.Handle(), 0, buffer));
    EXPECT_STREQ("Own title", buffer);
    SetControlText(window.Handle(), 0, "New title");
    EXPECT_EQ("New title", window.OwnText());
    window.AddControl(1023, "Status of Installation");
    SetControlText(window.Handle(), 1023, "Installing bfax.sys");
    EXPECT_EQ("Installing bfax.sys", window.Text(1023));
    SetControlText(window.Handle(), 1023, nullptr);
    EXPECT_EQ("Installing bfax.sys", window.Text(1023));
}

TEST_F(TextTest, CheckDecimalTurnsCommasAndChecksTheClassOnly) {
    char ok[] = "1,5";
    EXPECT_EQ(1, CheckDecimalText(ok));
    EXPECT_STREQ("1.5", ok);
    char stopped[] = "1,2a,3";
    EXPECT_EQ(0, CheckDecimalText(stopped));
    EXPECT_STREQ("1.2a,3", stopped);  // commas before the bad byte already turned
    char order[] = "1-2--1.2.3+";
    EXPECT_EQ(1, CheckDecimalText(order));
    char empty[] = "";
    EXPECT_EQ(1, CheckDecimalText(empty));
    char high[] = "1\xB2";
    EXPECT_EQ(0, CheckDecimalText(high));
}

TEST_F(TextTest, DecimalEntries) {
    EXPECT_EQ(0, ParseDecimalText("", 0));
    EXPECT_EQ(1, ParseDecimalText("1,5", 0));
    EXPECT_EQ(12, ParseDecimalText(" 12 ", 0));
    EXPECT_EQ(-1, ParseDecimalText("1 2", 0));
    EXPECT_EQ(-1, ParseDecimalText("12a", 0));
    EXPECT_EQ(0, ParseDecimalText("-0.5", 0));
    EXPECT_EQ(7, ParseDecimalText("+7", 0));
    EXPECT_EQ(-1, ParseDecimalText("-1", 0));
    EXPECT_EQ(1, ParseDecimalText("1-2", 0));
    EXPECT_EQ(0, ParseDecimalText("--", 0));
    EXPECT_EQ(15, ParseDecimalText("1,5", 1));
    EXPECT_EQ(29, ParseDecimalText("0.29", 2));
    EXPECT_EQ(-125, ParseDecimalText("-1,25", 2));
    EXPECT_EQ(2, ParseDecimalText("2.9999998", 0));
    EXPECT_EQ(3, ParseDecimalText("2.99999995", 0));  // the bias of 1e-7 carries it over
}

TEST_F(TextTest, DecimalEntriesBeyond32BitsCannotBeUsed) {
    EXPECT_EQ(2147483647, ParseDecimalText("2147483647", 0));
    EXPECT_EQ(-1, ParseDecimalText("2147483648", 0));
    EXPECT_EQ(-2147483647 - 1, ParseDecimalText("-2147483648", 0));
    EXPECT_EQ(-1, ParseDecimalText("-2147483649", 0));
    EXPECT_EQ(-1, ParseDecimalText(std::string(250, '9').c_str(), 0));
    EXPECT_EQ(-1, ParseDecimalText("5", 400));
}

TEST_F(TextTest, HexEntries) {
    EXPECT_EQ(0, ParseHexText(""));
    EXPECT_EQ(1000, ParseHexText(" 3e8 "));
    EXPECT_EQ(4092, ParseHexText("ffc"));
    EXPECT_EQ(-1, ParseHexText("0x300"));
    EXPECT_EQ(ParseHexText("ABCDEF12"), ParseHexText("1ABCDEF12"));
    EXPECT_EQ(-1, ParseHexText("FFFFFFFF"));
    EXPECT_EQ(0x7FFFFFFF, ParseHexText("7fffffff"));
    EXPECT_EQ(-1, ParseHexText("3 e8"));
    EXPECT_EQ(-1, ParseHexText("\xE4"));
}

TEST_F(ControlTextTest, FieldParsersReadTheControl) {
    TestWindow window;
    window.AddControl(1010, " 2,5 ");
    window.AddControl(1015, " 3e8 ");
    window.AddControl(1016, "0x300");
    EXPECT_EQ(2, ParseDecimalField(window.Handle(), 1010, 0));
    EXPECT_EQ(25, ParseDecimalField(window.Handle(), 1010, 1));
    EXPECT_EQ(1000, ParseHexField(window.Handle(), 1015));
    EXPECT_EQ(-1, ParseHexField(window.Handle(), 1016));
    EXPECT_EQ(0, ParseDecimalField(window.Handle(), 4711, 0));  // no control reads as empty
    EXPECT_EQ(" 2,5 ", window.Text(1010));                      // the control keeps its text
}

}  // namespace
