// KERNEL32 files of the stand-in: Windows paths mapped into a host directory
// per machine, open files and their sharing, attributes, injected faults.
// A call the host itself refuses fails with ERROR_ACCESS_DENIED.
#include "internal.h"

#include <hostwin/machine.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

namespace hostwin {
namespace {

using internal::Fail;
using internal::UpperAscii;

// Only data access takes part in sharing: a handle opened without it (to
// probe a file or read its size) neither meets nor causes a violation. The
// uses have the values of the sharing flags that allow them.
enum Use : unsigned { USE_READ = FILE_SHARE_READ, USE_WRITE = FILE_SHARE_WRITE };

typedef std::pair<dev_t, ino_t> FileId;
struct OpenFile;

struct Disk {
    std::string root;  // host directory of this machine; made on first use
    // The one attribute the program acts on. No call removes or replaces a
    // write-protected file, so no entry outlives its file.
    std::set<FileId> readOnly;
    std::map<FileId, FileOwner> owners;  // those not the Administrators'
    std::set<OpenFile*> open;  // every open file, the program's and others'
    std::vector<std::shared_ptr<OpenFile>> held;
    std::optional<FileId> image;               // the running program's file
    std::vector<std::string> deleteAtRestart;  // as the program named them
};

// Never destroyed: open files may still be closed while the process ends.
Disk& TheDisk() {
    static Disk* disk = new Disk();
    return *disk;
}

// A file opened by the program, or held by another one (no descriptor).
struct OpenFile : internal::KernelObject {
    OpenFile(int fd, unsigned uses, DWORD share, FileId id, std::string key)
        : fd(fd), uses(uses), share(share), id(id), key(std::move(key)) {}
    ~OpenFile() override {
        if (fd >= 0) close(fd);
        TheDisk().open.erase(this);
    }
    int fd;
    unsigned uses, share;
    FileId id;
    std::string key;
    std::uint64_t position = 0;
};

void RemoveRoot() {
    std::error_code ignored;
    if (!TheDisk().root.empty()) std::filesystem::remove_all(TheDisk().root, ignored);
    TheDisk().root.clear();
}

const std::string& Root() {
    std::string& root = TheDisk().root;
    if (root.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/hostwin-XXXXXX";
        if (!mkdtemp(&pattern[0])) throw std::runtime_error("hostwin: cannot make the simulated disk in " + pattern);
        root = pattern;
        std::error_code ignored;
        std::filesystem::create_directories(root + "/C/WINDOWS/TEMP", ignored);
        std::filesystem::create_directories(root + "/C/SETUP", ignored);
        static const int removedAtExit [[maybe_unused]] = std::atexit(RemoveRoot);
    }
    return root;
}

const bool registered = internal::RegisterReset([] {
    TheDisk().held.clear();
    // Files still open belong to the old machine; the handle table lets them go.
    TheDisk().open.clear();
    RemoveRoot();
    TheDisk() = Disk();
    Root();
});

bool IsHostDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The entry of dir whose name matches, whatever its case; name becomes its
// name as stored.
bool FindEntry(const std::string& dir, std::string* name) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(dir + "/" + *name, error))) return true;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::string found = entry.path().filename().string();
        if (UpperAscii(found) == UpperAscii(*name)) return *name = found, true;
    }
    return false;
}

// ---- Windows paths --------------------------------------------------------------------
struct WindowsPath {
    std::string volume;  // "C:" or "\\server\share"
    std::vector<std::string> parts;
    bool trailing = false;  // written with a separator at the end

    bool OnDrive() const { return volume.size() == 2; }
    std::string Full() const {
        std::string full = volume;
        for (const std::string& part : parts) full += "\\" + part;
        return (parts.empty() && OnDrive()) || trailing ? full + "\\" : full;
    }
    // The host directory of the drive ("C") or share ("UNC/SERVER/SHARE").
    std::string HostVolume() const {
        std::string dir = OnDrive() ? volume.substr(0, 1) : "UNC" + UpperAscii(volume.substr(1));
        std::replace(dir.begin(), dir.end(), '\\', '/');
        return dir;
    }
};

