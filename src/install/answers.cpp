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
// The default that tells a line that is not there from an empty one.
const char NOT_GIVEN[] = "\x01";

bool SameText(const char* a, const char* b) { return SameName(a, std::strlen(a), b) != 0; }

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

    // The value of a key, or fallback; 0 when it is too long to be a value.
    int Value(const char* section, const char* key, const char* fallback, char* value) {
        DWORD got = GetPrivateProfileStringA(section, key, fallback, value, VALUE_SIZE, path);
        if (got >= VALUE_SIZE - 1) return Refuse("the line %s= of [%s] is too long.", key, section);
        // The mark of a missing line is a blank itself.
        if (std::strcmp(value, NOT_GIVEN) != 0) TrimText(value);
        return 1;
    }

    // A word out of two, as the index of the one given (0 or 1); a line
    // that is not there leaves the choice as it was.
    int Choice(const char* section, const char* key, const char* first, const char* second, int* choice) {
        char value[VALUE_SIZE];
        if (!Value(section, key, NOT_GIVEN, value)) return 0;
        if (std::strcmp(value, NOT_GIVEN) == 0) return 1;
        if (SameText(value, first)) {
            *choice = 0;
        } else if (SameText(value, second)) {
            *choice = 1;
        } else {
            return Refuse("in the line %s=%s of [%s], the value is neither %s nor %s.", key, value, section, first,
                          second);
        }
        return 1;
    }
};

// The board number of a key Board1..Board6 (as written: no leading zero,
// nothing after it); -1 for another key that begins with Board, 0 for any
// other key.
int BoardNumberOf(const char* key) {
    char prefix[6];
    CopyText(prefix, sizeof prefix, key);
    if (!SameText(prefix, "Board")) return 0;
    char digit = key[5];
    return digit >= '1' && digit < '1' + BOARD_ROWS && !key[6] ? digit - '0' : -1;
}

bool KnownKey(const char* section, const char* key) {
    static const char* const didKeys[] = {"Variable", "Digits", "Start", nullptr};
    static const char* const setupKeys[] = {"StartDrivers", "MissingFiles", nullptr};
    if (SameText(section, SECTION_BOARDS)) return BoardNumberOf(key) > 0 || SameText(key, "IRQ") || SameText(key, "DMA");
    for (const char* const* known = SameText(section, SECTION_DID) ? didKeys : setupKeys; *known; ++known) {
        if (SameText(key, *known)) return true;
    }
    return false;
}

// Whether name came earlier in the list than at its own place.
bool GivenBefore(const char* list, const char* name) {
    for (const char* other = list; other < name; other += std::strlen(other) + 1) {
        if (SameText(other, name)) return true;
    }
    return false;
}

// Every section and line is one the file may hold, and only once (the
// profile functions would read the first and pass over the other); the
// [DID] section is there or not.
int CheckLines(Reader* reader, bool* didPresent) {
    char sections[LIST_SIZE];
    if (!reader->Names(nullptr, sections)) return 0;
    for (const char* section = sections; *section; section += std::strlen(section) + 1) {
        if (!SameText(section, SECTION_BOARDS) && !SameText(section, SECTION_DID) &&
            !SameText(section, SECTION_SETUP)) {
            return reader->Refuse("the section [%s] is not one of [Boards], [DID], [Setup].", section);
        }
        if (GivenBefore(sections, section)) return reader->Refuse("the section [%s] is given twice.", section);
        if (SameText(section, SECTION_DID)) *didPresent = true;
        char keys[LIST_SIZE];
        if (!reader->Names(section, keys)) return 0;
        for (const char* key = keys; *key; key += std::strlen(key) + 1) {
            if (SameText(section, SECTION_BOARDS) && BoardNumberOf(key) < 0) {
                return reader->Refuse("the line %s= of [%s] is none of Board1 to Board6.", key, section);
            }
            if (!KnownKey(section, key)) return reader->Refuse("the line %s of [%s] is not known.", key, section);
            if (GivenBefore(keys, key)) return reader->Refuse("the line %s= of [%s] is given twice.", key, section);
        }
    }
    return 1;
}

// One board line: "TYPE" or, for TR114 ISA, "TYPE, IO-BASE, CHANNELS".
int ReadBoardLine(Reader* reader, int number, BoardFormRow* row) {
    char key[16];
    FormatText(key, sizeof key, "Board%d", number);
    char value[VALUE_SIZE];
    if (!reader->Value(SECTION_BOARDS, key, NOT_GIVEN, value)) return 0;
    if (std::strcmp(value, NOT_GIVEN) == 0) {
        row->typeSelection = BOARD_NOT_INSTALLED;
        return 1;
    }
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

// As the DID dialog's OK takes them: the digit count read as its entry is.
int ReadDid(Reader* reader) {
    DidSettings did = setupState.did;
    if (!reader->Choice(SECTION_DID, "Variable", "0", "1", &did.didVariable)) return 0;
    char digits[VALUE_SIZE];
    if (!reader->Value(SECTION_DID, "Digits", NOT_GIVEN, digits)) return 0;
    if (std::strcmp(digits, NOT_GIVEN) != 0) {
        int count = ParseDecimalText(digits, 0);
        if (count < 0 || count > MAX_DID_DIGITS) return reader->Refuse("%s", LoadText(IDS_ENTER_DID_DIGITS));
        did.didDigits = count;
    }
    int immediate = did.winkStart ? 0 : 1;
    if (!reader->Choice(SECTION_DID, "Start", "wink", "immediate", &immediate)) return 0;
    did.winkStart = immediate ? 0 : 1;
    setupState.did = did;
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

    bool didPresent = false;
    if (!CheckLines(&reader, &didPresent)) return 0;

    BoardForm form = {};
    for (int n = 1; n <= BOARD_ROWS; ++n) {
        if (!ReadBoardLine(&reader, n, &form.rows[n - 1])) return 0;
    }
    if (!reader.Value(SECTION_BOARDS, "IRQ", IRQ_DEFAULT_TEXT, form.irqText)) return 0;
    if (!reader.Value(SECTION_BOARDS, "DMA", DMA_DEFAULT_TEXT, form.dmaText)) return 0;
    BoardCheckResult verdict = ValidateBoardSettings(form, setupState.boards);
    if (!verdict.accepted) {
        char message[BOARD_MESSAGE_SIZE];
        BoardCheckMessage(verdict, message);
        return reader.Refuse("%s", message);
    }
    // Without the section the settings read from btcall.cfg stand, as when
    // the DID dialog is not opened.
    if (didPresent && !ReadDid(&reader)) return 0;

    int stopOnMissing = 1;
    int startDrivers = 1;
    if (!reader.Choice(SECTION_SETUP, "StartDrivers", "no", "yes", &startDrivers)) return 0;
    if (!reader.Choice(SECTION_SETUP, "MissingFiles", "skip", "stop", &stopOnMissing)) return 0;
    setupState.silentStartDrivers = startDrivers;
    setupState.silentSkipMissingFiles = stopOnMissing ? 0 : 1;
    return 1;
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
