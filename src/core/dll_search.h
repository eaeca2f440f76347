// Where DLLs come from. setup.exe runs elevated from folders that others may
// write to (shares, download folders), and Windows looks for a DLL loaded by
// name alone in the program's folder first: every DLL that the system loads
// later on the program's behalf (the theme engine, the common controls and
// what they need, the owner check of the log) must come from the system
// directory instead.
#ifndef SETUP_CORE_DLL_SEARCH_H
#define SETUP_CORE_DLL_SEARCH_H

#include <windows.h>

// First thing in the process, before anything can load a DLL. Where the
// system can (Windows 8 and later, Vista and 7 with their loader update),
// DLLs are then looked for in the system directory only; elsewhere the
// current directory leaves the search (XP SP1 and later). Then the DLLs that
// are loaded late by name are loaded from the system directory, so that
// those later loads find them loaded.
void RestrictDllSearch();

// COMCTL32, after RestrictDllSearch: by name from Windows XP on, where the
// manifest redirects that name to version 6 side by side (a full path would
// give version 5), from the system directory before. 0 when it cannot be
// loaded.
HMODULE LoadCommonControls();

#endif
