#include "install/rollback.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/names.h"
#include "core/registry.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "core/windows_version.h"
#include "driver/config_file.h"
#include "driver/services.h"
#include "install/file_copy.h"

namespace {

// The record: one line per entry, its fields separated by a TAB and ended
// by CR LF; texts as they are but for bytes below 0x20 and '%' (written
// %HH), value data in hexadecimal.
//   HEADER                  what the file is, and in which form
//   service NAME PRESENT RUNNING TYPE START ERRORCONTROL IMAGE DISPLAYNAME
//           ACCOUNT GROUP DEPENDENCIES (separated by '/')
//   key ROOT PATH PRESENT, followed by its values: value NAME TYPE DATA
//   parent ROOT PATH PRESENT
//   recorded                (the above is complete; the installation may begin)
//   moved FILE TEMPORARY / new FILE TEMPORARY
//                           (relative to the driver directory; written before
//                           the temporary is made)
//   commit                  (the update stands; the backup folder may go)
// Each line is on the disk before what it describes is done, and counts
// only when complete: the tail of a write cut short did nothing.
const char HEADER[] = "Loxbrine update record\t2\r\n";
const char* const RECORD_FILE = "restore.lst";
// The files set aside, laid out as in the driver directory.
#define FILES_FOLDER "files"
const char* const FOLDERS_INSIDE[] = {FILES_FOLDER, FILES_FOLDER "\\" DRIVER_SUBDIRECTORY};
const int BACKUP_NAMES = 10;               // backup, backup.1 .. backup.9
// In the order of creation; they are removed the other way round.
const char* const SERVICE_NAMES[] = {DRIVER_SERVICE, INIT_SERVICE};
const DWORD SERVICE_TYPES[] = {SERVICE_KERNEL_DRIVER, SERVICE_WIN32_OWN_PROCESS};
const int SERVICE_COUNT = 2;
const std::size_t DISPLAY_NAME_LIMIT = 256;  // what the service manager takes

// Every key an update may change, and so records and puts back; "%s" is
// the product key, for a parent the company key above it. A parent is
// shared with other products: never written, it is removed only where the
// update made it and left it empty. The entry in Programs and Features has
// none of ours: the Uninstall key above it is the system's.
struct OwnedKey {
    HKEY root;
    const char* format;
    bool parent;
};
const OwnedKey OWNED_KEYS[] = {
    {HKEY_LOCAL_MACHINE, "%s", false},
    {HKEY_CURRENT_USER, "%s", false},
    {HKEY_USERS, DEFAULT_PROFILE "\\%s", false},
    {HKEY_LOCAL_MACHINE, DRIVER_PARAMETERS_KEY, false},
    {HKEY_LOCAL_MACHINE, INIT_PARAMETERS_KEY, false},
    {HKEY_LOCAL_MACHINE, UNINSTALL_KEY, false},
    {HKEY_LOCAL_MACHINE, "%s", true},
    {HKEY_CURRENT_USER, "%s", true},
    {HKEY_USERS, DEFAULT_PROFILE "\\%s", true},
};

const char* RootName(const OwnedKey& key) {
    return key.root == HKEY_LOCAL_MACHINE ? "HKLM" : key.root == HKEY_CURRENT_USER ? "HKCU" : "HKU";
}

int OwnedKeyPath(const OwnedKey& key, char* path, std::size_t size) {
    char product[MAX_PATH];
    return ProductKeyPath(product, sizeof product, key.parent) && FormatText(path, size, key.format, product);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// ---- writing -----------------------------------------------------------------------------------
// The record being written: lines gather in a chunk that is written out when
// full and at each Written or Flush.
struct Writer {
    HANDLE file = INVALID_HANDLE_VALUE;
    int ok = 0;
    DWORD used = 0;
    char chunk[4096] = {};

    void Put(const char* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (used == sizeof chunk) Written();
            chunk[used++] = data[i];
        }
    }
    void Text(const char* text, const char* separator = "\t") {
        Put(separator, std::strlen(separator));
        for (; *text; ++text) {
            unsigned char c = static_cast<unsigned char>(*text);
            char escaped[4];
            if (c >= 0x20 && c != '%') {
                Put(text, 1);
            } else if (FormatText(escaped, sizeof escaped, "%%%02X", c)) {
                Put(escaped, 3);
            }
        }
    }
    void Number(unsigned long value) {
        char digits[16];
        FormatText(digits, sizeof digits, "%lu", value);
        Text(digits);
    }
    void Hex(const BYTE* data, DWORD count) {
        static const char DIGITS[] = "0123456789abcdef";
        Put("\t", 1);
        for (DWORD i = 0; i < count; ++i) {
            char pair[2] = {DIGITS[data[i] >> 4], DIGITS[data[i] & 15]};
            Put(pair, 2);
        }
    }
    void Begin(const char* kind) { Put(kind, std::strlen(kind)); }
    void End() { Put("\r\n", 2); }
    // 1 when everything so far was written.
    int Written() {
        DWORD written = 0;
        ok = ok && (!used || (WriteFile(file, chunk, used, &written, nullptr) && written == used));
        used = 0;
        return ok;
    }
    int Flush() {
        ok = Written() && FlushFileBuffers(file);
        return ok;
    }
};

// The update being recorded: its record, its backup folder and the files
// noted so far, each as a state byte ('m' to be set aside, 's' set aside,
// 'n' new) and its relative name, ended by a zero byte.
Writer writer;
char backupFolder[MAX_PATH];
char* noted = nullptr;
std::size_t notedLength = 0;
std::size_t notedSize = 0;

char* FindNoted(const char* relative) {
    for (std::size_t at = 0; at < notedLength; at += std::strlen(noted + at) + 1) {
        if (SameName(noted + at + 1, std::strlen(noted + at + 1), relative)) return noted + at;
    }
    return nullptr;
}

int AddNoted(char state, const char* relative) {
    std::size_t length = std::strlen(relative) + 2;
    if (notedLength + length > notedSize) {
        std::size_t size = 2 * notedSize + length + 1024;
        char* grown = static_cast<char*>(LocalAlloc(LPTR, size));
        if (!grown) return 0;
        if (noted) std::memcpy(grown, noted, notedLength);
        if (noted) LocalFree(noted);
        noted = grown;
        notedSize = size;
    }
    noted[notedLength] = state;
    std::memcpy(noted + notedLength + 1, relative, length - 1);
    notedLength += length;
    return 1;
}

void StopRecording() {
    beforeWritingTemporary = nullptr;
    beforeReplacingFile = nullptr;
    if (writer.file != INVALID_HANDLE_VALUE) CloseHandle(writer.file);
    writer.file = INVALID_HANDLE_VALUE;
    if (noted) LocalFree(noted);
    noted = nullptr;
    notedLength = notedSize = 0;
}

// ---- reading -----------------------------------------------------------------------------------
const int MAX_FIELDS = 12;
// A complete line, taken apart in place into its fields, texts decoded;
// count is 0 for a line that cannot be understood.
struct Line {
    char* field[MAX_FIELDS];
    int count;
};
struct Kind {
    const char* name;
    int fields;
};
const Kind KINDS[] = {{"service", 12}, {"key", 4},   {"parent", 4}, {"value", 4},
                      {"recorded", 1}, {"moved", 3}, {"new", 3},    {"commit", 1}};

struct Record {
    char* text = nullptr;
    Line* lines = nullptr;
    int count = 0;
    Record() = default;
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() {
        if (text) LocalFree(text);
        if (lines) LocalFree(lines);
    }
};

bool Is(const Line& line, const char* kind) { return line.count && std::strcmp(line.field[0], kind) == 0; }

bool HasLine(const Record& record, const char* kind) {
    for (int i = 0; i < record.count; ++i) {
        if (Is(record.lines[i], kind)) return true;
    }
    return false;
}

void Ignore(const Line& line) {
    LogLine("A %s line of the record names what the installation does not own; ignored", line.field[0]);
}

// %HH decoded in place, the rest of the field cleared (so that the last
// field of a line ends in two zero bytes); false for a broken escape or a
// zero byte.
bool Unescape(char* field) {
    std::size_t length = std::strlen(field);
    char* out = field;
    for (const char* in = field; *in; ++out) {
        if (*in != '%') {
            *out = *in++;
            continue;
        }
        int high = HexDigit(in[1]);
        int low = high < 0 ? -1 : HexDigit(in[2]);
        if (low < 0 || high + low == 0) return false;
        *out = static_cast<char>(high * 16 + low);
        in += 3;
    }
    std::memset(out, 0, static_cast<std::size_t>(field + length - out));
    return true;
}

// Hexadecimal data decoded in place; false when it is not.
bool Unhex(char* text, DWORD* size) {
    std::size_t length = std::strlen(text);
    *size = static_cast<DWORD>(length / 2);
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        int high = HexDigit(text[i]);
        int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        text[i / 2] = static_cast<char>(high * 16 + low);
    }
    return length % 2 == 0;
}

