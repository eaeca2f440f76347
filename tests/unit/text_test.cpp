// The text helpers: formatting into fixed buffers.
#include <cstring>
#include <string>

#include "core/format.h"
#include "core/text.h"
#include "support/fixture.h"

namespace {

// The system's C runtime under Wine, the C library natively: the same answers.
TEST(TextTest, FormatFitsOrCutsAndSaysWhich) {
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
        EXPECT_EQ('\x5A', buffer[c.size]) << "written past the buffer of " << c.size;
    }
    EXPECT_EQ(0, FormatText(buffer, 0, "%s", "x"));
    EXPECT_EQ(0, FormatText(nullptr, 8, "%s", "x"));
    EXPECT_EQ(1, FormatText(buffer, sizeof buffer, "addrs %3X %d", 0x2A0, 1));
    EXPECT_STREQ("addrs 2A0 1", buffer);
}

}  // namespace
