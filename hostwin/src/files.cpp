// KERNEL32 files of the stand-in: Windows paths mapped into a host directory
// per machine, open files and their sharing, attributes, injected faults.
#include "internal.h"

#include <hostwin/machine.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace hostwin {
namespace {

// ---- access and sharing -----------------------------------------------------------
// Only data access takes part in sharing: a handle opened without it (to
// probe a file or read its size) neither meets nor causes a violation.
enum Use : unsigned { USE_READ = 1, USE_WRITE = 2 };

unsigned UsesOf(DWORD access) {
    return ((access & GENERIC_READ) ? 1u * USE_READ : 0u) | ((access & GENERIC_WRITE) ? 1u * USE_WRITE : 0u);
}

const DWORD SETTABLE_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;

struct FileId {
    dev_t device;
    ino_t inode;
    bool operator<(const FileId& other) const {
        return device != other.device ? device < other.device : inode < other.inode;
    }
    bool operator==(const FileId& other) const { return device == other.device && inode == other.inode; }
};

struct Fault {
    std::uint64_t offset;
    DWORD error;  // ERROR_SUCCESS: the write comes out short instead
};

struct OpenFile;

struct Disk {
    std::string root;  // host directory of this machine; made on first use
    bool spaceLimited = false;
    std::uint64_t spaceLeft = 0;
    std::map<std::string, Fault> readFaults;  // keyed by upper-case full path
    std::map<std::string, Fault> writeFaults;
    std::map<std::string, DWORD> flushFaults;
    std::map<std::string, DWORD> moveFaults;
    std::vector<DirectoryChange> creations;
    std::map<FileId, DWORD> attributes;  // files and directories given attributes
    std::set<OpenFile*> open;            // every open file, the program's and others'
    std::vector<std::shared_ptr<OpenFile>> held;
};

// Never destroyed: open files may still be closed while the process ends.
Disk& TheDisk() {
    static Disk* disk = new Disk();
    return *disk;
}

struct OpenFile : internal::KernelObject {
    int fd = -1;
    unsigned uses = 0;
    DWORD share = 0;
    FileId id = {};
    std::string key;
    bool byProgram = true;
    ~OpenFile() override {
        if (fd >= 0) close(fd);
        TheDisk().open.erase(this);
    }
    internal::HandleKind Kind() const override { return internal::HandleKind::File; }
};

// ---- the host directory -------------------------------------------------------------
void RemoveRoot() {
    Disk& disk = TheDisk();
    if (disk.root.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(disk.root, ignored);
    disk.root.clear();
}

bool MakeHostDirectory(const std::string& path) { return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST; }

const std::string& Root() {
    Disk& disk = TheDisk();
    if (disk.root.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/hostwin-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) {
            std::perror("hostwin: cannot make the simulated disk");
            std::abort();
        }
        disk.root = name.data();
        MakeHostDirectory(disk.root + "/C");
        MakeHostDirectory(disk.root + "/C/WINDOWS");
        MakeHostDirectory(disk.root + "/C/WINDOWS/TEMP");
        MakeHostDirectory(disk.root + "/C/SETUP");
        static const bool removedAtExit = std::atexit(RemoveRoot) == 0;
        (void)removedAtExit;
    }
    return disk.root;
}

const bool registered = internal::RegisterReset([] {
    Disk& disk = TheDisk();
    disk.held.clear();
    // Files still open belong to the old machine; the handle table lets them go.
    disk.open.clear();
    RemoveRoot();
    disk.spaceLimited = false;
    disk.readFaults.clear();
    disk.writeFaults.clear();
    disk.flushFaults.clear();
    disk.moveFaults.clear();
    disk.creations.clear();
    disk.attributes.clear();
    Root();
});

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT: return ERROR_PATH_NOT_FOUND;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case ENOSPC: return ERROR_DISK_FULL;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        default: return ERROR_ACCESS_DENIED;
    }
}

// Windows compares names without case: ASCII and the Latin-1 letters of
// code page 1252.
std::string UpperName(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
            u = static_cast<unsigned char>(u - 0x20);
        } else if (u == 0x9A || u == 0x9C || u == 0x9E) {
            u = static_cast<unsigned char>(u - 0x10);
        } else if (u == 0xFF) {
            u = 0x9F;
        }
        c = static_cast<char>(u);
    }
    return upper;
}

