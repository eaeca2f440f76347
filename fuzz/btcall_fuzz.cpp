// The btcall.cfg keyword operations on arbitrary contents (sometimes missing,
// sometimes repeated past 32 KiB); the input's last bytes choose the
// operation, the keyword (a DID keyword or a word without blanks), a value
// and the DID settings. A line found starts with the keyword (any case) at 0
// or after CR/LF and is ended by the first line end; the value read stands
// at its value, not ending in a blank; a line written replaces that line only
// and holds the value; DID settings read stay in range; after the expansion
// no %windir% is left, each grown by two bytes. Nothing else changes (the
// file only when the operation says so), nothing is held.
#include "core/text.h"
#include "driver/btcall.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hostwin::Reset();
    hostwin::MakeDirectories("C:\\WINDOWS\\bfax\\morvik");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char BTCALL[] = "C:\\WINDOWS\\bfax\\morvik\\btcall.cfg";
    static const char* const KEYWORDS[] = {"did_variable", "did_digits", "immediate", "wink"};
    auto IsLineEnd = [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; };
    if (size > 80000) return -1;
    FuzzedDataProvider input(data, size);
    int operation = input.ConsumeIntegralInRange(0, 5);
    bool missing = input.ConsumeIntegralInRange(0, 31) == 0, large = input.ConsumeIntegralInRange(0, 15) == 0;
    int choice = input.ConsumeIntegralInRange(0, 5), variable = input.ConsumeIntegralInRange(-1, 2);
    DidSettings did{variable, input.ConsumeIntegralInRange(-3, 70), input.ConsumeIntegralInRange(0, 2)};
    std::string keyword = choice < 4 ? KEYWORDS[choice] : input.ConsumeRandomLengthString(30) + "x";
    std::string value = input.ConsumeRandomLengthString(300) + "1", file = input.ConsumeRemainingBytesAsString();
    for (char& c : keyword) c = static_cast<unsigned char>(c) <= 32 ? '_' : c;
    for (char& c : value) c = IsLineEnd(c) ? '_' : c;
    while (large && !file.empty() && file.size() < 33000) file += file;
    fuzz::ResetState();
    setupState.did = did;
    std::string hostPath = hostwin::HostPath(BTCALL);
    missing ? (void)std::remove(hostPath.c_str()) : fuzz::PutFile(BTCALL, file);
    auto before = fuzz::Snapshot();

    KeywordLine line{-1, -1, -1};
    std::vector<char> block(file.c_str(), file.c_str() + file.size() + 1);
    bool found = !missing &&
                 FindKeywordLine(block.data(), static_cast<std::int32_t>(file.size()), keyword.c_str(), &line);
    std::size_t start = line.lineStart, end = line.lineEnd + 1, valueAt = line.valueStart;  // -1: not used
    if (found) {
        FUZZ_CHECK(start < end && end < file.size() && IsLineEnd(file[end]) &&
                   std::none_of(&file[start], &file[end], IsLineEnd));
        FUZZ_CHECK(start == 0 || file[start - 1] == '\r' || file[start - 1] == '\n');
        FUZZ_CHECK(FindText(file.substr(start, keyword.size()).c_str(), keyword.c_str(), 0) == 0);
        FUZZ_CHECK(line.valueStart == -1 || (start + keyword.size() < valueAt && valueAt < end));
    }
    bool changes = operation == 4 && WriteDidSettings() != 0;  // the DID lines there are, rewritten
    if (operation == 1) {
        std::vector<char> read(256, '\x5A');
        FUZZ_CHECK(ReadKeywordValue(keyword.c_str(), read.data()) == found);
        std::string got = read.data();  // AddressSanitizer sees a value without its NUL
        FUZZ_CHECK(got.empty() || (line.valueStart >= 0 && file.compare(valueAt, got.size(), got) == 0 &&
                                   valueAt + got.size() <= end && static_cast<unsigned char>(got.back()) > 32));
    } else if (operation == 2 && (changes = WriteKeywordLine(keyword.c_str(), value.c_str()) != 0)) {
        std::string after = fuzz::Bytes(hostPath);
        FUZZ_CHECK(found && after.size() + end >= file.size() + start);
        std::string written = after.substr(start, after.size() + end - file.size() - start);
        FUZZ_CHECK(after == file.substr(0, start) + written + file.substr(end) &&
                   written.find(value.substr(value[0] == '*' ? 1 : 0)) != std::string::npos &&
                   std::none_of(written.begin(), written.end(), IsLineEnd));
    } else if (operation == 3) {
        ReadDidSettings();
        const DidSettings& read = setupState.did;
        FUZZ_CHECK((read.didVariable == did.didVariable || read.didVariable == 1) &&
                   (read.winkStart == did.winkStart || read.winkStart == 0 || read.winkStart == 1));
        FUZZ_CHECK(read.didDigits == did.didDigits || (read.didDigits >= 0 && read.didDigits <= MAX_DID_DIGITS));
    } else if (operation == 5 && (changes = ExpandWindirInBtcall() != 0)) {
        std::string after = fuzz::Bytes(hostPath);
        FUZZ_CHECK(after.find("%windir%") == std::string::npos &&
                   after.size() == file.size() + 2 * fuzz::Occurrences(file, "%windir%"));
    }
    if (changes) fuzz::PutFile(BTCALL, file);  // the rest must be as it was
    FUZZ_CHECK(fuzz::Snapshot() == before);  // a missing file is not made either
    return 0;
}