void TakeApart(char* start, Line* line) {
    line->field[0] = start;
    line->count = 1;
    for (char* p = start; *p; ++p) {
        if (*p != '\t') continue;
        *p = '\0';
        if (line->count == MAX_FIELDS) line->count = 0;
        if (!line->count) break;
        line->field[line->count++] = p + 1;
    }
    bool known = false;
    for (const Kind& kind : KINDS) known |= line->count == kind.fields && std::strcmp(start, kind.name) == 0;
    for (int i = 1; known && i < line->count; ++i) known = Unescape(line->field[i]);
    if (!known) {
        LogLine("A line of the record is not understood; skipped");
        line->count = 0;
    }
}

enum Found { FOUND_NONE, FOUND_OURS, FOUND_UNREADABLE };

// The record in folder, its complete lines taken apart. One cut short in
// its first line counts as ours, with nothing done; any other file is not.
Found ReadRecord(const char* folder, Record* record) {
    char path[MAX_PATH];
    if (!FormatText(path, sizeof path, "%s\\%s", folder, RECORD_FILE)) return FOUND_NONE;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return FOUND_NONE;
    FileGuard file(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD size = file.IsOpen() ? GetFileSize(file.Get(), nullptr) : INVALID_FILE_SIZE;
    if (size == INVALID_FILE_SIZE || !(record->text = static_cast<char*>(LocalAlloc(LPTR, size + 1)))) {
        return FOUND_UNREADABLE;
    }
    for (DWORD total = 0, got = 0; total < size; total += got) {
        if (!ReadFile(file.Get(), record->text + total, size - total, &got, nullptr) || !got) return FOUND_UNREADABLE;
    }
    std::size_t header = sizeof HEADER - 1;
    if (std::strncmp(record->text, HEADER, size < header ? size : header) != 0) {
        LogLine("%s is not a record of this program; left alone", path);
        return FOUND_NONE;
    }
    if (size < header) return FOUND_OURS;
    char* first = record->text + header;
    for (char* end = first; (end = std::strstr(end, "\r\n")) != nullptr; end += 2) ++record->count;
    record->lines = static_cast<Line*>(LocalAlloc(LPTR, sizeof(Line) * record->count));
    if (!record->lines) return FOUND_UNREADABLE;
    char* start = first;
    for (int i = 0; i < record->count; ++i) {
        char* end = std::strstr(start, "\r\n");
        end[0] = end[1] = '\0';
        TakeApart(start, &record->lines[i]);
        start = end + 2;
    }
    return FOUND_OURS;
}

// ---- what the installation owns ----------------------------------------------------------------
// A file Files.ini could list, by its name or as morvik\NAME.
bool IsOwnedFile(const char* relative) {
    const std::size_t inside = sizeof DRIVER_SUBDIRECTORY;
    const char* name = SameName(relative, inside, DRIVER_SUBDIRECTORY "\\") ? relative + inside : relative;
    return *name && !std::strpbrk(name, "\\/") && IsSafeDestinationName(name);
}

// The file with the ending of a temporary (see TemporaryFileName).
bool IsTemporaryOf(const char* temporary, const char* file) {
    std::size_t length = std::strlen(file);
    return std::strncmp(temporary, file, length) == 0 && std::strrchr(temporary, '.') == temporary + length &&
           IsTemporaryName(temporary);
}

// An image below the Windows directory: "%SystemRoot%\...", "\SystemRoot\...",
// "System32\..." as drivers are given, or the directory itself; no "..".
bool IsSystemImage(const char* image) {
    char windows[MAX_PATH];
    FormatText(windows, sizeof windows, "%s\\", setupState.windowsDirectory);
    const char* const starts[] = {"%SystemRoot%\\", "\\SystemRoot\\", "System32\\", windows};
    bool below = false;
    for (const char* start : starts) below |= SameName(image, std::strlen(start), start) != 0;
    return below && std::strlen(image) < MAX_PATH && !std::strstr(image, "..");
}

// The owned key a key or parent line names, with its path; null for any other.
const OwnedKey* FindOwnedKey(const Line& line, char* path, std::size_t size) {
    for (const OwnedKey& owned : OWNED_KEYS) {
        if (owned.parent == Is(line, "parent") && std::strcmp(line.field[1], RootName(owned)) == 0 &&
            OwnedKeyPath(owned, path, size) && SameName(line.field[2], std::strlen(line.field[2]), path)) {
            return &owned;
        }
    }
    return nullptr;
}

// A service of the installation's, as it creates them: its image below
// the Windows directory.
bool IsOwnedService(int i, const ServiceConfig& config) {
    return config.type == SERVICE_TYPES[i] && config.startType <= 4 && config.errorControl <= 3 &&
           IsSystemImage(config.imagePath) && std::strlen(config.displayName) <= DISPLAY_NAME_LIMIT;
}

// A service line's fields: numbers as read, texts where the line holds them.
void FillService(ServiceConfig* config, const DWORD* numbers, const Line& line) {
    config->present = numbers[0] != 0;
    config->running = numbers[1] != 0;
    config->type = numbers[2];
    config->startType = numbers[3];
    config->errorControl = numbers[4];
    config->imagePath = line.field[7];
    config->displayName = line.field[8];
    config->account = line.field[9];
    config->group = line.field[10];
    // The list ends in two zero bytes, as the last field of its line.
    for (char* p = line.field[11]; *p; ++p) {
        if (*p == '/') *p = '\0';
    }
    config->dependencies = line.field[11];
}

// The services the record holds, where Windows lets them be managed.
void RecordedServices(const Record& record, ServiceConfig* recorded, bool* listed) {
    for (int n = 0; n < record.count && ServicesManaged(setupState.osFamily); ++n) {
        const Line& line = record.lines[n];
        if (!Is(line, "service")) continue;
        int i = SERVICE_COUNT - 1;
        while (i >= 0 && std::strcmp(line.field[1], SERVICE_NAMES[i]) != 0) --i;
        DWORD numbers[5] = {};
        bool read = i >= 0;
        for (int f = 0; read && f < 5; ++f) {
            int number = ParseDecimalText(line.field[2 + f], 0);
            read = number >= 0;
            numbers[f] = static_cast<DWORD>(number);
        }
        ServiceConfig config;
        if (read) FillService(&config, numbers, line);
        if (!read || (config.present && !IsOwnedService(i, config))) {
            Ignore(line);
            continue;
        }
        FillService(&recorded[i], numbers, line);
        listed[i] = true;
    }
}

// A service whose deletion is pending goes once it stops, whatever it looks like.
bool MarkedForDeletion(const char* name) {
    char key[MAX_PATH];
    DWORD flag = 0;
    FormatText(key, sizeof key, SERVICES_PATH "\\%s", name);
    return ReadRegistryValue(HKEY_LOCAL_MACHINE, key, "DeleteFlag", REG_DWORD, &flag, sizeof flag) && flag;
}

// ---- recording ---------------------------------------------------------------------------------
// The part of path after the driver directory and its backslash.
int RelativeName(const char* path, char* relative) {
    char directory[MAX_PATH];
    if (!DriverPath(directory, sizeof directory, nullptr)) return 0;
    std::size_t length = std::strlen(directory);
    if (std::strlen(path) <= length + 1 || !SameName(path, length, directory) || path[length] != '\\') return 0;
    return CopyText(relative, MAX_PATH, path + length + 1);
}

bool FileThere(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Deleted now, or not there (nor its folder).
bool Gone(const char* path) {
    return DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
}

// 1 when an earlier installation is there (its services, keys or files), 0
// when not, -1 when that cannot be told.
int EarlierInstallation() {
    for (int i = 0; ServicesManaged(setupState.osFamily) && i < SERVICE_COUNT; ++i) {
        ServiceConfig config;
        if (!ReadServiceConfig(SERVICE_NAMES[i], &config)) return -1;
        if (config.present) return 1;
    }
    for (const OwnedKey& owned : OWNED_KEYS) {
        char path[MAX_PATH];
        KeyGuard key;
        if (owned.parent || !OwnedKeyPath(owned, path, sizeof path)) continue;
        LONG opened = RegOpenKeyExA(owned.root, path, 0, KEY_QUERY_VALUE, key.Receive());
        if (opened != ERROR_FILE_NOT_FOUND) return opened == ERROR_SUCCESS ? 1 : -1;
    }
    char path[FILE_PATH_SIZE];
    if ((DriverPath(path, sizeof path, FAXINIT_FILE) && FileThere(path)) ||
        (DriverPath(path, sizeof path, BTCALL_FILE) && FileThere(path))) {
        return 1;
    }
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        char compressed[FILE_PATH_SIZE];
        char plain[FILE_PATH_SIZE];
        if (BuildFilePaths(entry, compressed, plain, path, 0) && FileThere(path)) return 1;
    }
    return 0;
}

// 0 also for a service that a restore would not take for the installation's.
int DescribeService(int i) {
    ServiceConfig config;
    if (!ReadServiceConfig(SERVICE_NAMES[i], &config) || (config.present && !IsOwnedService(i, config))) return 0;
    writer.Begin("service");
    writer.Text(SERVICE_NAMES[i]);
    const DWORD numbers[] = {static_cast<DWORD>(config.present), static_cast<DWORD>(config.running), config.type,
                             config.startType, config.errorControl};
    for (DWORD number : numbers) writer.Number(number);
    for (const char* text : {config.imagePath, config.displayName, config.account, config.group}) writer.Text(text);
    writer.Put("\t", 1);
    for (const char* name = config.dependencies; *name; name += std::strlen(name) + 1) {
        writer.Text(name, name == config.dependencies ? "" : "/");
    }
    writer.End();
    return 1;
}

// The key's line and, but for a parent, one line per value.
int DescribeKey(const OwnedKey& owned) {
    char path[MAX_PATH];
    KeyGuard key;
    LONG opened = OwnedKeyPath(owned, path, sizeof path)
                      ? RegOpenKeyExA(owned.root, path, 0, KEY_QUERY_VALUE, key.Receive())
                      : ERROR_INVALID_HANDLE;
    if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) return 0;
    writer.Begin(owned.parent ? "parent" : "key");
    writer.Text(RootName(owned));
    writer.Text(path);
    writer.Number(opened == ERROR_SUCCESS);
    writer.End();
    DWORD count = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (opened != ERROR_SUCCESS || owned.parent) return 1;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    LocalBlock name(longestName + 1);
    LocalBlock data(longestData + 1);
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameSize = longestName + 1;
        DWORD dataSize = longestData;
        DWORD type = 0;
        if (!name.Get() || !data.Get() ||
            RegEnumValueA(key.Get(), index, name.Get(), &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data.Get()),
                          &dataSize) != ERROR_SUCCESS) {
            return 0;
        }
        writer.Begin("value");
        writer.Text(name.Get());
        writer.Number(type);
        writer.Hex(reinterpret_cast<BYTE*>(data.Get()), dataSize);
        writer.End();
    }
    return 1;
}

