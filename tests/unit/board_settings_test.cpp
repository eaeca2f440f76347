// Board settings: offered values, validation order and ranges, the stored
// record, the rejection texts and the enabling of the Settings page.
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
        return text;
    }

    BoardForm form;
    BoardSettings boards;
    BoardCheckResult result{};
};

const char* const kIoBaseMessage2 = "Please enter a valid I/O base address for board # 2";

TEST(BoardChoicesTest, ListsHoldTheOfferedValuesInPageOrder) {
    EXPECT_EQ(IDS_BOARD_NOT_INSTALLED, BoardTypeTextIds[BOARD_NOT_INSTALLED]);
    EXPECT_EQ(IDS_BOARD_TR114_PCI, BoardTypeTextIds[BOARD_TR114_PCI]);
    EXPECT_EQ(IDS_BOARD_TR114_ISA, BoardTypeTextIds[BOARD_TR114_ISA]);
    EXPECT_EQ(IDS_BOARD_TRUFAX_PCI, BoardTypeTextIds[BOARD_TRUFAX_PCI]);
    EXPECT_EQ(0u, BoardTypeTextIds[4]);

    EXPECT_STREQ("100", IoBaseChoices[0]);
    EXPECT_STREQ("104", IoBaseChoices[1]);
    EXPECT_STREQ("2A0", IoBaseChoices[(0x2A0 - 0x100) / 4]);
    EXPECT_STREQ("FFC", IoBaseChoices[IO_BASE_CHOICE_COUNT - 1]);
    for (int i = 0; i < IO_BASE_CHOICE_COUNT; ++i) {
        ASSERT_EQ(0x100 + 4 * i, ParseHexText(IoBaseChoices[i])) << i;
        ASSERT_EQ(3u, std::strlen(IoBaseChoices[i])) << i;
    }
    for (int i = 0; i < CHANNEL_CHOICE_COUNT; ++i) EXPECT_EQ(i + 1, ParseDecimalText(ChannelChoices[i], 0));

    std::string irqs;
    for (const auto& irq : IrqChoices) irqs += std::string(irq) + " ";
    EXPECT_EQ("3 4 5 6 7 9 10 11 12 13 14 15 ", irqs);
    std::string dmas;
    for (const auto& dma : DmaChoices) dmas += std::string(dma) + " ";
    EXPECT_EQ("0 1 2 3 4 ", dmas);
}

TEST_F(BoardSettingsTest, DefaultsAreAcceptedAndStored) {
    EXPECT_EQ("", Verdict());
    EXPECT_EQ(1, result.accepted);
    EXPECT_EQ(1, boards.boardCount);
    EXPECT_EQ(0, boards.isaCount);
    EXPECT_EQ(BOARD_TR114_PCI, boards.rows[0].type);
    EXPECT_EQ(0, boards.rows[0].ioBase);
    EXPECT_EQ(0, boards.rows[0].channels);
    for (int n = 1; n < BOARD_ROWS; ++n) EXPECT_EQ(BOARD_NOT_INSTALLED, boards.rows[n].type);
    EXPECT_EQ(5, boards.irq);
    EXPECT_EQ(1, boards.dma);
}

TEST_F(BoardSettingsTest, IsaBoardWithEmptyAddressNamesItsBoard) {
    SetRow(2, BOARD_TR114_ISA, "", "4");
    EXPECT_EQ(kIoBaseMessage2, Verdict());
    EXPECT_EQ(IDS_ENTER_IO_BASE, result.messageId);
    EXPECT_EQ(2, result.boardNumber);
}

TEST_F(BoardSettingsTest, IoBaseRangeEdgesAndDigits) {
    struct Case {
        const char* text;
        bool accepted;
    } cases[] = {{"3F", false},  {"40", true},   {"FFC", true}, {"FFD", false}, {"101", true},
                 {"0x300", false}, {" 2a0 ", true}, {"", false},   {"-40", false}};
    for (const Case& c : cases) {
        SetRow(2, BOARD_TR114_ISA, c.text, "4");
        EXPECT_EQ(c.accepted ? "" : kIoBaseMessage2, Verdict()) << '"' << c.text << '"';
    }
}