char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The length of the volume a path begins with: 2 for "X:", up to the end of
// the share name for "\\server\share", 0 for none, npos for a broken one.
size_t VolumeLength(const std::string& p) {
    if (p.size() >= 2 && p[1] == ':' && UpperLetter(p[0]) >= 'A' && UpperLetter(p[0]) <= 'Z') return 2;
    if (p.compare(0, 2, "\\\\") != 0) return 0;
    size_t server = p.find('\\', 2);
    if (server == std::string::npos || server == 2 || p.find('\\', server + 1) == server + 1) return std::string::npos;
    return std::min(p.find('\\', server + 1), p.size());
}

// Forms the full path of a path as GetFullPathNameA does: against the
// current directory ("X:name" against it when it is on drive X), '/' as '\',
// empty names and "." vanish, ".." goes up (never above the root), the last
// name loses trailing dots and blanks.
DWORD ParsePath(std::string p, WindowsPath* path) {
    std::replace(p.begin(), p.end(), '/', '\\');
    *path = WindowsPath();
    if (p.empty()) return ERROR_PATH_NOT_FOUND;
    std::string current = CurrentDirectory();
    size_t volume = VolumeLength(p), currentVolume = VolumeLength(current);
    if (volume == std::string::npos) return ERROR_BAD_NETPATH;
    std::string tail = p.substr(volume);
    path->volume = volume ? p.substr(0, volume) : current.substr(0, currentVolume);
    if (volume == 2) {
        path->volume[0] = UpperLetter(p[0]);
        bool currentDrive = currentVolume == 2 && UpperLetter(current[0]) == path->volume[0];
        if (tail.empty() || tail[0] != '\\') tail = (currentDrive ? current.substr(2) : "") + "\\" + tail;
    } else if (volume == 0 && p[0] != '\\') {
        tail = current.substr(currentVolume) + "\\" + p;
    }
    for (size_t start = 0, end; start <= tail.size(); start = end + 1) {
        end = std::min(tail.find('\\', start), tail.size());
        std::string part = tail.substr(start, end - start);
        if (part == ".." && !path->parts.empty()) path->parts.pop_back();
        if (!part.empty() && part != "." && part != "..") path->parts.push_back(part);
    }
    path->trailing = !tail.empty() && tail.back() == '\\' && !path->parts.empty();
    if (!path->trailing && !path->parts.empty()) {
        std::string& last = path->parts.back();
        while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
        if (last.empty()) path->parts.pop_back();
    }
    for (const std::string& part : path->parts) {
        for (char c : part) {
            if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"|?*", c)) return ERROR_INVALID_NAME;
        }
    }
    return 0;
}

// A Windows path resolved against the host directory.
struct Target {
    WindowsPath path;
    std::string key;   // the full path in upper case, without a trailing '\'
    std::string host;  // host path: found parts, then the rest as written
    bool parentExists = true, exists = false, directory = false, root = false;
    std::uint64_t size = 0;
    FileId id;
};

// 0 and the target, or the error of a path that cannot be formed. With
// apiLimits, ANSI paths of MAX_PATH characters or more are refused as the
// API refuses them.
DWORD Resolve(const char* written, Target* target, bool apiLimits = true) {
    *target = Target();
    if (!written) return ERROR_PATH_NOT_FOUND;
    if (apiLimits && std::strlen(written) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    WindowsPath& path = target->path;
    if (DWORD error = ParsePath(written, &path)) return error;
    target->key = UpperAscii(path.Full());
    if (target->key.back() == '\\' && !path.parts.empty()) target->key.pop_back();
    std::string dir = Root() + "/" + path.HostVolume();
    if (!IsHostDirectory(dir)) return path.OnDrive() ? ERROR_PATH_NOT_FOUND : ERROR_BAD_NETPATH;
    target->root = path.parts.empty();
    bool found = true;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        std::string entry = path.parts[i];
        found = found && FindEntry(dir, &entry);
        dir += "/" + entry;
        if (i + 1 < path.parts.size() && !(found && IsHostDirectory(dir))) target->parentExists = found = false;
    }
    target->host = dir;
    struct stat info;
    if (found && stat(dir.c_str(), &info) == 0) {
        target->exists = true;
        target->directory = S_ISDIR(info.st_mode);
        target->size = static_cast<std::uint64_t>(info.st_size);
        target->id = {info.st_dev, info.st_ino};
    }
    return 0;
}

