// Initialisation files of the stand-in: GetPrivateProfileStringA, reading
// the file as KERNEL32 does (sections and keys without regard to case, the
// first of each counting, blanks around names and values dropped, one pair
// of matching quotes around a value removed, lines beginning with ';' or
// without '=' left out of the key lists, keys before the first section in
// none).
#include "internal.h"

#include <hostwin/machine.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::string Trimmed(const std::string& text) {
    size_t start = text.find_first_not_of(" \t");
    return start == std::string::npos ? "" : text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// A list of names, each followed by a NUL and the whole by another. When it
// does not fit with room for two NULs it is cut there, ends in two NULs and
// counts size - 2 (the program's buffers hold far more than two).
DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size) {
    std::string list;
    for (const std::string& name : names) list += name + '\0';
    DWORD length = list.size() + 2 > size ? size - 2 : static_cast<DWORD>(list.size());
    std::memcpy(buffer, list.data(), length);
    buffer[length] = buffer[length + 1] = '\0';
    return length;
}

}  // namespace

// Only full paths: the program makes every file name full first.
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer, DWORD size,
                                      LPCSTR fileName) {
    HOSTWIN_LOCK();
    using hostwin::internal::UpperAscii;
    std::string full, content;
    std::ifstream in;
    if (hostwin::internal::FullPathName(fileName, &full) == 0) in.open(hostwin::HostPath(full.c_str()), std::ios::binary);
    // A missing file reads as an empty one (the program makes sure of the file first).
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::vector<std::string> names;  // the sections, or the keys of the section
    bool inSection = false, sectionSeen = false;
    for (size_t at = 0, end; at < content.size(); at = end + 1) {
        end = std::min(content.find_first_of("\r\n", at), content.size());
        std::string line = Trimmed(content.substr(at, end - at));
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            std::string name = Trimmed(line.substr(1, close == std::string::npos ? close : close - 1));
            if (!section) names.push_back(name);
            inSection = section && !sectionSeen && UpperAscii(name) == UpperAscii(section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        size_t equals = line.find('=');
        std::string name = Trimmed(line.substr(0, equals));
        if (!inSection || (!key && (name.empty() || name[0] == ';' || equals == std::string::npos))) continue;
        if (!key) {
            names.push_back(name);
        } else if (UpperAscii(name) == UpperAscii(key)) {
            if (equals == std::string::npos) break;
            std::string value = Trimmed(line.substr(equals + 1));
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
                value = value.substr(1, value.size() - 2);
            }
            return static_cast<DWORD>(hostwin::internal::CopyOut(value, buffer, size));
        }
    }
    if (!section || !key) return CopyList(names, buffer, size);
    // The program's defaults end in no blank, which Windows would drop.
    return static_cast<DWORD>(hostwin::internal::CopyOut(defaultText ? defaultText : "", buffer, size));
}
