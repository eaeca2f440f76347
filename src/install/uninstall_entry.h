// The installation's entry in Programs and Features (Add/Remove Programs):
// what is installed, which version, by whom, and the commands of the copy of
// the program that remove it. Inventory and deployment tools read it too.
#ifndef SETUP_INSTALL_UNINSTALL_ENTRY_H
#define SETUP_INSTALL_UNINSTALL_ENTRY_H

#include <windows.h>

// Writes the entry under HKLM\UNINSTALL_KEY, whole or not at all (the key
// goes again when a value cannot be set); the log says how it went. No
// fallback to the user's profile: Programs and Features lists what HKLM holds.
void WriteUninstallEntry();

#endif