// Resolves for an API call; false (with the last error set) when the path
// cannot be formed.
bool ResolveForCall(const char* written, Target* target) {
    DWORD error = Resolve(written, target);
    return !error || Fail(error, false);
}

DWORD MissingError(const Target& target) { return target.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND; }

bool ReadOnly(const Target& target) { return TheDisk().readOnly.count(target.id) != 0; }
bool Running(const Target& target) { return TheDisk().image == target.id; }

const bool restarts = internal::RegisterRestart([] {
    Disk& disk = TheDisk();
    disk.held.clear();
    disk.image.reset();
    for (const std::string& path : disk.deleteAtRestart) {
        Target target;
        if (!Resolve(path.c_str(), &target, false) && target.exists && !target.directory) unlink(target.host.c_str());
    }
    disk.deleteAtRestart.clear();
});

bool SharingAllows(const FileId& id, unsigned uses, DWORD share) {
    for (OpenFile* file : TheDisk().open) {
        if (file->id == id && file->uses && uses && ((uses & ~file->share) || (file->uses & ~share))) return false;
    }
    return true;
}

// Open at all (needsUse false), or open for reading or writing: deleting or
// renaming a file then meets a sharing violation, as no open here shares
// deletion.
bool IsOpen(const FileId& id, bool needsUse) {
    for (OpenFile* file : TheDisk().open) if (file->id == id && (file->uses != 0 || !needsUse)) return true;
    return false;
}

std::uint64_t HostSize(int fd) {
    struct stat info;
    return fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::shared_ptr<OpenFile> Open(const Target& target, int fd, unsigned uses, DWORD share) {
    auto file = std::make_shared<OpenFile>(fd, uses, share, target.id, target.key);
    struct stat info;
    if (!target.exists && fstat(fd, &info) == 0) {
        file->id = {info.st_dev, info.st_ino};
        TheDisk().owners[file->id] = !target.path.OnDrive() ? OWNER_OTHER_USER
                                     : IsAdministrator()     ? OWNER_ADMINISTRATORS
                                                             : OWNER_USER;
    }
    TheDisk().open.insert(file.get());
    return file;
}

std::shared_ptr<OpenFile> FindFile(HANDLE handle) {
    auto file = std::dynamic_pointer_cast<OpenFile>(internal::FindHandle(handle));
    return file ? file : Fail(ERROR_INVALID_HANDLE, file);
}

}  // namespace

// ---- controls --------------------------------------------------------------------------
std::string HostPath(const char* windowsPath) {
    HOSTWIN_LOCK();
    Target target;
    return Resolve(windowsPath, &target, false) ? std::string() : target.host;
}

bool MakeDirectories(const char* windowsPath) {
    HOSTWIN_LOCK();
    WindowsPath path;
    if (!windowsPath || ParsePath(windowsPath, &path)) return false;
    std::error_code ignored;
    std::filesystem::create_directories(Root() + "/" + path.HostVolume(), ignored);
    std::string partial = path.volume;
    for (const std::string& part : path.parts) {
        partial += "\\" + part;
        Target target;
        if (Resolve(partial.c_str(), &target, false)) return false;
        if (target.exists ? !target.directory : mkdir(target.host.c_str(), 0755) != 0) return false;
    }
    return true;
}

bool MakeLink(const char* existing, const char* newName, bool symbolic) {
    HOSTWIN_LOCK();
    Target from, to;
    if (Resolve(existing, &from, false) || Resolve(newName, &to, false) || to.exists || !to.parentExists) return false;
    return (symbolic ? symlink(from.host.c_str(), to.host.c_str()) : link(from.host.c_str(), to.host.c_str())) == 0;
}

bool SetFileOwner(const char* path, FileOwner owner) {
    HOSTWIN_LOCK();
    Target target;
    if (Resolve(path, &target, false) || !target.exists) return false;
    TheDisk().owners[target.id] = owner;
    return true;
}

int OpenFileCount() { HOSTWIN_LOCK(); return static_cast<int>(TheDisk().open.size() - TheDisk().held.size()); }

