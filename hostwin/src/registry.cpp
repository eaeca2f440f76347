// ADVAPI32 registry of the stand-in: three roots (HKLM, HKCU, HKEY_USERS) of
// keys held in memory, with Windows' error codes, the access recorded in each
// handle, and rights per key so that a test can play a user who may only read
// HKEY_LOCAL_MACHINE.
#include "internal.h"

#include <hostwin/machine.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

namespace hostwin {
namespace {

using internal::UpperAscii;

const REGSAM DELETE_RIGHT = 0x00010000;  // DELETE

struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

struct Key : std::enable_shared_from_this<Key> {
    HKEY root;
    std::string name;
    Key* parent = nullptr;  // nullptr for a root and for a deleted key
    std::vector<std::shared_ptr<Key>> children;
    std::vector<Value> values;
    bool deleted = false;

    Key* Child(const std::string& childName) const {
        for (const auto& child : children) if (UpperAscii(child->name) == UpperAscii(childName)) return child.get();
        return nullptr;
    }
    Key* AddChild(const std::string& childName) {
        children.push_back(std::make_shared<Key>());
        children.back()->root = root;
        children.back()->name = childName;
        children.back()->parent = this;
        return children.back().get();
    }
    Value* FindValue(const char* valueName) {
        for (Value& value : values) if (UpperAscii(value.name) == UpperAscii(valueName ? valueName : "")) return &value;
        return nullptr;
    }
    // Path from the root, as stored.
    std::string Path() const { return !parent ? "" : parent->parent ? parent->Path() + "\\" + name : name; }
};

struct Registry {
    std::map<HKEY, std::shared_ptr<Key>> roots;
    std::map<ULONG_PTR, std::pair<std::shared_ptr<Key>, REGSAM>> handles;  // the key and the access given
    ULONG_PTR nextHandle = 0x4000000;
    std::map<std::pair<HKEY, std::string>, REGSAM> rights;  // by root and upper-case path
};

Registry& Reg() {
    static Registry registry;
    return registry;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> components;
    for (size_t start = 0, end; start <= path.size(); start = end + 1) {
        end = std::min(path.find('\\', start), path.size());
        if (end > start) components.push_back(path.substr(start, end - start));
    }
    return components;
}

const char* RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_CURRENT_USER ? "HKCU" : "HKU";
}

// Rights of the user on the key at path: the setting for the deepest key on
// the way, else what the administrator switch gives.
REGSAM RightsAt(HKEY root, const std::string& path) {
    std::string upper = UpperAscii(path);
    for (;;) {
        auto found = Reg().rights.find({root, upper});
        if (found != Reg().rights.end()) return found->second;
        if (upper.empty()) break;
        size_t cut = upper.rfind('\\');
        upper.erase(cut == std::string::npos ? 0 : cut);
    }
    return IsAdministrator() || root == HKEY_CURRENT_USER ? KEY_RIGHTS_FULL : KEY_RIGHTS_READ;
}

REGSAM RightsOf(const Key* key) { return RightsAt(key->root, key->Path()); }

// The key behind a handle and the access that handle carries (a predefined
// key: the user's rights).
bool Resolve(HKEY handle, std::shared_ptr<Key>* key, REGSAM* access) {
    auto root = Reg().roots.find(handle);
    auto found = Reg().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (root != Reg().roots.end()) std::tie(*key, *access) = std::make_pair(root->second, RightsOf(root->second.get()));
    if (found != Reg().handles.end()) std::tie(*key, *access) = found->second;
    return root != Reg().roots.end() || found != Reg().handles.end();
}

// The key at a path below another; with create, missing keys are made.
Key* Walk(Key* key, const std::string& path, bool create = false) {
    for (const std::string& component : SplitPath(path)) {
        Key* child = key ? key->Child(component) : nullptr;
        key = child || !key || !create ? child : key->AddChild(component);
    }
    return key;
}

Key* Lookup(HKEY root, const char* path, bool create = false) {
    auto found = Reg().roots.find(root);
    return found == Reg().roots.end() ? nullptr : Walk(found->second.get(), path ? path : "", create);
}

void StoreValue(Key* key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    std::vector<BYTE> stored(data, data + (data ? size : 0));
    Value* existing = key->FindValue(name);
    if (!existing) key->values.push_back(Value{name ? name : "", type, stored});
    if (existing) *existing = Value{existing->name, type, stored};
}

// Takes a key from its parent and marks it and everything below it deleted:
// handles still open on them answer ERROR_KEY_DELETED.
void Unlink(Key* key) {
    std::shared_ptr<Key> keep = key->shared_from_this();
    while (!key->children.empty()) Unlink(key->children.back().get());
    auto& siblings = key->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), keep));
    key->parent = nullptr;
    key->deleted = true;
}

