// Placing the manifest's files into %windir%\bfax and %windir%\bfax\morvik,
// expanding compressed ones, with progress and the missing-file prompt.
#ifndef SETUP_INSTALL_FILE_COPY_H
#define SETUP_INSTALL_FILE_COPY_H

#include <windows.h>

#include "core/shared_types.h"

const int FILE_PATH_SIZE = 1024;

// Each text buffer holds FILE_PATH_SIZE bytes; destinationName may be null.
int BuildFilePaths(const ManifestEntry* entry, char* compressedSource, char* plainSource, char* destination,
                   char* destinationName, int createDirectories);
int CreateDriverDirectories();
// Entries attempted, or 0 (declined, or nothing needed copying). owner:
// message boxes, status text of control 1023, redraws of control 1022.
int CopyManifestFiles(HWND owner);

#endif