// The entry of dir whose name matches, whatever its case.
bool FindEntry(const std::string& dir, const std::string& name, std::string* found) {
    struct stat info;
    if (lstat((dir + "/" + name).c_str(), &info) == 0) {
        *found = name;
        return true;
    }
    DIR* listing = opendir(dir.c_str());
    if (!listing) return false;
    std::string wanted = UpperName(name);
    bool match = false;
    while (dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (UpperName(entry->d_name) == wanted) {
            *found = entry->d_name;
            match = true;
            break;
        }
    }
    closedir(listing);
    return match;
}

bool IsHostDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// ---- Windows paths --------------------------------------------------------------------
struct WindowsPath {
    char drive = 0;  // 'A'..'Z', or 0 for a UNC path
    std::string server;
    std::string share;
    std::vector<std::string> parts;
    bool trailing = false;  // written with a separator at the end

    std::string Volume() const { return drive ? std::string(1, drive) + ":" : "\\\\" + server + "\\" + share; }
    std::string Full() const {
        std::string full = Volume();
        if (parts.empty()) return drive ? full + "\\" : full;
        for (const std::string& part : parts) full += "\\" + part;
        return trailing ? full + "\\" : full;
    }
};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Adds the names of tail (separators already '\') to path, as Windows
// normalises them: empty names and "." vanish, ".." goes up (never above the
// root), the last name loses trailing dots and blanks.
DWORD AppendParts(WindowsPath* path, const std::string& tail) {
    size_t start = 0;
    while (start <= tail.size()) {
        size_t end = tail.find('\\', start);
        if (end == std::string::npos) end = tail.size();
        std::string part = tail.substr(start, end - start);
        if (part == "..") {
            if (!path->parts.empty()) path->parts.pop_back();
        } else if (!part.empty() && part != ".") {
            path->parts.push_back(part);
        }
        start = end + 1;
    }
    path->trailing = !tail.empty() && tail.back() == '\\' && !path->parts.empty();
    if (!path->trailing && !path->parts.empty()) {
        std::string& last = path->parts.back();
        while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
        if (last.empty()) path->parts.pop_back();
    }
    for (const std::string& part : path->parts) {
        for (char c : part) {
            unsigned char u = static_cast<unsigned char>(c);
            if (u < 32 || std::strchr("<>:\"|?*", c)) return ERROR_INVALID_NAME;
        }
    }
    return 0;
}

DWORD ParsePath(const std::string& written, WindowsPath* path);

DWORD ParseAgainst(const std::string& base, const std::string& tail, WindowsPath* path) {
    DWORD error = ParsePath(base, path);
    if (error) return error;
    return AppendParts(path, tail);
}

// Forms the full path of a path as GetFullPathNameA does.
DWORD ParsePath(const std::string& written, WindowsPath* path) {
    std::string p = written;
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    *path = WindowsPath();
    if (p.empty()) return ERROR_PATH_NOT_FOUND;
    if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
        size_t serverEnd = p.find('\\', 2);
        if (serverEnd == std::string::npos || serverEnd == 2) return ERROR_BAD_NETPATH;
        size_t shareEnd = p.find('\\', serverEnd + 1);
        if (shareEnd == std::string::npos) shareEnd = p.size();
        if (shareEnd == serverEnd + 1) return ERROR_BAD_NETPATH;
        path->server = p.substr(2, serverEnd - 2);
        path->share = p.substr(serverEnd + 1, shareEnd - serverEnd - 1);
        return AppendParts(path, p.substr(shareEnd));
    }
    std::string current = CurrentDirectory();
    if (IsLetter(p[0]) && p.size() >= 2 && p[1] == ':') {
        char drive = UpperLetter(p[0]);
        if (p.size() > 2 && p[2] == '\\') {
            path->drive = drive;
            return AppendParts(path, p.substr(2));
        }
        // "X:name": against the current directory when it is on that drive.
        if (UpperLetter(current[0]) == drive && current.size() >= 2 && current[1] == ':') {
            return ParseAgainst(current, "\\" + p.substr(2), path);
        }
        path->drive = drive;
        return AppendParts(path, "\\" + p.substr(2));
    }
    if (p[0] == '\\') {
        WindowsPath currentPath;
        DWORD error = ParsePath(current, &currentPath);
        if (error) return error;
        path->drive = currentPath.drive;
        path->server = currentPath.server;
        path->share = currentPath.share;
        return AppendParts(path, p);
    }
    return ParseAgainst(current, "\\" + p, path);
}

