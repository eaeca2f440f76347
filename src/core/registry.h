// Registry access: one value written or read, one key deleted, with the
// fallback for users who may not write to HKEY_LOCAL_MACHINE; the product's
// own key and the choice of its company root.
#ifndef SETUP_CORE_REGISTRY_H
#define SETUP_CORE_REGISTRY_H

#include <windows.h>

#include <cstddef>

// A value below HKEY_LOCAL_MACHINE. size 0 with REG_SZ: text length + 1. 1
// when the value was stored in the key or, when that key cannot be created or
// opened and fallback is set, in a fallback key.
int WriteRegistryValue(const char* subKey, const char* valueName, DWORD type, const void* data, int size,
                       int fallback);
// 1 when a value of non-zero size was read; the buffer is cleared first.
int ReadRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD type, void* buffer, int size);
int DeleteRegistryKey(HKEY root, const char* subKey);

// Product values: the name may carry a sub-key path ("Sub\Value").
int WriteProductValue(const char* name, DWORD type, const void* data, int size);
int ReadProductValue(const char* name, DWORD type, void* buffer, int size);
int DeleteProductKey(const char* name);

// The product key below HKLM, or with company set the company key above it.
// 0 when it does not fit size bytes.
int ProductKeyPath(char* path, std::size_t size, int company);
// Sets productKeyFormat once at start-up.
void ChooseProductRoot();

#endif
