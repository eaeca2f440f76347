#include "driver/btcall.h"

#include <climits>
#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/names.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/config_file.h"

namespace {

const DWORD TEXT_SLACK = 1024;  // zero bytes after the text: it stays terminated and a line can grow in place
const int VALUE_SIZE = 256;     // values and lines: 255 characters and the NUL

inline bool IsLineEnd(unsigned char c) { return c < 0x20 && c != '\t'; }
inline bool IsSpaceOrTab(unsigned char c) { return c == ' ' || c == '\t'; }

// The whole of btcall.cfg in one zero-filled block of (size + slack) bytes.
class ConfigText {
public:
    ConfigText() = default;
    ConfigText(const ConfigText&) = delete;
    ConfigText& operator=(const ConfigText&) = delete;
    ~ConfigText() {
        if (block_) LocalFree(block_);
    }

    int Load(const char* path) {
        FileGuard file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen()) {
            DWORD error = GetLastError();
            missing_ = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
            return 0;
        }
        size_ = GetFileSize(file.Get(), nullptr);
        // Offsets into the text are signed 32-bit numbers; larger files are not ours.
        if (size_ == INVALID_FILE_SIZE || size_ > static_cast<DWORD>(INT_MAX) - TEXT_SLACK) return 0;
        capacity_ = size_ + TEXT_SLACK;
        block_ = static_cast<char*>(LocalAlloc(LPTR, capacity_));
        if (!block_) return 0;
        if (size_ > 0 && !ReadFile(file.Get(), block_, size_, &read_, nullptr)) read_ = 0;
        return 1;
    }

    // A text about to be written back must be the whole file: a short read
    // would otherwise cut off the part that was never read.
    bool Complete() const { return read_ == size_; }
    // Load failed because there is no such file.
    bool Missing() const { return missing_; }

    char* Text() { return block_; }
    DWORD Size() const { return size_; }
    DWORD Read() const { return read_; }
    DWORD Capacity() const { return capacity_; }

    // Moves the text into a larger zero-filled block.
    int Grow(DWORD capacity) {
        if (capacity <= capacity_) return 1;
        char* larger = static_cast<char*>(LocalAlloc(LPTR, capacity));
        if (!larger) return 0;
        std::memcpy(larger, block_, capacity_);
        LocalFree(block_);
        block_ = larger;
        capacity_ = capacity;
        return 1;
    }

private:
    char* block_ = nullptr;
    DWORD size_ = 0;
    DWORD read_ = 0;
    DWORD capacity_ = 0;
    bool missing_ = false;
};

// What one edit of the file came to.
enum EditResult {
    EDIT_NOT_NEEDED,  // no file, or nothing in it to change
    EDIT_MADE,        // the file now holds the change
    EDIT_FAILED       // the file needs the change but could not be read whole, changed or replaced
};

// The edits of one operation, told apart.
struct EditTally {
    bool made = false;
    bool failed = false;
    void Add(EditResult result) {
        made = made || result == EDIT_MADE;
        failed = failed || result == EDIT_FAILED;
    }
};

int BtcallPath(char* path, DWORD size) {
    return DriverPath(path, size, BTCALL_FILE);
}

int LoadBtcall(ConfigText* config) {
    char path[MAX_PATH];
    if (!BtcallPath(path, sizeof path)) return 0;
    return config->Load(path);
}

// Loads the whole file for an edit. False when it cannot; *result then says
// whether that matters: a file that is not there needs no edit.
bool LoadForEdit(ConfigText* config, EditResult* result) {
    if (LoadBtcall(config) && config->Complete()) return true;
    *result = config->Missing() ? EDIT_NOT_NEEDED : EDIT_FAILED;
    return false;
}

int SaveBtcall(const char* text, DWORD size) {
    char path[MAX_PATH];
    if (!BtcallPath(path, sizeof path)) return 0;
    return ReplaceFileContent(path, text, size);
}

