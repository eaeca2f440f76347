// The text helpers on arbitrary texts. Each input picks one operation.
//
// Properties checked beyond "no crash" (buffers are heap blocks of exactly
// the size the caller promises, so AddressSanitizer sees any byte past it):
// - TrimText: the result is the text without its leading and trailing
//   blanks (bytes 1..32), nothing else.
// - SplitFields: count, field addresses and the changed text equal a
//   simple model of the rules; never more than maxFields addresses.
// - FindText: the inputs stay unchanged; a result >= 0 is a real occurrence
//   (case folded unless exact) and never before the first one; -1 when there
//   is none; and when the pattern's first character does not recur in it,
//   exactly the first occurrence.
// - ReplaceAll: the text equals a model of the scan; a capacity too small
//   leaves the whole buffer unchanged, as does no match; nothing past the
//   longer of the old and new text is touched; a pattern whose first
//   character does not recur is replaced at every occurrence.
// - ParseDecimalText / ParseHexText: -1 or the value the entry stands for
//   (within the bias of the decimal rule); texts that are plain numbers give
//   their value exactly; the *Field forms give the same for the same text in
//   a control.
// - UpperCaseText / LowerCaseText: only the case pairs change, and they
//   undo each other.
#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"
#include "support.h"

namespace {

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }

unsigned char Fold(unsigned char c) {
    static const std::string lower = "abcdefghijklmnopqrstuvwxyz\xE4\xF6\xFC";
    static const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ\xC4\xD6\xDC";
    std::size_t at = lower.find(static_cast<char>(c));
    return at == std::string::npos ? c : static_cast<unsigned char>(upper[at]);
}

std::string FoldAll(std::string text) {
    for (char& c : text) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    return text;
}

std::string NoNul(std::string text) { return text.substr(0, text.find('\0')); }

// A heap block of exactly size bytes holding text and its NUL, the rest
// filled with a byte that is easy to tell apart.
std::vector<char> Block(const std::string& text, std::size_t size) {
    std::vector<char> block(size, '\x5A');
    std::memcpy(block.data(), text.c_str(), text.size() + 1);
    return block;
}

// The matching scan of FindText and ReplaceAll, written from its rules:
// calls occurrence(end) at the last character of each occurrence and
// reports false starts through falseStart(from, count).
template <typename Occurrence, typename FalseStart>
std::size_t Scan(const std::string& text, const std::string& pattern, bool exact, Occurrence occurrence,
                 FalseStart falseStart) {
    auto same = [&](char a, char b) {
        return exact ? a == b : Fold(static_cast<unsigned char>(a)) == Fold(static_cast<unsigned char>(b));
    };
    std::size_t m = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!same(text[i], pattern[m])) {
            if (m > 0) falseStart(i - m, m);
            m = 0;
            if (!same(text[i], pattern[0])) continue;
        }
        if (++m == pattern.size()) {
            m = 0;
            occurrence(i);
        }
    }
    return m;  // characters of a partial match pending at the end
}

bool FirstCharacterRecurs(const std::string& pattern, bool exact) {
    std::string p = exact ? pattern : FoldAll(pattern);
    return p.find(p[0], 1) != std::string::npos;
}

