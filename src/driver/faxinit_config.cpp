#include "driver/faxinit_config.h"

#include <windows.h>

#include <cstring>

#include "core/format.h"
#include "core/registry.h"
#include "core/setup_state.h"
#include "core/windows_version.h"
#include "driver/config_file.h"
#include "driver/services.h"

namespace {

const char SERVICES_KEY[] = "System\\CurrentControlSet\\Services";
const char FAXINIT_FILE[] = "faxinit.cfg";

void WriteDriverValue(const char* key, const char* name, DWORD data) {
    WriteRegistryValue(HKEY_LOCAL_MACHINE, key, name, REG_DWORD, &data, sizeof data, 0);
}

void WriteBfaxParameters() {
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

    char key[MAX_PATH];
    FormatText(key, sizeof key, "%s\\%s\\%s", SERVICES_KEY, "bfax", "Parameters");
    WriteDriverValue(key, "BFAX_BUF_SIZE", 8192);
    WriteDriverValue(key, "BFAX_DMA_CHAN", static_cast<DWORD>(dma));
    WriteDriverValue(key, "BFAX_HW_INT", static_cast<DWORD>(irq));
    WriteDriverValue(key, "BFAX_NUM_USER_INTRS", static_cast<DWORD>(userInterrupts));
    WriteDriverValue(key, "CMD_HISTORY_SIZE", 1);
    WriteDriverValue(key, "FIFO_HISTORY_SIZE", 0);
    WriteDriverValue(key, "HW_BUS_NUM", 0);
    WriteDriverValue(key, "HW_BUS_TYPE", 1);
    WriteDriverValue(key, "HW_DMA_PORT", 0);
    WriteDriverValue(key, "HW_INTR_LEVEL", static_cast<DWORD>(irq));
    WriteDriverValue(key, "NBFAX", static_cast<DWORD>(boardsSeen));
}

void WriteFaxinitParameters() {
    char commandLine[64];
    FormatText(commandLine, sizeof commandLine, "-n %s", FAXINIT_FILE);
    char key[MAX_PATH];
    FormatText(key, sizeof key, "%s\\%s\\%s", SERVICES_KEY, "faxinit", "Parameters");
    WriteRegistryValue(HKEY_LOCAL_MACHINE, key, "CMD_LINE", REG_SZ, commandLine,
                       static_cast<int>(std::strlen(commandLine) + 1), 0);
}

}  // namespace

int WriteFaxinitConfig() {
    char path[MAX_PATH];
    if (!FormatText(path, sizeof path, "%s\\%s\\%s", setupState.windowsDirectory, "bfax", FAXINIT_FILE)) return 0;

    // One line per TR114 ISA board, in board order.
    char content[BOARD_ROWS * 64] = {0};
    std::size_t length = 0;
    for (const BoardRow& row : setupState.boards.rows) {
        if (row.type != BOARD_TR114_ISA) continue;
        FormatText(content + length, sizeof content - length, "addrs %3X %d\r\n",
                   static_cast<unsigned>(row.ioBase + 4), row.channels);
        length += std::strlen(content + length);
    }
    return ReplaceFileContent(path, content, static_cast<DWORD>(length));
}

int WriteDriverRegistry() {
    // Room for the longest Windows directory: the record is never cut.
    char baseDirectory[DIRECTORY_SIZE + 16];
    FormatText(baseDirectory, sizeof baseDirectory, "%s\\%s", setupState.windowsDirectory, "bfax");
    WriteProductValue("BaseDirectory", REG_SZ, baseDirectory, 0);

    // Date and time from a single reading, so they cannot straddle midnight.
    SYSTEMTIME now;
    GetLocalTime(&now);
    DWORD date = now.wYear * 10000u + now.wMonth * 100u + now.wDay;
    DWORD time = now.wHour * 10000u + now.wMinute * 100u + now.wSecond;
    WriteProductValue("InstallDate", REG_DWORD, &date, sizeof date);
    WriteProductValue("InstallTime", REG_DWORD, &time, sizeof time);

    // Where services are not managed, their keys are not ours to touch.
    if (!ServicesManaged(setupState.osFamily)) return 1;
    // Each service on its own: one missing does not keep the other's values out.
    if (ServiceExists("bfax")) WriteBfaxParameters();
    if (ServiceExists("faxinit")) WriteFaxinitParameters();
    return 1;
}