bool HoldOpen(const char* path) {
    HOSTWIN_LOCK();
    Target target;
    if (Resolve(path, &target, false) || !target.exists || target.directory || IsOpen(target.id, true)) return false;
    TheDisk().held.push_back(Open(target, -1, USE_READ | USE_WRITE, 0));
    return true;
}

void ReleaseHeld(const char* path) {
    HOSTWIN_LOCK();
    Target target;
    std::string key = Resolve(path, &target, false) ? "" : target.key;
    auto& held = TheDisk().held;
    held.erase(std::remove_if(held.begin(), held.end(), [&](const auto& file) { return file->key == key; }), held.end());
}

namespace internal {

void RunFrom(const char* path) {
    HOSTWIN_LOCK();
    Target target;
    if (!path) {
        TheDisk().image.reset();
    } else if (!TheDisk().image && !Resolve(path, &target, false) && target.exists) {
        TheDisk().image = target.id;
    }
}

DWORD FullPathName(const char* path, std::string* full) {
    HOSTWIN_LOCK();
    WindowsPath parsed;
    DWORD error = path ? ParsePath(path, &parsed) : ERROR_INVALID_PARAMETER;
    if (!error) *full = parsed.Full();
    return error;
}

std::string FileKeyOf(HANDLE handle) {
    HOSTWIN_LOCK();
    auto file = std::dynamic_pointer_cast<OpenFile>(internal::FindHandle(handle));
    return file ? file->key : std::string();
}

DWORD ExistingDirectory(const char* path, std::string* full) {
    HOSTWIN_LOCK();
    Target target;
    if (DWORD error = Resolve(path, &target)) return error;
    if (!target.exists) return MissingError(target);
    if (!target.directory) return ERROR_DIRECTORY;
    target.path.trailing = false;
    *full = target.path.Full();
    return 0;
}

}  // namespace internal
}  // namespace hostwin

using namespace hostwin;

