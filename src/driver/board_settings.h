// The boards the user describes on the Settings page: the values the page
// offers, which of its entries are enabled, and the check made on Finish.
// Nothing here touches a window: the page hands over what its controls hold
// and carries out the enabling it is given.
#ifndef SETUP_DRIVER_BOARD_SETTINGS_H
#define SETUP_DRIVER_BOARD_SETTINGS_H

#include <windows.h>

#include "core/shared_types.h"

// ---- the values the page offers, in the order it adds them -------------------
// String ids of the board types by list index, ended by 0.
extern const UINT BoardTypeTextIds[5];
const int BOARD_TYPE_DEFAULT = BOARD_NOT_INSTALLED;  // every row at first ...
const int FIRST_ROW_TYPE_DEFAULT = BOARD_TR114_PCI;  // ... then row 1

// 0x100 to 0xFFC in steps of 4, "%03X".
const int IO_BASE_CHOICE_COUNT = 960;
extern const char (&IoBaseChoices)[IO_BASE_CHOICE_COUNT][4];
// 1 to 30.
const int CHANNEL_CHOICE_COUNT = 30;
extern const char ChannelChoices[CHANNEL_CHOICE_COUNT][3];
// No 1, 2 or 8: those are taken on a PC.
const int IRQ_CHOICE_COUNT = 12;
extern const char IrqChoices[IRQ_CHOICE_COUNT][3];
#define IRQ_DEFAULT_TEXT "5"
const int DMA_CHOICE_COUNT = 5;
extern const char DmaChoices[DMA_CHOICE_COUNT][2];
#define DMA_DEFAULT_TEXT "1"

// ---- what validation reads ----------------------------------------------------
const int BOARD_TEXT_SIZE = 256;  // a control text with its NUL

struct BoardFormRow {
    int typeSelection;  // selected index of the row's type list
    char ioBaseText[BOARD_TEXT_SIZE];
    char channelsText[BOARD_TEXT_SIZE];
};

struct BoardForm {
    BoardFormRow rows[BOARD_ROWS];
    char irqText[BOARD_TEXT_SIZE];
    char dmaText[BOARD_TEXT_SIZE];
};

struct BoardCheckResult {
    int accepted;      // 1 accepted, 0 rejected
    UINT messageId;    // the reason of a rejection, else 0
    int boardNumber;   // 1-based board of a row message (20022, 20019), else 0
};

// Checks the form in the tool's fixed order and stores what it reads into
// boards as it goes, also when it rejects: rows up to the failing one are
// rewritten, later rows keep their previous contents.
BoardCheckResult ValidateBoardSettings(const BoardForm& form, BoardSettings& boards);

// The text of a rejection; the row messages name the board. buffer holds
// BOARD_MESSAGE_SIZE bytes. Returns 1 when the whole text fitted.
const int BOARD_MESSAGE_SIZE = 256;
int BoardCheckMessage(const BoardCheckResult& result, char* buffer);

// ---- enabling of the page's entries --------------------------------------------
struct BoardEnabling {
    int rowLabel[BOARD_ROWS];
    int typeList[BOARD_ROWS];
    int ioBase[BOARD_ROWS];
    int channels[BOARD_ROWS];
    int irqLabel;
    int irqEntry;
    int dmaLabel;
    int dmaEntry;
    int didButton;
};

// Which of the page's entries are enabled for the selected types: a row's
// label and type list always, its I/O base and channels for TR114 ISA; IRQ
// and DMA when any row is TR114 ISA; the DID button when any row holds a
// board (an unselected list counts as one).
BoardEnabling ComputeBoardEnabling(const int typeSelections[BOARD_ROWS]);

#endif
