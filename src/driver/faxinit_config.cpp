#include "driver/faxinit_config.h"

#include <windows.h>

#include <cstring>

#include "core/format.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/windows_version.h"
#include "driver/config_file.h"
#include "driver/services.h"

namespace {

// Room for the longest Windows directory: the record is never cut.
const int RECORD_TEXT_SIZE = DIRECTORY_SIZE + 16;

int WriteDriverValue(const char* key, const char* name, DWORD data) {
    return WriteRegistryValue(key, name, REG_DWORD, &data, sizeof data, 0);
}

// 1 when every value was stored.
int WriteBfaxParameters() {
    const BoardSettings& boards = setupState.boards;
    std::int32_t boardsSeen = boards.boardCount;
    if (boardsSeen < 16) {
        boardsSeen = 16;
    } else if (boardsSeen > 96) {
        boardsSeen = 96;
    }
    // Interrupt and DMA belong to the ISA boards alone.
    std::int32_t dma = -1;
    std::int32_t irq = -1;
    if (boards.isaCount > 0) {
        dma = boards.dma;
        irq = boards.irq;
    }
    std::int32_t userInterrupts = boardsSeen < 48 ? 10 : 16;

    const char* key = DRIVER_PARAMETERS_KEY;
    // Every value is written, whatever became of the one before.
    int written = WriteDriverValue(key, "BFAX_BUF_SIZE", 8192);
    written &= WriteDriverValue(key, "BFAX_DMA_CHAN", static_cast<DWORD>(dma));
    written &= WriteDriverValue(key, "BFAX_HW_INT", static_cast<DWORD>(irq));
    written &= WriteDriverValue(key, "BFAX_NUM_USER_INTRS", static_cast<DWORD>(userInterrupts));
    written &= WriteDriverValue(key, "CMD_HISTORY_SIZE", 1);
    written &= WriteDriverValue(key, "FIFO_HISTORY_SIZE", 0);
    written &= WriteDriverValue(key, "HW_BUS_NUM", 0);
    written &= WriteDriverValue(key, "HW_BUS_TYPE", 1);
    written &= WriteDriverValue(key, "HW_DMA_PORT", 0);
    written &= WriteDriverValue(key, "HW_INTR_LEVEL", static_cast<DWORD>(irq));
    written &= WriteDriverValue(key, "NBFAX", static_cast<DWORD>(boardsSeen));
    return written;
}

int WriteFaxinitParameters() {
    const char commandLine[] = "-n " FAXINIT_FILE;
    return WriteRegistryValue(INIT_PARAMETERS_KEY, "CMD_LINE", REG_SZ, commandLine, sizeof commandLine, 0);
}

// One value of the install record, and whether start-up's reader finds it
// as written: a value that went to a fallback place while the product key
// exists under HKLM would be lost to it.
struct RecordValue {
    const char* name;
    DWORD type;
    const void* data;
    int size;
    int ReadsBack() const {
        char found[RECORD_TEXT_SIZE];
        if (size > static_cast<int>(sizeof found) || !ReadProductValue(name, type, found, sizeof found)) return 0;
        return std::memcmp(found, data, static_cast<std::size_t>(size)) == 0 ? 1 : 0;
    }
};

}  // namespace

int WriteFaxinitConfig() {
    char path[MAX_PATH];
    if (!DriverPath(path, sizeof path, FAXINIT_FILE)) return 0;

    // One line per TR114 ISA board, in board order.
    char content[BOARD_ROWS * 64] = {0};
    std::size_t length = 0;
    for (const BoardRow& row : setupState.boards.rows) {
        if (row.type != BOARD_TR114_ISA) continue;
        FormatText(content + length, sizeof content - length, "addrs %3X %d\r\n",
                   static_cast<unsigned>(row.ioBase + 4), row.channels);
        length += std::strlen(content + length);
    }
    int written = ReplaceFileContent(path, content, static_cast<DWORD>(length));
    LogLine("%s %s (%d ISA boards)", path, written ? "written" : "cannot be written",
            static_cast<int>(setupState.boards.isaCount));
    return written;
}

int WriteDriverRegistry() {
    char baseDirectory[RECORD_TEXT_SIZE];
    DriverPath(baseDirectory, sizeof baseDirectory, nullptr);
    WriteProductValue("BaseDirectory", REG_SZ, baseDirectory, 0);

    // Date and time from a single reading, so they cannot straddle midnight.
    SYSTEMTIME now;
    GetLocalTime(&now);
    DWORD date = now.wYear * 10000u + now.wMonth * 100u + now.wDay;
    DWORD time = now.wHour * 10000u + now.wMinute * 100u + now.wSecond;
    setupState.installDate = date;  // and the uninstall entry's
    WriteProductValue("InstallDate", REG_DWORD, &date, sizeof date);
    WriteProductValue("InstallTime", REG_DWORD, &time, sizeof time);

    // Checked once all three are written: where they are found depends on
    // whether the product key came to be under HKLM.
    const RecordValue record[] = {
        {"BaseDirectory", REG_SZ, baseDirectory, static_cast<int>(std::strlen(baseDirectory) + 1)},
        {"InstallDate", REG_DWORD, &date, sizeof date},
        {"InstallTime", REG_DWORD, &time, sizeof time},
    };
    int written = 1;
    for (const RecordValue& value : record) written &= value.ReadsBack();
    LogLine("Product key %s: BaseDirectory %s, InstallDate %lu, InstallTime %lu", written ? "written" : "not written whole",
            baseDirectory, static_cast<unsigned long>(date), static_cast<unsigned long>(time));

    // Where services are not managed, their keys are not ours to touch.
    if (!ServicesManaged(setupState.osFamily)) return written;
    // Each service on its own: one missing does not keep the other's values
    // out. One that cannot be told from missing leaves its values unwritten.
    ServicePresence bfax = FindDriverService(DRIVER_SERVICE);
    if (bfax == SERVICE_PRESENT) {
        int bfaxWritten = WriteBfaxParameters();
        LogLine("Parameters of " DRIVER_SERVICE " %s: %d boards, IRQ %d, DMA %d",
                bfaxWritten ? "written" : "not written whole",
                static_cast<int>(setupState.boards.boardCount), static_cast<int>(setupState.boards.irq),
                static_cast<int>(setupState.boards.dma));
        written &= bfaxWritten;
    }
    ServicePresence faxinit = FindDriverService(INIT_SERVICE);
    if (faxinit == SERVICE_PRESENT) {
        int faxinitWritten = WriteFaxinitParameters();
        LogLine("Parameters of " INIT_SERVICE " %s", faxinitWritten ? "written" : "not written whole");
        written &= faxinitWritten;
    }
    if (bfax == SERVICE_UNKNOWN || faxinit == SERVICE_UNKNOWN) written = 0;
    return written;
}