// The host directory of a drive ("C") or of a share ("UNC/SERVER/SHARE";
// server and share names compare without case).
std::string VolumeDirectory(const WindowsPath& path) {
    return path.drive ? std::string(1, path.drive) : "UNC/" + UpperName(path.server) + "/" + UpperName(path.share);
}

// A Windows path resolved against the host directory.
struct Target {
    WindowsPath path;
    std::string full;  // normalised Windows path
    std::string key;   // its upper-case form
    std::string host;  // host path: found parts, then the rest as written
    bool volumeExists = false;
    bool parentExists = false;
    bool exists = false;
    bool directory = false;
    bool root = false;
    FileId id = {};
};

// 0 and the target, or the error of a path that cannot be formed. With
// apiLimits, ANSI paths of MAX_PATH characters or more are refused as the
// API refuses them.
DWORD Resolve(const char* written, Target* target, bool apiLimits = true) {
    *target = Target();
    if (!written) return ERROR_PATH_NOT_FOUND;
    if (apiLimits && std::strlen(written) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    DWORD error = ParsePath(written, &target->path);
    if (error) return error;
    const WindowsPath& path = target->path;
    target->full = path.Full();
    target->key = UpperName(target->full);
    if (!target->key.empty() && target->key.back() == '\\' && !path.parts.empty()) target->key.pop_back();

    std::string dir = Root() + "/" + VolumeDirectory(path);
    if (!IsHostDirectory(dir)) return path.drive ? ERROR_PATH_NOT_FOUND : ERROR_BAD_NETPATH;
    target->volumeExists = true;
    target->root = path.parts.empty();
    target->parentExists = true;
    bool found = true;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        std::string entry;
        if (found && FindEntry(dir, path.parts[i], &entry)) {
            dir += "/" + entry;
            if (i + 1 < path.parts.size() && !IsHostDirectory(dir)) {
                found = false;
                target->parentExists = false;
            }
        } else {
            dir += "/" + path.parts[i];
            if (i + 1 < path.parts.size()) target->parentExists = false;
            found = false;
        }
    }
    target->host = dir;
    struct stat info;
    if (found && stat(dir.c_str(), &info) == 0) {
        target->exists = true;
        target->directory = S_ISDIR(info.st_mode);
        target->id = {info.st_dev, info.st_ino};
    }
    return 0;
}

// Resolves for an API call; false (with the last error set) when the path
// cannot be formed.
bool ResolveForCall(const char* written, Target* target) {
    DWORD error = Resolve(written, target);
    if (error) SetLastError(error);
    return error == 0;
}