// ---- KERNEL32 ---------------------------------------------------------------------------
HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("CreateFileA", name, ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return INVALID_HANDLE_VALUE;
    Target target;
    if (!ResolveForCall(name, &target)) return INVALID_HANDLE_VALUE;
    unsigned uses = (access & GENERIC_READ ? 1u * USE_READ : 0u) | (access & GENERIC_WRITE ? 1u * USE_WRITE : 0u);
    bool truncate = disposition == CREATE_ALWAYS;
    DWORD error = 0;
    int fd = -1;
    struct stat link;
    if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) && lstat(target.host.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // The link itself, not what it names.
        target.exists = true;
        target.id = {link.st_dev, link.st_ino};
        if ((fd = open(target.host.c_str(), O_PATH | O_NOFOLLOW)) < 0) error = ERROR_ACCESS_DENIED;
    } else if (target.directory) {
        error = ERROR_ACCESS_DENIED;  // directories are not opened as files
    } else if (!target.parentExists) {
        error = ERROR_PATH_NOT_FOUND;
    } else if (target.path.trailing) {
        error = ERROR_INVALID_NAME;
    } else if (target.exists) {
        if (ReadOnly(target) && ((uses & USE_WRITE) || truncate)) {
            error = ERROR_ACCESS_DENIED;
        } else if (Running(target) && ((uses & USE_WRITE) || truncate)) {
            error = ERROR_SHARING_VIOLATION;
        } else if (!SharingAllows(target.id, uses, shareMode)) {
            error = ERROR_SHARING_VIOLATION;
        } else if ((fd = open(target.host.c_str(), O_RDWR | (truncate ? O_TRUNC : 0))) < 0) {
            error = ERROR_ACCESS_DENIED;
        }
    } else if (disposition == OPEN_EXISTING) {
        error = ERROR_FILE_NOT_FOUND;
    } else if ((fd = open(target.host.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644)) < 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (error) return Fail(error, INVALID_HANDLE_VALUE);
    HANDLE handle = internal::AddHandle(Open(target, fd, uses, shareMode));
    SetLastError(target.exists && disposition != OPEN_EXISTING ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    HOSTWIN_LOCK();
    if (read) *read = 0;
    auto file = FindFile(handle);
    if (!file) return FALSE;
    internal::FaultPoint fallible("ReadFile", file->key, ERROR_CRC);
    if (fallible.FailsSettingError()) return FALSE;
    if (!(file->uses & USE_READ)) return Fail(ERROR_ACCESS_DENIED);
    std::uint64_t size = HostSize(file->fd);
    std::uint64_t end = std::min<std::uint64_t>(file->position + toRead, size);
    if (end <= file->position) return TRUE;
    ssize_t got = pread(file->fd, buffer, end - file->position, static_cast<off_t>(file->position));
    if (got < 0) return Fail(ERROR_ACCESS_DENIED);
    file->position += static_cast<std::uint64_t>(got);
    if (read) *read = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    HOSTWIN_LOCK();
    if (written) *written = 0;
    auto file = FindFile(handle);
    if (!file) return FALSE;
    internal::FaultPoint fallible("WriteFile", file->key, ERROR_DISK_FULL);
    if (fallible.FailsSettingError()) return FALSE;
    if (!(file->uses & USE_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    DWORD kept = internal::BytesBeforePowerCut(file->key, toWrite);
    if (kept && pwrite(file->fd, buffer, kept, static_cast<off_t>(file->position)) != static_cast<ssize_t>(kept)) {
        return Fail(ERROR_DISK_FULL);
    }
    if (kept < toWrite) return Fail(ERROR_WRITE_FAULT);
    file->position += toWrite;
    if (written) *written = toWrite;
    return TRUE;
}

// Sizes below 4 GB: the program reads no high part.
DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD) {
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    if (!file) return INVALID_FILE_SIZE;
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(HostSize(file->fd));
}

// Moves within the first 2 GB only: no caller passes the high part. Moving
// from the current position stays, so that a seek from the wrong origin shows.
DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG, DWORD method) {
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    LONGLONG base = method == FILE_END       ? static_cast<LONGLONG>(HostSize(file->fd))
                    : method == FILE_CURRENT ? static_cast<LONGLONG>(file->position)
                                             : 0;
    if (base + distance < 0) return Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    file->position = static_cast<std::uint64_t>(base + distance);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(file->position);
}

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    if (!file) return FALSE;
    internal::FaultPoint fallible("FlushFileBuffers", file->key, ERROR_WRITE_FAULT);
    if (fallible.FailsSettingError()) return FALSE;
    return (file->uses & USE_WRITE) ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

BOOL WINAPI GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    struct stat info;
    if (!file || fstat(file->fd, &info) != 0) return Fail(ERROR_INVALID_HANDLE);
    std::memset(information, 0, sizeof *information);
    information->dwFileAttributes = S_ISLNK(info.st_mode)           ? FILE_ATTRIBUTE_REPARSE_POINT
                                    : TheDisk().readOnly.count(file->id) ? FILE_ATTRIBUTE_READONLY
                                                                         : FILE_ATTRIBUTE_NORMAL;
    information->dwVolumeSerialNumber = static_cast<DWORD>(info.st_dev);
    information->nFileSizeLow = static_cast<DWORD>(info.st_size);
    information->nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    information->nFileIndexLow = static_cast<DWORD>(info.st_ino);
    return TRUE;
}

// Files only, and of them only the owner: the descriptor is one block
// holding it, freed with LocalFree.
DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID* owner, PSID*, PACL*,
                             PACL*, PSECURITY_DESCRIPTOR* descriptor) {
    internal::NoteLoaderCall("GetSecurityInfo");
    HOSTWIN_LOCK();
    auto file = FindFile(handle);
    if (!file) return ERROR_INVALID_HANDLE;
    if (type != SE_FILE_OBJECT || what != OWNER_SECURITY_INFORMATION || !owner || !descriptor) {
        return ERROR_INVALID_PARAMETER;
    }
    auto found = TheDisk().owners.find(file->id);
    std::string sid = internal::SidBytes(found == TheDisk().owners.end() ? OWNER_ADMINISTRATORS : found->second);
    *descriptor = LocalAlloc(LPTR, sid.size());
    if (!*descriptor) return ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(*descriptor, sid.data(), sid.size());
    *owner = *descriptor;
    return ERROR_SUCCESS;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("CreateDirectoryA", path, ERROR_ACCESS_DENIED);
    Target target;
    DWORD error = fallible.Fails() ? fallible.Error() : Resolve(path, &target);
    // Room must stay for an 8.3 name inside the directory.
    if (!error && std::strlen(path) > MAX_PATH - 12) error = ERROR_FILENAME_EXCED_RANGE;
    if (!error) {
        error = target.root                             ? ERROR_ACCESS_DENIED
                : target.exists                         ? ERROR_ALREADY_EXISTS
                : !target.parentExists                  ? ERROR_PATH_NOT_FOUND
                : mkdir(target.host.c_str(), 0755) != 0 ? ERROR_ACCESS_DENIED
                                                        : 0;
    }
    return error ? Fail(error) : TRUE;
}

