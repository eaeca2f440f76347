// Records shared by several subsystems. Each belongs to the subsystem that
// gives it meaning; they are gathered here because SetupState holds them all.
#ifndef SETUP_CORE_SHARED_TYPES_H
#define SETUP_CORE_SHARED_TYPES_H

#include <windows.h>

#include <cstdint>

// ---- Windows version codes (OsClass), kept in osFamily / osDetail ---------------
enum OsCode {
    OS_WIN32S = 2,
    OS_WIN95 = 4,
    OS_WIN98 = 8,      // detail only
    OS_WINNT = 16,     // NT 4.0 and older
    OS_WIN2000 = 32,   // NT 5.0, and NT 5.x with a minor version of 3 or more
    OS_WINME = 64,     // detail only
    OS_WINXP = 128,    // NT 5.1
    OS_WIN2003 = 256,  // NT 5.2
    OS_VISTA = 512     // NT 6.0 and every later version
};

// ---- file manifest ----------------------------------------------------------------
enum ManifestFlags : std::uint32_t {
    ENTRY_PROGRAM = 0x1,          // the running program, copied as setup.exe
    ENTRY_SUBDIR = 0x20000,       // goes to %windir%\bfax\morvik
    ENTRY_OVERWRITE = 0x1000000   // replaces an existing destination
};

const int MANIFEST_NAME_SIZE = 256;

struct ManifestEntry {
    char name[MANIFEST_NAME_SIZE];  // path relative to the distribution directory
    std::uint32_t expandedSize;     // installed size; 0 until measured or when missing
    std::uint32_t flags;            // ENTRY_PROGRAM, ENTRY_SUBDIR, ENTRY_OVERWRITE
    ManifestEntry* next;
};

// ---- board settings ----------------------------------------------------------------
enum BoardType {
    BOARD_NOT_INSTALLED = 0,
    BOARD_TR114_PCI = 1,
    BOARD_TR114_ISA = 2,  // the only ISA type
    BOARD_TRUFAX_PCI = 3
};

const int BOARD_ROWS = 6;

struct BoardRow {
    std::int32_t type;      // BoardType index
    std::int32_t ioBase;    // -1 when unreadable, 0 when empty
    std::int32_t channels;  // -1 when unreadable, 0 when empty
};

struct BoardSettings {
    BoardRow rows[BOARD_ROWS];
    std::int32_t irq;
    std::int32_t dma;
    std::int32_t boardCount;  // rows whose type is not 0
    std::int32_t isaCount;    // rows whose type is 2
};

// ---- DID settings --------------------------------------------------------------------
struct DidSettings {
    std::int32_t didVariable;  // 1 variable number of digits, 0 fixed
    std::int32_t didDigits;    // 0..63
    std::int32_t winkStart;    // 1 wink start, 0 immediate start
};

#endif
