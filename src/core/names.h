// Fixed names of the program: objects, window class, keys, string ids.
#ifndef SETUP_CORE_NAMES_H
#define SETUP_CORE_NAMES_H

#define INSTANCE_MUTEX_NAME "$$ Loxbrine Main Mutex $$"
#define MAIN_WINDOW_CLASS "Loxbrine Main Class"
#define PRODUCT_KEY_FORMAT_MORVIK "Software\\Morvik Communication\\%s"
#define PRODUCT_KEY_FORMAT_DORNEL "Software\\Dornel Software\\%s"
// The entry in Programs and Features (HKLM); its name never changes, so
// that every later version finds and replaces it.
#define UNINSTALL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LoxbrineBrooktroutDrivers"
// The copy of the program in the driver directory, which removes the drivers
// without the distribution.
#define PROGRAM_COPY_NAME "setup.exe"

// String table identifiers, from the string table itself.
enum StringId {
#define SETUP_STRING(name, id, text) name = (id),
#include "strings.inc"
#undef SETUP_STRING
};

#endif
