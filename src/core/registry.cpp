#include "core/registry.h"

#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/names.h"
#include "core/setup_state.h"

namespace {

// Writers and readers ask for the same access, so that a key the user may
// only read counts as "cannot be opened" and the fallback takes over.
const REGSAM VALUE_ACCESS = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

const std::size_t FALLBACK_PATH_SIZE = 256;
const std::size_t PRODUCT_PATH_SIZE = 1024;

// A buffer up to this size is cleared whole before a read; a larger one only
// gets an empty text.
const int CLEAR_WHOLE_LIMIT = 64;

int IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The same path below the default user profile; 0 when it does not fit,
// rather than writing to a cut path.
int DefaultProfilePath(char* path, const char* subKey) {
    return FormatText(path, FALLBACK_PATH_SIZE, DEFAULT_PROFILE "\\%s", subKey);
}

// How writing one value into one key came out.
enum KeyWrite { KEY_NOT_OPENED, VALUE_NOT_SET, VALUE_SET };

KeyWrite CreateAndSet(HKEY root, const char* subKey, const char* valueName, DWORD type, const void* data,
                      DWORD size) {
    KeyGuard key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, VALUE_ACCESS, nullptr, key.Receive(),
                        &disposition) != ERROR_SUCCESS) {
        return KEY_NOT_OPENED;
    }
    LONG result = RegSetValueExA(key.Get(), valueName, 0, type, static_cast<const BYTE*>(data), size);
    return result == ERROR_SUCCESS ? VALUE_SET : VALUE_NOT_SET;
}

void ClearBuffer(void* buffer, int size) {
    if (size <= CLEAR_WHOLE_LIMIT) {
        std::memset(buffer, 0, size);
    } else {
        static_cast<char*>(buffer)[0] = '\0';
    }
}

// One place of the read: 1 when the key opens and holds the value with a
// non-zero size. The key is closed again either way.
int OpenAndQuery(HKEY root, const char* subKey, REGSAM access, const char* valueName, DWORD type, void* buffer,
                 int size, int* opened) {
    KeyGuard key;
    *opened = RegOpenKeyExA(root, subKey, 0, access, key.Receive()) == ERROR_SUCCESS;
    if (!*opened) return 0;
    DWORD storedType = 0;
    DWORD length = static_cast<DWORD>(size);
    LONG result = RegQueryValueExA(key.Get(), valueName, nullptr, &storedType, static_cast<BYTE*>(buffer), &length);
    if (result != ERROR_SUCCESS || length == 0) {
        // A value too large for the buffer may have left anything in it.
        ClearBuffer(buffer, size);
        return 0;
    }
    if (IsTextType(type)) {
        // A text stored without its NUL that fills the whole buffer would
        // otherwise run on past it.
        char* text = static_cast<char*>(buffer);
        if (length < static_cast<DWORD>(size)) {
            text[length] = '\0';
        } else {
            text[size - 1] = '\0';
        }
    }
    return 1;
}

// path = ProductKeyPath, extended by the sub-key part of the name; valueName
// the rest. 0 when the path does not fit its buffer.
int BuildProductPath(const char* name, char* path, char* valueName) {
    if (!ProductKeyPath(path, PRODUCT_PATH_SIZE, 0)) return 0;
    if (!CopyText(valueName, PRODUCT_PATH_SIZE, name)) return 0;
    char* lastBackslash = std::strrchr(valueName, '\\');
    // A backslash in the first position is part of the value name.
    if (!lastBackslash || lastBackslash == valueName) return 1;
    *lastBackslash = '\0';
    std::size_t length = std::strlen(path);
    if (!FormatText(path + length, PRODUCT_PATH_SIZE - length, "\\%s", valueName)) return 0;
    std::memmove(valueName, lastBackslash + 1, std::strlen(lastBackslash + 1) + 1);
    return 1;
}

}  // namespace

