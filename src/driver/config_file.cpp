#include "driver/config_file.h"

#include "core/format.h"
#include "core/setup_state.h"

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

}  // namespace

int (*beforeReplacingFile)(const char* path) = nullptr;

int TemporaryFileName(const char* path, char* buffer, DWORD size) {
    return FormatText(buffer, size, "%s.new", path);
}

int ReplaceFileContent(const char* path, const void* data, DWORD size) {
    if (!path || (!data && size > 0)) return 0;
    char temporary[MAX_PATH];
    if (!TemporaryFileName(path, temporary, sizeof temporary)) return 0;
    if (WriteWholeFile(temporary, data, size) && (!beforeReplacingFile || beforeReplacingFile(path)) &&
        MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 1;
    }
    // Keep the last error of the failed step for the caller.
    DWORD error = GetLastError();
    DeleteFileA(temporary);
    SetLastError(error);
    return 0;
}

int DriverPath(char* buffer, std::size_t size, const char* relative) {
    if (!relative) return FormatText(buffer, size, "%s\\bfax", setupState.windowsDirectory);
    return FormatText(buffer, size, "%s\\bfax\\%s", setupState.windowsDirectory, relative);
}
