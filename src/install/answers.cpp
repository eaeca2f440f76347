#include "install/answers.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/board_settings.h"
#include "driver/btcall.h"

namespace {

const char SECTION_BOARDS[] = "Boards";
const char SECTION_DID[] = "DID";
const char SECTION_SETUP[] = "Setup";
const DWORD VALUE_SIZE = BOARD_TEXT_SIZE;
const DWORD LIST_SIZE = 4096;
const int BOARD_FIELDS = 3;

bool SameText(const char* a, const char* b) { return SameName(a, std::strlen(a), b) != 0; }

enum LineKind {
    LINE_BOARD,   // "TYPE" or, for TR114 ISA, "TYPE, IO-BASE, CHANNELS"
    LINE_ENTRY,   // a text as typed into the Settings page's entry
    LINE_DIGITS,  // a count of DID digits, as the DID dialog takes it
    LINE_CHOICE   // one of two words
};

// Every line an answers file may hold, in the order it is read, and where
// its value goes. A line that is not there leaves that setting as it is.
struct Line {
    const char* section = nullptr;
    const char* key = nullptr;
    LineKind kind = LINE_BOARD;
    int row = 0;                                          // a board: its row on the page
    char (BoardForm::*entry)[BOARD_TEXT_SIZE] = nullptr;  // an entry of the page
    std::int32_t* setting = nullptr;                      // a count or a choice
    const char* words[2] = {};                            // a choice: its words ...
    std::int32_t means[2] = {};                           // ... and what each sets
};

const Line LINES[] = {
    {SECTION_BOARDS, "Board1", LINE_BOARD, 0},
    {SECTION_BOARDS, "Board2", LINE_BOARD, 1},
    {SECTION_BOARDS, "Board3", LINE_BOARD, 2},
    {SECTION_BOARDS, "Board4", LINE_BOARD, 3},
    {SECTION_BOARDS, "Board5", LINE_BOARD, 4},
    {SECTION_BOARDS, "Board6", LINE_BOARD, 5},
    {SECTION_BOARDS, "IRQ", LINE_ENTRY, 0, &BoardForm::irqText},
    {SECTION_BOARDS, "DMA", LINE_ENTRY, 0, &BoardForm::dmaText},
    {SECTION_DID, "Variable", LINE_CHOICE, 0, nullptr, &setupState.did.didVariable, {"0", "1"}, {0, 1}},
    {SECTION_DID, "Digits", LINE_DIGITS, 0, nullptr, &setupState.did.didDigits},
    {SECTION_DID, "Start", LINE_CHOICE, 0, nullptr, &setupState.did.winkStart, {"wink", "immediate"}, {1, 0}},
    {SECTION_SETUP, "StartDrivers", LINE_CHOICE, 0, nullptr, &setupState.silentStartDrivers, {"no", "yes"}, {0, 1}},
    {SECTION_SETUP, "MissingFiles", LINE_CHOICE, 0, nullptr, &setupState.silentSkipMissingFiles, {"skip", "stop"},
     {1, 0}},
};
const int LINE_COUNT = sizeof LINES / sizeof LINES[0];

struct Reader {
    const char* path;
    char* reason;
    std::size_t reasonSize;

    int Refuse(const char* format, ...) SETUP_PRINTF_LIKE(2, 3) {
        char detail[ANSWERS_REASON_SIZE];
        va_list args;
        va_start(args, format);
        FormatTextV(detail, sizeof detail, format, args);
        va_end(args);
        FormatText(reason, reasonSize, "The answers file %s: %s", path, detail);
        return 0;
    }

    // The names of a section (or, without one, the sections), each ended
    // by a NUL, the list by a second one. 0 when the list does not fit.
    int Names(const char* section, char* list) {
        DWORD got = GetPrivateProfileStringA(section, nullptr, "", list, LIST_SIZE, path);
        return got < LIST_SIZE - 2 ? 1 : Refuse("%s", "too many lines.");
    }

