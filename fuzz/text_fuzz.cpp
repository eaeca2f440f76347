// The text helpers on arbitrary texts; each input picks one operation.
// Buffers are heap blocks of exactly the promised size, so AddressSanitizer
// sees any byte past them. Checked against simple models of the rules:
// trimming, splitting (count, field addresses, the changed text), the
// matching scan of FindText and ReplaceAll (a capacity too small or no match
// leaves the buffer as it was), the number entries (-1 or the value the
// entry stands for) and the case mapping (only case pairs change, and they
// undo each other).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"
#include "support.h"

namespace {

unsigned char Fold(unsigned char c) {
    return (c >= 'a' && c <= 'z') || c == 0xE4 || c == 0xF6 || c == 0xFC ? static_cast<unsigned char>(c - 32) : c;
}

std::string Trim(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first] - 1) < 32) ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1] - 1) < 32) --last;
    return text.substr(first, last - first);
}

std::vector<char> Block(const std::string& text, std::size_t size) {
    std::vector<char> block(size, '\x5A');
    std::memcpy(block.data(), text.c_str(), text.size() + 1);
    return block;
}

std::string Text(FuzzedDataProvider& input) {
    std::string text = input.ConsumeRemainingBytesAsString();
    return text.substr(0, text.find('\0'));
}

// The matching scan: after a false start only the byte that ended it is
// tried again. Calls occurrence(start) for each occurrence.
template <typename Occurrence>
void Scan(const std::string& text, const std::string& pattern, bool exact, Occurrence occurrence) {
    auto same = [&](char a, char b) {
        return exact ? a == b : Fold(static_cast<unsigned char>(a)) == Fold(static_cast<unsigned char>(b));
    };
    std::size_t m = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!same(text[i], pattern[m])) {
            m = 0;
            if (!same(text[i], pattern[0])) continue;
        }
        if (++m == pattern.size()) {
            m = 0;
            occurrence(i + 1 - pattern.size());
        }
    }
}

void CheckSplit(FuzzedDataProvider& input) {
    int maxFields = input.ConsumeIntegralInRange(1, 40);
    int skipEmpty = input.ConsumeBool() ? 1 : 0;
    std::string separators = input.ConsumeRandomLengthString(4);
    separators = separators.substr(0, separators.find('\0'));
    std::string text = Text(input);
    std::string expected = text;
    std::vector<char*> starts;
    std::vector<char> block = Block(text, text.size() + 1);
    bool inField = false;
    for (std::size_t i = 0; i < text.size() && static_cast<int>(starts.size()) < maxFields; ++i) {
        bool separator = separators.find(text[i]) != std::string::npos;
        if (!separator && !inField) starts.push_back(block.data() + i);
        if (separator && (inField || !skipEmpty)) expected[i] = '\0';
        if (separator && !inField && !skipEmpty) starts.push_back(block.data() + i);
        inField = !separator;
    }
    std::vector<char*> fields(static_cast<std::size_t>(maxFields), nullptr);
    int count = SplitFields(block.data(), separators.c_str(), fields.data(), maxFields, skipEmpty);
    FUZZ_CHECK(count == static_cast<int>(starts.size()));
    FUZZ_CHECK(std::equal(starts.begin(), starts.end(), fields.begin()));
    FUZZ_CHECK(std::memcmp(block.data(), expected.c_str(), expected.size() + 1) == 0);
}

void CheckFind(FuzzedDataProvider& input) {
    int exact = input.ConsumeBool() ? 1 : 0;
    std::string pattern = input.ConsumeRandomLengthString(16);
    pattern = pattern.substr(0, pattern.find('\0'));
    std::string text = Text(input);
    long long modelled = -1;
    if (!pattern.empty()) {
        Scan(text, pattern, exact != 0, [&](std::size_t start) {
            if (modelled < 0) modelled = static_cast<long long>(start);
        });
    }
    FUZZ_CHECK(FindText(text.c_str(), pattern.c_str(), exact) == modelled);
}

