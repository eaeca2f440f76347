// Stand-in controls for the registry: keys, values, per-root rights, open keys.
// Included by hostwin/machine.h.
#ifndef HOSTWIN_REGISTRY_H
#define HOSTWIN_REGISTRY_H

#include <windows.h>

#include <string>
#include <vector>

namespace hostwin {

// A fresh machine holds HKLM\Software, HKLM\System\CurrentControlSet\Services,
// HKCU\Software and HKEY_USERS\.DEFAULT\Software, and nothing else.
// Paths below are relative to their root ("Software\Vendor"); names compare
// without regard to case, as in Windows.

// ---- rights -------------------------------------------------------------------------
// What the user may do with a key, as an access mask: opening or creating a
// key with more access than this is refused with ERROR_ACCESS_DENIED. Creating
// a sub-key needs KEY_CREATE_SUB_KEY on the parent, deleting a key needs
// DELETE on the key itself.
const REGSAM KEY_RIGHTS_FULL = KEY_ALL_ACCESS;
const REGSAM KEY_RIGHTS_READ = KEY_READ;

// Without settings the administrator switch decides, as Windows' default
// permissions do: an administrator has full rights everywhere; any other user
// has full rights under HKEY_CURRENT_USER and may only read HKEY_LOCAL_MACHINE
// and HKEY_USERS.
// SetKeyRights overrides that for the key at path (root itself: "") and
// everything below it, unless a deeper setting says otherwise.
void SetKeyRights(HKEY root, const char* path, REGSAM rights);

// ---- keys and values, seen from outside (no rights apply) ----------------------------
bool KeyExists(HKEY root, const char* path);
// Removes a key with everything below it; handles still open on those keys
// then answer ERROR_KEY_DELETED.
void DeleteKeyTree(HKEY root, const char* path);
std::vector<std::string> SubKeyNames(HKEY root, const char* path);
std::vector<std::string> ValueNames(HKEY root, const char* path);

struct RegistryValue {
    DWORD type = 0;  // REG_NONE
    std::vector<BYTE> data;  // exactly as stored
    // The data up to the first NUL (all of it when there is none).
    std::string Text() const;
    DWORD Dword() const;  // 0 unless the data holds at least 4 bytes
};
// Writes a value (the key is created when missing).
void SetValue(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size);
void SetStringValue(HKEY root, const char* path, const char* name, const char* text);  // REG_SZ with its NUL
void SetDwordValue(HKEY root, const char* path, const char* name, DWORD value);
bool FindValue(HKEY root, const char* path, const char* name, RegistryValue* value = nullptr);

// ---- what the program did -------------------------------------------------------------------
// Keys opened through HKEYs that are not yet closed, as "HKLM\path".
int OpenKeyCount();
std::vector<std::string> OpenKeyPaths();

}  // namespace hostwin

#endif
