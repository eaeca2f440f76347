// The btcall.cfg keyword operations on arbitrary file contents. The input's
// last bytes choose the operation, the keyword, a value and the DID
// settings; the rest is the file (sometimes there is no file at all, and
// sometimes it is repeated to more than 32 KiB).
// Keywords are the program's own (the four DID keywords) or any word of
// bytes above the blank: a keyword never holds a line end or a blank.
//
// Properties checked beyond "no crash":
// - FindKeywordLine: a line is found exactly when the first occurrence of
//   keyword+blank, keyword+TAB or keyword alone (tried in that order) starts
//   a line and a line end follows within the length; the line starts with
//   the keyword (case folded) at 0 or after CR/LF, holds no line end, is
//   followed by one, and its value starts after the separator position at
//   the first byte that is no blank or TAB.
// - ReadKeywordValue: the trimmed value of that line, at most 255
//   characters; the file is not touched.
// - WriteKeywordLine: exactly the bytes of the found line are replaced by
//   the new line (keyword in a field of 24 and the value, or the value
//   after '*'); everything before and after stays; a line of more than 255
//   characters, or no line found, leaves the file as it was.
// - ReadDidSettings: the result says whether any DID keyword line exists;
//   didDigits changes only to a value 0..63, didVariable only to 1,
//   winkStart as the start lines say (wink winning).
// - WriteDidSettings: the file equals the three edits applied in turn.
// - ExpandWindirInBtcall: every "%windir%" becomes the lower-case Windows
//   directory and nothing else changes; a file without one, or with a zero
//   byte inside, is not re-created.
// - Always: no file other than btcall.cfg changes or appears (no temporary
//   file left), a missing file is not created, no handle or memory block
//   is held afterwards.
#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "core/text.h"
#include "driver/btcall.h"
#include "support.h"

namespace {

const char BTCALL[] = "C:\\WINDOWS\\bfax\\morvik\\btcall.cfg";
const char* const DID_KEYWORDS[] = {"did_variable", "did_digits", "immediate", "wink"};

bool IsLineEnd(unsigned char c) { return c < 0x20 && c != '\t'; }
bool IsSpaceOrTab(unsigned char c) { return c == ' ' || c == '\t'; }

std::string FoldAll(std::string text) {
    UpperCaseText(&text[0]);
    return text.c_str();
}

// The text as the operations hold it: the file followed by 1024 zero bytes.
std::vector<char> Held(const std::string& file) {
    std::vector<char> block(file.size() + 1024, '\0');
    std::memcpy(block.data(), file.data(), file.size());
    return block;
}

bool Find(const std::string& file, const std::string& keyword, KeywordLine* line) {
    std::vector<char> block = Held(file);
    return FindKeywordLine(block.data(), static_cast<std::int32_t>(file.size()), keyword.c_str(), line) != 0;
}

// Where FindText puts the first occurrence of the pattern, if it starts a line.
int AtLineStart(const char* text, const std::string& pattern) {
    int p = FindText(text, pattern.c_str(), 0);
    return p == 0 || (p > 0 && (text[p - 1] == '\r' || text[p - 1] == '\n')) ? p : -1;
}

void CheckFind(const std::string& file, const std::string& keyword) {
    std::vector<char> block = Held(file);
    KeywordLine line;
    std::memset(&line, 0xA5, sizeof line);
    int found = FindKeywordLine(block.data(), static_cast<std::int32_t>(file.size()), keyword.c_str(), &line);
    FUZZ_CHECK(std::memcmp(block.data(), file.data(), file.size()) == 0);

    int p = AtLineStart(block.data(), keyword + " ");
    if (p < 0) p = AtLineStart(block.data(), keyword + "\t");
    if (p < 0) p = AtLineStart(block.data(), keyword);
    std::size_t lineEnd = std::string::npos;
    for (std::size_t i = p < 0 ? file.size() : static_cast<std::size_t>(p); i < file.size(); ++i) {
        if (IsLineEnd(static_cast<unsigned char>(file[i]))) {
            lineEnd = i;
            break;
        }
    }
    FUZZ_CHECK(found == (lineEnd != std::string::npos ? 1 : 0));
    if (!found) return;

    std::size_t start = static_cast<std::size_t>(line.lineStart);
    std::size_t k = keyword.size();
    FUZZ_CHECK(line.lineStart == p);
    FUZZ_CHECK(static_cast<std::size_t>(line.lineEnd) + 1 == lineEnd);
    FUZZ_CHECK(FoldAll(file.substr(start, k)) == FoldAll(keyword));
    if (line.valueStart == -1) {
        for (std::size_t i = start + k + 1; i < lineEnd; ++i) FUZZ_CHECK(IsSpaceOrTab(static_cast<unsigned char>(file[i])));
    } else {
        std::size_t value = static_cast<std::size_t>(line.valueStart);
        FUZZ_CHECK(value > start + k && value < lineEnd);
        FUZZ_CHECK(!IsSpaceOrTab(static_cast<unsigned char>(file[value])));
        for (std::size_t i = start + k + 1; i < value; ++i) FUZZ_CHECK(IsSpaceOrTab(static_cast<unsigned char>(file[i])));
    }
}

std::string Trimmed(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) >= 1 && static_cast<unsigned char>(text[first]) <= 32) {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) >= 1 &&
           static_cast<unsigned char>(text[last - 1]) <= 32) {
        --last;
    }
    return text.substr(first, last - first);
}

