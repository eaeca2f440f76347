// The text helpers on arbitrary texts in heap blocks of exactly the promised
// size (AddressSanitizer sees any byte past them). Trimming takes blanks
// (1..32) off the ends only; a split turns only separators into NULs; a
// match FindText reports is there, one at the start is found, and ignoring
// case does not depend on the case of either text; ReplaceAll changes
// nothing when it reports 0, else the length by its count, at most one per
// occurrence; numbers written out read back, other characters read -1; the
// case mappings undo each other.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"
#include "support.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c - 1) < 32; }

std::string Word(FuzzedDataProvider& input, std::size_t most) {
    std::string word = input.ConsumeRandomLengthString(most);
    return word.substr(0, word.find('\0'));
}

std::string Cased(std::string text, bool upper) {
    upper ? UpperCaseText(&text[0]) : LowerCaseText(&text[0]);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    int operation = input.ConsumeIntegralInRange(0, 5), option = input.ConsumeIntegralInRange(0, 40);
    int number = input.ConsumeIntegralInRange(0, 0x7FFFFFFF);
    std::string word = Word(input, 16), replacement = Word(input, 40), text = Word(input, size);
    // ReplaceAll's capacity: one short of the result, the result exactly, or one more.
    std::size_t result = text.size() + fuzz::Occurrences(text, word) * replacement.size() -
                         fuzz::Occurrences(text, word) * word.size();
    std::vector<char> block(std::max(text.size() + 1, operation == 3 ? result + option % 3 : 0), '\x5A');
    std::memcpy(block.data(), text.c_str(), text.size() + 1);
    const std::vector<char> before = block;
    if (operation == 0) {
        TrimText(block.data());
        std::string trimmed = block.data();
        std::size_t at = text.find(trimmed);
        FUZZ_CHECK(trimmed.empty() || (!IsBlank(trimmed[0]) && !IsBlank(trimmed.back())));
        for (std::size_t i = 0; i < text.size(); ++i) {
            FUZZ_CHECK((i >= at && i < at + trimmed.size()) || IsBlank(text[i]));
        }
    } else if (operation == 1) {
        std::vector<char*> fields(static_cast<std::size_t>(option / 2 + 1), nullptr);
        int count = SplitFields(block.data(), word.c_str(), fields.data(), option / 2 + 1, option % 2);
        FUZZ_CHECK(count <= option / 2 + 1 && (count > 0 || text.find_first_not_of(word) == std::string::npos));
        for (std::size_t i = 0; i < text.size(); ++i) {
            FUZZ_CHECK(block[i] == text[i] || (block[i] == '\0' && word.find(text[i]) != std::string::npos));
        }
        for (int i = 0; i + 1 < count; ++i) FUZZ_CHECK(fields[i] >= block.data() && fields[i] < fields[i + 1]);
    } else if (operation == 2) {
        int exact = option % 2, at = FindText(text.c_str(), word.c_str(), exact);
        FUZZ_CHECK(at == -1 || (at >= 0 && static_cast<std::size_t>(at) + word.size() <= text.size()));
        std::string found = at < 0 ? std::string() : text.substr(static_cast<std::size_t>(at), word.size());
        FUZZ_CHECK(at < 0 || (exact ? found == word : Cased(found, true) == Cased(word, true)));
        FUZZ_CHECK(word.empty() || FindText((word + text).c_str(), word.c_str(), exact) == 0);
        FUZZ_CHECK(exact || FindText(Cased(text, true).c_str(), Cased(word, false).c_str(), 0) == at);
    } else if (operation == 3) {
        int count = ReplaceAll(block.data(), word.c_str(), replacement.c_str(), block.size());
        FUZZ_CHECK(count >= 0 && static_cast<std::size_t>(count) <= fuzz::Occurrences(text, word));
        FUZZ_CHECK(count > 0 || block == before);
        FUZZ_CHECK(std::strlen(block.data()) + count * word.size() == text.size() + count * replacement.size());
    } else if (operation == 4) {
        char written[40];
        std::snprintf(written, sizeof written, option & 1 ? " %d%c%02d\t" : "%d", number / 100, option & 2 ? ',' : '.',
                      number % 100);
        FUZZ_CHECK(ParseDecimalText(written, option & 1 ? 2 : 0) == (option & 1 ? number : number / 100));
        std::snprintf(written, sizeof written, option & 4 ? "\t%X " : "%x", static_cast<unsigned>(number));
        FUZZ_CHECK(ParseHexText(written) == number);
        block[std::min<std::size_t>(text.size(), CONTROL_TEXT_SIZE - 1)] = '\0';  // as a control holds it
        TrimText(block.data());
        std::string entry = block.data();
        bool decimal = entry.find_first_not_of("+,-.0123456789") == std::string::npos;
        bool hex = entry.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        FUZZ_CHECK(decimal || ParseDecimalText(text.c_str(), option % 3) == -1);
        FUZZ_CHECK(hex || ParseHexText(text.c_str()) == -1);
    } else {
        std::string upper = Cased(text, true), lower = Cased(text, false);
        FUZZ_CHECK(Cased(lower, true) == upper && Cased(upper, false) == lower);
    }
    return 0;
}
