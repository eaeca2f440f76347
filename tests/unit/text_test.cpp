// The string table as the program loads it (the stand-in's table natively,
// the real LoadStringA under Wine) and the text and number helpers.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/names.h"
#include "core/text.h"
#include "support/platform.h"
#include "support/test_window.h"

namespace {

class TextTest : public SetupTest {};

// Each identifier loads a text of its own: one moved onto a neighbour or a
// gap of the table shows up as a repeated or an empty text.
TEST_F(TextTest, EveryIdentifierLoadsItsOwnText) {
    const UINT ids[] = {IDS_PRODUCT_NAME,     IDS_BOARD_TR114_ISA,   IDS_BOARD_NOT_INSTALLED, IDS_BOARD_TR114_PCI,
                        IDS_BOARD_TRUFAX_PCI, IDS_CANNOT_OPEN_FILE,  IDS_WINDOWS_2000,        IDS_WINDOWS_2003,
                        IDS_WINDOWS_95_98,    IDS_WINDOWS_ME,        IDS_WINDOWS_NT,          IDS_WINDOWS_XP,
                        IDS_COMPANY_PRODUCT,  IDS_CONFIRM_ABORT,     IDS_CONFIRM_INSTALL,     IDS_CONFIRM_REMOVAL,
                        IDS_ENTER_CHANNELS,   IDS_ENTER_DID_DIGITS,  IDS_ENTER_DMA,           IDS_ENTER_IO_BASE,
                        IDS_ENTER_IRQ,        IDS_DID_CHANGED,       IDS_INSTALLING_FILE,     IDS_INSTALL_FAILED,
                        IDS_INSTALL_SUCCEEDED, IDS_FILE_LIST_DAMAGED, IDS_NO_BOARD,           IDS_NOT_ADMINISTRATOR,
                        IDS_TITLE_LINE,       IDS_VERSION_LINE,      IDS_DRIVERS_REMOVED,     IDS_WINDOWS_NOT_SUPPORTED,
                        IDS_TWO_WORDS,        IDS_API_VERSION,       IDS_WINDOWS_VISTA};
    std::set<std::string> texts;
    for (UINT id : ids) {
        std::string text = LoadText(id);
        EXPECT_FALSE(text.empty()) << id;
        EXPECT_TRUE(texts.insert(text).second) << id << " repeats " << text;
    }
    // Byte-exact: line breaks, %-formats and quotes survive both resource paths.
    EXPECT_STREQ("The file %s cannot be opened. Maybe the media is damaged.\n\n%s possibly cannot operate correctly "
                 "without this file. Do you want to continue with the installation?",
                 LoadText(IDS_CANNOT_OPEN_FILE));
    EXPECT_STREQ("The file \"%s\" cannot be found or is damaged. The Setup Program cannot be continued.\n\nTry to "
                 "find out the reason for this error and run Setup again.",
                 LoadText(IDS_FILE_LIST_DAMAGED));
    EXPECT_STREQ("%s Brooktrout Setup for %s (32-bit)", LoadText(IDS_TITLE_LINE));
    EXPECT_STREQ("Loxbrine", LoadText(IDS_PRODUCT_NAME));
    EXPECT_STREQ("", LoadText(20004));
}

TEST_F(TextTest, LoadTextRingReusesTheFirstSlotOnThe33rdCall) {
    char* first = LoadText(IDS_PRODUCT_NAME);
    std::set<char*> slots = {first};
    for (int i = 0; i < TEXT_RING_SLOTS - 1; ++i) slots.insert(LoadText(IDS_COMPANY_PRODUCT));
    EXPECT_EQ(32u, slots.size());
    EXPECT_EQ(first, LoadText(IDS_API_VERSION));
    EXPECT_STREQ("4.3", first);
}

std::string Trimmed(std::string text) {
    TrimText(&text[0]);
    return text.c_str();
}

TEST_F(TextTest, TrimAndCaseMapping) {
    EXPECT_EQ("abc", Trimmed("\t abc \r\n"));
    EXPECT_EQ("", Trimmed("   "));
    EXPECT_EQ("a \x01 b\x7F", Trimmed("\x1F" "a \x01 b\x7F "));  // 127 is not blank
    EXPECT_EQ("\xA0x", Trimmed(" \xA0x"));                      // nor a no-break space
    TrimText(nullptr);

    char upper[] = "stra\xDF" "e \xE4\xF6\xFC \xE9 az{`";
    UpperCaseText(upper);
    EXPECT_STREQ("STRA\xDF" "E \xC4\xD6\xDC \xE9 AZ{`", upper);
    char lower[] = "\xC4\xD6\xDC \xC9 ABZ[@";
    LowerCaseText(lower);
    EXPECT_STREQ("\xE4\xF6\xFC \xC9 abz[@", lower);
}

// The fields joined by '|', then "/" and the buffer as left behind (NULs as '_').
std::string SplitOf(const char* input, const char* separators, int maxFields, int skipEmpty) {
    std::vector<char> buffer(input, input + std::strlen(input) + 1);
    std::vector<char*> fields(static_cast<size_t>(maxFields), nullptr);
    int count = SplitFields(buffer.data(), separators, fields.data(), maxFields, skipEmpty);
    std::string result;
    for (int i = 0; i < count; ++i) result += std::string(i ? "|" : "") + fields[static_cast<size_t>(i)];
    result += "/";
    for (size_t i = 0; i + 1 < buffer.size(); ++i) result += buffer[i] ? buffer[i] : '_';
    return result;
}

TEST_F(TextTest, SplitFields) {
    struct Case {
        const char* input;
        const char* separators;
        int maxFields, skipEmpty;
        const char* expected;
    } cases[] = {
        {"a,,b", ",", 32, 0, "a||b/a__b"},
        {",a,", ",", 32, 0, "|a/_a_"},
        {"a,,", ",", 32, 0, "a|/a__"},
        {"", ",", 32, 0, "/"},
        {"a,b,c", ",", 2, 0, "a|b,c/a_b,c"},
        {",,x", ",", 1, 0, "/_,x"},
        {",a,,b,", ",", 32, 1, "a|b/,a_,b_"},
        {"a;b c", "; ", 32, 1, "a|b|c/a_b_c"},
        {"a,b", "", 32, 1, "a,b/a,b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, SplitOf(c.input, c.separators, c.maxFields, c.skipEmpty)) << c.input;
    }
}

TEST_F(TextTest, FindText) {
    struct Case {
        const char* text;
        const char* pattern;
        int exact, found;
    } cases[] = {
        {"Windows", "DOWS", 0, 3}, {"Windows", "DOWS", 1, -1}, {"\xE4rger", "\xC4R", 0, 0},
        {"\xE9t\xE9", "\xC9T", 0, -1}, {"", "a", 0, -1},     {"abc", "", 0, -1},
        {"ab", "abc", 1, -1},        {"xaab", "ab", 1, 2},     {"aab", "aab", 1, 0},
        // After the false start "aa"+"a" only the byte that ended it is retried.
        {"aaab", "aab", 1, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.found, FindText(c.text, c.pattern, c.exact)) << c.text << "/" << c.pattern;
}

TEST_F(TextTest, ReplaceAll) {
    struct Case {
        const char* text;
        const char* pattern;
        const char* replacement;
        size_t capacity;
        int count;
        const char* expected;
    } cases[] = {
        {"%windir%\\bfax", "%windir%", "c:\\windows", 16, 1, "c:\\windows\\bfax"},
        {"%windir%\\bfax", "%windir%", "c:\\windows", 15, 0, "%windir%\\bfax"},  // no room: unchanged
        {"aaa", "aa", "b", 64, 1, "ba"},
        {"%%windir%", "%windir%", "X", 64, 1, "%X"},
        {"a%win", "%windir%", "X", 64, 0, "a%win"},
        {"abab", "ab", "xy", 64, 2, "xyxy"},
        {"x%windir%y%windir%", "%windir%", "W", 64, 2, "xWyW"},
        {"%WINDIR%", "%windir%", "X", 64, 0, "%WINDIR%"},  // exact case only
        {"abc", "", "X", 64, 0, "abc"},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(64, '\x5A');
        std::strcpy(buffer.data(), c.text);
        EXPECT_EQ(c.count, ReplaceAll(buffer.data(), c.pattern, c.replacement, c.capacity)) << c.text;
        EXPECT_STREQ(c.expected, buffer.data()) << c.text;
    }
}

// The system's C runtime under Wine, the C library natively: the same answers.
TEST_F(TextTest, FormatFitsOrCutsAndSaysWhich) {
    struct Case {
        std::size_t size;
        const char* text;
        int result;
        const char* expected;
    } cases[] = {{8, "abcdefg", 1, "abcdefg"}, {8, "abcdefgh", 0, "abcdefg"}, {1, "a", 0, ""}};
    char buffer[64];
    for (const Case& c : cases) {
        std::memset(buffer, 0x5A, sizeof buffer);
        EXPECT_EQ(c.result, FormatText(buffer, c.size, "%s", c.text)) << c.text << " in " << c.size;
        EXPECT_STREQ(c.expected, buffer) << c.text << " in " << c.size;
    }
    EXPECT_EQ(1, FormatText(buffer, sizeof buffer, "addrs %3X %d", 0x2A0, 1));
    EXPECT_STREQ("addrs 2A0 1", buffer);
}

TEST_F(TextTest, DecimalAndHexEntries) {
    struct Case {
        const char* text;
        int decimals, value;
    } decimals[] = {
        {"", 0, 0},          {"1,5", 0, 1},         {" 12 ", 0, 12},        {"1 2", 0, -1},
        {"12a", 0, -1},      {"-0.5", 0, 0},        {"+7", 0, 7},           {"-1", 0, -1},
        {"1-2", 0, 1},       {"1,5", 1, 15},        {"0.29", 2, 29},        {"-1,25", 2, -125},
        {"2.9999998", 0, 2}, {"2.99999995", 0, 3},  {"2147483647", 0, 2147483647},
        {"2147483648", 0, -1}, {"-2147483648", 0, -2147483647 - 1}, {"-2147483649", 0, -1}, {"1\xB2", 0, -1},
    };
    for (const Case& c : decimals) EXPECT_EQ(c.value, ParseDecimalText(c.text, c.decimals)) << c.text;
    char turned[] = "1,2a,3";
    EXPECT_EQ(0, CheckDecimalText(turned));
    EXPECT_STREQ("1.2a,3", turned);  // commas before the bad byte already turned

    const Case hex[] = {{"", 0, 0},          {" 3e8 ", 0, 1000},   {"ffc", 0, 4092}, {"0x300", 0, -1},
                        {"7fffffff", 0, 0x7FFFFFFF}, {"FFFFFFFF", 0, -1}, {"3 e8", 0, -1},  {"\xE4", 0, -1},
                        {"1ABCDEF12", 0, static_cast<int>(0xABCDEF12u)}, {"9@AG", 0, -1}, {"09af", 0, 0x9AF}};
    for (const Case& c : hex) EXPECT_EQ(c.value, ParseHexText(c.text)) << c.text;
}

TEST_F(TextTest, ControlTexts) {
    TestWindow window("SetupTestWindow", "Own title");
    window.AddControl(1010, " 2,5 ");
    window.AddControl(1015, " 3e8 ");
    window.AddControl(1022, std::string(300, 'q').c_str());
    char buffer[CONTROL_TEXT_SIZE];
    EXPECT_EQ(5, GetControlText(window.Handle(), 1010, buffer));
    EXPECT_EQ(3, GetControlTextTrimmed(window.Handle(), 1010, buffer));
    EXPECT_STREQ("2,5", buffer);
    EXPECT_EQ(255, GetControlText(window.Handle(), 1022, buffer));
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(0, GetControlText(window.Handle(), 4711, buffer));
    EXPECT_EQ(9, GetControlText(window.Handle(), 0, buffer));
    EXPECT_STREQ("Own title", buffer);
    EXPECT_EQ(25, ParseDecimalField(window.Handle(), 1010, 1));
    EXPECT_EQ(1000, ParseHexField(window.Handle(), 1015));
    EXPECT_EQ(" 2,5 ", window.Text(1010));  // the control keeps its text

    SetControlText(window.Handle(), 0, "New title");
    EXPECT_EQ("New title", window.OwnText());
    SetControlText(window.Handle(), 1015, "Installing bfax.sys");
    SetControlText(window.Handle(), 1015, nullptr);
    EXPECT_EQ("Installing bfax.sys", window.Text(1015));
}

}  // namespace
