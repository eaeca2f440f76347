// Placing the manifest's files into %windir%\bfax and %windir%\bfax\morvik,
// expanding compressed ones, with progress and the missing-file prompt.
#ifndef SETUP_INSTALL_FILE_COPY_H
#define SETUP_INSTALL_FILE_COPY_H

#include <windows.h>

#include "core/shared_types.h"
#include "driver/config_file.h"

const int FILE_PATH_SIZE = 1024;

// 1 when that name can only name a file inside the driver directory: not
// empty, not dots and blanks alone (Windows would take "." or ".." from it),
// no ':' (drive-relative paths, streams), no DOS device name (CON, NUL,
// COM1, ...).
int IsSafeDestinationName(const char* name);

// Each text buffer holds FILE_PATH_SIZE bytes; destinationName may be null.
int BuildFilePaths(const ManifestEntry* entry, char* compressedSource, char* plainSource, char* destination,
                   char* destinationName, int createDirectories);
int CreateDriverDirectories();
// Opens a distribution file for reading through the expander, as LZOpenFileA
// would but with paths up to MAX_PATH: a compressed file expands, any other
// comes through as stored. A handle for LZSeek, LZRead and LZClose, or a
// value below 0.
INT OpenThroughExpander(const char* path);
// Entries attempted, or 0 (declined, or nothing needed copying). owner:
// message boxes, status text of control 1023, redraws of control 1022.
int CopyManifestFiles(HWND owner);

#endif
