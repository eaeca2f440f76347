#include "core/text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/format.h"
#include "core/setup_state.h"

namespace {

char textRing[TEXT_RING_SLOTS][TEXT_RING_SLOT_SIZE];
LONG volatile textRingIndex = 0;

// Case partners: a-z/A-Z and the umlauts ä/Ä, ö/Ö, ü/Ü of code page 1252.
inline unsigned char UpperByte(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
    if (c == 228 || c == 246 || c == 252) return static_cast<unsigned char>(c - 32);
    return c;
}

inline unsigned char LowerByte(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
    if (c == 196 || c == 214 || c == 220) return static_cast<unsigned char>(c + 32);
    return c;
}

// The matching scan shared by FindText and ReplaceAll. After a false start
// only the character that ended it is tried as the start of a new match;
// occurrences never overlap.
class MatchScan {
public:
    MatchScan(const char* pattern, std::size_t length, bool exact)
        : pattern_(reinterpret_cast<const unsigned char*>(pattern)), length_(length), exact_(exact) {}

    enum Step { Pending, Completed, Unmatched };

    // Feeds one character. falseStart receives the number of characters that
    // were pending before this one and no longer belong to a match.
    Step Feed(unsigned char c, std::size_t* falseStart) {
        *falseStart = 0;
        if (Equal(c, pattern_[matched_])) {
            if (++matched_ == length_) {
                matched_ = 0;
                return Completed;
            }
            return Pending;
        }
        *falseStart = matched_;
        matched_ = 0;
        if (Equal(c, pattern_[0])) {
            if (++matched_ == length_) {
                matched_ = 0;
                return Completed;
            }
            return Pending;
        }
        return Unmatched;
    }

    std::size_t Matched() const { return matched_; }

private:
    bool Equal(unsigned char a, unsigned char b) const { return exact_ ? a == b : UpperByte(a) == UpperByte(b); }

    const unsigned char* pattern_;
    std::size_t length_;
    bool exact_;
    std::size_t matched_ = 0;
};

// Runs the scan over text, calling emit(from, count) for text to copy and
// replace() for each occurrence, in output order. Returns the count.
template <typename Emit, typename Replace>
int ScanReplacing(const char* text, const char* pattern, std::size_t patternLength, Emit emit, Replace replace) {
    MatchScan scan(pattern, patternLength, true);
    int count = 0;
    std::size_t i = 0;
    for (; text[i] != '\0'; ++i) {
        std::size_t pendingBefore = scan.Matched();
        std::size_t falseStart = 0;
        MatchScan::Step step = scan.Feed(static_cast<unsigned char>(text[i]), &falseStart);
        // Characters of a false start go out as they stood in the text.
        if (falseStart) emit(i - pendingBefore, falseStart);
        if (step == MatchScan::Completed) {
            replace();
            ++count;
        } else if (step == MatchScan::Unmatched) {
            emit(i, 1);
        }
    }
    // A partial match pending at the end of the text stays as it was.
    if (scan.Matched()) emit(i - scan.Matched(), scan.Matched());
    return count;
}

// Accepts '+', ',', '-', '.', '0'..'9' only, turning each ',' into '.'.
int CheckDecimalText(char* text) {
    if (!text) return 0;
    for (char* p = text; *p; ++p) {
        if (*p == ',') {
            *p = '.';
        } else if (!(*p == '+' || *p == '-' || *p == '.' || (*p >= '0' && *p <= '9'))) {
            return 0;
        }
    }
    return 1;
}

// The conversion behind ParseDecimalField, for a text already read.
int ConvertDecimal(char* text, int decimals) {
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i) scale *= 10.0;
    if (!CheckDecimalText(text)) return -1;
    // The longest leading part that forms a number; 0.0 when there is none.
    // atof is strtod without the end pointer; MinGW's headers send strtod to
    // a C99 converter of its own (some 20 KB), atof to the system's C runtime.
    // Its missing error report is not needed: the text holds only signs,
    // digits and points, and no number at all means 0.0.
    double value = std::atof(text);  // NOLINT(cert-err34-c)
    const double bias = 1e-7;
    double result = value >= 0.0 ? (value + bias) * scale : (value - bias) * scale;
    // Anything that does not fit a 32-bit signed integer cannot be used.
    if (!(result > -2147483649.0 && result < 2147483648.0)) return -1;
    return static_cast<int>(std::trunc(result));
}

int ConvertHex(char* text) {
    UpperCaseText(text);
    std::uint32_t result = 0;
    for (const char* p = text; *p; ++p) {
        std::uint32_t digit;
        if (*p >= '0' && *p <= '9') {
            digit = static_cast<std::uint32_t>(*p - '0');
        } else if (*p >= 'A' && *p <= 'F') {
            digit = static_cast<std::uint32_t>(*p - 'A' + 10);
        } else {
            return -1;
        }
        result = result * 16 + digit;  // digits beyond eight shift the highest out
    }
    return static_cast<int>(result);
}

}  // namespace

char* LoadText(UINT id) {
    // One atomic step gives every caller, on any thread, its own slot.
    LONG n = InterlockedIncrement(&textRingIndex);
    char* slot = textRing[static_cast<std::uint32_t>(n) % TEXT_RING_SLOTS];
    slot[0] = '\0';
    if (LoadStringA(setupState.instance, id, slot, TEXT_RING_SLOT_SIZE) <= 0) slot[0] = '\0';
    slot[TEXT_RING_SLOT_SIZE - 1] = '\0';
    return slot;
}