    // The value of a line the file holds; 0 when it is too long to be one.
    int Value(const Line& line, char* value) {
        DWORD got = GetPrivateProfileStringA(line.section, line.key, "", value, VALUE_SIZE, path);
        if (got >= VALUE_SIZE - 1) return Refuse("the line %s= of [%s] is too long.", line.key, line.section);
        TrimText(value);
        return 1;
    }
};

// Whether name came earlier in the list than at its own place.
bool GivenBefore(const char* list, const char* name) {
    for (const char* other = list; other < name; other += std::strlen(other) + 1) {
        if (SameText(other, name)) return true;
    }
    return false;
}

// Every section and line is one the file may hold, and only once (the
// profile functions would read the first and pass over the other); given
// says which lines the file holds.
int CheckLines(Reader* reader, bool given[LINE_COUNT]) {
    char sections[LIST_SIZE];
    if (!reader->Names(nullptr, sections)) return 0;
    for (const char* section = sections; *section; section += std::strlen(section) + 1) {
        bool known = false;
        for (const Line& line : LINES) known = known || SameText(section, line.section);
        if (!known) return reader->Refuse("the section [%s] is not one of [Boards], [DID], [Setup].", section);
        if (GivenBefore(sections, section)) return reader->Refuse("the section [%s] is given twice.", section);
        char keys[LIST_SIZE];
        if (!reader->Names(section, keys)) return 0;
        for (const char* key = keys; *key; key += std::strlen(key) + 1) {
            int found = -1;
            for (int i = 0; i < LINE_COUNT; ++i) {
                if (SameText(section, LINES[i].section) && SameText(key, LINES[i].key)) found = i;
            }
            if (found < 0 && SameText(section, SECTION_BOARDS) && SameName(key, 5, "Board")) {
                return reader->Refuse("the line %s= of [%s] is none of Board1 to Board6.", key, section);
            }
            if (found < 0) return reader->Refuse("the line %s of [%s] is not known.", key, section);
            if (given[found]) return reader->Refuse("the line %s= of [%s] is given twice.", key, section);
            given[found] = true;
        }
    }
    return 1;
}

int ReadBoard(Reader* reader, const char* key, char* value, BoardFormRow* row) {
    char* fields[BOARD_FIELDS + 1] = {};
    int count = 0;
    char* start = value;
    for (char* p = value;; ++p) {
        if (*p != ',' && *p != '\0') continue;
        bool last = *p == '\0';
        *p = '\0';
        if (count > BOARD_FIELDS) break;
        fields[count++] = start;
        start = p + 1;
        if (last) break;
    }
    for (int i = 0; i < count; ++i) TrimText(fields[i]);
    int type = -1;
    for (int i = 0; BoardTypeTextIds[i] != 0; ++i) {
        if (SameText(fields[0], LoadText(BoardTypeTextIds[i]))) type = i;
    }
    if (type < 0) return reader->Refuse("in the line %s=, %s is not a board type.", key, fields[0]);
    int allowed = type == BOARD_TR114_ISA ? BOARD_FIELDS : 1;
    if (count > allowed) {
        return reader->Refuse("the line %s= holds more than %s.", key,
                              type == BOARD_TR114_ISA ? "type, I/O base and channels" : "the board type");
    }
    row->typeSelection = type;
    if (count > 1) CopyText(row->ioBaseText, sizeof row->ioBaseText, fields[1]);
    if (count > 2) CopyText(row->channelsText, sizeof row->channelsText, fields[2]);
    return 1;
}

// One line the file holds, read as its kind says.
int ReadLine(Reader* reader, const Line& line, BoardForm* form) {
    char value[VALUE_SIZE];
    if (!reader->Value(line, value)) return 0;
    switch (line.kind) {
        case LINE_BOARD:
            return ReadBoard(reader, line.key, value, &form->rows[line.row]);
        case LINE_ENTRY:
            CopyText(form->*line.entry, BOARD_TEXT_SIZE, value);
            return 1;
        case LINE_DIGITS: {
            int count = ParseDecimalText(value, 0);
            if (count < 0 || count > MAX_DID_DIGITS) return reader->Refuse("%s", LoadText(IDS_ENTER_DID_DIGITS));
            *line.setting = count;
            return 1;
        }
        case LINE_CHOICE:
            for (int word = 0; word < 2; ++word) {
                if (!SameText(value, line.words[word])) continue;
                *line.setting = line.means[word];
                return 1;
            }
            return reader->Refuse("in the line %s=%s of [%s], the value is neither %s nor %s.", line.key, value,
                                  line.section, line.words[0], line.words[1]);
    }
    return 0;
}

// The lines of one section that the file holds, in the table's order.
int ReadSection(Reader* reader, const char* section, const bool given[LINE_COUNT], BoardForm* form) {
    for (int i = 0; i < LINE_COUNT; ++i) {
        if (given[i] && SameText(LINES[i].section, section) && !ReadLine(reader, LINES[i], form)) return 0;
    }
    return 1;
}

// The file being written, line by line.
struct AnswersText {
    char text[2048] = {0};
    std::size_t length = 0;
    int fits = 1;