TEST_F(BoardSettingsTest, ChannelRangeEdgesAndDecimalComma) {
    const std::string channelsMessage = "Please enter the number of channels for board # 3";
    struct Case {
        const char* text;
        int stored;
        bool accepted;
    } cases[] = {{"0", 0, false}, {"1", 1, true}, {"30", 30, true}, {"31", 31, false},
                 {"2,5", 2, true}, {"four", -1, false}, {"", 0, false}};
    for (const Case& c : cases) {
        SetRow(3, BOARD_TR114_ISA, "300", c.text);
        EXPECT_EQ(c.accepted ? "" : channelsMessage, Verdict()) << '"' << c.text << '"';
        EXPECT_EQ(c.stored, boards.rows[2].channels) << '"' << c.text << '"';
    }
}

TEST_F(BoardSettingsTest, IrqAndDmaAreCheckedOnlyWithAnIsaBoard) {
    SetRow(1, BOARD_TR114_ISA, "300", "4");
    struct Case {
        const char* irq;
        const char* dma;
        UINT message;
    } cases[] = {{"8", "1", 0},
                 {"2", "7", 0},
                 {"15", "", 0},  // an empty DMA entry reads 0
                 {"0", "1", IDS_ENTER_IRQ},
                 {"16", "1", IDS_ENTER_IRQ},
                 {"5", "8", IDS_ENTER_DMA},
                 {"x", "8", IDS_ENTER_IRQ}};  // IRQ before DMA
    for (const Case& c : cases) {
        std::strcpy(form.irqText, c.irq);
        std::strcpy(form.dmaText, c.dma);
        std::string verdict = Verdict();
        EXPECT_EQ(c.message, result.messageId) << c.irq << "/" << c.dma;
        if (c.message) {
            EXPECT_EQ(std::string(LoadText(c.message)), verdict);
        }
    }

    // PCI only: the entries are stored as read, letters as -1, and accepted.
    SetRow(1, BOARD_TR114_PCI, "", "");
    std::strcpy(form.irqText, "abc");
    std::strcpy(form.dmaText, "99");
    EXPECT_EQ("", Verdict());
    EXPECT_EQ(-1, boards.irq);
    EXPECT_EQ(99, boards.dma);
}

TEST_F(BoardSettingsTest, NoBoardIsRefusedAfterIrqAndDmaWereRead) {
    form.rows[0].typeSelection = BOARD_NOT_INSTALLED;
    std::strcpy(form.irqText, "7");
    std::strcpy(form.dmaText, "3");
    EXPECT_EQ(LoadText(IDS_NO_BOARD), Verdict());
    EXPECT_EQ(0, boards.boardCount);
    EXPECT_EQ(7, boards.irq);
    EXPECT_EQ(3, boards.dma);
}

TEST_F(BoardSettingsTest, FirstFailureWinsAndTheRecordShowsHowFarTheCheckGot) {
    // Start-up state of the record: zero-filled.
    std::memset(&boards, 0, sizeof boards);
    boards.rows[5].type = BOARD_TRUFAX_PCI;  // as a previous attempt left it
    boards.irq = 9;

    SetRow(1, BOARD_TR114_ISA, "300", "31");  // bad channels
    SetRow(2, BOARD_TR114_ISA, "zz", "4");    // bad address, later board
    SetRow(3, BOARD_TR114_PCI, "", "");
    form.rows[5].typeSelection = BOARD_NOT_INSTALLED;
    std::strcpy(form.irqText, "0");
    EXPECT_EQ("Please enter the number of channels for board # 1", Verdict());

    EXPECT_EQ(BOARD_TR114_ISA, boards.rows[0].type);
    EXPECT_EQ(0x300, boards.rows[0].ioBase);
    EXPECT_EQ(31, boards.rows[0].channels);
    EXPECT_EQ(1, boards.boardCount);
    EXPECT_EQ(1, boards.isaCount);
    EXPECT_EQ(0, boards.rows[1].type);  // rows after the failing one untouched
    EXPECT_EQ(BOARD_TRUFAX_PCI, boards.rows[5].type);
    EXPECT_EQ(9, boards.irq);           // never reached

    // Board messages come before the IRQ message, and the counts cover the
    // rows processed up to the failure.
    SetRow(1, BOARD_TR114_ISA, "300", "4");
    EXPECT_EQ(kIoBaseMessage2, Verdict());
    EXPECT_EQ(2, boards.boardCount);
    EXPECT_EQ(2, boards.isaCount);
    EXPECT_EQ(-1, boards.rows[1].ioBase);

    SetRow(2, BOARD_TR114_ISA, "340", "4");
    EXPECT_EQ(LoadText(IDS_ENTER_IRQ), Verdict());
    EXPECT_EQ(3, boards.boardCount);
    EXPECT_EQ(2, boards.isaCount);
    EXPECT_EQ(BOARD_NOT_INSTALLED, boards.rows[5].type);
    EXPECT_EQ(0, boards.irq);
}

