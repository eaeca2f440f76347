// Initialisation files of the stand-in: GetPrivateProfileStringA, reading
// the file as KERNEL32 does (sections and keys without regard to case, the
// first of each counting, blanks around names and values dropped, one pair
// of matching quotes around a value removed, lines beginning with ';' left
// out of the key lists).
#include "internal.h"

#include <hostwin/machine.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace hostwin {
namespace {

struct ProfileKey {
    std::string name;
    bool hasValue;
    std::string value;
};

struct ProfileSection {
    std::string name;
    std::vector<ProfileKey> keys;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& text) {
    size_t start = 0;
    size_t end = text.size();
    while (start < end && IsBlank(text[start])) ++start;
    while (end > start && IsBlank(text[end - 1])) --end;
    return text.substr(start, end - start);
}

// Keys before the first section header belong to a section without a name,
// which no lookup finds.
std::vector<ProfileSection> Parse(const std::string& content) {
    std::vector<ProfileSection> sections(1);
    size_t at = 0;
    while (at < content.size()) {
        size_t end = content.find_first_of("\r\n", at);
        if (end == std::string::npos) end = content.size();
        std::string line = Trimmed(content.substr(at, end - at));
        at = end + 1;
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            std::string name = close == std::string::npos ? line.substr(1) : line.substr(1, close - 1);
            sections.push_back({Trimmed(name), {}});
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            sections.back().keys.push_back({line, false, std::string()});
        } else {
            sections.back().keys.push_back({Trimmed(line.substr(0, equals)), true, Trimmed(line.substr(equals + 1))});
        }
    }
    return sections;
}

// A name without any directory part is looked for in the Windows directory.
bool ProfilePath(const char* fileName, std::string* full) {
    if (!fileName || !*fileName) return false;
    if (!std::strpbrk(fileName, "\\/:")) {
        char windows[MAX_PATH];
        UINT length = GetWindowsDirectoryA(windows, sizeof windows);
        if (length == 0 || length >= sizeof windows) return false;
        *full = std::string(windows) + "\\" + fileName;
        return true;
    }
    return internal::FullPathName(fileName, full) == 0;
}

bool ReadWhole(const std::string& windowsPath, std::string* content) {
    std::string host = HostPath(windowsPath.c_str());
    if (host.empty()) return false;
    std::FILE* file = std::fopen(host.c_str(), "rb");
    if (!file) return false;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content->append(chunk, got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// A list of names, each followed by a NUL and the whole by another. When it
// does not fit with room for two NULs it is cut there, ends in two NULs and
// counts size - 2.
DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size) {
    if (size < 2) {
        if (size == 1) buffer[0] = '\0';
        return 0;
    }
    std::string list;
    for (const std::string& name : names) list += name + '\0';
    if (list.size() + 2 > size) {
        std::memcpy(buffer, list.data(), size - 2);
        buffer[size - 2] = buffer[size - 1] = '\0';
        return size - 2;
    }
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
}

DWORD CopyValue(const std::string& value, char* buffer, DWORD size) {
    if (size == 0) return 0;
    return static_cast<DWORD>(internal::CopyOut(value, buffer, size));
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer, DWORD size,
                                      LPCSTR fileName) {
    HOSTWIN_LOCK();
    if (!buffer) return 0;
    // A default given with trailing blanks comes back without them.
    std::string fallback = defaultText ? defaultText : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();

    std::string path;
    std::string content;
    if (!ProfilePath(fileName, &path) || !ReadWhole(path, &content)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        if (!section || !key) return CopyList({}, buffer, size);
        return CopyValue(fallback, buffer, size);
    }
    std::vector<ProfileSection> sections = Parse(content);
    if (!section) {
        std::vector<std::string> names;
        for (size_t i = 1; i < sections.size(); ++i) names.push_back(sections[i].name);
        return CopyList(names, buffer, size);
    }
    const ProfileSection* found = nullptr;
    for (size_t i = 1; i < sections.size() && !found; ++i) {
        if (internal::UpperAscii(sections[i].name) == internal::UpperAscii(section)) found = &sections[i];
    }
    if (!key) {
        std::vector<std::string> names;
        if (found) {
            for (const ProfileKey& entry : found->keys) {
                if (entry.name.empty() || entry.name[0] == ';') continue;
                names.push_back(entry.name);
            }
        }
        return CopyList(names, buffer, size);
    }
    if (found) {
        for (const ProfileKey& entry : found->keys) {
            if (internal::UpperAscii(entry.name) != internal::UpperAscii(key)) continue;
            if (!entry.hasValue) break;
            std::string value = entry.value;
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
                value = value.substr(1, value.size() - 2);
            }
            return CopyValue(value, buffer, size);
        }
    }
    return CopyValue(fallback, buffer, size);
}
