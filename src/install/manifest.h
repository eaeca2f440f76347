// The file list Files.ini: reading it into the manifest, measuring every
// listed file (expanded size of LZ-compressed files) and the total.
#ifndef SETUP_INSTALL_MANIFEST_H
#define SETUP_INSTALL_MANIFEST_H

#include <windows.h>

#include <cstdint>

// Number of entries read and measured; 0 after showing the message that the
// list cannot be used. owner: message boxes and redraws of control 1022.
int ReadFileManifest(HWND owner);
// Adds the running program as the last entry, measured and always replaced:
// every installation leaves a copy of it in the driver directory, which
// removes the drivers without the distribution. Nothing is added when it
// runs from that copy.
void AddProgramEntry();
// The size of a file as it lies, 0 when it cannot be opened.
std::uint32_t PlainFileSize(const char* path);
void ComputeTotalBytes();

#endif
