// The stand-in's LZ expander (SZDD files) on arbitrary files, opened and
// read through LZOpenFileA / LZSeek / LZRead / LZClose from the simulated
// disk, as the copy step reads a distribution.
//
// The input's last bytes choose the read sizes, a seek and sometimes a read
// fault; the rest is the file.
//
// Properties checked beyond "no crash":
// - A file with a whole SZDD header of mode 'A' opens as an expander handle,
//   anything else as the plain file, whose bytes come through unchanged.
// - The size from the header is what seeking to the end gives (a size that
//   does not fit a LONG cannot be sought to); seeks before 0 or past that
//   size are refused and leave the position as it was.
// - The bytes read are exactly those of a separate, simple decoder written
//   from the format, whatever the read sizes; no read returns more than
//   asked for (each buffer is exactly that large).
// - After a seek to any position within the size, a read gives the same
//   bytes as the sequential expansion from there.
// - A read fault gives a prefix of those bytes, never other bytes.
// - After LZClose no kernel handle and no expander slot is left.
#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>
#include <lzexpand.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support.h"

namespace {

const char FILE_NAME[] = "C:\\SETUP\\data.bi_";

bool HasHeader(const std::string& file) {
    return file.size() >= 14 && file.compare(0, 8, std::string("SZDD\x88\xF0\x27\x33", 8)) == 0 && file[8] == 'A';
}

std::uint32_t HeaderSize(const std::string& file) {
    std::uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(file[10 + static_cast<std::size_t>(i)]);
    return size;
}

// The format, decoded in one go: after the 14-byte header, a flag byte for
// each eight items, lowest bit first; 1 a literal, 0 a 12-bit window
// position and a length of 3..18. The window holds blanks at first and is
// written from 16 bytes before its end. Items cut off by the end of the
// file are dropped.
std::string Expand(const std::string& file) {
    std::vector<unsigned char> window(4096, ' ');
    std::size_t write = 4096 - 16;
    std::string out;
    std::size_t in = 14;
    auto put = [&](unsigned char c) {
        out += static_cast<char>(c);
        window[write] = c;
        write = (write + 1) % 4096;
    };
    while (in < file.size()) {
        unsigned flags = static_cast<unsigned char>(file[in++]);
        for (int bit = 0; bit < 8; ++bit) {
            if (flags & (1u << bit)) {
                if (in >= file.size()) return out;
                put(static_cast<unsigned char>(file[in++]));
            } else {
                if (in + 1 >= file.size()) return out;
                unsigned low = static_cast<unsigned char>(file[in]);
                unsigned high = static_cast<unsigned char>(file[in + 1]);
                in += 2;
                std::size_t from = low | ((high & 0xF0u) << 4);
                for (unsigned n = (high & 0x0Fu) + 3; n > 0; --n) {
                    put(window[from]);
                    from = (from + 1) % 4096;
                }
            }
        }
    }
    return out;
}

INT Open() {
    OFSTRUCT reopen;
    std::memset(&reopen, 0xA5, sizeof reopen);
    char name[sizeof FILE_NAME];
    std::memcpy(name, FILE_NAME, sizeof name);
    return LZOpenFileA(name, &reopen, OF_READ);
}

// Everything LZRead gives, in reads whose sizes vary from the chosen one,
// each into a buffer of exactly that size.
std::string ReadAll(INT file, INT chunk) {
    std::string bytes;
    for (;; chunk = chunk % 9973 * 7 + 1) {
        std::vector<char> buffer(static_cast<std::size_t>(chunk));
        INT got = LZRead(file, buffer.data(), chunk);
        if (got <= 0) break;
        FUZZ_CHECK(got <= chunk);
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 200000) return -1;  // longer files teach nothing more
    FuzzedDataProvider input(data, size);
    bool injectFault = input.ConsumeIntegralInRange(0, 7) == 0;
    std::uint64_t faultAt = input.ConsumeIntegralInRange<std::uint64_t>(0, 70000);
    std::uint32_t seekTo = input.ConsumeIntegral<std::uint32_t>();
    INT readAfterSeek = input.ConsumeIntegralInRange<INT>(0, 40000);
    INT chunk = input.ConsumeIntegralInRange<INT>(1, 70000);
    std::string file = input.ConsumeRemainingBytesAsString();

    fuzz::PutFile(FILE_NAME, file);
    if (injectFault) hostwin::FailReadAt(FILE_NAME, faultAt);
    fuzz::Holdings before = fuzz::Hold();

    INT handle = Open();
    FUZZ_CHECK(handle >= 0);
    bool expanding = handle >= 0x400 && handle < 0x410;
    bool faultInHeader = injectFault && faultAt < 14;
    if (!faultInHeader) FUZZ_CHECK(expanding == HasHeader(file));

    std::string expected = expanding ? Expand(file) : file;
    LONG end = LZSeek(handle, 0, 2);
    if (expanding) {
        std::uint32_t headerSize = HeaderSize(file);
        if (headerSize <= 0x7FFFFFFFu) {
            FUZZ_CHECK(end == static_cast<LONG>(headerSize));
        } else {
            FUZZ_CHECK(end == LZERROR_BADVALUE);
        }
    } else if (!injectFault) {
        FUZZ_CHECK(end == static_cast<LONG>(file.size()));
    }
    FUZZ_CHECK(LZSeek(handle, 0, 0) == 0);

    std::string got = ReadAll(handle, chunk);
    if (injectFault) {
        FUZZ_CHECK(got.size() <= expected.size() && expected.compare(0, got.size(), got) == 0);
    } else {
        FUZZ_CHECK(got == expected);
    }

    if (expanding && end >= 0) {
        LONG position = static_cast<LONG>(seekTo % (static_cast<std::uint32_t>(end) + 1));
        FUZZ_CHECK(LZSeek(handle, position, 0) == position);
        if (end < 0x7FFFFFFF) FUZZ_CHECK(LZSeek(handle, end + 1, 0) == LZERROR_BADVALUE);
        FUZZ_CHECK(LZSeek(handle, 1, 2) == LZERROR_BADVALUE);
        FUZZ_CHECK(LZSeek(handle, -1, 1) == (position > 0 ? position - 1 : LZERROR_BADVALUE));
        if (position > 0) LZSeek(handle, 1, 1);
        std::vector<char> buffer(static_cast<std::size_t>(readAfterSeek) + 1);
        INT n = LZRead(handle, buffer.data(), readAfterSeek + 1);
        if (!injectFault && static_cast<std::size_t>(position) < expected.size()) {
            std::string wanted = expected.substr(static_cast<std::size_t>(position),
                                                 static_cast<std::size_t>(readAfterSeek) + 1);
            FUZZ_CHECK(n == static_cast<INT>(wanted.size()));
            FUZZ_CHECK(std::string(buffer.data(), static_cast<std::size_t>(n)) == wanted);
        } else {
            FUZZ_CHECK(n <= readAfterSeek + 1);
        }
    }
    LZClose(handle);
    fuzz::CheckNothingHeld(before);
    if (injectFault) hostwin::FailReadAt(FILE_NAME, UINT64_MAX);  // never reached: no fault
    fuzz::ResetState();
    return 0;
}
