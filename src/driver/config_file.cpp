#include "driver/config_file.h"

#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"

namespace {

// Deletes the temporary, keeping the last error of the step that failed.
void DropTemporary(const char* temporary) {
    DWORD error = GetLastError();
    DeleteFileA(temporary);
    SetLastError(error);
}

}  // namespace

int (*beforeWritingTemporary)(const char* path, const char* temporary) = nullptr;
int (*beforeReplacingFile)(const char* path) = nullptr;

int DriverPath(char* buffer, std::size_t size, const char* relative) {
    if (!relative) return FormatText(buffer, size, "%s\\" DRIVER_DIRECTORY, setupState.windowsDirectory);
    return FormatText(buffer, size, "%s\\" DRIVER_DIRECTORY "\\%s", setupState.windowsDirectory, relative);
}

const char* DestinationNameOf(const char* name) {
    const char* start = name;
    for (const char* p = name; *p; ++p) {
        if (*p == '\\' || *p == '/') start = p + 1;
    }
    return start;
}

int IsListedDestination(const char* path) {
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        char relative[MAX_PATH];
        char destination[MAX_PATH];
        if (FormatText(relative, sizeof relative, "%s%s", entry->flags & ENTRY_SUBDIR ? DRIVER_SUBDIRECTORY "\\" : "",
                       DestinationNameOf(entry->name)) &&
            DriverPath(destination, sizeof destination, relative) &&
            SameName(path, std::strlen(path), destination)) {
            return 1;
        }
    }
    return 0;
}

int TemporaryFileName(const char* path, char* buffer, std::size_t size) {
    char suffix[] = ".part0";
    for (char digit = '0'; digit <= '9'; ++digit) {
        suffix[5] = digit == '0' ? '\0' : digit;
        if (!FormatText(buffer, size, "%s%s", path, suffix)) return 0;
        // Lists that name no such file (nearly all) are not searched.
        if (!setupState.temporaryNamesListed || !IsListedDestination(buffer)) return 1;
    }
    return 0;
}

int IsTemporaryName(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot && SameName(dot, 5, ".part") && (!dot[5] || (dot[5] >= '1' && dot[5] <= '9' && !dot[6]));
}

int NoteTemporary(const char* path, const char* temporary) {
    return !beforeWritingTemporary || beforeWritingTemporary(path, temporary);
}

HANDLE CreateTemporaryFile(const char* temporary) {
    return CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Commit FinishTemporaryFile(FileGuard* file, const char* temporary, const char* path, bool whole) {
    // The data must be on the disk before the move makes it the real file.
    whole = whole && file->IsOpen() && FlushFileBuffers(file->Get());
    whole = file->Close() && whole;
    Commit result = whole ? COMMIT_NOT_SET_ASIDE : COMMIT_NOT_WRITTEN;
    if (whole && (!beforeReplacingFile || beforeReplacingFile(path))) {
        result = MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? COMMIT_DONE
                                                                                                 : COMMIT_NOT_MOVED;
    }
    if (result != COMMIT_DONE) DropTemporary(temporary);
    return result;
}

int ReplaceFileContent(const char* path, const void* data, DWORD size) {
    if (!path || (!data && size > 0)) return 0;
    char temporary[MAX_PATH];
    if (!TemporaryFileName(path, temporary, sizeof temporary) || !NoteTemporary(path, temporary)) return 0;
    FileGuard file(CreateTemporaryFile(temporary));
    DWORD written = 0;
    bool whole =
        size == 0 || (file.IsOpen() && WriteFile(file.Get(), data, size, &written, nullptr) && written == size);
    return FinishTemporaryFile(&file, temporary, path, whole) == COMMIT_DONE ? 1 : 0;
}