void CheckReplace(FuzzedDataProvider& input) {
    std::string pattern = input.ConsumeRandomLengthString(12);
    pattern = pattern.substr(0, pattern.find('\0'));
    std::string replacement = input.ConsumeRandomLengthString(40);
    replacement = replacement.substr(0, replacement.find('\0'));
    std::size_t capacity = input.ConsumeIntegralInRange<std::size_t>(0, 600);
    std::string text = Text(input);
    capacity += text.size() + 1;
    std::string expected;
    std::size_t copied = 0;
    int occurrences = 0;
    if (!pattern.empty()) {
        Scan(text, pattern, true, [&](std::size_t start) {
            expected += text.substr(copied, start - copied) + replacement;
            copied = start + pattern.size();
            ++occurrences;
        });
    }
    expected += text.substr(copied);
    std::vector<char> block = Block(text, capacity);
    const std::vector<char> before = block;
    int count = ReplaceAll(block.data(), pattern.c_str(), replacement.c_str(), capacity);
    if (occurrences == 0 || expected.size() + 1 > capacity) {
        FUZZ_CHECK(count == 0 && block == before);
        return;
    }
    FUZZ_CHECK(count == occurrences && std::string(block.data()) == expected);
    std::size_t touched = std::max(text.size(), expected.size()) + 1;
    FUZZ_CHECK(std::memcmp(block.data() + touched, before.data() + touched, capacity - touched) == 0);
}

void CheckNumbers(FuzzedDataProvider& input) {
    int decimals = input.ConsumeIntegralInRange(-2, 9);
    std::string text = Text(input);
    std::string entry = Trim(text.substr(0, CONTROL_TEXT_SIZE - 1));
    int decimal = ParseDecimalText(text.c_str(), decimals);
    if (entry.find_first_not_of("+,-.0123456789") != std::string::npos) FUZZ_CHECK(decimal == -1);
    if (decimal != -1) {
        for (char& c : entry) c = c == ',' ? '.' : c;
        double scale = std::pow(10.0, decimals > 0 ? decimals : 0);
        double value = std::strtod(entry.c_str(), nullptr) * scale;
        // Truncation after a bias of 1e-7 (scaled) away from zero.
        FUZZ_CHECK(std::fabs(decimal - value) < 1.0 + 1e-7 * scale + std::fabs(value) * 1e-12);
    }
    int hex = ParseHexText(text.c_str());
    if (entry.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        FUZZ_CHECK(hex == -1);
    } else {  // digits beyond eight shift the highest ones out
        std::string last8 = entry.substr(entry.size() > 8 ? entry.size() - 8 : 0);
        FUZZ_CHECK(hex == static_cast<int>(std::strtoul(("0" + last8).c_str(), nullptr, 16)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 5)) {
        case 0: {
            std::string text = Text(input);
            std::vector<char> block = Block(text, text.size() + 1);
            TrimText(block.data());
            FUZZ_CHECK(block.data() == Trim(text));
            break;
        }
        case 1: CheckSplit(input); break;
        case 2: CheckFind(input); break;
        case 3: CheckReplace(input); break;
        case 4: CheckNumbers(input); break;
        default: {
            std::string text = Text(input);
            std::vector<char> upper = Block(text, text.size() + 1), lower = upper;
            UpperCaseText(upper.data());
            LowerCaseText(lower.data());
            for (std::size_t i = 0; i < text.size(); ++i) {
                unsigned char c = static_cast<unsigned char>(text[i]);
                FUZZ_CHECK(static_cast<unsigned char>(upper[i]) == Fold(c));
                FUZZ_CHECK(Fold(static_cast<unsigned char>(lower[i])) == Fold(c));
                FUZZ_CHECK(lower[i] == text[i] || Fold(c) == c);  // only capitals change going down
            }
            break;
        }
    }
    return 0;
}