// A key's path with its root and a sub-key or value name, as "HKLM\\path".
std::string PathOf(const std::shared_ptr<Key>& base, const char* sub) {
    std::string path = base->Path();
    if (sub && *sub) path = path.empty() ? sub : path + "\\" + sub;
    return std::string(RootName(base->root)) + "\\" + path;
}

const bool registryRegistered = internal::RegisterReset([] {
    Reg() = Registry();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS}) {
        Reg().roots[root] = std::make_shared<Key>();
        Reg().roots[root]->root = root;
    }
    Lookup(HKEY_LOCAL_MACHINE, "Software", true);
    Lookup(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services", true);
    Lookup(HKEY_CURRENT_USER, "Software", true);
    Lookup(HKEY_USERS, ".DEFAULT\\Software", true);
});

const bool registryRestarts = internal::RegisterRestart([] { Reg().handles.clear(); });

LONG OpenOrCreate(HKEY handle, LPCSTR subKey, REGSAM access, bool create, PHKEY result) {
    *result = nullptr;
    std::shared_ptr<Key> base;
    REGSAM baseAccess = 0;
    if (!Resolve(handle, &base, &baseAccess)) return ERROR_INVALID_HANDLE;
    internal::FaultPoint fallible(create ? "RegCreateKeyExA" : "RegOpenKeyExA", PathOf(base, subKey),
                                  ERROR_ACCESS_DENIED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    if (base->deleted) return ERROR_KEY_DELETED;
    // The deepest key that exists on the way.
    std::vector<std::string> components = SplitPath(subKey ? subKey : "");
    Key* key = base.get();
    size_t depth = 0;
    for (; depth < components.size() && key->Child(components[depth]); ++depth) key = key->Child(components[depth]);
    std::string path = key->Path();
    for (size_t i = depth; i < components.size(); ++i) path += (path.empty() ? "" : "\\") + components[i];
    if (depth < components.size() && !create) return ERROR_FILE_NOT_FOUND;
    if ((access & ~RightsAt(base->root, path)) != 0) return ERROR_ACCESS_DENIED;
    if (depth < components.size() && !(RightsOf(key) & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    for (; depth < components.size(); ++depth) key = key->AddChild(components[depth]);
    Reg().handles[Reg().nextHandle] = {key->shared_from_this(), access};
    *result = reinterpret_cast<HKEY>(Reg().nextHandle);
    Reg().nextHandle += 4;
    return ERROR_SUCCESS;
}

// The key behind a handle for an operation that needs the given access.
LONG UsableKey(HKEY handle, REGSAM needed, std::shared_ptr<Key>* key) {
    REGSAM access = 0;
    if (!Resolve(handle, key, &access)) return ERROR_INVALID_HANDLE;
    if ((*key)->deleted) return ERROR_KEY_DELETED;
    return (access & needed) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace

// ---- controls ---------------------------------------------------------------------------
void SetKeyRights(HKEY root, const char* path, REGSAM rights) {
    HOSTWIN_LOCK();
    std::string joined;
    for (const std::string& component : SplitPath(path ? path : "")) joined += (joined.empty() ? "" : "\\") + component;
    Reg().rights[{root, UpperAscii(joined)}] = rights;
}

bool KeyExists(HKEY root, const char* path) { HOSTWIN_LOCK(); return Lookup(root, path) != nullptr; }

void DeleteKeyTree(HKEY root, const char* path) {
    HOSTWIN_LOCK();
    Key* key = Lookup(root, path);
    if (key && key->parent) Unlink(key);
}

std::vector<std::string> SubKeyNames(HKEY root, const char* path) {
    HOSTWIN_LOCK();
    std::vector<std::string> names;
    if (Key* key = Lookup(root, path)) for (const auto& child : key->children) names.push_back(child->name);
    return names;
}

std::vector<std::string> ValueNames(HKEY root, const char* path) {
    HOSTWIN_LOCK();
    std::vector<std::string> names;
    if (Key* key = Lookup(root, path)) for (const Value& value : key->values) names.push_back(value.name);
    return names;
}

void SetValue(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size) {
    HOSTWIN_LOCK();
    if (Key* key = Lookup(root, path, true)) StoreValue(key, name, type, static_cast<const BYTE*>(data), size);
}

void SetStringValue(HKEY root, const char* path, const char* name, const char* text) {
    SetValue(root, path, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
}

void SetDwordValue(HKEY root, const char* path, const char* name, DWORD value) {
    SetValue(root, path, name, REG_DWORD, &value, sizeof value);
}

bool FindValue(HKEY root, const char* path, const char* name, RegistryValue* value) {
    HOSTWIN_LOCK();
    Key* key = Lookup(root, path);
    Value* found = key ? key->FindValue(name) : nullptr;
    if (found && value) {
        value->type = found->type;
        value->data = found->data;
    }
    return found != nullptr;
}


std::vector<std::string> OpenKeyPaths() {
    HOSTWIN_LOCK();
    std::vector<std::string> paths;
    for (const auto& entry : Reg().handles) {
        const std::shared_ptr<Key>& key = entry.second.first;
        paths.push_back(PathOf(key, nullptr) + (key->deleted ? " (deleted)" : ""));
    }
    return paths;
}

}  // namespace hostwin

using namespace hostwin;

// ---- ADVAPI32 ----------------------------------------------------------------------------
LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES,
                               PHKEY result, LPDWORD) {
    HOSTWIN_LOCK();
    return OpenOrCreate(key, subKey, access, true, result);
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    HOSTWIN_LOCK();
    return OpenOrCreate(key, subKey, access, false, result);
}

LSTATUS WINAPI RegQueryValueExA(HKEY handle, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    HOSTWIN_LOCK();
    std::shared_ptr<Key> key;
    if (LONG status = UsableKey(handle, KEY_QUERY_VALUE, &key)) return status;
    internal::FaultPoint fallible("RegQueryValueExA", PathOf(key, valueName), ERROR_KEY_DELETED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    Value* value = key->FindValue(valueName);
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    DWORD length = static_cast<DWORD>(value->data.size());
    LONG status = ERROR_SUCCESS;
    if (data && length > *size) {
        status = ERROR_MORE_DATA;  // nothing is copied
    } else if (data && length) {
        std::memcpy(data, value->data.data(), length);  // texts are stored with their NUL (see RegSetValueExA)
    }
    if (size) *size = length;
    return status;
}

LSTATUS WINAPI RegSetValueExA(HKEY handle, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD size) {
    HOSTWIN_LOCK();
    // Documented as "must be zero": refused here, so that no caller relies on
    // a Windows version ignoring it.
    if (reserved) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Key> key;
    if (LONG status = UsableKey(handle, KEY_SET_VALUE, &key)) return status;
    internal::FaultPoint fallible("RegSetValueExA", PathOf(key, valueName), ERROR_KEY_DELETED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    // A text whose size leaves out the NUL that follows it is stored with that
    // NUL (Windows reads the byte after the given size to decide).
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (size && text && data[size - 1] && !data[size]) ++size;
    StoreValue(key.get(), valueName, type, data, size);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY handle, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD,
                             LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    HOSTWIN_LOCK();
    std::shared_ptr<Key> key;
    if (LONG status = UsableKey(handle, KEY_QUERY_VALUE, &key)) return status;
    internal::FaultPoint fallible("RegEnumValueA", PathOf(key, nullptr), ERROR_KEY_DELETED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    if (index >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = key->values[index];
    // Both sizes must hold what is asked for; the name's counts without its NUL.
    DWORD length = static_cast<DWORD>(value.data.size());
    if (value.name.size() >= *valueNameSize || (data && length > *dataSize)) {
        if (dataSize) *dataSize = length;
        return ERROR_MORE_DATA;
    }
    std::memcpy(valueName, value.name.c_str(), value.name.size() + 1);
    *valueNameSize = static_cast<DWORD>(value.name.size());
    if (type) *type = value.type;
    if (data && length) std::memcpy(data, value.data.data(), length);
    if (dataSize) *dataSize = length;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY handle, LPCSTR subKey) {
    HOSTWIN_LOCK();
    std::shared_ptr<Key> base;
    REGSAM access = 0;
    if (!Resolve(handle, &base, &access)) return ERROR_INVALID_HANDLE;
    internal::FaultPoint fallible("RegDeleteKeyA", PathOf(base, subKey), ERROR_ACCESS_DENIED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    if (base->deleted) return ERROR_KEY_DELETED;
    Key* key = Walk(base.get(), subKey);
    if (!key) return ERROR_FILE_NOT_FOUND;
    // The NT family refuses to delete a key that still has sub-keys.
    if (!key->parent || !(RightsOf(key) & DELETE_RIGHT) || !key->children.empty()) return ERROR_ACCESS_DENIED;
    Unlink(key);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY handle, LPCSTR valueName) {
    HOSTWIN_LOCK();
    std::shared_ptr<Key> key;
    if (LONG status = UsableKey(handle, KEY_SET_VALUE, &key)) return status;
    internal::FaultPoint fallible("RegDeleteValueA", PathOf(key, valueName), ERROR_ACCESS_DENIED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    Value* value = key->FindValue(valueName);
    if (!value) return ERROR_FILE_NOT_FOUND;
    key->values.erase(key->values.begin() + (value - key->values.data()));
    return ERROR_SUCCESS;
}

// Names are counted in characters without their NUL, data in bytes; the
// program asks for no class, security or time.
LSTATUS WINAPI RegQueryInfoKeyA(HKEY handle, LPSTR, LPDWORD, LPDWORD, LPDWORD subKeys, LPDWORD, LPDWORD,
                                LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD,
                                PFILETIME) {
    HOSTWIN_LOCK();
    std::shared_ptr<Key> key;
    if (LONG status = UsableKey(handle, KEY_QUERY_VALUE, &key)) return status;
    internal::FaultPoint fallible("RegQueryInfoKeyA", PathOf(key, nullptr), ERROR_KEY_DELETED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    DWORD longestName = 0, longestData = 0;
    for (const Value& value : key->values) {
        longestName = std::max(longestName, static_cast<DWORD>(value.name.size()));
        longestData = std::max(longestData, static_cast<DWORD>(value.data.size()));
    }
    const std::pair<LPDWORD, DWORD> answers[] = {{subKeys, static_cast<DWORD>(key->children.size())},
                                                 {values, static_cast<DWORD>(key->values.size())},
                                                 {maxValueNameLength, longestName},
                                                 {maxValueLength, longestData}};
    for (const auto& answer : answers) {
        if (answer.first) *answer.first = answer.second;
    }
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    HOSTWIN_LOCK();
    return Reg().handles.erase(reinterpret_cast<ULONG_PTR>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
