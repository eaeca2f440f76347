#include "install/uninstall_entry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/names.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/config_file.h"
#include "install/file_copy.h"
#include "install/manifest.h"

namespace {

const char DISPLAY_NAME[] = "Brooktrout drivers for " SETUP_PRODUCT;
const DWORD YES = 1;

struct EntryValue {
    const char* name;
    DWORD type;  // REG_SZ or REG_DWORD
    const void* data;
};

// An entry of the list, to be sorted by where it is installed.
struct Placed {
    const ManifestEntry* entry;
};

// Installed in the same place: the same folder and the same name.
int CompareDestinations(const void* a, const void* b) {
    const ManifestEntry* x = static_cast<const Placed*>(a)->entry;
    const ManifestEntry* y = static_cast<const Placed*>(b)->entry;
    int folders = static_cast<int>(x->flags & ENTRY_SUBDIR) - static_cast<int>(y->flags & ENTRY_SUBDIR);
    return folders ? folders : CompareNames(DestinationNameOf(x->name), DestinationNameOf(y->name));
}

// The installed files in KiB, rounded up, as they lie now: faxinit.cfg and
// every file the list installs (btcall.cfg and the program's copy among
// them), each counted and looked at once however often the list names it.
DWORD InstalledKilobytes() {
    std::size_t count = 0;
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) ++count;
    LocalBlock block((count + 1) * sizeof(Placed));
    Placed* sorted = reinterpret_cast<Placed*>(block.Get());
    if (!sorted) return 0;
    count = 0;
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) sorted[count++].entry = entry;
    std::qsort(sorted, count, sizeof(Placed), CompareDestinations);
    char path[FILE_PATH_SIZE];
    char packed[FILE_PATH_SIZE];
    char source[FILE_PATH_SIZE];
    std::uint64_t bytes = DriverPath(path, sizeof path, FAXINIT_FILE) ? PlainFileSize(path) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        bool again = i > 0 && CompareDestinations(&sorted[i - 1], &sorted[i]) == 0;
        if (!again && BuildFilePaths(sorted[i].entry, packed, source, path, 0)) bytes += PlainFileSize(path);
    }
    return static_cast<DWORD>((bytes + 1023) / 1024);
}

}  // namespace

void WriteUninstallEntry() {
    char location[FILE_PATH_SIZE];
    char program[FILE_PATH_SIZE];
    char remove[FILE_PATH_SIZE + 32];
    char quietRemove[FILE_PATH_SIZE + 32];
    char date[16];
    // Every Windows directory (less than MAX_PATH) fits these buffers.
    DriverPath(location, sizeof location, nullptr);
    DriverPath(program, sizeof program, PROGRAM_COPY_NAME);
    FormatText(remove, sizeof remove, "\"%s\" /remove", program);
    FormatText(quietRemove, sizeof quietRemove, "\"%s\" /silent /remove", program);
    FormatText(date, sizeof date, "%lu", static_cast<unsigned long>(setupState.installDate));
    DWORD kilobytes = InstalledKilobytes();
    const EntryValue values[] = {
        {"DisplayName", REG_SZ, DISPLAY_NAME},
        {"DisplayVersion", REG_SZ, SETUP_VERSION_TEXT},
        {"Publisher", REG_SZ, SETUP_COMPANY},
        {"InstallLocation", REG_SZ, location},
        {"DisplayIcon", REG_SZ, program},
        {"UninstallString", REG_SZ, remove},
        {"QuietUninstallString", REG_SZ, quietRemove},
        {"InstallDate", REG_SZ, date},
        {"EstimatedSize", REG_DWORD, &kilobytes},
        {"NoModify", REG_DWORD, &YES},
        {"NoRepair", REG_DWORD, &YES},
    };
    KeyGuard key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
    for (const EntryValue& value : values) {
        if (result != ERROR_SUCCESS) break;
        DWORD size = value.type == REG_SZ ? static_cast<DWORD>(std::strlen(static_cast<const char*>(value.data)) + 1)
                                          : sizeof(DWORD);
        result = RegSetValueExA(key.Get(), value.name, 0, value.type, static_cast<const BYTE*>(value.data), size);
    }
    if (result == ERROR_SUCCESS) {
        LogLine("Uninstall entry written: HKLM\\%s, %s, %lu KiB", UNINSTALL_KEY, remove,
                static_cast<unsigned long>(kilobytes));
        return;
    }
    // Half an entry would offer what it cannot do.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
    LogLine("Uninstall entry not written (error %ld): the drivers are not listed in Programs and Features",
            static_cast<long>(result));
}
