// The btcall.cfg keyword operations on arbitrary file contents. The input's
// last bytes choose the operation, the keyword (one of the four DID keywords
// or any word without blanks), a value and the DID settings; the rest is the
// file (sometimes missing, sometimes repeated past 32 KiB). Checked against
// a model written from the rules:
// - the line found starts with the keyword at 0 or after CR/LF, and is the
//   first occurrence of keyword+blank, +TAB or alone that does; its value
//   starts at the first byte after the separator that is no blank or TAB;
// - ReadKeywordValue gives that value trimmed, at most 255 characters;
// - WriteKeywordLine replaces exactly that line (keyword in a field of 24 and
//   the value, or the value after '*'), not when longer than 255;
// - ReadDidSettings takes digits 0..63, variable 1 only, wink winning;
// - WriteDidSettings makes the three edits in turn;
// - ExpandWindirInBtcall replaces every "%windir%" by the lower-case Windows
//   directory, and does not touch a file with a zero byte;
// - no other file changes or appears, a missing file is not created, nothing
//   is held afterwards.
#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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

bool IsLineEnd(char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }

struct Line {
    bool found = false;
    std::size_t start = 0, valueStart = 0, end = 0;  // end: the line end byte; valueStart == end: no value
};

// Where FindText (checked on its own by the text target) puts the first
// occurrence of the pattern, if it starts a line; else npos.
std::size_t AtLineStart(const std::string& file, const std::string& pattern) {
    int p = FindText(file.c_str(), pattern.c_str(), 0);
    return p == 0 || (p > 0 && (file[p - 1] == '\r' || file[p - 1] == '\n')) ? static_cast<std::size_t>(p)
                                                                             : std::string::npos;
}

Line Find(const std::string& file, const std::string& keyword) {
    Line line;
    std::size_t p = AtLineStart(file, keyword + " ");
    if (p == std::string::npos) p = AtLineStart(file, keyword + "\t");
    if (p == std::string::npos) p = AtLineStart(file, keyword);
    if (p == std::string::npos) return line;
    line.start = p;
    for (line.end = p; line.end < file.size() && !IsLineEnd(file[line.end]); ++line.end) {
    }
    line.found = line.end < file.size();
    line.valueStart = std::min(line.end, p + keyword.size() + 1);
    while (line.valueStart < line.end && (file[line.valueStart] == ' ' || file[line.valueStart] == '\t')) {
        ++line.valueStart;
    }
    return line;
}

std::string ValueOf(const std::string& file, const Line& line) {
    std::string value = file.substr(line.valueStart, std::min<std::size_t>(line.end - line.valueStart, 255));
    std::size_t last = value.size();
    while (last > 0 && static_cast<unsigned char>(value[last - 1] - 1) < 32) --last;
    return value.substr(0, last);
}

bool Edit(std::string* file, const std::string& keyword, const std::string& value) {
    Line line = Find(*file, keyword);
    std::string newLine = value[0] == '*' ? value.substr(1) : keyword + std::string(24 - std::min<std::size_t>(keyword.size(), 24), ' ') + value;
    if (!line.found || newLine.size() > 255) return false;
    *file = file->substr(0, line.start) + newLine + file->substr(line.end);
    return true;
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
    auto disk = fuzz::Disk();
    fuzz::Holdings before = fuzz::Hold();
    Line lines[4];
    for (int i = 0; i < 4; ++i) lines[i] = missing ? Line() : Find(file, DID_KEYWORDS[i]);

    std::string expected = file;  // the file afterwards
    switch (operation) {
        case 0: {
            KeywordLine line{-1, -1, -1};
            Line model = Find(file, keyword);
            std::vector<char> block(file.begin(), file.end());
            block.resize(file.size() + 1024, '\0');  // as the operations hold the text
            FUZZ_CHECK(FindKeywordLine(block.data(), static_cast<std::int32_t>(file.size()), keyword.c_str(), &line) ==
                       (model.found ? 1 : 0));
            if (model.found) {
                FUZZ_CHECK(line.lineStart == static_cast<std::int32_t>(model.start));
                FUZZ_CHECK(line.lineEnd + 1 == static_cast<std::int32_t>(model.end));
                FUZZ_CHECK(line.valueStart == (model.valueStart == model.end ? -1 : static_cast<std::int32_t>(model.valueStart)));
            }
            break;
        }
        case 1: {
            std::vector<char> buffer(256, '\x5A');
            Line line = missing ? Line() : Find(file, keyword);
            FUZZ_CHECK(ReadKeywordValue(keyword.c_str(), buffer.data()) == (line.found ? 1 : 0));
            FUZZ_CHECK(std::memchr(buffer.data(), '\0', buffer.size()) != nullptr);
            std::string got = buffer.data();
            FUZZ_CHECK(!line.found || got == ValueOf(file, line));
            break;
        }
        case 2: {
            std::string wanted = value.empty() ? "1" : value;
            FUZZ_CHECK(WriteKeywordLine(keyword.c_str(), wanted.c_str()) == (!missing && Edit(&expected, keyword, wanted)));
            break;
        }
        case 3: {
            int result = ReadDidSettings();
            FUZZ_CHECK(result == (lines[0].found || lines[1].found || lines[2].found || lines[3].found));
            DidSettings want = did;
            if (lines[0].found && std::strtoll(ValueOf(file, lines[0]).c_str(), nullptr, 10) == 1) want.didVariable = 1;
            long long digits = lines[1].found ? std::strtoll(ValueOf(file, lines[1]).c_str(), nullptr, 10) : -1;
            if (digits >= 0 && digits <= 63) want.didDigits = static_cast<std::int32_t>(digits);
            if (lines[2].found) want.winkStart = 0;
            if (lines[3].found) want.winkStart = 1;
            FUZZ_CHECK(std::memcmp(&setupState.did, &want, sizeof want) == 0);
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
            bool expands = !missing && file.find('\0') == std::string::npos && file.find("%windir%") != std::string::npos;
            FUZZ_CHECK(ExpandWindirInBtcall() == (expands ? 1 : 0));
            std::size_t at = 0;
            while (expands && (at = expected.find("%windir%", at)) != std::string::npos) {
                expected.replace(at, 8, "c:\\windows");
                at += 10;
            }
            break;
        }
    }

    fuzz::CheckNothingHeld(before);
    auto after = fuzz::Disk();
    std::string btcallKey = hostwin::HostPath(BTCALL).substr(hostwin::HostRoot().size());
    if (!missing) {
        FUZZ_CHECK(after[btcallKey] == expected);
        after[btcallKey] = file;
    }
    FUZZ_CHECK(after == disk);
    return 0;
}
