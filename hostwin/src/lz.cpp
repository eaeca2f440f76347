// LZ32 of the stand-in: LZInit, LZSeek, LZRead and LZClose for files in the
// "SZDD" format, compression mode 'A'. Files without that header pass
// through unchanged, as LZ32 passes them.
//
// The format: a 14-byte header (magic, mode 'A', the last character of the
// name, the expanded size as 32-bit little-endian), then groups of a flag
// byte and eight items, lowest bit first: 1 is a literal byte, 0 a two-byte
// reference into a 4096-byte window of the bytes produced so far (12-bit
// position, length 3..18). The window starts filled with blanks and the
// writing starts 16 bytes before its end. Nothing marks the end of the data:
// expansion stops where the file ends. LZInit reads and expands the file
// whole; LZRead and LZSeek serve from what it gave.
#include "internal.h"

#include <hostwin/machine.h>
#include <lzexpand.h>

#include <algorithm>
#include <iterator>
#include <cstring>
#include <memory>

namespace hostwin {
namespace {

const int LZ_FIRST_HANDLE = 0x400;
const int LZ_SLOTS = 16;
const DWORD LZ_HEADER_SIZE = 14;
const UINT WINDOW_SIZE = 4096;

struct LzFile {
    HANDLE file;
    DWORD length;      // expanded size from the header
    std::string data;  // what the file expands to, read whole when it is opened
    LONG wanted = 0;   // where the caller reads next
};

// Expands what follows the header, up to where the file ends.
std::string Expand(HANDLE file) {
    std::string input, output;
    char chunk[2048];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) input.append(chunk, got);
    BYTE window[WINDOW_SIZE];
    std::memset(window, ' ', sizeof window);
    UINT position = WINDOW_SIZE - 16;
    auto put = [&](BYTE byte) {
        output += static_cast<char>(byte);
        window[position] = byte;
        position = (position + 1) % WINDOW_SIZE;
    };
    const BYTE* in = reinterpret_cast<const BYTE*>(input.data());
    for (size_t at = 0; at < input.size();) {
        for (UINT flags = in[at++] | 0xFF00u; flags & 0x100 && at < input.size(); flags >>= 1) {
            if (flags & 1) {
                put(in[at++]);
            } else if (at + 1 < input.size()) {
                UINT match = in[at] | ((in[at + 1] & 0xF0u) << 4), length = (in[at + 1] & 0x0Fu) + 3;
                at += 2;
                for (UINT i = 0; i < length; ++i) put(window[(match + i) % WINDOW_SIZE]);
            } else {
                return output;  // a reference cut off by the end of the file
            }
        }
    }
    return output;
}

// The expanded files, by handle; their file handles go with the handle table.
std::unique_ptr<LzFile> slots[LZ_SLOTS];
const bool registered = internal::RegisterReset([] {
    for (auto& slot : slots) slot.reset();
});

LzFile* FindLz(INT handle) {
    return handle >= LZ_FIRST_HANDLE && handle < LZ_FIRST_HANDLE + LZ_SLOTS ? slots[handle - LZ_FIRST_HANDLE].get()
                                                                             : nullptr;
}

HANDLE KernelHandle(INT handle) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(static_cast<UINT>(handle))); }

}  // namespace

int OpenLzFileCount() {
    HOSTWIN_LOCK();
    return static_cast<int>(std::count_if(std::begin(slots), std::end(slots), [](const auto& slot) { return !!slot; }));
}

}  // namespace hostwin

using namespace hostwin;

INT WINAPI LZInit(INT handle) {
    HOSTWIN_LOCK();
    HANDLE file = KernelHandle(handle);
    internal::FaultPoint fallible("LZInit", internal::FileKeyOf(file), static_cast<DWORD>(LZERROR_GLOBALLOC));
    if (fallible.Fails()) return static_cast<INT>(fallible.Error());
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return LZERROR_BADINHANDLE;
    BYTE header[LZ_HEADER_SIZE];
    DWORD got = 0;
    bool compressed = ReadFile(file, header, LZ_HEADER_SIZE, &got, nullptr) && got == LZ_HEADER_SIZE &&
                      std::memcmp(header, "SZDD\x88\xF0\x27\x33", 8) == 0;
    if (!compressed || header[8] != 'A') {
        // Not compressed: the caller reads the file itself, from its start.
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        return compressed ? LZERROR_UNKNOWNALG : handle;
    }
    int slot = 0;
    while (slot < LZ_SLOTS && slots[slot]) ++slot;
    if (slot == LZ_SLOTS) return LZERROR_GLOBALLOC;
    // The expander owns the file from here on: LZClose closes it.
    DWORD length = header[10] | (header[11] << 8) | (header[12] << 16) | (static_cast<DWORD>(header[13]) << 24);
    slots[slot].reset(new LzFile{file, length, Expand(file), 0});
    return LZ_FIRST_HANDLE + slot;
}

// From the start (0) or the end (2): the program seeks no other way.
LONG WINAPI LZSeek(INT handle, LONG offset, INT origin) {
    HOSTWIN_LOCK();
    LzFile* lz = FindLz(handle);
    // A plain file is moved by SetFilePointer, whose failure reads as -1.
    internal::FaultPoint fallible("LZSeek", internal::FileKeyOf(lz ? lz->file : KernelHandle(handle)),
                                  static_cast<DWORD>(lz ? LZERROR_BADVALUE : LZERROR_BADINHANDLE));
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    if (!lz) {
        SetLastError(NO_ERROR);
        DWORD position = SetFilePointer(KernelHandle(handle), offset, nullptr, static_cast<DWORD>(origin));
        return position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR ? LZERROR_BADINHANDLE
                                                                                  : static_cast<LONG>(position);
    }
    LONGLONG position = (origin == 2 ? static_cast<LONGLONG>(lz->length) : origin == 1 ? lz->wanted : 0) + offset;
    // A size from the header beyond LONG leaves the positions below it
    // reachable; the end itself cannot be reported.
    if (position < 0 || position > static_cast<LONGLONG>(lz->length) || position > 0x7FFFFFFF) return LZERROR_BADVALUE;
    return lz->wanted = static_cast<LONG>(position);
}

INT WINAPI LZRead(INT handle, LPSTR buffer, INT count) {
    HOSTWIN_LOCK();
    if (count < 0) return LZERROR_BADVALUE;  // the real LZ32 would write past any buffer
    LzFile* lz = FindLz(handle);
    internal::FaultPoint fallible("LZRead", internal::FileKeyOf(lz ? lz->file : KernelHandle(handle)),
                                  static_cast<DWORD>(LZERROR_READ));
    if (fallible.Fails()) return static_cast<INT>(fallible.Error());
    if (!lz) {
        DWORD got = 0;
        return ReadFile(KernelHandle(handle), buffer, static_cast<DWORD>(count), &got, nullptr) ? static_cast<INT>(got)
                                                                                               : LZERROR_BADINHANDLE;
    }
    size_t at = static_cast<size_t>(lz->wanted);
    INT produced = at < lz->data.size() ? static_cast<INT>(std::min<size_t>(count, lz->data.size() - at)) : 0;
    if (produced > 0) lz->data.copy(buffer, static_cast<size_t>(produced), at);
    lz->wanted += produced;
    // Windows reports a read at the end as an error (Wine returns 0).
    return produced > 0 ? produced : LZERROR_READ;
}

void WINAPI LZClose(INT handle) {
    HOSTWIN_LOCK();
    LzFile* lz = FindLz(handle);
    CloseHandle(lz ? lz->file : KernelHandle(handle));
    if (lz) slots[handle - LZ_FIRST_HANDLE].reset();
}
