// Placing the manifest's files into %windir%\bfax and %windir%\bfax\morvik,
// expanding compressed ones, with progress and the missing-file prompt.
#ifndef SETUP_INSTALL_FILE_COPY_H
#define SETUP_INSTALL_FILE_COPY_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/file_guards.h"
#include "core/shared_types.h"
#include "driver/config_file.h"

const int FILE_PATH_SIZE = 1024;

// 1 when that name can only name a file inside the driver directory: not
// empty, not dots and blanks alone (Windows would take "." or ".." from it),
// no ':' (drive-relative paths, streams), no DOS device name (CON, NUL,
// COM1, ...).
int IsSafeDestinationName(const char* name);

// Each text buffer holds FILE_PATH_SIZE bytes.
int BuildFilePaths(const ManifestEntry* entry, char* compressedSource, char* plainSource, char* destination,
                   int createDirectories);
// The name a distribution file is packed under: its last character
// replaced by '_' (bfax.sys: bfax.sy_). 0 when it does not fit size bytes.
int CompressedName(const char* path, char* buffer, std::size_t size);
void CreateDriverDirectories();

// A distribution file under its compressed name through the expander (a
// file there that is not packed comes through as stored), else under its
// plain name. One without a packed form (the program) has the same name for
// both and is read as it lies.
class DistributionFile {
public:
    // reading: opened to be read from its start; else only measured, which
    // needs no right to read a plain file and lets others write it.
    bool Open(const char* compressed, const char* plain, bool reading);
    // The installed size: expanded, from the header of a packed file.
    std::uint32_t Size() const { return size_; }
    // Bytes read, 0 when the reading has stopped.
    DWORD Read(char* buffer, DWORD size);
    // The whole file came through: as many bytes as its size.
    bool Complete(std::uint64_t copied) const { return !failed_ && copied >= size_; }
    const char* Path() const { return path_; }
    void Close() {
        lz_.Close();
        file_.Close();
    }

private:
    LzFileGuard lz_;
    FileGuard file_;
    const char* path_ = "";
    std::uint32_t size_ = 0;
    bool failed_ = false;
};
// Entries attempted, or 0 (declined, or nothing needed copying). owner:
// message boxes, status text of control 1023, redraws of control 1022.
int CopyManifestFiles(HWND owner);

#endif
