// Board settings: validation order and ranges, the stored record and the
// rejection texts.
#include <cstring>
#include <string>

#include "core/names.h"
#include "core/text.h"
#include "driver/board_settings.h"
#include "support/fixture.h"

namespace {

class BoardSettingsTest : public SetupTest {
protected:
    // The page as it opens: board 1 TR114 PCI, entries empty, IRQ 5, DMA 1.
    void SetUp() override {
        SetupTest::SetUp();
        std::memset(&form, 0, sizeof form);
        form.rows[0].typeSelection = FIRST_ROW_TYPE_DEFAULT;
        std::strcpy(form.irqText, IRQ_DEFAULT_TEXT);
        std::strcpy(form.dmaText, DMA_DEFAULT_TEXT);
        std::memset(&boards, 0x5A, sizeof boards);  // see what validation writes
    }
    // The message the page would show, or "" when accepted.
    std::string Verdict() {
        BoardCheckResult result = ValidateBoardSettings(form, boards);
        char text[BOARD_MESSAGE_SIZE];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(1, BoardCheckMessage(result, text));
        EXPECT_EQ(text[0] == '\0', result.accepted == 1) << text;
        return text;
    }

    BoardForm form;
    BoardSettings boards;
};

TEST_F(BoardSettingsTest, DefaultsAreAcceptedAndStored) {
    EXPECT_EQ("", Verdict());
    EXPECT_EQ(1, boards.boardCount);
    EXPECT_EQ(0, boards.isaCount);
    EXPECT_EQ(BOARD_TR114_PCI, boards.rows[0].type);
    for (int n = 1; n < BOARD_ROWS; ++n) EXPECT_EQ(BOARD_NOT_INSTALLED, boards.rows[n].type);
    EXPECT_EQ(5, boards.irq);
    EXPECT_EQ(1, boards.dma);
    // The offered addresses: every fourth from 100 to FFC.
    for (int i = 0; i < IO_BASE_CHOICE_COUNT; ++i) ASSERT_EQ(0x100 + 4 * i, ParseHexText(IoBaseChoices[i])) << i;
    EXPECT_STREQ("FFC", IoBaseChoices[IO_BASE_CHOICE_COUNT - 1]);
}

// An ISA board on row 2: its entries, then IRQ and DMA, at the edges of their ranges.
TEST_F(BoardSettingsTest, RangesOfAnIsaBoard) {
    const std::string ioBase = "Please enter a valid I/O base address for board # 2";
    const std::string channels = "Please enter the number of channels for board # 2";
    const std::string irq = LoadText(IDS_ENTER_IRQ), dma = LoadText(IDS_ENTER_DMA);
    struct Case {
        const char *ioBase, *channels, *irq, *dma;
        const std::string* message;  // nullptr: accepted
    } cases[] = {
        {"3F", "4", "5", "1", &ioBase},   {"40", "4", "5", "1", nullptr}, {"FFC", "4", "5", "1", nullptr},
        {"FFD", "4", "5", "1", &ioBase},  {"0x300", "4", "5", "1", &ioBase}, {"", "4", "5", "1", &ioBase},
        {" 2a0 ", "1", "5", "1", nullptr}, {"300", "0", "5", "1", &channels}, {"300", "30", "5", "1", nullptr},
        {"300", "31", "5", "1", &channels}, {"300", "2,5", "5", "1", nullptr}, {"300", "", "5", "1", &channels},
        {"300", "4", "0", "1", &irq},      {"300", "4", "1", "0", nullptr},  {"300", "4", "15", "7", nullptr},
        {"300", "4", "16", "1", &irq},     {"300", "4", "5", "8", &dma},     {"300", "4", "x", "8", &irq},
        {"300", "4", "5", "", nullptr},  // an empty DMA entry reads 0
        {"zz", "31", "0", "8", &ioBase},  // address before channels before IRQ before DMA
    };
    for (const Case& c : cases) {
        form.rows[1].typeSelection = BOARD_TR114_ISA;
        std::strcpy(form.rows[1].ioBaseText, c.ioBase);
        std::strcpy(form.rows[1].channelsText, c.channels);
        std::strcpy(form.irqText, c.irq);
        std::strcpy(form.dmaText, c.dma);
        EXPECT_EQ(c.message ? *c.message : "", Verdict())
            << c.ioBase << " " << c.channels << " " << c.irq << " " << c.dma;
    }
}

}  // namespace