int BackupFolderName(int n, char* folder) {
    char name[16];
    FormatText(name, sizeof name, "backup.%d", n);
    if (!n) name[6] = '\0';
    return DriverPath(folder, MAX_PATH, name);
}

// A folder of its own: the first of the names that no listed file has and
// nothing has taken, made fresh, so that nothing in it is another's.
int MakeBackupFolder() {
    for (int n = 0; n < BACKUP_NAMES; ++n) {
        if (!BackupFolderName(n, backupFolder) || IsListedDestination(backupFolder)) continue;
        if (CreateDirectoryA(backupFolder, nullptr)) return 1;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return 0;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return 0;
}

// path's copy in the backup folder.
int BackupPath(const char* folder, const char* relative, char* path) {
    return FormatText(path, MAX_PATH, "%s\\%s\\%s", folder, FILES_FOLDER, relative);
}

// Noted before its temporary is made: moved when it is there, else new.
int NoteFile(const char* path, const char* temporary) {
    char relative[MAX_PATH];
    char temporaryName[MAX_PATH];
    if (!RelativeName(path, relative) || !RelativeName(temporary, temporaryName) || !IsOwnedFile(relative)) return 0;
    if (FindNoted(relative)) return 1;
    DWORD attributes = GetFileAttributesA(path);
    bool present = attributes != INVALID_FILE_ATTRIBUTES;
    // A write-protected file is not replaced, as without an update record.
    if (present && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return 0;
    writer.Begin(present ? "moved" : "new");
    writer.Text(relative);
    writer.Text(temporaryName);
    writer.End();
    return writer.Flush() && AddNoted(present ? 'm' : 'n', relative);
}

// Set aside once its new copy lies complete beside it.
int SetAsideFile(const char* path) {
    char relative[MAX_PATH];
    char backup[MAX_PATH];
    char* entry = RelativeName(path, relative) ? FindNoted(relative) : nullptr;
    if (!entry || *entry != 'm') return entry != nullptr;
    if (!BackupPath(backupFolder, relative, backup) || !MoveFileExA(path, backup, MOVEFILE_WRITE_THROUGH)) {
        LogLine("%s cannot be set aside (error %lu)", path, LastError());
        return 0;
    }
    *entry = 's';
    return 1;
}

// ---- putting back ------------------------------------------------------------------------------
// Removes the key when it holds neither values nor sub-keys: never one that
// still holds something of another's.
int RemoveIfEmpty(HKEY root, const char* path) {
    DWORD subKeys = 0;
    DWORD values = 0;
    {
        KeyGuard key;
        LONG opened = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, key.Receive());
        if (opened == ERROR_FILE_NOT_FOUND) return 1;
        if (opened != ERROR_SUCCESS || RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                                        nullptr, &values, nullptr, nullptr, nullptr,
                                                        nullptr) != ERROR_SUCCESS) {
            return 0;
        }
    }
    LONG deleted = subKeys || values ? ERROR_SUCCESS : RegDeleteKeyA(root, path);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

// Deletes the values of key that no line of values names.
int DeleteOtherValues(HKEY key, const Line* values, int count) {
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    LocalBlock name(longest + 1);
    for (DWORD index = 0; name.Get();) {
        DWORD size = longest + 1;
        LONG result = RegEnumValueA(key, index, name.Get(), &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return 1;
        bool recorded = false;
        for (int i = 0; i < count; ++i) {
            recorded |= SameName(values[i].field[1], std::strlen(values[i].field[1]), name.Get()) != 0;
        }
        if (result != ERROR_SUCCESS || (!recorded && RegDeleteValueA(key, name.Get()) != ERROR_SUCCESS)) return 0;
        if (recorded) ++index;
    }
    return 0;
}

// A key as recorded: made where it was missing, its recorded values set
// back and the others deleted; removed when the update made it and it is
// then empty.
int RestoreKey(HKEY root, const char* path, bool present, Line* values, int count) {
    {
        KeyGuard key;
        DWORD disposition = 0;
        const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE;
        LONG opened = present ? RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                                key.Receive(), &disposition)
                              : RegOpenKeyExA(root, path, 0, access, key.Receive());
        if (opened == ERROR_FILE_NOT_FOUND && !present) return 1;
        if (opened != ERROR_SUCCESS) return 0;
        for (int i = 0; present && i < count; ++i) {
            int type = ParseDecimalText(values[i].field[2], 0);
            DWORD size = 0;
            if (type < 0 || !Unhex(values[i].field[3], &size)) {
                Ignore(values[i]);
            } else if (RegSetValueExA(key.Get(), values[i].field[1], 0, static_cast<DWORD>(type),
                                      reinterpret_cast<const BYTE*>(values[i].field[3]), size) != ERROR_SUCCESS) {
                return 0;
            }
        }
        if (!DeleteOtherValues(key.Get(), values, present ? count : 0)) return 0;
    }
    return present || RemoveIfEmpty(root, path);
}

int RestoreKeys(const Record& record) {
    int restored = 1;
    for (int n = 0; n < record.count; ++n) {
        Line& line = record.lines[n];
        if (!Is(line, "key") && !Is(line, "parent")) continue;
        int values = 0;
        while (n + values + 1 < record.count && Is(record.lines[n + values + 1], "value")) ++values;
        char path[MAX_PATH];
        const OwnedKey* owned = FindOwnedKey(line, path, sizeof path);
        int present = ParseDecimalText(line.field[3], 0);
        if (!owned || present < 0 || present > 1) {
            Ignore(line);
        } else {
            int done = owned->parent ? present || RemoveIfEmpty(owned->root, path)
                                     : RestoreKey(owned->root, path, present != 0, &record.lines[n + 1], values);
            LogLine("%s %s\\%s", done ? "Restored" : "Not restored:", RootName(*owned), path);
            restored &= done;
        }
        n += values;
    }
    return restored;
}

bool SameService(const ServiceConfig& a, const ServiceConfig& b) {
    if (a.present != b.present) return false;
    if (!a.present) return true;
    const char* x = a.dependencies;
    const char* y = b.dependencies;
    for (; *x && std::strcmp(x, y) == 0; x += std::strlen(x) + 1) y += std::strlen(y) + 1;
    return !*x && !*y && a.type == b.type && a.startType == b.startType && a.errorControl == b.errorControl &&
           std::strcmp(a.imagePath, b.imagePath) == 0 && std::strcmp(a.displayName, b.displayName) == 0 &&
           std::strcmp(a.account, b.account) == 0 && std::strcmp(a.group, b.group) == 0;
}

// Both go and come back: the driver cannot go while the service that
// depends on it runs, and the dependent one goes first. 0 when they cannot
// be put back now; restartNeeded is set when Windows must restart first.
int RestoreServices(const ServiceConfig* recorded, const bool* listed) {
    ServiceConfig current[SERVICE_COUNT];
    bool intact = true;
    for (int i = 0; i < SERVICE_COUNT; ++i) {
        if (!listed[i]) continue;
        if (!ReadServiceConfig(SERVICE_NAMES[i], &current[i])) {
            LogLine("Services not restored: %s cannot be queried (error %lu)", SERVICE_NAMES[i], LastError());
            return 0;
        }
        intact = intact && SameService(recorded[i], current[i]) &&
                 !(current[i].present && MarkedForDeletion(SERVICE_NAMES[i]));
    }
    if (intact) return 1;
    for (int i = SERVICE_COUNT - 1; i >= 0; --i) {
        if (!listed[i] || !current[i].present) continue;
        StopAndDeleteService(SERVICE_NAMES[i]);
        if (!ReadServiceConfig(SERVICE_NAMES[i], &current[i]) || current[i].present) {
            if (current[i].present && MarkedForDeletion(SERVICE_NAMES[i])) setupState.restartNeeded = 1;
            LogLine("Services not restored: %s cannot be removed%s", SERVICE_NAMES[i],
                    setupState.restartNeeded ? " before Windows is restarted" : "");
            return 0;
        }
    }
    int restored = 1;
    for (int i = 0; i < SERVICE_COUNT; ++i) {
        if (listed[i] && recorded[i].present) restored &= CreateServiceFromConfig(SERVICE_NAMES[i], &recorded[i]);
    }
    return restored;
}

// Starts what ran; 1 when all of it runs.
int StartServices(const ServiceConfig* recorded, const bool* listed) {
    int started = 1;
    for (int i = 0; i < SERVICE_COUNT; ++i) {
        ServiceConfig current;
        if (!listed[i] || !recorded[i].running ||
            (ReadServiceConfig(SERVICE_NAMES[i], &current) && current.running)) {
            continue;
        }
        started &= StartDriverService(SERVICE_NAMES[i]);
        Sleep(SERVICE_PAUSE_MS);
    }
    return started;
}

// Out of the way: deleted or, where Windows keeps it (the running program's
// own file, started as the copy in the driver directory), renamed to its
// temporary name and deleted when Windows restarts.
bool Cleared(const char* path, const char* temporary) {
    return Gone(path) || (MoveFileExA(path, temporary, 0) &&
                          (Gone(temporary) || MoveFileExA(temporary, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)));
}

// Every file line: the temporary goes (what a copy cut short left). Put
// back (restore): the set-aside copy returns, or the new file goes; else
// the set-aside copy goes. Each step may run again.
int SettleFiles(const Record& record, const char* folder, bool restore) {
    int settled = 1;
    for (int n = 0; n < record.count; ++n) {
        const Line& line = record.lines[n];
        bool moved = Is(line, "moved");
        if (!moved && !Is(line, "new")) continue;
        char destination[MAX_PATH];
        char temporary[MAX_PATH];
        char backup[MAX_PATH];
        if (!IsOwnedFile(line.field[1]) || !IsTemporaryOf(line.field[2], line.field[1]) ||
            !DriverPath(destination, sizeof destination, line.field[1]) ||
            !DriverPath(temporary, sizeof temporary, line.field[2]) || !BackupPath(folder, line.field[1], backup)) {
            Ignore(line);
            continue;
        }
        DeleteFileA(temporary);
        const char* gone = moved ? backup : destination;
        BOOL done = TRUE;
        if (restore) {
            // Not there: never set aside, or put back already.
            done = moved ? !FileThere(backup) || (Cleared(destination, temporary) &&
                                                  MoveFileExA(backup, destination, MOVEFILE_WRITE_THROUGH))
                         : Cleared(destination, temporary);
        } else if (moved) {
            done = Gone(backup);
        }
        if (!done) LogLine("%s %s (error %lu)", restore ? "Not restored:" : "Not deleted:", gone, LastError());
        settled &= done ? 1 : 0;
    }
    return settled;
}

// Puts back what the record holds: services first (their keys hold the
// parameters), then keys and files, then what ran is started. At start-up
// a service that will not start does not keep the record (and setup) back.
int Restore(Record* record, const char* folder, bool atStartUp) {
    ServiceConfig recorded[SERVICE_COUNT];
    bool listed[SERVICE_COUNT] = {};
    RecordedServices(*record, recorded, listed);
    int services = RestoreServices(recorded, listed);
    int restored = services & RestoreKeys(*record) & SettleFiles(*record, folder, true);
    if (services && !StartServices(recorded, listed) && !atStartUp) restored = 0;
    if (restored) {
        LogLine("The earlier installation is restored");
    } else {
        LogLine("The earlier installation is not restored whole; what is missing stays in %s", folder);
    }
    return restored;
}

// The folder once nothing in it is needed.
void RemoveBackup(const char* folder) {
    char path[MAX_PATH];
    for (int i = 1; i >= 0; --i) {
        if (FormatText(path, sizeof path, "%s\\%s", folder, FOLDERS_INSIDE[i])) RemoveDirectoryA(path);
    }
    if (!FormatText(path, sizeof path, "%s\\%s", folder, RECORD_FILE) || !Gone(path) || !RemoveDirectoryA(folder)) {
        LogLine("%s cannot be removed (error %lu)", folder, LastError());
    }
}

enum Settled { SETTLED_NONE, SETTLED_DONE, SETTLED_FAILED };

// Reads the record in folder and clears it (committed: the set-aside copies
// go), restores the earlier installation from it (recorded) or discards it
// (neither: nothing was changed yet).
Settled Settle(const char* folder, bool atStartUp) {
    Record record;
    Found found = ReadRecord(folder, &record);
    if (found == FOUND_NONE) return SETTLED_NONE;
    if (atStartUp) LogLine("An earlier run left %s", folder);
    if (found == FOUND_UNREADABLE) {
        LogLine("Its record cannot be read (error %lu); it stays", LastError());
        return SETTLED_FAILED;
    }
    bool committed = HasLine(record, "commit");
    int done = 1;
    if (committed) {
        done = SettleFiles(record, folder, false);
    } else if (HasLine(record, "recorded")) {
        done = Restore(&record, folder, atStartUp);
    }
    if (done) RemoveBackup(folder);
    return done || committed ? SETTLED_DONE : SETTLED_FAILED;
}

int RefuseRecord(const char* reason, bool folderMade) {
    LogLine("The installation cannot be recorded to be undone (%s, error %lu); nothing was changed", reason,
            LastError());
    StopRecording();
    if (folderMade) RemoveBackup(backupFolder);
    return 0;
}

}  // namespace

