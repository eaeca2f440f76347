// The text helpers on arbitrary texts in heap blocks of exactly the promised
// size (AddressSanitizer sees any byte past them). A split turns only
// separators into NULs; a match FindText reports is there, one at the start
// is found, and ignoring case does not depend on the case of either text;
// lowering an upper-cased text lowers it; ReplaceAll changes nothing when it
// reports 0, else the length by its count, at most one per occurrence, and
// with room for the result it replaces what FindText finds; numbers written
// out read back (blanks around them trimmed), other characters read -1.
#include "core/text.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    int operation = input.ConsumeIntegralInRange(0, 3), option = input.ConsumeIntegralInRange(0, 40);
    int number = operation == 3 ? input.ConsumeIntegralInRange(0, 0x7FFFFFFF) : 0;
    std::string word = input.ConsumeRandomLengthString(16).c_str();  // texts end at their first NUL
    std::string replacement = input.ConsumeRandomLengthString(40).c_str();
    std::string text = input.ConsumeRemainingBytesAsString().c_str();
    // ReplaceAll's capacity: one short of the longest result, that exactly, or one more.
    std::size_t found = fuzz::Occurrences(text, word);
    std::size_t result = text.size() + found * replacement.size() - found * word.size();
    std::vector<char> block(std::max(text.size() + 1, operation == 2 ? result + option % 3 : 0), '\x5A');
    std::memcpy(block.data(), text.c_str(), text.size() + 1);
    if (operation == 0) {
        std::vector<char*> fields(static_cast<std::size_t>(option / 2 + 1), nullptr);
        int count = SplitFields(block.data(), word.c_str(), fields.data(), option / 2 + 1, option % 2);
        FUZZ_CHECK(count > 0 || text.find_first_not_of(word) == std::string::npos);
        for (std::size_t i = 0; i < text.size(); ++i)
            FUZZ_CHECK(block[i] == text[i] || (block[i] == '\0' && word.find(text[i]) != std::string::npos));
        for (int i = 0; i + 1 < count; ++i) FUZZ_CHECK(fields[i] >= block.data() && fields[i] < fields[i + 1]);
    } else if (operation == 1) {
        auto Cased = [](std::string text, bool upper) {
            upper ? UpperCaseText(&text[0]) : LowerCaseText(&text[0]);
            return text;
        };
        int exact = option % 2, at = FindText(text.c_str(), word.c_str(), exact);
        std::string match = at < 0 ? std::string() : text.substr(static_cast<std::size_t>(at), word.size());
        FUZZ_CHECK(at == -1 || (exact ? match == word : Cased(match, true) == Cased(word, true)));
        FUZZ_CHECK(word.empty() || FindText((word + text).c_str(), word.c_str(), exact) == 0);
        FUZZ_CHECK(exact || FindText(Cased(text, true).c_str(), Cased(word, false).c_str(), 0) == at);
        FUZZ_CHECK(Cased(Cased(text, true), false) == Cased(text, false));
    } else if (operation == 2) {
        int count = ReplaceAll(block.data(), word.c_str(), replacement.c_str(), block.size());
        FUZZ_CHECK(count >= 0 && static_cast<std::size_t>(count) <= found && (count > 0 || block.data() == text));
        FUZZ_CHECK(std::strlen(block.data()) + count * word.size() == text.size() + count * replacement.size());
        FUZZ_CHECK(count > 0 || block.size() <= result || FindText(text.c_str(), word.c_str(), 1) == -1);
    } else {
        char written[40];
        std::snprintf(written, sizeof written, option & 1 ? " %d%c%02d\t" : "%d", number / 100, option & 2 ? ',' : '.',
                      number % 100);
        FUZZ_CHECK(ParseDecimalText(written, option & 1 ? 2 : 0) == (option & 1 ? number : number / 100));
        std::snprintf(written, sizeof written, option & 4 ? "\t%X " : "%x", static_cast<unsigned>(number));
        FUZZ_CHECK(ParseHexText(written) == number);
        block[std::min<std::size_t>(text.size(), CONTROL_TEXT_SIZE - 1)] = '\0';  // the entry as a control holds it
        TrimText(block.data());
        FUZZ_CHECK(!block[std::strspn(block.data(), "+,-.0123456789")] ||
                   ParseDecimalText(text.c_str(), option % 3) == -1);
        FUZZ_CHECK(!block[std::strspn(block.data(), "0123456789abcdefABCDEF")] || ParseHexText(text.c_str()) == -1);
    }
    return 0;
}