// The value ReadKeywordValue gives for a found line: at most 255 bytes
// from the value's start, trimmed.
std::string ValueOf(const std::string& file, const KeywordLine& line) {
    if (line.valueStart < 0) return "";
    std::string value = file.substr(static_cast<std::size_t>(line.valueStart),
                                    static_cast<std::size_t>(line.lineEnd - line.valueStart + 1));
    value = value.substr(0, 255);
    return Trimmed(value.substr(0, value.find('\0')));
}

// One keyword edit as WriteKeywordLine makes it; false when nothing is written.
bool Edit(std::string* file, const std::string& keyword, const std::string& value) {
    KeywordLine line;
    if (!Find(*file, keyword, &line)) return false;
    std::string newLine = value[0] == '*' ? value.substr(1) : keyword + std::string(keyword.size() < 24 ? 24 - keyword.size() : 0, ' ') + value;
    if (newLine.size() > 255) return false;
    *file = file->substr(0, static_cast<std::size_t>(line.lineStart)) + newLine +
            file->substr(static_cast<std::size_t>(line.lineEnd) + 1);
    return true;
}

// Leading blanks, a sign, then digits; 0 without digits.
long long LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) >= 1 && static_cast<unsigned char>(text[i]) <= 32) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && number < 1000000000000LL; ++i) {
        number = number * 10 + (text[i] - '0');
    }
    return negative ? -number : number;
}