int BeginRollback() {
    StopRecording();
    int earlier = EarlierInstallation();
    if (earlier < 0) return RefuseRecord("the earlier installation cannot be read", false);
    // A first installation has nothing to put back.
    if (!earlier) return 1;
    char path[MAX_PATH];
    DriverPath(path, sizeof path, nullptr);
    CreateDirectoryA(path, nullptr);
    if (!MakeBackupFolder()) return RefuseRecord("no backup folder", false);
    for (const char* name : FOLDERS_INSIDE) {
        if (!FormatText(path, sizeof path, "%s\\%s", backupFolder, name) || !CreateDirectoryA(path, nullptr)) {
            return RefuseRecord(path, true);
        }
    }
    if (!FormatText(path, sizeof path, "%s\\%s", backupFolder, RECORD_FILE)) return RefuseRecord(path, true);
    writer.file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    writer.ok = writer.file != INVALID_HANDLE_VALUE;
    writer.used = 0;
    if (!writer.ok) return RefuseRecord(path, true);
    writer.Put(HEADER, sizeof HEADER - 1);
    for (int i = 0; ServicesManaged(setupState.osFamily) && i < SERVICE_COUNT; ++i) {
        if (!DescribeService(i)) return RefuseRecord("services", true);
    }
    for (const OwnedKey& owned : OWNED_KEYS) {
        if (!DescribeKey(owned)) return RefuseRecord("registry", true);
    }
    writer.Begin("recorded");
    writer.End();
    if (!writer.Flush()) return RefuseRecord(path, true);
    beforeWritingTemporary = NoteFile;
    beforeReplacingFile = SetAsideFile;
    LogLine("Earlier installation recorded in %s", path);
    return 1;
}