void TrimText(char* text) {
    if (!text || !*text) return;
    unsigned char* start = reinterpret_cast<unsigned char*>(text);
    while (IsBlank(*start)) ++start;
    std::size_t length = std::strlen(reinterpret_cast<char*>(start));
    while (length > 0 && IsBlank(start[length - 1])) --length;
    std::memmove(text, start, length);
    text[length] = '\0';
}

int SameName(const char* text, std::size_t length, const char* name) {
    if (std::strlen(name) != length) return 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (UpperByte(static_cast<unsigned char>(text[i])) != UpperByte(static_cast<unsigned char>(name[i]))) return 0;
    }
    return 1;
}

int CompareNames(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    while (*x && UpperByte(*x) == UpperByte(*y)) ++x, ++y;
    return UpperByte(*x) - UpperByte(*y);
}

void UpperCaseText(char* text) {
    if (!text) return;
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) *p = UpperByte(*p);
}

void LowerCaseText(char* text) {
    if (!text) return;
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) *p = LowerByte(*p);
}

int SplitFields(char* text, const char* separators, char** fields, int maxFields, int skipEmpty) {
    if (!text || !fields || maxFields < 1) return 0;
    if (!separators) separators = "";
    int count = 0;
    bool inField = false;
    for (char* p = text; *p; ++p) {
        bool separator = *separators && std::strchr(separators, *p) != nullptr;
        if (!separator) {
            if (!inField) {
                fields[count++] = p;
                if (count == maxFields) return count;  // the rest of the text is this field
                inField = true;
            }
        } else if (inField) {
            *p = '\0';
            inField = false;
        } else if (!skipEmpty) {
            fields[count++] = p;  // an empty field
            *p = '\0';
            if (count == maxFields) return count;
        }
    }
    return count;
}

int FindText(const char* text, const char* pattern, int exact) {
    if (!text || !pattern || !*text || !*pattern) return -1;
    std::size_t patternLength = std::strlen(pattern);
    MatchScan scan(pattern, patternLength, exact != 0);
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        std::size_t falseStart;
        if (scan.Feed(static_cast<unsigned char>(text[i]), &falseStart) == MatchScan::Completed) {
            return static_cast<int>(i + 1 - patternLength);
        }
    }
    return -1;
}

int ReplaceAll(char* text, const char* pattern, const char* replacement, std::size_t capacity) {
    if (!text || !pattern || !*pattern || !*text) return 0;
    if (!replacement) replacement = "";
    std::size_t patternLength = std::strlen(pattern);
    std::size_t replacementLength = std::strlen(replacement);

    // First pass: how long the result is.
    std::size_t outLength = 0;
    int count = ScanReplacing(
        text, pattern, patternLength, [&](std::size_t, std::size_t n) { outLength += n; },
        [&] { outLength += replacementLength; });
    if (count == 0) return 0;
    if (outLength + 1 > capacity) return 0;

    // When no match grows, the output never overtakes the input and is built
    // in place; otherwise in a block of its own.
    char* work = replacementLength <= patternLength ? text : static_cast<char*>(std::malloc(outLength + 1));
    if (!work) return 0;
    std::size_t out = 0;
    ScanReplacing(
        text, pattern, patternLength,
        [&](std::size_t from, std::size_t n) {
            std::memmove(work + out, text + from, n);
            out += n;
        },
        [&] {
            std::memcpy(work + out, replacement, replacementLength);
            out += replacementLength;
        });
    work[out] = '\0';
    if (work != text) {
        std::memcpy(text, work, out + 1);
        std::free(work);
    }
    return count;
}

int GetControlText(HWND window, int controlId, char* buffer) {
    if (!buffer) return 0;
    buffer[0] = '\0';
    if (controlId == 0) {
        SendMessageA(window, WM_GETTEXT, CONTROL_TEXT_SIZE, reinterpret_cast<LPARAM>(buffer));
    } else {
        SendDlgItemMessageA(window, controlId, WM_GETTEXT, CONTROL_TEXT_SIZE, reinterpret_cast<LPARAM>(buffer));
    }
    buffer[CONTROL_TEXT_SIZE - 1] = '\0';
    return static_cast<int>(std::strlen(buffer));
}

void SetControlText(HWND window, int controlId, const char* text) {
    if (!text) return;
    if (controlId == 0) {
        SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    } else {
        SendDlgItemMessageA(window, controlId, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
}

int ParseDecimalText(const char* text, int decimals) {
    char buffer[CONTROL_TEXT_SIZE];
    CopyText(buffer, sizeof buffer, text);
    TrimText(buffer);
    return ConvertDecimal(buffer, decimals);
}

int ParseHexText(const char* text) {
    char buffer[CONTROL_TEXT_SIZE];
    CopyText(buffer, sizeof buffer, text);
    TrimText(buffer);
    return ConvertHex(buffer);
}

int ParseDecimalField(HWND window, int controlId, int decimals) {
    char buffer[CONTROL_TEXT_SIZE];
    GetControlText(window, controlId, buffer);
    TrimText(buffer);
    return ConvertDecimal(buffer, decimals);
}
