// ADVAPI32 registry of the stand-in: three roots (HKLM, HKCU, HKEY_USERS) of
// keys held in memory, with Windows' error codes, the access recorded in each
// handle, and rights per key so that a test can play a user who may only read
// HKEY_LOCAL_MACHINE.
#include "internal.h"

#include <hostwin/machine.h>

#include <cstring>
#include <map>
#include <memory>

namespace hostwin {
namespace {

using internal::UpperAscii;

const REGSAM DELETE_RIGHT = 0x00010000;  // DELETE

struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

struct Key {
    HKEY root;
    std::string name;
    Key* parent = nullptr;  // nullptr for a root and for a deleted key
    std::vector<std::shared_ptr<Key>> children;
    std::vector<Value> values;
    bool deleted = false;

    Key* Child(const std::string& childName) const {
        std::string upper = UpperAscii(childName);
        for (const auto& child : children) {
            if (UpperAscii(child->name) == upper) return child.get();
        }
        return nullptr;
    }
    Value* FindValue(const char* valueName) {
        std::string upper = UpperAscii(valueName ? valueName : "");
        for (Value& value : values) {
            if (UpperAscii(value.name) == upper) return &value;
        }
        return nullptr;
    }
    // Path from the root, as stored.
    std::string Path() const {
        std::string path;
        for (const Key* key = this; key && key->parent; key = key->parent) {
            path = path.empty() ? key->name : key->name + "\\" + path;
        }
        return path;
    }
};

struct OpenKey {
    std::shared_ptr<Key> key;
    REGSAM access;
};

struct RightsSetting {
    HKEY root;
    std::vector<std::string> components;  // upper case
    REGSAM rights;
};

struct Registry {
    std::shared_ptr<Key> machine, user, users;
    std::map<ULONG_PTR, OpenKey> handles;
    ULONG_PTR nextHandle = 0x4000000;
    std::vector<RightsSetting> rights;
};

std::shared_ptr<Key> NewRoot(HKEY root, const char* name) {
    auto key = std::make_shared<Key>();
    key->root = root;
    key->name = name;
    return key;
}

Registry& Reg() {
    static Registry registry;
    return registry;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> components;
    std::string current;
    for (char c : path) {
        if (c == '\\') {
            if (!current.empty()) components.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) components.push_back(current);
    return components;
}

Key* RootKey(HKEY root) {
    Registry& reg = Reg();
    if (root == HKEY_LOCAL_MACHINE) return reg.machine.get();
    if (root == HKEY_CURRENT_USER) return reg.user.get();
    if (root == HKEY_USERS) return reg.users.get();
    return nullptr;
}

const char* RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    return "HKU";
}

bool IsPredefined(HKEY key) { return RootKey(key) != nullptr; }

// Rights of the user on a key given by its path components (upper case).
REGSAM RightsAt(HKEY root, const std::vector<std::string>& components) {
    const RightsSetting* best = nullptr;
    for (const RightsSetting& setting : Reg().rights) {
        if (setting.root != root || setting.components.size() > components.size()) continue;
        bool prefix = true;
        for (size_t i = 0; i < setting.components.size() && prefix; ++i) {
            prefix = UpperAscii(components[i]) == setting.components[i];
        }
        if (prefix && (!best || setting.components.size() >= best->components.size())) best = &setting;
    }
    if (best) return best->rights;
    if (IsAdministrator() || root == HKEY_CURRENT_USER) return KEY_RIGHTS_FULL;
    return KEY_RIGHTS_READ;
}

std::vector<std::string> ComponentsOf(const Key* key) { return SplitPath(key->Path()); }

REGSAM RightsOf(const Key* key) { return RightsAt(key->root, ComponentsOf(key)); }

bool Allowed(REGSAM access, REGSAM rights) { return (access & ~rights) == 0; }

// The key behind a handle and the access that handle carries.
bool Resolve(HKEY handle, std::shared_ptr<Key>* key, REGSAM* access) {
    Registry& reg = Reg();
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER || handle == HKEY_USERS) {
        *key = handle == HKEY_LOCAL_MACHINE ? reg.machine : handle == HKEY_CURRENT_USER ? reg.user : reg.users;
        *access = RightsOf(key->get());
        return true;
    }
    auto found = reg.handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found == reg.handles.end()) return false;
    *key = found->second.key;
    *access = found->second.access;
    return true;
}