int EndRollback(int installed) {
    if (writer.file == INVALID_HANDLE_VALUE) return installed;
    // The update stands once this line is written (a later run reads it,
    // whether or not the flush goes through); from then on nothing is put back.
    if (installed) {
        writer.Begin("commit");
        writer.End();
    }
    bool committed = installed && writer.Written();
    if (committed) FlushFileBuffers(writer.file);
    StopRecording();
    if (!committed) LogLine("The installation did not finish: the earlier installation is put back");
    Settle(backupFolder, false);
    return committed ? 1 : 0;
}

LeftBackup RestoreLeftBackup() {
    LeftBackup left = LEFT_BACKUP_NONE;
    for (int n = 0; setupState.windowsDirectory[0] && n < BACKUP_NAMES; ++n) {
        char folder[MAX_PATH];
        Settled settled = BackupFolderName(n, folder) ? Settle(folder, true) : SETTLED_NONE;
        if (settled == SETTLED_FAILED) return setupState.restartNeeded ? LEFT_BACKUP_RESTART : LEFT_BACKUP_FAILED;
        if (settled == SETTLED_DONE) left = LEFT_BACKUP_RESTORED;
    }
    return left;
}

int BackupLeft() {
    for (int n = 0; setupState.windowsDirectory[0] && n < BACKUP_NAMES; ++n) {
        char folder[MAX_PATH];
        char path[MAX_PATH];
        if (BackupFolderName(n, folder) && FormatText(path, sizeof path, "%s\\%s", folder, RECORD_FILE) &&
            FileThere(path)) {
            return 1;
        }
    }
    return 0;
}