TEST_F(BoardSettingsTest, PciRowsReadTheirDisabledEntriesUnchecked) {
    SetRow(4, BOARD_TRUFAX_PCI, "xyz", "many");
    EXPECT_EQ("", Verdict());
    EXPECT_EQ(-1, boards.rows[3].ioBase);
    EXPECT_EQ(-1, boards.rows[3].channels);
    EXPECT_EQ(2, boards.boardCount);
}

TEST_F(BoardSettingsTest, RowMessageTextsFitTheBufferForAnyBoardNumber) {
    char text[BOARD_MESSAGE_SIZE];
    EXPECT_EQ(1, BoardCheckMessage(BoardCheckResult{0, IDS_ENTER_CHANNELS, 6}, text));
    EXPECT_STREQ("Please enter the number of channels for board # 6", text);
    EXPECT_EQ(1, BoardCheckMessage(BoardCheckResult{0, IDS_ENTER_DMA, 0}, text));
    EXPECT_STREQ(LoadText(IDS_ENTER_DMA), text);
    EXPECT_EQ(1, BoardCheckMessage(BoardCheckResult{1, 0, 0}, text));
    EXPECT_STREQ("", text);
}

// ---- enabling ----------------------------------------------------------------

std::string EnabledIds(const int types[BOARD_ROWS]) {
    BoardEnabling e = ComputeBoardEnabling(types);
    std::string enabled;
    auto add = [&enabled](int id, int on) {
        if (on) enabled += std::to_string(id) + " ";
    };
    for (int n = 0; n < BOARD_ROWS; ++n) {
        add(IDC_BOARD_LABEL_1 + n, e.rowLabel[n]);
        add(IDC_BOARD_TYPE_1 + n, e.typeList[n]);
        add(IDC_IO_BASE_1 + n, e.ioBase[n]);
        add(IDC_CHANNELS_1 + n, e.channels[n]);
    }
    add(IDC_IRQ_LABEL, e.irqLabel);
    add(IDC_IRQ, e.irqEntry);
    add(IDC_DMA_LABEL, e.dmaLabel);
    add(IDC_DMA, e.dmaEntry);
    add(IDC_DID_BUTTON, e.didButton);
    return enabled;
}

const char* const kAlwaysEnabled = "1027 1033 1028 1034 1029 1035 1030 1036 1031 1037 1032 1038 ";

TEST(BoardEnablingTest, PciBoardEnablesOnlyTheDidButton) {
    const int types[BOARD_ROWS] = {BOARD_TR114_PCI, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::string(kAlwaysEnabled) + "1007 ", EnabledIds(types));
}

TEST(BoardEnablingTest, IsaRowEnablesItsEntriesAndIrqDma) {
    const int types[BOARD_ROWS] = {BOARD_TR114_PCI, 0, 0, BOARD_TR114_ISA, 0, 0};
    EXPECT_EQ("1027 1033 1028 1034 1029 1035 1030 1036 1018 1004 1031 1037 1032 1038 "
              "1026 1021 1025 1013 1007 ",
              EnabledIds(types));
}

TEST(BoardEnablingTest, NoBoardDisablesTheDidButtonAndOddSelectionsCountAsBoards) {
    const int none[BOARD_ROWS] = {0, 0, 0, 0, 0, 0};
    EXPECT_EQ(kAlwaysEnabled, EnabledIds(none));
    const int unselected[BOARD_ROWS] = {0, 0, -1, 0, 0, 0};
    BoardEnabling enabling = ComputeBoardEnabling(unselected);
    EXPECT_EQ(1, enabling.didButton);
    EXPECT_EQ(0, enabling.irqEntry);
}

}  // namespace