int WriteRegistryValue(const char* subKey, const char* valueName, DWORD type, const void* data, int size,
                       int fallback) {
    if (size < 0 || !data) return 0;
    if (size == 0) {
        if (type != REG_SZ) return 0;
        size = static_cast<int>(std::strlen(static_cast<const char*>(data)) + 1);
    }
    DWORD bytes = static_cast<DWORD>(size);
    // Only a key that cannot be opened sends the value elsewhere; the result
    // tells whether the value was stored.
    KeyWrite write = CreateAndSet(HKEY_LOCAL_MACHINE, subKey, valueName, type, data, bytes);
    if (write != KEY_NOT_OPENED) return write == VALUE_SET ? 1 : 0;
    if (!fallback) return 0;
    // A user who may not write to HKLM keeps the value in his own profile and
    // in the default profile, whichever can be written.
    int written = CreateAndSet(HKEY_CURRENT_USER, subKey, valueName, type, data, bytes) == VALUE_SET ? 1 : 0;
    char defaultPath[FALLBACK_PATH_SIZE];
    if (DefaultProfilePath(defaultPath, subKey) &&
        CreateAndSet(HKEY_USERS, defaultPath, valueName, type, data, bytes) == VALUE_SET) {
        written = 1;
    }
    return written;
}

int ReadRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD type, void* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    ClearBuffer(buffer, size);
    int opened = 0;
    int found = OpenAndQuery(root, subKey, VALUE_ACCESS, valueName, type, buffer, size, &opened);
    // A key that opens ends the read, whether or not it holds the value.
    if (opened || root != HKEY_LOCAL_MACHINE) return found;
    // Where a user who may not write to HKLM left his values, then the HKLM
    // value itself, read-only.
    if (OpenAndQuery(HKEY_CURRENT_USER, subKey, VALUE_ACCESS, valueName, type, buffer, size, &opened)) return 1;
    char defaultPath[FALLBACK_PATH_SIZE];
    if (DefaultProfilePath(defaultPath, subKey) &&
        OpenAndQuery(HKEY_USERS, defaultPath, VALUE_ACCESS, valueName, type, buffer, size, &opened)) {
        return 1;
    }
    return OpenAndQuery(HKEY_LOCAL_MACHINE, subKey, KEY_QUERY_VALUE, valueName, type, buffer, size, &opened);
}

int DeleteRegistryKey(HKEY root, const char* subKey) { return RegDeleteKeyA(root, subKey) == ERROR_SUCCESS ? 1 : 0; }

int WriteProductValue(const char* name, DWORD type, const void* data, int size) {
    char path[PRODUCT_PATH_SIZE];
    char valueName[PRODUCT_PATH_SIZE];
    if (!BuildProductPath(name, path, valueName)) return 0;
    return WriteRegistryValue(path, valueName, type, data, size, 1);
}

int ReadProductValue(const char* name, DWORD type, void* buffer, int size) {
    char path[PRODUCT_PATH_SIZE];
    char valueName[PRODUCT_PATH_SIZE];
    if (!BuildProductPath(name, path, valueName)) {
        if (buffer && size > 0) ClearBuffer(buffer, size);
        return 0;
    }
    return ReadRegistryValue(HKEY_LOCAL_MACHINE, path, valueName, type, buffer, size);
}

int DeleteProductKey(const char* name) {
    char path[PRODUCT_PATH_SIZE];
    char valueName[PRODUCT_PATH_SIZE];
    if (!BuildProductPath(name, path, valueName)) return 0;
    return DeleteRegistryKey(HKEY_LOCAL_MACHINE, path);
}

int ProductKeyPath(char* path, std::size_t size, int company) {
    if (!FormatText(path, size, setupState.productKeyFormat, setupState.productName)) return 0;
    char* last = std::strrchr(path, '\\');
    if (company && last) *last = '\0';
    return 1;
}

void ChooseProductRoot() {
    KeyGuard key;
    bool dornel = RegOpenKeyExA(HKEY_LOCAL_MACHINE, COMPANY_KEY_DORNEL, 0, KEY_QUERY_VALUE, key.Receive()) ==
                  ERROR_SUCCESS;
    CopyText(setupState.productKeyFormat, sizeof setupState.productKeyFormat,
             dornel ? PRODUCT_KEY_FORMAT_DORNEL : PRODUCT_KEY_FORMAT_MORVIK);
}
