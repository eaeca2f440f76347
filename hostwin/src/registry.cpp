// ADVAPI32 registry of the stand-in (minimal for now): HKLM\Software opened
// with any access by an administrator, for reading by anybody.
#include "internal.h"

#include <hostwin/machine.h>

namespace {
HKEY const softwareKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x2000));
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (key != HKEY_LOCAL_MACHINE || !subKey || hostwin::internal::UpperAscii(subKey) != "SOFTWARE") {
        return ERROR_FILE_NOT_FOUND;
    }
    const REGSAM readOnly = KEY_READ;
    if ((access & ~readOnly) != 0 && !hostwin::IsAdministrator()) return ERROR_ACCESS_DENIED;
    *result = softwareKey;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    return key == softwareKey ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