std::shared_ptr<Key> SharedOf(Key* key) {
    if (!key->parent) {
        Registry& reg = Reg();
        if (key == reg.machine.get()) return reg.machine;
        if (key == reg.user.get()) return reg.user;
        return reg.users;
    }
    for (const auto& child : key->parent->children) {
        if (child.get() == key) return child;
    }
    return nullptr;
}

HKEY AddKeyHandle(Key* key, REGSAM access) {
    Registry& reg = Reg();
    ULONG_PTR value = reg.nextHandle;
    reg.nextHandle += 4;
    reg.handles[value] = OpenKey{SharedOf(key), access};
    return reinterpret_cast<HKEY>(value);
}

Key* Walk(Key* from, const std::vector<std::string>& components) {
    Key* key = from;
    for (const std::string& component : components) {
        key = key->Child(component);
        if (!key) return nullptr;
    }
    return key;
}

Key* AddChild(Key* parent, const std::string& name) {
    auto child = std::make_shared<Key>();
    child->root = parent->root;
    child->name = name;
    child->parent = parent;
    parent->children.push_back(child);
    return child.get();
}

Key* CreatePath(HKEY root, const std::string& path) {
    Key* key = RootKey(root);
    if (!key) return nullptr;
    for (const std::string& component : SplitPath(path)) {
        Key* child = key->Child(component);
        key = child ? child : AddChild(key, component);
    }
    return key;
}

// The key at a path from a root, as it is now; nullptr when there is none.
Key* Lookup(HKEY root, const char* path) {
    Key* rootKey = RootKey(root);
    return rootKey ? Walk(rootKey, SplitPath(path ? path : "")) : nullptr;
}

void StoreValue(Key* key, const char* name, DWORD type, const BYTE* data, DWORD size) {
    std::vector<BYTE> stored(data, data + (data ? size : 0));
    if (Value* existing = key->FindValue(name)) {
        existing->type = type;
        existing->data = stored;
    } else {
        key->values.push_back(Value{name ? name : "", type, stored});
    }
}

void MarkDeleted(Key* key) {
    for (const auto& child : key->children) MarkDeleted(child.get());
    key->children.clear();
    key->deleted = true;
}

void Unlink(Key* key) {
    Key* parent = key->parent;
    std::shared_ptr<Key> keep = SharedOf(key);
    MarkDeleted(key);
    key->parent = nullptr;
    auto& siblings = parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == key) {
            siblings.erase(it);
            break;
        }
    }
}

// A key's path from its root and a sub-key path below it, as the caller spelled it.
std::string SubPath(const std::shared_ptr<Key>& base, const char* subKey) {
    std::string path = base->Path();
    std::string sub = subKey ? subKey : "";
    if (!sub.empty()) path = path.empty() ? sub : path + "\\" + sub;
    return path;
}

// The same with its root, as "HKLM\\path".
std::string PathOf(const std::shared_ptr<Key>& base, const char* subKey) {
    return std::string(RootName(base->root)) + "\\" + SubPath(base, subKey);
}

