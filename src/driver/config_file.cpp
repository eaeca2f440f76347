#include "driver/config_file.h"

#include <cstring>

#include "core/format.h"
#include "core/setup_state.h"
#include "core/text.h"

namespace {

// Writes and flushes everything, then closes; any failure gives 0.
int WriteWholeFile(const char* path, const void* data, DWORD size) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int ok = 1;
    if (size > 0) {
        DWORD written = 0;
        ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    }
    // The data must be on the disk before the move makes it the real file.
    if (ok) ok = FlushFileBuffers(file) ? 1 : 0;
    if (!CloseHandle(file)) ok = 0;
    return ok;
}

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
    if (!relative) return FormatText(buffer, size, "%s\\bfax", setupState.windowsDirectory);
    return FormatText(buffer, size, "%s\\bfax\\%s", setupState.windowsDirectory, relative);
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
        if (FormatText(relative, sizeof relative, "%s%s", entry->flags & ENTRY_SUBDIR ? "morvik\\" : "",
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

Commit CommitTemporaryFile(const char* temporary, const char* path) {
    Commit result = COMMIT_NOT_SET_ASIDE;
    if (!beforeReplacingFile || beforeReplacingFile(path)) {
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
    if (!WriteWholeFile(temporary, data, size)) {
        DropTemporary(temporary);
        return 0;
    }
    return CommitTemporaryFile(temporary, path) == COMMIT_DONE ? 1 : 0;
}