// The keyword's line is accepted only where a line begins.
int FindAtLineStart(const char* text, const char* keyword, const char* separator) {
    char pattern[VALUE_SIZE];
    if (!FormatText(pattern, sizeof pattern, "%s%s", keyword, separator)) return -1;
    int p = FindText(text, pattern, 0);
    if (p == 0) return 0;
    if (p > 0 && (text[p - 1] == '\r' || text[p - 1] == '\n')) return p;
    return -1;
}

// Leading blanks, an optional sign, then decimal digits up to the first other
// character; 0 without digits. Saturates instead of overflowing.
long long LeadingNumber(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p >= 1 && *p <= 32) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (number < LLONG_MAX / 100) number = number * 10 + (*p - '0');
    }
    return negative ? -number : number;
}

EditResult EditKeywordLine(const char* keyword, const char* value) {
    ConfigText config;
    EditResult result = EDIT_NOT_NEEDED;
    if (!LoadForEdit(&config, &result)) return result;
    KeywordLine line = {};
    if (!FindKeywordLine(config.Text(), static_cast<std::int32_t>(config.Read()), keyword, &line)) {
        return EDIT_NOT_NEEDED;
    }

    // "*" turns one bare keyword line into another; anything else follows the
    // keyword in a field of 24. A line that would not fit is not written cut.
    char newLine[VALUE_SIZE];
    int fits = value[0] == '*' ? CopyText(newLine, sizeof newLine, value + 1)
                               : FormatText(newLine, sizeof newLine, "%-24s%s", keyword, value);
    if (!fits) return EDIT_FAILED;

    char* text = config.Text();
    DWORD size = config.Size();
    DWORD n = static_cast<DWORD>(std::strlen(newLine));
    DWORD oldLength = static_cast<DWORD>(line.lineEnd - line.lineStart + 1);
    DWORD start = static_cast<DWORD>(line.lineStart);
    DWORD rest = size - static_cast<DWORD>(line.lineEnd) - 1;
    // The line grows by at most 254 bytes, well inside the slack.
    if (n != oldLength) std::memmove(text + start + n, text + line.lineEnd + 1, rest);
    // The new line goes in place of the old one, inside the text: no NUL.
    std::memcpy(text + start, newLine, n);  // NOLINT(bugprone-not-null-terminated-result)
    size = size + n - oldLength;
    int saved = SaveBtcall(text, size);
    LogLine(BTCALL_NAME ": line \"%s\" %s", newLine, saved ? "written" : "cannot be written");
    return saved ? EDIT_MADE : EDIT_FAILED;
}

// The three DID lines, as far as the file holds them.
EditTally EditDidSettings() {
    EditTally tally;
    char digits[16];
    FormatText(digits, sizeof digits, "%d", setupState.did.didDigits);
    tally.Add(EditKeywordLine("did_digits", digits));
    tally.Add(EditKeywordLine("did_variable", setupState.did.didVariable ? "1" : "0"));
    // Only a line of the other start mode changes; a matching one stays.
    tally.Add(setupState.did.winkStart ? EditKeywordLine("immediate", "*wink")
                                       : EditKeywordLine("wink", "*immediate"));
    return tally;
}

EditResult ExpandWindir() {
    static const char placeholder[] = "%windir%";
    ConfigText config;
    EditResult result = EDIT_NOT_NEEDED;
    if (!LoadForEdit(&config, &result)) return result;
    char* text = config.Text();
    // The file is re-created only when it holds the placeholder, and then
    // every occurrence is replaced, however many there are.
    const std::size_t placeholderLength = sizeof placeholder - 1;
    std::size_t count = 0;
    for (int at = FindText(text, placeholder, 1); at >= 0; ++count) {
        int further = FindText(text + at + placeholderLength, placeholder, 1);
        at = further < 0 ? -1 : at + static_cast<int>(placeholderLength) + further;
    }
    if (count == 0) return EDIT_NOT_NEEDED;
    // A zero byte inside the file would end the text early and lose the rest.
    std::size_t length = std::strlen(text);
    if (length != config.Read()) return EDIT_FAILED;

    char replacement[DIRECTORY_SIZE];
    CopyText(replacement, sizeof replacement, setupState.windowsDirectory);
    LowerCaseText(replacement);
    std::size_t replacementLength = std::strlen(replacement);
    std::size_t needed = length + 1;
    if (replacementLength > placeholderLength) needed += count * (replacementLength - placeholderLength);
    if (needed > static_cast<std::size_t>(INT_MAX) || !config.Grow(static_cast<DWORD>(needed))) return EDIT_FAILED;
    text = config.Text();
    if (!ReplaceAll(text, placeholder, replacement, config.Capacity())) return EDIT_FAILED;
    int saved = SaveBtcall(text, static_cast<DWORD>(std::strlen(text)));
    LogLine(BTCALL_NAME ": %%windir%% replaced by %s%s", replacement, saved ? "" : " - cannot be written");
    return saved ? EDIT_MADE : EDIT_FAILED;
}

}  // namespace