    void Add(const char* format, ...) SETUP_PRINTF_LIKE(2, 3) {
        va_list args;
        va_start(args, format);
        int whole = FormatTextV(text + length, sizeof text - length, format, args);
        va_end(args);
        if (!whole) {
            fits = 0;
            text[length] = '\0';
            return;
        }
        length += std::strlen(text + length);
    }
};

}  // namespace

int ReadAnswersFile(const char* path, char* reason, std::size_t reasonSize) {
    Reader reader = {path ? path : "", reason, reasonSize};
    if (reason && reasonSize) reason[0] = '\0';
    // The profile functions give defaults for a file that is not there.
    FileGuard probe(CreateFileA(reader.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe.IsOpen()) return reader.Refuse("it cannot be read (error %lu).", static_cast<unsigned long>(GetLastError()));
    probe.Close();

    bool given[LINE_COUNT] = {};
    if (!CheckLines(&reader, given)) return 0;
    // What a missing line leaves: the page's defaults, the silent answers'
    // defaults, and the DID settings read from btcall.cfg (as when the DID
    // dialog is not opened).
    BoardForm form = {};
    CopyText(form.irqText, sizeof form.irqText, IRQ_DEFAULT_TEXT);
    CopyText(form.dmaText, sizeof form.dmaText, DMA_DEFAULT_TEXT);
    setupState.silentStartDrivers = 1;
    setupState.silentSkipMissingFiles = 0;
    if (!ReadSection(&reader, SECTION_BOARDS, given, &form)) return 0;
    BoardCheckResult verdict = ValidateBoardSettings(form, setupState.boards);
    if (!verdict.accepted) {
        char message[BOARD_MESSAGE_SIZE];
        BoardCheckMessage(verdict, message);
        return reader.Refuse("%s", message);
    }
    return ReadSection(&reader, SECTION_DID, given, &form) && ReadSection(&reader, SECTION_SETUP, given, &form) ? 1 : 0;
}

int WriteAnswersFile(const char* path) {
    AnswersText text;
    const BoardSettings& boards = setupState.boards;
    text.Add("%s", "; Settings accepted on the Settings page of setup.exe\r\n[Boards]\r\n");
    for (int n = 0; n < BOARD_ROWS; ++n) {
        const BoardRow& row = boards.rows[n];
        if (row.type <= BOARD_NOT_INSTALLED || row.type > BOARD_TRUFAX_PCI) continue;
        const char* type = LoadText(BoardTypeTextIds[row.type]);
        if (row.type == BOARD_TR114_ISA) {
            text.Add("Board%d=%s, %X, %d\r\n", n + 1, type, static_cast<unsigned>(row.ioBase),
                     static_cast<int>(row.channels));
        } else {
            text.Add("Board%d=%s\r\n", n + 1, type);
        }
    }
    // Interrupt and DMA channel mean something for ISA boards only.
    if (boards.isaCount > 0) {
        text.Add("IRQ=%d\r\nDMA=%d\r\n", static_cast<int>(boards.irq), static_cast<int>(boards.dma));
    }
    const DidSettings& did = setupState.did;
    text.Add("\r\n[DID]\r\nVariable=%d\r\nDigits=%d\r\nStart=%s\r\n", did.didVariable ? 1 : 0,
             static_cast<int>(did.didDigits), did.winkStart ? "wink" : "immediate");
    text.Add("%s", "\r\n[Setup]\r\nStartDrivers=yes\r\nMissingFiles=stop\r\n");
    if (!text.fits) return 0;

    FileGuard file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return 0;
    DWORD written = 0;
    DWORD length = static_cast<DWORD>(text.length);
    return WriteFile(file.Get(), text.text, length, &written, nullptr) && written == length ? 1 : 0;
}
