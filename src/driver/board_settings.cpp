#include "driver/board_settings.h"

#include "core/format.h"
#include "core/names.h"
#include "core/text.h"

const UINT BoardTypeTextIds[5] = {IDS_BOARD_NOT_INSTALLED, IDS_BOARD_TR114_PCI, IDS_BOARD_TR114_ISA,
                                  IDS_BOARD_TRUFAX_PCI, 0};

namespace {

const int IO_BASE_FIRST_CHOICE = 0x100;
const int IO_BASE_CHOICE_STEP = 4;

// Accepted ranges: wider than what the lists offer, so that a user who knows
// his hardware can type any legal value.
const int IO_BASE_MIN = 0x40;
const int IO_BASE_MAX = 0xFFC;
const int CHANNELS_MIN = 1;
const int CHANNELS_MAX = 30;
const int IRQ_MIN = 1;
const int IRQ_MAX = 15;
const int DMA_MIN = 0;
const int DMA_MAX = 7;

struct IoBaseTable {
    char text[IO_BASE_CHOICE_COUNT][4];
};

constexpr IoBaseTable MakeIoBaseTable() {
    IoBaseTable table{};
    const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < IO_BASE_CHOICE_COUNT; ++i) {
        int value = IO_BASE_FIRST_CHOICE + i * IO_BASE_CHOICE_STEP;
        table.text[i][0] = digits[(value >> 8) & 0xF];
        table.text[i][1] = digits[(value >> 4) & 0xF];
        table.text[i][2] = digits[value & 0xF];
        table.text[i][3] = '\0';
    }
    return table;
}

constexpr IoBaseTable ioBaseTable = MakeIoBaseTable();
static_assert(IO_BASE_FIRST_CHOICE + (IO_BASE_CHOICE_COUNT - 1) * IO_BASE_CHOICE_STEP == 0xFFC,
              "the offered addresses end at FFC");

BoardCheckResult Rejected(UINT messageId, int boardNumber) {
    return BoardCheckResult{0, messageId, boardNumber};
}

int InRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

const char (&IoBaseChoices)[IO_BASE_CHOICE_COUNT][4] = ioBaseTable.text;

const char ChannelChoices[CHANNEL_CHOICE_COUNT][3] = {
    "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14", "15",
    "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30"};
const char IrqChoices[IRQ_CHOICE_COUNT][3] = {"3", "4", "5", "6", "7", "9", "10", "11", "12", "13", "14", "15"};
const char DmaChoices[DMA_CHOICE_COUNT][2] = {"0", "1", "2", "3", "4"};

BoardCheckResult ValidateBoardSettings(const BoardForm& form, BoardSettings& boards) {
    boards.boardCount = 0;
    boards.isaCount = 0;
    for (int n = 0; n < BOARD_ROWS; ++n) {
        const BoardFormRow& entry = form.rows[n];
        BoardRow& row = boards.rows[n];
        row.type = entry.typeSelection;
        row.ioBase = ParseHexText(entry.ioBaseText);
        row.channels = ParseDecimalText(entry.channelsText, 0);
        if (row.type != BOARD_NOT_INSTALLED) boards.boardCount += 1;
        if (row.type == BOARD_TR114_ISA) {
            boards.isaCount += 1;
            if (!InRange(row.ioBase, IO_BASE_MIN, IO_BASE_MAX)) return Rejected(IDS_ENTER_IO_BASE, n + 1);
            if (!InRange(row.channels, CHANNELS_MIN, CHANNELS_MAX)) return Rejected(IDS_ENTER_CHANNELS, n + 1);
        }
    }
    boards.irq = ParseDecimalText(form.irqText, 0);
    boards.dma = ParseDecimalText(form.dmaText, 0);
    if (boards.isaCount > 0) {
        if (!InRange(boards.irq, IRQ_MIN, IRQ_MAX)) return Rejected(IDS_ENTER_IRQ, 0);
        if (!InRange(boards.dma, DMA_MIN, DMA_MAX)) return Rejected(IDS_ENTER_DMA, 0);
    }
    if (boards.boardCount == 0) return Rejected(IDS_NO_BOARD, 0);
    return BoardCheckResult{1, 0, 0};
}

int BoardCheckMessage(const BoardCheckResult& result, char* buffer) {
    if (!buffer) return 0;
    if (result.accepted) return CopyText(buffer, BOARD_MESSAGE_SIZE, "");
    const char* text = LoadText(result.messageId);
    if (result.messageId == IDS_ENTER_IO_BASE || result.messageId == IDS_ENTER_CHANNELS) {
        return FormatText(buffer, BOARD_MESSAGE_SIZE, text, result.boardNumber);
    }
    // The other messages are plain texts: never run them as formats.
    return CopyText(buffer, BOARD_MESSAGE_SIZE, text);
}

BoardEnabling ComputeBoardEnabling(const int typeSelections[BOARD_ROWS]) {
    BoardEnabling enabling{};
    int anyIsa = 0;
    int anyBoard = 0;
    for (int n = 0; n < BOARD_ROWS; ++n) {
        int isa = typeSelections[n] == BOARD_TR114_ISA;
        enabling.rowLabel[n] = 1;
        enabling.typeList[n] = 1;
        enabling.ioBase[n] = isa;
        enabling.channels[n] = isa;
        anyIsa |= isa;
        anyBoard |= typeSelections[n] != BOARD_NOT_INSTALLED;
    }
    enabling.irqLabel = anyIsa;
    enabling.irqEntry = anyIsa;
    enabling.dmaLabel = anyIsa;
    enabling.dmaEntry = anyIsa;
    enabling.didButton = anyBoard;
    return enabling;
}