std::string Expanded(const std::string& file) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = file.find("%windir%", from)) != std::string::npos; from = at + 8) {
        out += file.substr(from, at - from) + "c:\\windows";
    }
    return out + file.substr(from);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartMachine();
    hostwin::MakeDirectories("C:\\WINDOWS\\bfax\\morvik");
    fuzz::PutFile("C:\\WINDOWS\\bfax\\faxinit.cfg", "another file that must stay as it is\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 80000) return -1;
    FuzzedDataProvider input(data, size);
    int operation = input.ConsumeIntegralInRange(0, 5);
    bool missing = input.ConsumeIntegralInRange(0, 31) == 0;
    // Now and then the file is its text over and over, past the 32 KiB that
    // the search and replacement were once limited to.
    bool large = input.ConsumeIntegralInRange(0, 15) == 0;
    int keywordChoice = input.ConsumeIntegralInRange(0, 5);
    DidSettings did;
    did.didVariable = input.ConsumeIntegralInRange(-1, 2);
    did.didDigits = input.ConsumeIntegralInRange(-3, 70);
    did.winkStart = input.ConsumeIntegralInRange(0, 2);
    std::string keyword = keywordChoice < 4 ? DID_KEYWORDS[keywordChoice] : input.ConsumeRandomLengthString(30);
    for (char& c : keyword) c = static_cast<unsigned char>(c) <= 32 ? '_' : c;
    if (keyword.empty()) keyword = "x";
    std::string value = input.ConsumeRandomLengthString(300);
    value = value.substr(0, value.find('\0'));
    std::string file = input.ConsumeRemainingBytesAsString();
    while (large && !file.empty() && file.size() < 33000) file += file;

    fuzz::ResetState();
    setupState.did = did;
    if (missing) {
        fuzz::RemoveFile(BTCALL);
    } else {
        fuzz::PutFile(BTCALL, file);
    }
    fuzz::DiskImage disk = fuzz::Disk();
    fuzz::Holdings before = fuzz::Hold();

    std::string expected = file;  // the file afterwards
    switch (operation) {
        case 0:
            CheckFind(file, keyword);
            break;
        case 1: {
            std::vector<char> buffer(256, '\x5A');
            int result = ReadKeywordValue(keyword.c_str(), buffer.data());
            KeywordLine line;
            bool found = !missing && Find(file, keyword, &line);
            FUZZ_CHECK(result == (found ? 1 : 0));
            FUZZ_CHECK(std::memchr(buffer.data(), '\0', buffer.size()) != nullptr);
            FUZZ_CHECK(std::string(buffer.data()) == (found ? ValueOf(file, line) : ""));
            break;
        }
        case 2: {
            std::string wanted = value.empty() ? "1" : value;
            int result = WriteKeywordLine(keyword.c_str(), wanted.c_str());
            bool edited = !missing && Edit(&expected, keyword, wanted);
            FUZZ_CHECK(result == (edited ? 1 : 0));
            break;
        }
        case 3: {
            int result = ReadDidSettings();
            KeywordLine lines[4];
            bool found[4];
            for (int i = 0; i < 4; ++i) found[i] = !missing && Find(file, DID_KEYWORDS[i], &lines[i]);
            FUZZ_CHECK(result == ((found[0] || found[1] || found[2] || found[3]) ? 1 : 0));
            DidSettings want = did;
            if (found[0] && LeadingNumber(ValueOf(file, lines[0])) == 1) want.didVariable = 1;
            long long digits = found[1] ? LeadingNumber(ValueOf(file, lines[1])) : -1;
            if (digits >= 0 && digits <= 63) want.didDigits = static_cast<std::int32_t>(digits);
            if (found[2]) want.winkStart = 0;
            if (found[3]) want.winkStart = 1;
            FUZZ_CHECK(setupState.did.didVariable == want.didVariable);
            FUZZ_CHECK(setupState.did.didDigits == want.didDigits);
            FUZZ_CHECK(setupState.did.winkStart == want.winkStart);
            break;
        }
        case 4: {
            int result = WriteDidSettings();
            bool any = false;
            if (!missing) {
                any |= Edit(&expected, "did_digits", std::to_string(did.didDigits));
                any |= Edit(&expected, "did_variable", did.didVariable ? "1" : "0");
                any |= did.winkStart ? Edit(&expected, "immediate", "*wink") : Edit(&expected, "wink", "*immediate");
            }
            FUZZ_CHECK(result == (any ? 1 : 0));
            FUZZ_CHECK(std::memcmp(&setupState.did, &did, sizeof did) == 0);
            break;
        }
        default: {
            int result = ExpandWindirInBtcall();
            bool expands = !missing && file.find('\0') == std::string::npos && file.find("%windir%") != std::string::npos;
            if (expands) expected = Expanded(file);
            FUZZ_CHECK(result == (expands ? 1 : 0));
            break;
        }
    }

    fuzz::CheckNothingHeld(before);
    fuzz::DiskImage after = fuzz::Disk();
    std::string btcallKey = hostwin::HostPath(BTCALL).substr(hostwin::HostRoot().size());
    if (missing) {
        FUZZ_CHECK(after == disk);
    } else {
        FUZZ_CHECK(after[btcallKey] == expected);
        after[btcallKey] = file;
        FUZZ_CHECK(after == disk);
    }
    return 0;
}