// Only an empty directory goes (the tests clean up with it).
BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("RemoveDirectoryA", path ? path : "", ERROR_SHARING_VIOLATION);
    if (fallible.FailsSettingError()) return FALSE;
    Target target;
    if (!ResolveForCall(path, &target)) return FALSE;
    if (!target.exists) return Fail(MissingError(target));
    if (!target.directory) return Fail(ERROR_DIRECTORY);
    return target.root || rmdir(target.host.c_str()) != 0 ? Fail(ERROR_DIR_NOT_EMPTY) : TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("DeleteFileA", name, ERROR_SHARING_VIOLATION);
    if (fallible.FailsSettingError()) return FALSE;
    Target target;
    if (!ResolveForCall(name, &target)) return FALSE;
    if (!target.exists) return Fail(MissingError(target));
    if (target.directory || ReadOnly(target) || Running(target)) return Fail(ERROR_ACCESS_DENIED);
    if (IsOpen(target.id, true)) return Fail(ERROR_SHARING_VIOLATION);
    return unlink(target.host.c_str()) != 0 ? Fail(ERROR_ACCESS_DENIED) : TRUE;
}

// Renames within one drive, or (no new name) deletes at the next Restart:
// Windows notes that in the registry, where only administrators may write.
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    HOSTWIN_LOCK();
    internal::FaultPoint fallible("MoveFileExA", newName ? newName : existing, ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return FALSE;
    Target from, to;
    if (!ResolveForCall(existing, &from)) return FALSE;
    if (!newName && (flags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
        if (!IsAdministrator()) return Fail(ERROR_ACCESS_DENIED);
        TheDisk().deleteAtRestart.push_back(from.path.Full());
        return TRUE;
    }
    if (!ResolveForCall(newName, &to)) return FALSE;
    bool replacing = to.exists && !(from.exists && to.id == from.id);
    if (!from.exists) return Fail(MissingError(from));
    if (from.root || to.root) return Fail(ERROR_ACCESS_DENIED);
    if (IsOpen(from.id, true)) return Fail(ERROR_SHARING_VIOLATION);
    if (!to.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
    if (replacing && !(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
    if (replacing && (to.directory || from.directory || ReadOnly(to) || Running(to) || IsOpen(to.id, false))) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    // The new name is taken as written, also when only its case changes.
    std::string destination = to.host.substr(0, to.host.rfind('/') + 1) + to.path.parts.back();
    if (replacing && destination != to.host) unlink(to.host.c_str());
    return rename(from.host.c_str(), destination.c_str()) != 0 ? Fail(ERROR_ACCESS_DENIED) : TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    HOSTWIN_LOCK();
    Target target;
    if (!ResolveForCall(name, &target)) return INVALID_FILE_ATTRIBUTES;
    if (!target.exists) return Fail(MissingError(target), INVALID_FILE_ATTRIBUTES);
    if (!target.directory && target.path.trailing) return Fail(ERROR_INVALID_NAME, INVALID_FILE_ATTRIBUTES);
    DWORD readOnly = ReadOnly(target) ? FILE_ATTRIBUTE_READONLY : 0;
    return target.directory ? FILE_ATTRIBUTE_DIRECTORY | readOnly : readOnly ? readOnly : FILE_ATTRIBUTE_NORMAL;
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes) {
    HOSTWIN_LOCK();
    Target target;
    if (!ResolveForCall(name, &target)) return FALSE;
    if (!target.exists) return Fail(MissingError(target));
    if (attributes & FILE_ATTRIBUTE_READONLY) TheDisk().readOnly.insert(target.id);
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) TheDisk().readOnly.erase(target.id);
    return TRUE;
}