DWORD MissingError(const Target& target) {
    return target.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD AttributesOf(const Target& target) {
    auto found = TheDisk().attributes.find(target.id);
    if (target.directory || target.root) {
        DWORD bits = found == TheDisk().attributes.end() ? 0 : found->second;
        return FILE_ATTRIBUTE_DIRECTORY | (bits & SETTABLE_ATTRIBUTES);
    }
    return found == TheDisk().attributes.end() ? FILE_ATTRIBUTE_ARCHIVE : found->second;
}

bool SharingAllows(const FileId& id, unsigned uses, DWORD share) {
    if (uses == 0) return true;
    for (OpenFile* file : TheDisk().open) {
        if (!(file->id == id) || file->uses == 0) continue;
        if ((uses & USE_READ) && !(file->share & FILE_SHARE_READ)) return false;
        if ((uses & USE_WRITE) && !(file->share & FILE_SHARE_WRITE)) return false;
        if ((file->uses & USE_READ) && !(share & FILE_SHARE_READ)) return false;
        if ((file->uses & USE_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    }
    return true;
}

// Deleting or renaming a file meets a sharing violation while any handle
// reads or writes it: no open here shares deletion.
bool InUse(const FileId& id) {
    for (OpenFile* file : TheDisk().open) {
        if (file->id == id && file->uses != 0) return true;
    }
    return false;
}

bool IsOpen(const FileId& id) {
    for (OpenFile* file : TheDisk().open) {
        if (file->id == id) return true;
    }
    return false;
}

std::uint64_t HostSize(int fd) {
    struct stat info;
    return fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::uint64_t HostSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

void GiveSpaceBack(std::uint64_t bytes) {
    if (TheDisk().spaceLimited) TheDisk().spaceLeft += bytes;
}

std::shared_ptr<OpenFile> Open(const Target& target, int fd, unsigned uses, DWORD share, bool byProgram) {
    auto file = std::make_shared<OpenFile>();
    file->fd = fd;
    file->uses = uses;
    file->share = share;
    file->key = target.key;
    file->byProgram = byProgram;
    struct stat info;
    if (fstat(fd, &info) == 0) file->id = {info.st_dev, info.st_ino};
    TheDisk().open.insert(file.get());
    return file;
}

std::shared_ptr<OpenFile> FindFile(HANDLE handle) {
    auto file = internal::FindHandleAs<OpenFile>(handle, internal::HandleKind::File);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

std::uint64_t Position(const OpenFile& file) {
    off_t position = lseek(file.fd, 0, SEEK_CUR);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

const Fault* FaultFor(const std::map<std::string, Fault>& faults, const std::string& key) {
    auto found = faults.find(key);
    return found == faults.end() ? nullptr : &found->second;
}

std::string KeyOf(const char* path) {
    Target target;
    Resolve(path, &target, false);
    return target.key;
}

}  // namespace

// ---- controls --------------------------------------------------------------------------
std::string HostRoot() {
    HOSTWIN_LOCK();
    return Root();
}

std::string HostPath(const char* windowsPath) {
    HOSTWIN_LOCK();
    Target target;
    if (Resolve(windowsPath, &target, false) || !target.volumeExists) return std::string();
    return target.host;
}

bool MakeDirectories(const char* windowsPath) {
    HOSTWIN_LOCK();
    WindowsPath path;
    if (!windowsPath || ParsePath(windowsPath, &path)) return false;
    std::error_code ignored;
    std::filesystem::create_directories(Root() + "/" + VolumeDirectory(path), ignored);
    WindowsPath partial = path;
    partial.parts.clear();
    partial.trailing = false;
    for (const std::string& part : path.parts) {
        partial.parts.push_back(part);
        Target target;
        if (Resolve(partial.Full().c_str(), &target, false)) return false;
        if (!target.exists && !MakeHostDirectory(target.host)) return false;
        if (target.exists && !target.directory) return false;
    }
    return true;
}

const std::vector<DirectoryChange>& DirectoryCreations() { return TheDisk().creations; }

int OpenFileCount() {
    HOSTWIN_LOCK();
    int count = 0;
    for (OpenFile* file : TheDisk().open) {
        if (file->byProgram) ++count;
    }
    return count;
}

void SetDiskFullAfter(std::uint64_t bytes) {
    HOSTWIN_LOCK();
    TheDisk().spaceLimited = true;
    TheDisk().spaceLeft = bytes;
}

void FailReadAt(const char* path, std::uint64_t offset) {
    HOSTWIN_LOCK();
    TheDisk().readFaults[KeyOf(path)] = {offset, ERROR_CRC};
}

void FailWriteAt(const char* path, std::uint64_t offset) {
    HOSTWIN_LOCK();
    TheDisk().writeFaults[KeyOf(path)] = {offset, ERROR_WRITE_FAULT};
}

void ShortWriteAt(const char* path, std::uint64_t offset) {
    HOSTWIN_LOCK();
    TheDisk().writeFaults[KeyOf(path)] = {offset, ERROR_SUCCESS};
}

void FailFlush(const char* path) {
    HOSTWIN_LOCK();
    TheDisk().flushFaults[KeyOf(path)] = ERROR_WRITE_FAULT;
}

void FailMove(const char* path) {
    HOSTWIN_LOCK();
    TheDisk().moveFaults[KeyOf(path)] = ERROR_ACCESS_DENIED;
}

bool HoldOpen(const char* path) {
    HOSTWIN_LOCK();
    Target target;
    if (Resolve(path, &target, false) || !target.exists || target.directory || InUse(target.id)) return false;
    int fd = open(target.host.c_str(), O_RDONLY);
    if (fd < 0) return false;
    TheDisk().held.push_back(Open(target, fd, USE_READ | USE_WRITE, 0, false));
    return true;
}

void ReleaseHeld(const char* path) {
    HOSTWIN_LOCK();
    std::string key = KeyOf(path);
    auto& held = TheDisk().held;
    for (auto it = held.begin(); it != held.end();) {
        it = (*it)->key == key ? held.erase(it) : it + 1;
    }
}

namespace internal {

DWORD FullPathName(const char* path, std::string* full) {
    HOSTWIN_LOCK();
    if (!path) return ERROR_INVALID_PARAMETER;
    WindowsPath parsed;
    DWORD error = ParsePath(path, &parsed);
    if (!error) *full = parsed.Full();
    return error;
}

std::string FileKeyOf(HANDLE handle) {
    HOSTWIN_LOCK();
    auto file = internal::FindHandleAs<OpenFile>(handle, internal::HandleKind::File);
    return file ? file->key : std::string();
}

DWORD ExistingDirectory(const char* path, std::string* full) {
    HOSTWIN_LOCK();
    Target target;
    DWORD error = Resolve(path, &target);
    if (error) return error;
    if (!target.exists) return MissingError(target);
    if (!target.directory) return ERROR_DIRECTORY;
    WindowsPath directory = target.path;
    directory.trailing = false;
    *full = directory.Full();
    return 0;
}

}  // namespace internal
}  // namespace hostwin

using namespace hostwin;

// ---- KERNEL32 ---------------------------------------------------------------------------
HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flagsAndAttributes, HANDLE) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("CreateFileA", name ? name : "", ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return INVALID_HANDLE_VALUE;
    Target target;
    if (!ResolveForCall(name, &target)) return INVALID_HANDLE_VALUE;
    DWORD error = 0;
    if (disposition < CREATE_ALWAYS || disposition > OPEN_ALWAYS) {
        error = ERROR_INVALID_PARAMETER;
    } else if (target.root || target.directory) {
        error = ERROR_ACCESS_DENIED;  // directories are not opened as files
    } else if (!target.parentExists) {
        error = ERROR_PATH_NOT_FOUND;
    } else if (target.path.trailing) {
        error = ERROR_INVALID_NAME;
    }
    if (error) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    unsigned uses = UsesOf(access);
    bool truncate = disposition == CREATE_ALWAYS;
    DWORD requested = flagsAndAttributes & SETTABLE_ATTRIBUTES;
    int fd = -1;
    DWORD result = ERROR_SUCCESS;
    if (target.exists) {
        DWORD attributes = AttributesOf(target);
        if ((attributes & FILE_ATTRIBUTE_READONLY) && ((uses & USE_WRITE) || truncate)) {
            error = ERROR_ACCESS_DENIED;
        } else if (!SharingAllows(target.id, uses, shareMode)) {
            error = ERROR_SHARING_VIOLATION;
        } else if ((fd = open(target.host.c_str(), O_RDWR)) < 0) {
            error = ErrorFromErrno(errno);
        }
        if (error) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        if (truncate) {
            GiveSpaceBack(HostSize(fd));
            if (ftruncate(fd, 0) != 0) {
                close(fd);
                SetLastError(ErrorFromErrno(errno));
                return INVALID_HANDLE_VALUE;
            }
        }
        if (disposition == CREATE_ALWAYS) {
            DWORD kept = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes;
            TheDisk().attributes[target.id] = kept | requested | FILE_ATTRIBUTE_ARCHIVE;
        }
        if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) result = ERROR_ALREADY_EXISTS;
    } else {
        if (disposition == OPEN_EXISTING) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        fd = open(target.host.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
        if (fd < 0) {
            SetLastError(ErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
        struct stat info;
        fstat(fd, &info);
        TheDisk().attributes[{info.st_dev, info.st_ino}] = requested | FILE_ATTRIBUTE_ARCHIVE;
    }
    HANDLE handle = internal::AddHandle(Open(target, fd, uses, shareMode, true));
    SetLastError(result);
    return handle;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    HOSTWIN_LOCK();
    if (read) *read = 0;
    auto file = FindFile(handle);
    if (!file) return FALSE;
    internal::FaultPoint fallible("ReadFile", file->key, ERROR_CRC);
    if (fallible.FailsSettingError()) return FALSE;
    if (!(file->uses & USE_READ)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!buffer && toRead) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::uint64_t position = Position(*file);
    std::uint64_t size = HostSize(file->fd);
    std::uint64_t end = position + toRead < size ? position + toRead : size;
    const Fault* fault = FaultFor(TheDisk().readFaults, file->key);
    if (fault && position < size && end > fault->offset) {
        SetLastError(fault->error);
        return FALSE;
    }
    DWORD got = 0;
    while (got < toRead) {
        ssize_t n = pread(file->fd, static_cast<char*>(buffer) + got, toRead - got, static_cast<off_t>(position + got));
        if (n <= 0) break;
        got += static_cast<DWORD>(n);
    }
    lseek(file->fd, static_cast<off_t>(position + got), SEEK_SET);
    if (read) *read = got;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    HOSTWIN_LOCK();
    if (written) *written = 0;
    auto file = FindFile(handle);
    if (!file) return FALSE;
    internal::FaultPoint fallible("WriteFile", file->key, ERROR_DISK_FULL);
    if (fallible.FailsSettingError()) return FALSE;
    if (!(file->uses & USE_WRITE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::uint64_t position = Position(*file);
    const Fault* fault = FaultFor(TheDisk().writeFaults, file->key);
    if (fault && toWrite > 0 && position + toWrite > fault->offset) {
        if (fault->error != ERROR_SUCCESS) {
            SetLastError(fault->error);
            return FALSE;
        }
        toWrite = fault->offset > position ? static_cast<DWORD>(fault->offset - position) : 0;
    }
    std::uint64_t size = HostSize(file->fd);
    std::uint64_t growth = position + toWrite > size ? position + toWrite - size : 0;
    Disk& disk = TheDisk();
    if (disk.spaceLimited && growth > disk.spaceLeft) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t n = pwrite(file->fd, static_cast<const char*>(buffer) + done, toWrite - done,
                           static_cast<off_t>(position + done));
        if (n <= 0) {
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (disk.spaceLimited) disk.spaceLeft -= growth;
    lseek(file->fd, static_cast<off_t>(position + done), SEEK_SET);
    if (written) *written = done;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    if (!file) return INVALID_FILE_SIZE;
    std::uint64_t size = HostSize(file->fd);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    LONGLONG move = distanceHigh ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                                         static_cast<DWORD>(distance))
                                 : distance;
    LONGLONG base;
    switch (method) {
        case FILE_BEGIN: base = 0; break;
        case FILE_CURRENT: base = static_cast<LONGLONG>(Position(*file)); break;
        case FILE_END: base = static_cast<LONGLONG>(HostSize(file->fd)); break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    LONGLONG position = base + move;
    if (position < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    lseek(file->fd, static_cast<off_t>(position), SEEK_SET);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(position);
}

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    if (!file) return FALSE;
    internal::FaultPoint fallible("FlushFileBuffers", file->key, ERROR_WRITE_FAULT);
    if (fallible.FailsSettingError()) return FALSE;
    if (!(file->uses & USE_WRITE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto fault = TheDisk().flushFaults.find(file->key);
    if (fault != TheDisk().flushFaults.end()) {
        SetLastError(fault->second);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("CreateDirectoryA", path ? path : "", ERROR_ACCESS_DENIED);
    Target target;
    DWORD error = fallible.Fails() ? fallible.Error() : Resolve(path, &target);
    // Room must stay for an 8.3 name inside the directory.
    if (!error && std::strlen(path) > MAX_PATH - 12) error = ERROR_FILENAME_EXCED_RANGE;
    if (!error) {
        if (target.root) {
            error = ERROR_ACCESS_DENIED;
        } else if (target.exists) {
            error = ERROR_ALREADY_EXISTS;
        } else if (!target.parentExists) {
            error = ERROR_PATH_NOT_FOUND;
        } else if (mkdir(target.host.c_str(), 0755) != 0) {
            error = ErrorFromErrno(errno);
        }
    }
    TheDisk().creations.push_back({path ? path : "", error ? FALSE : TRUE});
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("RemoveDirectoryA", path ? path : "", ERROR_SHARING_VIOLATION);
    if (fallible.FailsSettingError()) return FALSE;
    Target target;
    if (!ResolveForCall(path, &target)) return FALSE;
    Target current;
    std::string currentDirectory = CurrentDirectory();
    Resolve(currentDirectory.c_str(), &current);
    DWORD error = 0;
    if (target.root) {
        error = ERROR_ACCESS_DENIED;
    } else if (!target.exists) {
        error = MissingError(target);
    } else if (!target.directory) {
        error = ERROR_DIRECTORY;
    } else if (current.exists && current.id == target.id) {
        error = ERROR_SHARING_VIOLATION;  // the current directory is in use
    } else if (rmdir(target.host.c_str()) != 0) {
        error = ErrorFromErrno(errno);
    }
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    TheDisk().attributes.erase(target.id);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("DeleteFileA", name ? name : "", ERROR_SHARING_VIOLATION);
    if (fallible.FailsSettingError()) return FALSE;
    Target target;
    if (!ResolveForCall(name, &target)) return FALSE;
    DWORD error = 0;
    if (!target.exists) {
        error = MissingError(target);
    } else if (target.directory || target.root) {
        error = ERROR_ACCESS_DENIED;
    } else if (target.path.trailing) {
        error = ERROR_INVALID_NAME;
    } else if (AttributesOf(target) & FILE_ATTRIBUTE_READONLY) {
        error = ERROR_ACCESS_DENIED;
    } else if (InUse(target.id)) {
        error = ERROR_SHARING_VIOLATION;
    }
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    std::uint64_t size = HostSize(target.host);
    if (unlink(target.host.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    GiveSpaceBack(size);
    if (!IsOpen(target.id)) TheDisk().attributes.erase(target.id);
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("MoveFileExA", newName ? newName : "", ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return FALSE;
    Target from;
    Target to;
    if (!ResolveForCall(existing, &from)) return FALSE;
    if (!newName) {
        SetLastError(ERROR_INVALID_PARAMETER);  // deleting at the next boot is not simulated
        return FALSE;
    }
    if (!ResolveForCall(newName, &to)) return FALSE;
    Disk& disk = TheDisk();
    DWORD error = 0;
    auto fault = disk.moveFaults.find(from.key);
    if (fault == disk.moveFaults.end()) fault = disk.moveFaults.find(to.key);
    bool sameFile = to.exists && from.exists && to.id == from.id;
    if (fault != disk.moveFaults.end()) {
        error = fault->second;
    } else if (!from.exists) {
        error = MissingError(from);
    } else if (from.root) {
        error = ERROR_ACCESS_DENIED;
    } else if (InUse(from.id)) {
        error = ERROR_SHARING_VIOLATION;
    } else if (!to.parentExists || to.root) {
        error = to.root ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    } else if (VolumeDirectory(from.path) != VolumeDirectory(to.path)) {
        error = ERROR_NOT_SAME_DEVICE;
    } else if (to.exists && !sameFile) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            error = ERROR_ALREADY_EXISTS;
        } else if (to.directory || from.directory || (AttributesOf(to) & FILE_ATTRIBUTE_READONLY) || IsOpen(to.id)) {
            error = ERROR_ACCESS_DENIED;
        }
    }
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    std::uint64_t replacedSize = 0;
    FileId replaced = to.id;
    if (to.exists && !sameFile) replacedSize = HostSize(to.host);
    // The new name is taken as written, also when only its case changes.
    std::string destination = to.host.substr(0, to.host.rfind('/') + 1) + to.path.parts.back();
    if (to.exists && !sameFile && destination != to.host) unlink(to.host.c_str());
    if (rename(from.host.c_str(), destination.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (to.exists && !sameFile) {
        GiveSpaceBack(replacedSize);
        disk.attributes.erase(replaced);
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    HOSTWIN_LOCK();
    Target target;
    if (!ResolveForCall(name, &target)) return INVALID_FILE_ATTRIBUTES;
    if (!target.exists && !target.root) {
        SetLastError(MissingError(target));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (!target.directory && !target.root && target.path.trailing) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (target.root && !target.exists) return FILE_ATTRIBUTE_DIRECTORY;
    return AttributesOf(target);
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes) {
    HOSTWIN_LOCK();
    Target target;
    if (!ResolveForCall(name, &target)) return FALSE;
    if (!target.exists) {
        SetLastError(target.root ? ERROR_ACCESS_DENIED : MissingError(target));
        return FALSE;
    }
    DWORD bits = attributes & SETTABLE_ATTRIBUTES;
    TheDisk().attributes[target.id] = target.directory || bits ? bits : FILE_ATTRIBUTE_NORMAL;
    return TRUE;
}