const bool registryRegistered = internal::RegisterReset([] {
    Registry& reg = Reg();
    reg = Registry();
    reg.machine = NewRoot(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE");
    reg.user = NewRoot(HKEY_CURRENT_USER, "HKEY_CURRENT_USER");
    reg.users = NewRoot(HKEY_USERS, "HKEY_USERS");
    CreatePath(HKEY_LOCAL_MACHINE, "Software");
    CreatePath(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services");
    CreatePath(HKEY_CURRENT_USER, "Software");
    CreatePath(HKEY_USERS, ".DEFAULT\\Software");
});

LONG OpenOrCreate(HKEY handle, LPCSTR subKey, REGSAM access, bool create, PHKEY result, LPDWORD disposition) {
    *result = nullptr;
    std::shared_ptr<Key> base;
    REGSAM baseAccess = 0;
    if (!Resolve(handle, &base, &baseAccess)) return ERROR_INVALID_HANDLE;
    std::string sub = subKey ? subKey : "";
    internal::FaultPoint fallible(create ? "RegCreateKeyExA" : "RegOpenKeyExA", PathOf(base, subKey),
                               ERROR_ACCESS_DENIED);
    LONG status = ERROR_SUCCESS;
    Key* key = nullptr;
    bool created = false;
    if (fallible.Fails()) {
        status = static_cast<LONG>(fallible.Error());
    } else if (base->deleted) {
        status = ERROR_KEY_DELETED;
    } else if (!sub.empty() && sub[0] == '\\') {
        status = ERROR_BAD_PATHNAME;
    } else {
        std::vector<std::string> components = SplitPath(sub);
        // The deepest key that exists on the way.
        Key* existing = base.get();
        size_t depth = 0;
        while (depth < components.size()) {
            Key* child = existing->Child(components[depth]);
            if (!child) break;
            existing = child;
            ++depth;
        }
        std::vector<std::string> full = ComponentsOf(existing);
        for (size_t i = depth; i < components.size(); ++i) full.push_back(components[i]);
        REGSAM rights = RightsAt(base->root, full);
        if (depth == components.size()) {
            key = existing;
            if (!Allowed(access, rights)) status = ERROR_ACCESS_DENIED;
        } else if (!create) {
            status = ERROR_FILE_NOT_FOUND;
        } else if (!(RightsOf(existing) & KEY_CREATE_SUB_KEY) || !Allowed(access, rights)) {
            status = ERROR_ACCESS_DENIED;
        } else {
            key = existing;
            for (size_t i = depth; i < components.size(); ++i) key = AddChild(key, components[i]);
            created = true;
        }
        if (status == ERROR_SUCCESS) {
            // Windows hands back a predefined key itself when asked to open it again.
            if (key == base.get() && IsPredefined(handle) && !create) {
                *result = handle;
            } else {
                *result = AddKeyHandle(key, access);
            }
            if (disposition) *disposition = created ? 1 : 2;  // REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY
        }
    }
    return status;
}

// The key behind a handle for an operation that needs the given access.
LONG UsableKey(HKEY handle, REGSAM needed, std::shared_ptr<Key>* key) {
    REGSAM access = 0;
    if (!Resolve(handle, key, &access)) return ERROR_INVALID_HANDLE;
    if ((*key)->deleted) return ERROR_KEY_DELETED;
    if (!(access & needed)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

}  // namespace

// ---- controls ---------------------------------------------------------------------------
std::string RegistryValue::Text() const {
    std::string text(data.begin(), data.end());
    size_t end = text.find('\0');
    return end == std::string::npos ? text : text.substr(0, end);
}

DWORD RegistryValue::Dword() const {
    DWORD value = 0;
    if (data.size() >= sizeof value) std::memcpy(&value, data.data(), sizeof value);
    return value;
}

void SetKeyRights(HKEY root, const char* path, REGSAM rights) {
    HOSTWIN_LOCK();
    std::vector<std::string> components = SplitPath(path ? path : "");
    for (std::string& component : components) component = UpperAscii(component);
    Reg().rights.push_back(RightsSetting{root, components, rights});
}

bool KeyExists(HKEY root, const char* path) {
    HOSTWIN_LOCK();
    return Lookup(root, path) != nullptr;
}

void DeleteKeyTree(HKEY root, const char* path) {
    HOSTWIN_LOCK();
    Key* key = Lookup(root, path);
    if (key && key->parent) Unlink(key);
}

std::vector<std::string> SubKeyNames(HKEY root, const char* path) {
    HOSTWIN_LOCK();
    std::vector<std::string> names;
    if (Key* key = Lookup(root, path)) {
        for (const auto& child : key->children) names.push_back(child->name);
    }
    return names;
}

std::vector<std::string> ValueNames(HKEY root, const char* path) {
    HOSTWIN_LOCK();
    std::vector<std::string> names;
    if (Key* key = Lookup(root, path)) {
        for (const Value& value : key->values) names.push_back(value.name);
    }
    return names;
}

void SetValue(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size) {
    HOSTWIN_LOCK();
    Key* key = CreatePath(root, path ? path : "");
    if (key) StoreValue(key, name, type, static_cast<const BYTE*>(data), size);
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

int OpenKeyCount() {
    HOSTWIN_LOCK();
    return static_cast<int>(Reg().handles.size());
}

std::vector<std::string> OpenKeyPaths() {
    HOSTWIN_LOCK();
    std::vector<std::string> paths;
    for (const auto& entry : Reg().handles) {
        const Key* key = entry.second.key.get();
        paths.push_back(std::string(RootName(key->root)) + "\\" + key->Path() + (key->deleted ? " (deleted)" : ""));
    }
    return paths;
}

}  // namespace hostwin

using namespace hostwin;

// ---- ADVAPI32 ----------------------------------------------------------------------------
LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES,
                               PHKEY result, LPDWORD disposition) {
    HOSTWIN_LOCK();
    if (!result || !subKey) return ERROR_INVALID_PARAMETER;
    return OpenOrCreate(key, subKey, access, true, result, disposition);
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    HOSTWIN_LOCK();
    if (!result) return ERROR_INVALID_PARAMETER;
    return OpenOrCreate(key, subKey, access, false, result, nullptr);
}

LSTATUS WINAPI RegQueryValueExA(HKEY handle, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size) {
    HOSTWIN_LOCK();
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Key> key;
    if (LONG status = UsableKey(handle, KEY_QUERY_VALUE, &key)) return status;
    internal::FaultPoint fallible("RegQueryValueExA", PathOf(key, valueName), ERROR_KEY_DELETED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    Value* value = key->FindValue(valueName);
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    DWORD length = static_cast<DWORD>(value->data.size());
    LONG status = ERROR_SUCCESS;
    if (data) {
        if (length > *size) {
            status = ERROR_MORE_DATA;  // nothing is copied
        } else {
            if (length) std::memcpy(data, value->data.data(), length);
            // A text stored without its NUL gets one when the buffer has room.
            if (IsStringType(value->type) && length > 0 && length < *size && data[length - 1]) data[length] = 0;
        }
    }
    if (size) *size = length;
    return status;
}

LSTATUS WINAPI RegSetValueExA(HKEY handle, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    HOSTWIN_LOCK();
    std::shared_ptr<Key> key;
    if (LONG status = UsableKey(handle, KEY_SET_VALUE, &key)) return status;
    internal::FaultPoint fallible("RegSetValueExA", PathOf(key, valueName), ERROR_KEY_DELETED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    if (!data && size) return ERROR_NOACCESS;
    // A text whose size leaves out the NUL that follows it is stored with that
    // NUL (Windows reads the byte after the given size to decide).
    if (size && IsStringType(type) && data[size - 1] && !data[size]) ++size;
    StoreValue(key.get(), valueName, type, data, size);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY handle, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    HOSTWIN_LOCK();
    if (reserved || !valueName || !valueNameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
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
    if (!subKey) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Key> base;
    REGSAM access = 0;
    if (!Resolve(handle, &base, &access)) return ERROR_INVALID_HANDLE;
    internal::FaultPoint fallible("RegDeleteKeyA", PathOf(base, subKey), ERROR_ACCESS_DENIED);
    if (fallible.Fails()) return static_cast<LONG>(fallible.Error());
    if (base->deleted) return ERROR_KEY_DELETED;
    if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    Key* key = Walk(base.get(), SplitPath(subKey));
    if (!key) return ERROR_FILE_NOT_FOUND;
    // The NT family refuses to delete a key that still has sub-keys.
    if (!key->parent || !(RightsOf(key) & DELETE_RIGHT) || !key->children.empty()) return ERROR_ACCESS_DENIED;
    Unlink(key);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    HOSTWIN_LOCK();
    if (IsPredefined(key)) return ERROR_SUCCESS;
    return Reg().handles.erase(reinterpret_cast<ULONG_PTR>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
