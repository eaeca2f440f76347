// Where the driver's files lie, and replacing one of them as a whole: the
// new content is written to a temporary file beside it and moved over it
// only once complete, so that it is never left truncated or half-written.
#ifndef SETUP_DRIVER_CONFIG_FILE_H
#define SETUP_DRIVER_CONFIG_FILE_H

#include <windows.h>

#include <cstddef>

#include "core/file_guards.h"

// %windir%\bfax, or %windir%\bfax\relative when relative is given (a
// subdirectory or a file, such as morvik\btcall.cfg). 1 when the whole path
// fitted in size bytes; a path cut short must not be used.
int DriverPath(char* buffer, std::size_t size, const char* relative);

// The name a listed file is installed under: the part of the listed name
// after its last '\' or '/' (Windows takes both as separators).
const char* DestinationNameOf(const char* name);
// Whether a file of the list read (the manifest) is installed as path.
int IsListedDestination(const char* path);

// The temporary file that path is written to before it replaces path:
// path followed by ".part", or by ".part1" to ".part9" where the list
// installs a file of that name. 0 when no name is free or none fits.
int TemporaryFileName(const char* path, char* buffer, std::size_t size);
// Whether name ends as those names do.
int IsTemporaryName(const char* name);

// While an update is recorded: called with path and its temporary before
// the temporary is made, and with path once the temporary is complete and
// before it takes path's place (to set the installed copy aside). 0 stops
// the replacement.
extern int (*beforeWritingTemporary)(const char* path, const char* temporary);
extern int (*beforeReplacingFile)(const char* path);
// beforeWritingTemporary, when set.
int NoteTemporary(const char* path, const char* temporary);

// A temporary opened to be written, replacing whatever a cut-off run left.
HANDLE CreateTemporaryFile(const char* temporary);
enum Commit { COMMIT_NOT_WRITTEN, COMMIT_NOT_SET_ASIDE, COMMIT_NOT_MOVED, COMMIT_DONE };
// Flushes and closes the temporary and, when it holds the whole new content,
// moves it over path, after beforeReplacingFile. On failure path is as it
// was, the temporary gone and the last error that of the failed step.
Commit FinishTemporaryFile(FileGuard* file, const char* temporary, const char* path, bool whole);

// Writes the size bytes at data to path's temporary, flushes it and commits
// it. 1 when path now holds exactly that content; 0 when any step failed, in
// which case path is as it was and the temporary file is gone. A file that
// another program holds open without sharing gives 0.
int ReplaceFileContent(const char* path, const void* data, DWORD size);

#endif