int FindKeywordLine(const char* text, std::int32_t length, const char* keyword, KeywordLine* line) {
    if (!text || !keyword || !*keyword || !line) return 0;
    std::int32_t k = static_cast<std::int32_t>(std::strlen(keyword));

    // Only the first occurrence of each form is looked at: a keyword that a
    // comment mentions earlier hides the real line.
    int p = FindAtLineStart(text, keyword, " ");
    if (p < 0) p = FindAtLineStart(text, keyword, "\t");
    if (p < 0) p = FindAtLineStart(text, keyword, "");
    if (p < 0) return 0;

    std::int32_t valueStart = -1;
    std::int32_t lineEnd = p;
    for (std::int32_t i = p; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (IsLineEnd(b)) {
            line->lineStart = p;
            line->valueStart = valueStart;
            line->lineEnd = lineEnd;
            return 1;
        }
        lineEnd = i;
        // The byte right after the keyword is the separator, never the value.
        if (!IsSpaceOrTab(b) && i > p + k && valueStart < 0) valueStart = i;
    }
    // A last line without a line break is not taken.
    return 0;
}

int ReadKeywordValue(const char* keyword, char* value) {
    if (!keyword || !value) return 0;
    value[0] = '\0';
    ConfigText config;
    if (!LoadBtcall(&config)) return 0;
    KeywordLine line = {};
    if (!FindKeywordLine(config.Text(), static_cast<std::int32_t>(config.Read()), keyword, &line)) return 0;

    char found[VALUE_SIZE] = {0};
    if (line.valueStart > line.lineStart && line.valueStart <= line.lineEnd) {
        // Longer values are cut to what the buffer holds.
        std::int32_t n = line.lineEnd - line.valueStart + 1;
        if (n > VALUE_SIZE - 1) n = VALUE_SIZE - 1;
        std::memcpy(found, config.Text() + line.valueStart, static_cast<std::size_t>(n));
        TrimText(found);
    }
    CopyText(value, VALUE_SIZE, found);
    return 1;
}

int WriteKeywordLine(const char* keyword, const char* value) {
    if (!keyword || !value) return 0;
    return EditKeywordLine(keyword, value) == EDIT_MADE ? 1 : 0;
}

int ReadDidSettings() {
    int result = 0;
    char value[VALUE_SIZE];
    if (ReadKeywordValue("did_variable", value)) {
        if (LeadingNumber(value) == 1) setupState.did.didVariable = 1;
        result = 1;
    }
    if (ReadKeywordValue("did_digits", value)) {
        long long digits = LeadingNumber(value);
        if (digits >= 0 && digits <= 63) setupState.did.didDigits = static_cast<std::int32_t>(digits);
        result = 1;
    }
    if (ReadKeywordValue("immediate", value)) {
        setupState.did.winkStart = 0;
        result = 1;
    }
    // With both start lines present, wink start wins.
    if (ReadKeywordValue("wink", value)) {
        setupState.did.winkStart = 1;
        result = 1;
    }
    return result;
}

int WriteDidSettings() { return EditDidSettings().made ? 1 : 0; }

int ExpandWindirInBtcall() { return ExpandWindir() == EDIT_MADE ? 1 : 0; }

int EditBtcallForInstallation() {
    bool expansionFailed = ExpandWindir() == EDIT_FAILED;
    bool didFailed = EditDidSettings().failed;
    return expansionFailed || didFailed ? 0 : 1;
}