void CheckTrim(FuzzedDataProvider& input) {
    std::string text = NoNul(input.ConsumeRemainingBytesAsString());
    std::vector<char> block = Block(text, text.size() + 1);
    TrimText(block.data());
    std::size_t first = 0, last = text.size();
    while (first < last && IsBlank(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && IsBlank(static_cast<unsigned char>(text[last - 1]))) --last;
    FUZZ_CHECK(std::string(block.data()) == text.substr(first, last - first));
}

void CheckSplit(FuzzedDataProvider& input) {
    int maxFields = input.ConsumeIntegralInRange(1, 40);
    int skipEmpty = input.ConsumeBool() ? 1 : 0;
    std::string separators = NoNul(input.ConsumeRandomLengthString(4));
    std::string text = NoNul(input.ConsumeRemainingBytesAsString());

    // The model: runs of ordinary characters are fields; without skipEmpty a
    // separator that does not close a field is an empty field of its own.
    std::string expected = text;
    std::vector<std::size_t> starts;
    bool inField = false;
    for (std::size_t i = 0; i < text.size() && static_cast<int>(starts.size()) < maxFields; ++i) {
        bool separator = separators.find(text[i]) != std::string::npos;
        if (!separator && !inField) {
            starts.push_back(i);
            inField = true;
        } else if (separator && inField) {
            expected[i] = '\0';
            inField = false;
        } else if (separator && !skipEmpty) {
            starts.push_back(i);
            expected[i] = '\0';
        }
    }

    std::vector<char> block = Block(text, text.size() + 1);
    std::vector<char*> fields(static_cast<std::size_t>(maxFields), nullptr);
    int count = SplitFields(block.data(), separators.c_str(), fields.data(), maxFields, skipEmpty);
    FUZZ_CHECK(count >= 0 && count <= maxFields);
    FUZZ_CHECK(static_cast<std::size_t>(count) == starts.size());
    FUZZ_CHECK(std::memcmp(block.data(), expected.c_str(), expected.size() + 1) == 0);
    for (int i = 0; i < count; ++i) {
        FUZZ_CHECK(fields[static_cast<std::size_t>(i)] == block.data() + starts[static_cast<std::size_t>(i)]);
        // A field holds no separator, except the last one allowed, which
        // keeps the rest of the text.
        if (i + 1 < maxFields) {
            for (const char* p = fields[static_cast<std::size_t>(i)]; *p; ++p) {
                FUZZ_CHECK(separators.find(*p) == std::string::npos);
            }
        }
    }
}

void CheckFind(FuzzedDataProvider& input) {
    int exact = input.ConsumeBool() ? 1 : 0;
    std::string pattern = NoNul(input.ConsumeRandomLengthString(16));
    std::string text = NoNul(input.ConsumeRemainingBytesAsString());
    std::vector<char> textBlock = Block(text, text.size() + 1);
    std::vector<char> patternBlock = Block(pattern, pattern.size() + 1);

    int found = FindText(textBlock.data(), patternBlock.data(), exact);
    FUZZ_CHECK(std::string(textBlock.data()) == text);
    FUZZ_CHECK(std::string(patternBlock.data()) == pattern);

    if (text.empty() || pattern.empty()) {
        FUZZ_CHECK(found == -1);
        return;
    }
    std::string haystack = exact ? text : FoldAll(text);
    std::string needle = exact ? pattern : FoldAll(pattern);
    std::size_t first = haystack.find(needle);
    long long modelled = -1;
    Scan(
        text, pattern, exact != 0,
        [&](std::size_t end) {
            if (modelled < 0) modelled = static_cast<long long>(end + 1 - pattern.size());
        },
        [](std::size_t, std::size_t) {});
    FUZZ_CHECK(found == modelled);
    if (found >= 0) {
        FUZZ_CHECK(haystack.compare(static_cast<std::size_t>(found), needle.size(), needle) == 0);
        FUZZ_CHECK(static_cast<std::size_t>(found) >= first);
    } else {
        FUZZ_CHECK(first == std::string::npos || FirstCharacterRecurs(pattern, exact != 0));
    }
    if (!FirstCharacterRecurs(pattern, exact != 0)) {
        FUZZ_CHECK(found == (first == std::string::npos ? -1 : static_cast<int>(first)));
    }
}

void CheckReplace(FuzzedDataProvider& input) {
    std::string pattern = NoNul(input.ConsumeRandomLengthString(12));
    std::string replacement = NoNul(input.ConsumeRandomLengthString(40));
    std::size_t slack = input.ConsumeIntegralInRange<std::size_t>(0, 600);
    std::string text = NoNul(input.ConsumeRemainingBytesAsString());
    std::size_t capacity = text.size() + 1 + slack;

    // The model: the text with every occurrence the scan finds replaced.
    std::string expected;
    std::size_t copiedUpTo = 0;
    int occurrences = 0;
    if (!pattern.empty()) {
        std::size_t pending = Scan(
            text, pattern, true,
            [&](std::size_t end) {
                std::size_t start = end + 1 - pattern.size();
                expected += text.substr(copiedUpTo, start - copiedUpTo) + replacement;
                copiedUpTo = end + 1;
                ++occurrences;
            },
            [](std::size_t, std::size_t) {});
        (void)pending;
    }
    expected += text.substr(copiedUpTo);

    std::vector<char> block = Block(text, capacity);
    const std::vector<char> before = block;
    int count = ReplaceAll(block.data(), pattern.c_str(), replacement.c_str(), capacity);
    if (occurrences == 0 || expected.size() + 1 > capacity) {
        FUZZ_CHECK(count == 0);
        FUZZ_CHECK(block == before);
        return;
    }
    FUZZ_CHECK(count == occurrences);
    FUZZ_CHECK(std::string(block.data()) == expected);
    std::size_t touched = std::max(text.size(), expected.size()) + 1;
    FUZZ_CHECK(std::memcmp(block.data() + touched, before.data() + touched, capacity - touched) == 0);

    if (!FirstCharacterRecurs(pattern, true)) {
        std::string plain;
        std::size_t from = 0;
        int n = 0;
        for (std::size_t at; (at = text.find(pattern, from)) != std::string::npos; from = at + pattern.size(), ++n) {
            plain += text.substr(from, at - from) + replacement;
        }
        plain += text.substr(from);
        FUZZ_CHECK(n == count);
        FUZZ_CHECK(plain == expected);
    }
}

// The entry as a control holds it: at most 255 characters, trimmed.
std::string AsEntered(const std::string& text) {
    std::string held = text.substr(0, CONTROL_TEXT_SIZE - 1);
    std::size_t first = 0, last = held.size();
    while (first < last && IsBlank(static_cast<unsigned char>(held[first]))) ++first;
    while (last > first && IsBlank(static_cast<unsigned char>(held[last - 1]))) --last;
    return held.substr(first, last - first);
}

// A dialog with the entry in control 1001, for the *Field forms; made anew
// for each input, as a window keeps every text it was given.
class Dialog {
public:
    explicit Dialog(const std::string& text) : window_(hostwin::CreateWindow("#32770", "numbers")) {
        hostwin::CreateControl(window_, 1001);
        SetControlText(window_, 1001, text.c_str());
    }
    ~Dialog() { hostwin::DestroyWindow(window_); }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

void CheckNumbers(FuzzedDataProvider& input) {
    int decimals = input.ConsumeIntegralInRange(-2, 9);
    std::string text = NoNul(input.ConsumeRemainingBytesAsString());
    std::string entry = AsEntered(text);
    Dialog dialog(text);

    int decimal = ParseDecimalText(text.c_str(), decimals);
    FUZZ_CHECK(decimal == ParseDecimalField(dialog.Get(), 1001, decimals));
    bool decimalCharacters = entry.find_first_not_of("+,-.0123456789") == std::string::npos;
    if (!decimalCharacters) FUZZ_CHECK(decimal == -1);
    if (decimal != -1) {
        std::string dotted = entry;
        for (char& c : dotted) c = c == ',' ? '.' : c;
        double scale = std::pow(10.0, decimals > 0 ? decimals : 0);
        double value = std::strtod(dotted.c_str(), nullptr) * scale;
        // Truncation after a bias of 1e-7 (scaled) away from zero.
        FUZZ_CHECK(std::fabs(static_cast<double>(decimal) - value) < 1.0 + 1e-7 * scale + std::fabs(value) * 1e-12);
    }
    // A whole number is exact while the scaled bias stays below 1.
    if (!entry.empty() && entry.size() <= 9 && entry.find_first_not_of("0123456789") == std::string::npos &&
        decimals < 7) {
        long long exactValue = std::atoll(entry.c_str());
        for (int i = 0; i < decimals && exactValue <= 2147483647LL; ++i) exactValue *= 10;
        if (exactValue <= 2147483647LL) FUZZ_CHECK(decimal == static_cast<int>(exactValue));
    }

    int hex = ParseHexText(text.c_str());
    FUZZ_CHECK(hex == ParseHexField(dialog.Get(), 1001));
    bool hexDigits = entry.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!hexDigits) {
        FUZZ_CHECK(hex == -1);
    } else {
        // Digits beyond eight shift the highest ones out.
        std::string last8 = entry.size() > 8 ? entry.substr(entry.size() - 8) : entry;
        std::uint32_t value = last8.empty() ? 0 : static_cast<std::uint32_t>(std::strtoul(last8.c_str(), nullptr, 16));
        FUZZ_CHECK(hex == static_cast<int>(value));
    }
}

void CheckCase(FuzzedDataProvider& input) {
    std::string text = NoNul(input.ConsumeRemainingBytesAsString());
    std::vector<char> upper = Block(text, text.size() + 1);
    UpperCaseText(upper.data());
    FUZZ_CHECK(std::string(upper.data()) == FoldAll(text));
    std::vector<char> lower = Block(upper.data(), text.size() + 1);
    LowerCaseText(lower.data());
    std::vector<char> again = Block(lower.data(), text.size() + 1);
    UpperCaseText(again.data());
    FUZZ_CHECK(std::memcmp(again.data(), upper.data(), text.size() + 1) == 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char original = static_cast<unsigned char>(text[i]);
        unsigned char lowered = static_cast<unsigned char>(lower[i]);
        FUZZ_CHECK(lowered == original || Fold(lowered) == Fold(original));
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
        case 0: CheckTrim(input); break;
        case 1: CheckSplit(input); break;
        case 2: CheckFind(input); break;
        case 3: CheckReplace(input); break;
        case 4: CheckNumbers(input); break;
        default: CheckCase(input); break;
    }
    return 0;
}
