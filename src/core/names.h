// Fixed names of the program: objects, window class, keys, string ids.
#ifndef SETUP_CORE_NAMES_H
#define SETUP_CORE_NAMES_H

#define INSTANCE_MUTEX_NAME "$$ Loxbrine Main Mutex $$"
#define MAIN_WINDOW_CLASS "Loxbrine Main Class"
// The product key lies below one of two company keys, the second where that
// company key is there already. "%s" is the product name.
#define COMPANY_KEY_MORVIK "Software\\Morvik Communication"
#define COMPANY_KEY_DORNEL "Software\\Dornel Software"
#define PRODUCT_KEY_FORMAT_MORVIK COMPANY_KEY_MORVIK "\\%s"
#define PRODUCT_KEY_FORMAT_DORNEL COMPANY_KEY_DORNEL "\\%s"
// Below HKEY_USERS: the profile that new users start from.
#define DEFAULT_PROFILE ".DEFAULT"

// The driver package: the kernel driver and the service that depends on it,
// the directory below the Windows directory named after the driver, its
// sub-directory of call-control files and the two configuration files.
#define DRIVER_SERVICE "bfax"
#define INIT_SERVICE "faxinit"
#define DRIVER_DIRECTORY DRIVER_SERVICE
#define DRIVER_SUBDIRECTORY "morvik"
#define FAXINIT_FILE "faxinit.cfg"
#define BTCALL_NAME "btcall.cfg"
#define BTCALL_FILE DRIVER_SUBDIRECTORY "\\" BTCALL_NAME
// Where the service control manager keeps each service, and the drivers'
// parameters in it.
#define SERVICES_PATH "System\\CurrentControlSet\\Services"
#define DRIVER_PARAMETERS_KEY SERVICES_PATH "\\" DRIVER_SERVICE "\\Parameters"
#define INIT_PARAMETERS_KEY SERVICES_PATH "\\" INIT_SERVICE "\\Parameters"
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
