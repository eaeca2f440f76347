// Where the driver's files lie, and replacing a configuration file as a
// whole, so that it is never left truncated or half-written.
#ifndef SETUP_DRIVER_CONFIG_FILE_H
#define SETUP_DRIVER_CONFIG_FILE_H

#include <windows.h>

#include <cstddef>

// %windir%\bfax, or %windir%\bfax\relative when relative is given (a
// subdirectory or a file, such as morvik\btcall.cfg). 1 when the whole path
// fitted in size bytes; a path cut short must not be used.
int DriverPath(char* buffer, std::size_t size, const char* relative);

// Writes the size bytes at data to a temporary file next to path, flushes it
// and moves it over path. 1 when path now holds exactly that content; 0 when
// any step failed, in which case path is as it was and the temporary file is
// gone. A file that another program holds open without sharing gives 0.
int ReplaceFileContent(const char* path, const void* data, DWORD size);

// While set, ReplaceFileContent calls it with path once the new content
// lies whole beside it and before it takes path's place; 0 stops the
// replacement. An update sets it so that the file it replaces can be put
// back.
extern int (*beforeReplacingFile)(const char* path);

// The name ReplaceFileContent writes to first: path followed by ".new".
int TemporaryFileName(const char* path, char* buffer, DWORD size);

#endif
