// Board settings: validation order and ranges, the stored record, the
// rejection texts and the enabling of the Settings page.
#include <cstring>
#include <string>

#include "core/names.h"
#include "core/text.h"
#include "driver/board_settings.h"
#include "resource.h"
#include "support/platform.h"

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
    void SetRow(int board, int type, const char* ioBase, const char* channels) {
        BoardFormRow& row = form.rows[board - 1];
        row.typeSelection = type;
        std::strcpy(row.ioBaseText, ioBase);
        std::strcpy(row.channelsText, channels);
    }
    // The message the page would show, or "" when accepted.
    std::string Verdict() {
        result = ValidateBoardSettings(form, boards);
        char text[BOARD_MESSAGE_SIZE];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(1, BoardCheckMessage(result, text));
        EXPECT_EQ(text[0] == '\0', result.accepted == 1) << text;
        return text;
    }

    BoardForm form;
    BoardSettings boards;
    BoardCheckResult result{};
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
        SetRow(2, BOARD_TR114_ISA, c.ioBase, c.channels);
        std::strcpy(form.irqText, c.irq);
        std::strcpy(form.dmaText, c.dma);
        EXPECT_EQ(c.message ? *c.message : "", Verdict()) << c.ioBase << " " << c.channels << " " << c.irq << " " << c.dma;
    }
}

TEST_F(BoardSettingsTest, TheRecordShowsHowFarTheCheckGot) {
    std::memset(&boards, 0, sizeof boards);
    boards.rows[5].type = BOARD_TRUFAX_PCI;  // as a previous attempt left it
    boards.irq = 9;
    SetRow(1, BOARD_TR114_ISA, "300", "31");
    SetRow(2, BOARD_TR114_ISA, "zz", "4");
    SetRow(3, BOARD_TR114_PCI, "", "");
    std::strcpy(form.irqText, "0");
    EXPECT_EQ("Please enter the number of channels for board # 1", Verdict());
    EXPECT_EQ(0x300, boards.rows[0].ioBase);
    EXPECT_EQ(31, boards.rows[0].channels);
    EXPECT_EQ(1, boards.boardCount);
    EXPECT_EQ(1, boards.isaCount);
    EXPECT_EQ(0, boards.rows[1].type);  // rows after the failing one untouched
    EXPECT_EQ(BOARD_TRUFAX_PCI, boards.rows[5].type);
    EXPECT_EQ(9, boards.irq);  // never reached

    SetRow(1, BOARD_TR114_ISA, "300", "4");
    SetRow(2, BOARD_TR114_ISA, "340", "4");
    EXPECT_EQ(LoadText(IDS_ENTER_IRQ), Verdict());
    EXPECT_EQ(3, boards.boardCount);
    EXPECT_EQ(2, boards.isaCount);
    EXPECT_EQ(BOARD_NOT_INSTALLED, boards.rows[5].type);
    EXPECT_EQ(0, boards.irq);
}

TEST_F(BoardSettingsTest, WithoutIsaBoardsNothingElseIsChecked) {
    // PCI rows read their disabled entries unchecked, IRQ and DMA as typed.
    SetRow(4, BOARD_TRUFAX_PCI, "xyz", "many");
    std::strcpy(form.irqText, "abc");
    std::strcpy(form.dmaText, "99");
    EXPECT_EQ("", Verdict());
    EXPECT_EQ(-1, boards.rows[3].ioBase);
    EXPECT_EQ(-1, boards.rows[3].channels);
    EXPECT_EQ(2, boards.boardCount);
    EXPECT_EQ(-1, boards.irq);
    EXPECT_EQ(99, boards.dma);
    // No board at all is refused after IRQ and DMA were read.
    form.rows[0].typeSelection = form.rows[3].typeSelection = BOARD_NOT_INSTALLED;
    std::strcpy(form.irqText, "7");
    EXPECT_EQ(LoadText(IDS_NO_BOARD), Verdict());
    EXPECT_EQ(0, boards.boardCount);
    EXPECT_EQ(7, boards.irq);
    char text[BOARD_MESSAGE_SIZE];
    EXPECT_EQ(1, BoardCheckMessage(BoardCheckResult{0, IDS_ENTER_CHANNELS, 6}, text));
    EXPECT_STREQ("Please enter the number of channels for board # 6", text);
}

// The controls enabled, in the page's order of its controls.
std::string EnabledIds(std::initializer_list<int> types) {
    int selections[BOARD_ROWS] = {0, 0, 0, 0, 0, 0};
    int n = 0;
    for (int type : types) selections[n++] = type;
    BoardEnabling e = ComputeBoardEnabling(selections);
    std::string enabled;
    auto add = [&enabled](int id, int on) { enabled += std::to_string(id) + (on ? "+ " : " "); };
    for (int row = 0; row < BOARD_ROWS; ++row) {
        add(IDC_BOARD_LABEL_1 + row, e.rowLabel[row]);
        add(IDC_BOARD_TYPE_1 + row, e.typeList[row]);
        add(IDC_IO_BASE_1 + row, e.ioBase[row]);
        add(IDC_CHANNELS_1 + row, e.channels[row]);
    }
    add(IDC_IRQ_LABEL, e.irqLabel);
    add(IDC_IRQ, e.irqEntry);
    add(IDC_DMA_LABEL, e.dmaLabel);
    add(IDC_DMA, e.dmaEntry);
    add(IDC_DID_BUTTON, e.didButton);
    return enabled;
}

TEST(BoardEnablingTest, IsaRowsEnableTheirEntriesAndIrqDmaAnyBoardTheDidButton) {
    EXPECT_EQ("1027+ 1033+ 1015 1001 1028+ 1034+ 1016 1002 1029+ 1035+ 1017 1003 1030+ 1036+ 1018+ 1004+ "
              "1031+ 1037+ 1019 1005 1032+ 1038+ 1020 1006 1026+ 1021+ 1025+ 1013+ 1007+ ",
              EnabledIds({BOARD_TR114_PCI, 0, 0, BOARD_TR114_ISA}));
    EXPECT_EQ("1027+ 1033+ 1015 1001 1028+ 1034+ 1016 1002 1029+ 1035+ 1017 1003 1030+ 1036+ 1018 1004 "
              "1031+ 1037+ 1019 1005 1032+ 1038+ 1020 1006 1026 1021 1025 1013 1007 ",
              EnabledIds({}));
    // An unselected list (-1) counts as a board.
    EXPECT_NE(std::string::npos, EnabledIds({0, 0, -1}).find("1007+"));
}

}  // namespace
