#include "install/manifest.h"

#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/messages.h"
#include "core/names.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "install/file_copy.h"
#include "install/progress.h"

namespace {

const char FILE_LIST_NAME[] = "Files.ini";
const int LINE_LIMIT = 1023;  // bytes of a line that count
const DWORD READ_CHUNK = 1024;
const int MAX_FIELDS = 32;
const std::size_t SOURCE_PATH_LIMIT = 256;  // a listed file's path in the distribution stays below

// The list being read; the tail makes every append O(1).
struct ListBuilder {
    ManifestEntry** tail;
    int count;
};

// A line with exactly three fields becomes an entry, unless its name could
// not be kept whole or could be installed outside the driver directories:
// such a line is left out like any other unusable line.
void ProcessLine(char* line, ListBuilder* list) {
    char* fields[MAX_FIELDS];
    if (SplitFields(line, ",", fields, MAX_FIELDS, 1) != 3) return;
    const char* name = fields[0];
    std::size_t length = std::strlen(name);
    if (length >= static_cast<std::size_t>(MANIFEST_NAME_SIZE)) return;
    if (std::strlen(setupState.setupDirectory) + 1 + length >= SOURCE_PATH_LIMIT) return;
    if (!IsSafeDestinationName(name)) return;

    ManifestEntry* entry = static_cast<ManifestEntry*>(LocalAlloc(LPTR, sizeof(ManifestEntry)));
    if (!entry) return;
    CopyText(entry->name, sizeof entry->name, name);
    if (std::strchr(fields[1], 'A')) entry->flags |= ENTRY_SUBDIR;
    if (std::strchr(fields[2], '1')) entry->flags |= ENTRY_OVERWRITE;
    if (IsTemporaryName(DestinationNameOf(name))) setupState.temporaryNamesListed = 1;
    *list->tail = entry;
    list->tail = &entry->next;
    ++list->count;
}

// Frees the list in setupState.manifest and starts list over, empty.
void DropEntries(ListBuilder* list) {
    for (ManifestEntry* entry = setupState.manifest; entry;) {
        ManifestEntry* next = entry->next;
        LocalFree(entry);
        entry = next;
    }
    setupState.manifest = nullptr;
    setupState.temporaryNamesListed = 0;
    list->tail = &setupState.manifest;
    list->count = 0;
}

void ShowListDamaged(HWND owner, const char* path) {
    char text[2 * FILE_PATH_SIZE];
    FormatText(text, sizeof text, LoadText(IDS_FILE_LIST_DAMAGED), path);
    ShowMessage(owner, text, MB_OK | MB_ICONWARNING);
}

void MeasureManifest(HWND owner, int count) {
    int measured = 0;
    for (ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        char path[FILE_PATH_SIZE];
        char compressed[FILE_PATH_SIZE];
        DistributionFile file;
        int opened = FormatText(path, sizeof path, "%s\\%s", setupState.setupDirectory, entry->name) &&
                     CompressedName(path, compressed, sizeof compressed) && file.Open(compressed, path, false);
        entry->expandedSize = opened ? file.Size() : 0;
        ++measured;
        if (count > 0) ShowProgress(owner, ProgressPermille(measured, count));
    }
}

}  // namespace

int ReadFileManifest(HWND owner) {
    // A list read before is replaced, not leaked.
    ListBuilder list = {nullptr, 0};
    DropEntries(&list);
    char path[FILE_PATH_SIZE];
    FormatText(path, sizeof path, "%s\\%s", setupState.setupDirectory, FILE_LIST_NAME);

    FileGuard file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (file.IsOpen()) {
        char line[LINE_LIMIT + 1];
        int lineLength = 0;
        char chunk[READ_CHUNK];
        DWORD got = 0;
        // A line may span two chunks; what is left when reading stops had no
        // line end and is not used.
        bool readFailed = false;
        for (;;) {
            if (!ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr)) {
                readFailed = true;
                break;
            }
            if (got == 0) break;
            for (DWORD i = 0; i < got; ++i) {
                char c = chunk[i];
                if (c == '\r' || c == '\n') {
                    line[lineLength] = '\0';
                    ProcessLine(line, &list);
                    lineLength = 0;
                } else if (lineLength < LINE_LIMIT) {
                    line[lineLength++] = c;  // a NUL byte ends the text when it is split
                }
            }
        }
        file.Close();
        // A list cut short by a failed read would install only part of the
        // files and still report success: it counts as damaged.
        if (readFailed) DropEntries(&list);
    }
    if (list.count > 0) {
        MeasureManifest(owner, list.count);
        return list.count;
    }
    ShowListDamaged(owner, path);
    return 0;
}

std::uint32_t PlainFileSize(const char* path) {
    FileGuard file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return 0;
    DWORD size = GetFileSize(file.Get(), nullptr);
    return size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR ? 0 : size;
}

void AddProgramEntry() {
    ManifestEntry program = {};
    CopyText(program.name, sizeof program.name, PROGRAM_COPY_NAME);
    program.flags = ENTRY_PROGRAM | ENTRY_OVERWRITE;
    char packed[FILE_PATH_SIZE];
    char source[FILE_PATH_SIZE];
    char destination[FILE_PATH_SIZE];
    if (!BuildFilePaths(&program, packed, source, destination, 0)) return;
    if (SameName(source, std::strlen(source), destination)) {
        LogLine("%s runs from the driver directory and stays as it is", source);
        return;
    }
    ManifestEntry* entry = static_cast<ManifestEntry*>(LocalAlloc(LPTR, sizeof(ManifestEntry)));
    if (!entry) return;
    *entry = program;
    entry->expandedSize = PlainFileSize(source);
    ManifestEntry** tail = &setupState.manifest;
    while (*tail) tail = &(*tail)->next;
    *tail = entry;
}

void ComputeTotalBytes() {
    std::uint32_t total = 0;
    int entries = 0;
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        total += entry->expandedSize;
        ++entries;
    }
    setupState.totalBytes = total;
    LogLine("Files.ini read: %d entries, %lu bytes", entries, static_cast<unsigned long>(total));
}
