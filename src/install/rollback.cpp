#include "install/rollback.h"

#include <windows.h>

#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/registry.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "core/windows_version.h"
#include "driver/config_file.h"
#include "driver/services.h"
#include "install/file_copy.h"

namespace {

// The record, one line each, every text in hexadecimal ("-" when empty):
//   service NAME PRESENT RUNNING TYPE START ERRORCONTROL IMAGE DISPLAYNAME DEPENDENCIES
//   key ROOT PATH PRESENT, followed by its values: value NAME TYPE DATA
//   recorded            (the above is complete; the installation may begin)
//   moved FILE / new FILE   (relative to the driver directory; written before the move)
//   commit              (the update stands; the backup folder may go)
const char* const BACKUP_FOLDER = "backup";
const char* const BACKUP_SUBFOLDER = "backup\\morvik";
const char* const RECORD_FILE = "backup\\restore.lst";
const char* const SERVICES_KEY = "System\\CurrentControlSet\\Services";
const char* const DEFAULT_PROFILE = ".DEFAULT\\";
// In the order of creation; they are removed the other way round.
const char* const SERVICE_NAMES[] = {"bfax", "faxinit"};
const int SERVICE_COUNT = 2;

const std::size_t RECORD_SIZE = 32768;      // services, parameters and product key
const std::size_t RECORD_LIMIT = 262144;    // with every file an update may set aside
const std::size_t LINE_SIZE = 2 * MAX_PATH + 16;
const DWORD VALUE_NAME_SIZE = 256;
const DWORD VALUE_DATA_SIZE = 1024;
const int MAX_SET_ASIDE = 256;

enum Root { ROOT_MACHINE = 1, ROOT_USER = 2, ROOT_USERS = 3 };

// The update being recorded: its record file, open for appending, and the
// files set aside or noted as new so far.
HANDLE recordFile = INVALID_HANDLE_VALUE;
char notedFiles[MAX_SET_ASIDE][MAX_PATH];
int notedCount = 0;

char recordText[RECORD_SIZE];
char recordRead[RECORD_LIMIT + 1];
char currentText[RECORD_SIZE];

HKEY RootKey(unsigned long root) {
    if (root == ROOT_MACHINE) return HKEY_LOCAL_MACHINE;
    if (root == ROOT_USER) return HKEY_CURRENT_USER;
    return root == ROOT_USERS ? HKEY_USERS : nullptr;
}

const char* RootName(unsigned long root) {
    return root == ROOT_MACHINE ? "HKLM" : root == ROOT_USER ? "HKCU" : "HKU";
}

// A line being built in a fixed buffer; fits turns 0 for good once
// something did not fit.
struct Text {
    char* buffer;
    std::size_t size;
    std::size_t length;
    int fits;

    void Add(const char* text) {
        std::size_t count = std::strlen(text);
        if (!fits || length + count >= size) {
            fits = 0;
            return;
        }
        std::memcpy(buffer + length, text, count + 1);
        length += count;
    }
    void AddNumber(unsigned long value) {
        char digits[16];
        FormatText(digits, sizeof digits, " %lu", value);
        Add(digits);
    }
    void AddHex(const void* data, std::size_t count) {
        Add(count ? " " : " -");
        if (!fits || length + 2 * count >= size) {
            fits = 0;
            return;
        }
        static const char digits[] = "0123456789abcdef";
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < count; ++i) {
            buffer[length++] = digits[bytes[i] >> 4];
            buffer[length++] = digits[bytes[i] & 15];
        }
        buffer[length] = '\0';
    }
    void AddText(const char* text) { AddHex(text, std::strlen(text)); }
};

Text StartText(char* buffer, std::size_t size) {
    buffer[0] = '\0';
    return Text{buffer, size, 0, 1};
}

// One line of the record read back, taken apart field by field.
struct Fields {
    const char* at = nullptr;
    const char* end = nullptr;

    bool Word(const char* word) {
        std::size_t length = std::strlen(word);
        if (static_cast<std::size_t>(end - at) < length || std::strncmp(at, word, length) != 0) return false;
        if (at + length != end && at[length] != ' ') return false;
        at += length;
        return true;
    }
    bool Number(unsigned long* value) {
        if (at < end && *at == ' ') ++at;
        *value = 0;
        const char* start = at;
        while (at < end && *at >= '0' && *at <= '9') *value = *value * 10 + static_cast<unsigned long>(*at++ - '0');
        return at != start;
    }
    // Decodes into out (size bytes, with room for a closing zero byte).
    bool Hex(void* out, std::size_t size, std::size_t* count) {
        if (at < end && *at == ' ') ++at;
        unsigned char* bytes = static_cast<unsigned char*>(out);
        std::memset(bytes, 0, size);
        *count = 0;
        if (at < end && *at == '-') {
            ++at;
            return true;
        }
        while (at + 1 < end && *at != ' ') {
            int high = Digit(at[0]);
            int low = Digit(at[1]);
            if (high < 0 || low < 0 || *count + 1 >= size) return false;
            bytes[(*count)++] = static_cast<unsigned char>(high * 16 + low);
            at += 2;
        }
        return *count > 0 && (at == end || *at == ' ');
    }
    static int Digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    }
};

// The next line of text from *cursor: its start and end, without the line end.
bool NextLine(const char** cursor, Fields* line) {
    if (!**cursor) return false;
    line->at = *cursor;
    const char* end = std::strstr(*cursor, "\r\n");
    line->end = end ? end : *cursor + std::strlen(*cursor);
    *cursor = end ? end + 2 : line->end;
    return true;
}

bool HasLine(const char* record, const char* word) {
    Fields line;
    for (const char* cursor = record; NextLine(&cursor, &line);) {
        if (line.Word(word) && line.at == line.end) return true;
    }
    return false;
}

// ---- paths --------------------------------------------------------------------------------------
int BackupPath(const char* relative, char* path) {
    char inside[MAX_PATH];
    return FormatText(inside, sizeof inside, "%s\\%s", BACKUP_FOLDER, relative) &&
           DriverPath(path, MAX_PATH, inside);
}

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

// Files in the driver directory that an installation places.
bool InstalledFilesThere() {
    char path[FILE_PATH_SIZE];
    if ((DriverPath(path, sizeof path, "faxinit.cfg") && FileThere(path)) ||
        (DriverPath(path, sizeof path, "morvik\\btcall.cfg") && FileThere(path))) {
        return true;
    }
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        char compressed[FILE_PATH_SIZE];
        char plain[FILE_PATH_SIZE];
        if (BuildFilePaths(entry, compressed, plain, path, nullptr, 0) && FileThere(path)) return true;
    }
    return false;
}

// ---- what is recorded -------------------------------------------------------------------------
// The key's line and one line per value.
int DescribeKey(Text* text, unsigned long root, const char* path, int* present) {
    KeyGuard key;
    LONG opened = RegOpenKeyExA(RootKey(root), path, 0, KEY_QUERY_VALUE, key.Receive());
    if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) return 0;
    *present = opened == ERROR_SUCCESS;
    text->Add("key");
    text->AddNumber(root);
    text->AddText(path);
    text->AddNumber(static_cast<unsigned long>(*present));
    text->Add("\r\n");
    for (DWORD index = 0; *present; ++index) {
        char name[VALUE_NAME_SIZE];
        BYTE data[VALUE_DATA_SIZE];
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        LONG result = RegEnumValueA(key.Get(), index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) return 0;
        text->Add("value");
        text->AddHex(name, nameSize);
        text->AddNumber(type);
        text->AddHex(data, dataSize);
        text->Add("\r\n");
    }
    return text->fits;
}

std::size_t DependencyBytes(const char* list) {
    std::size_t length = 0;
    while (list[length]) length += std::strlen(list + length) + 1;
    return length;
}

int DescribeService(Text* text, const char* name, int* present) {
    ServiceConfig config = {};
    if (!ReadServiceConfig(name, &config)) return 0;
    *present = config.present;
    text->Add("service ");
    text->Add(name);
    text->AddNumber(static_cast<unsigned long>(config.present));
    text->AddNumber(static_cast<unsigned long>(config.running));
    text->AddNumber(config.type);
    text->AddNumber(config.startType);
    text->AddNumber(config.errorControl);
    text->AddText(config.imagePath);
    text->AddText(config.displayName);
    text->AddHex(config.dependencies, DependencyBytes(config.dependencies));
    text->Add("\r\n");
    return text->fits;
}

bool ReadServiceLine(Fields line, ServiceConfig* config) {
    unsigned long present = 0;
    unsigned long running = 0;
    unsigned long type = 0;
    unsigned long start = 0;
    unsigned long errors = 0;
    std::size_t count = 0;
    std::memset(config, 0, sizeof *config);
    if (!line.Number(&present) || !line.Number(&running) || !line.Number(&type) || !line.Number(&start) ||
        !line.Number(&errors) || !line.Hex(config->imagePath, sizeof config->imagePath, &count) ||
        !line.Hex(config->displayName, sizeof config->displayName, &count) ||
        !line.Hex(config->dependencies, sizeof config->dependencies - 1, &count)) {
        return false;
    }
    config->present = present != 0;
    config->running = running != 0;
    config->type = type;
    config->startType = start;
    config->errorControl = errors;
    return true;
}

bool SameService(const ServiceConfig& a, const ServiceConfig& b) {
    if (a.present != b.present) return false;
    if (!a.present) return true;
    return a.type == b.type && a.startType == b.startType && a.errorControl == b.errorControl &&
           std::strcmp(a.imagePath, b.imagePath) == 0 && std::strcmp(a.displayName, b.displayName) == 0 &&
           std::memcmp(a.dependencies, b.dependencies, sizeof a.dependencies) == 0;
}

// A service whose deletion is pending goes once it stops, whatever it looks like.
bool MarkedForDeletion(const char* name) {
    char key[MAX_PATH];
    DWORD flag = 0;
    FormatText(key, sizeof key, "%s\\%s", SERVICES_KEY, name);
    return ReadRegistryValue(HKEY_LOCAL_MACHINE, key, "DeleteFlag", REG_DWORD, &flag, sizeof flag) && flag;
}

// The product key in its three places, then the company keys above them
// (removed after the product key when they were not there).
struct KeyPlace {
    unsigned long root;
    char path[MAX_PATH + 16];
};

int ProductPlaces(KeyPlace* places) {
    char product[MAX_PATH];
    if (!FormatText(product, sizeof product, setupState.productKeyFormat, setupState.productName)) return 0;
    char company[MAX_PATH];
    CopyText(company, sizeof company, product);
    char* last = std::strrchr(company, '\\');
    if (last) *last = '\0';
    const unsigned long roots[] = {ROOT_MACHINE, ROOT_USER, ROOT_USERS};
    int fits = 1;
    for (int i = 0; i < 3; ++i) {
        const char* prefix = roots[i] == ROOT_USERS ? DEFAULT_PROFILE : "";
        places[i].root = roots[i];
        places[i + 3].root = roots[i];
        fits &= FormatText(places[i].path, sizeof places[i].path, "%s%s", prefix, product);
        fits &= FormatText(places[i + 3].path, sizeof places[i + 3].path, "%s%s", prefix, company);
    }
    return fits;
}

int AppendRecord(const char* text, std::size_t length) {
    DWORD written = 0;
    return WriteFile(recordFile, text, static_cast<DWORD>(length), &written, nullptr) && written == length &&
           FlushFileBuffers(recordFile);
}

void RemoveBackupFolders() {
    char path[MAX_PATH];
    if (DriverPath(path, sizeof path, BACKUP_SUBFOLDER)) RemoveDirectoryA(path);
    if (DriverPath(path, sizeof path, BACKUP_FOLDER) && !RemoveDirectoryA(path)) {
        LogLine("%s cannot be removed (error %lu)", path, LastError());
    }
}

// The record file and the folders, once nothing in them is needed.
void RemoveRecord() {
    char path[MAX_PATH];
    if (DriverPath(path, sizeof path, RECORD_FILE) && !DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND) {
        LogLine("%s cannot be deleted (error %lu)", path, LastError());
        return;
    }
    RemoveBackupFolders();
}

// ---- putting back -----------------------------------------------------------------------------
int ReadRecordFile() {
    char path[MAX_PATH];
    if (!DriverPath(path, sizeof path, RECORD_FILE)) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD size = GetFileSize(file, nullptr);
    DWORD total = 0;
    int read = size != INVALID_FILE_SIZE && size <= RECORD_LIMIT;
    while (read && total < size) {
        DWORD got = 0;
        read = ReadFile(file, recordRead + total, size - total, &got, nullptr) && got > 0;
        total += got;
    }
    CloseHandle(file);
    recordRead[read ? total : 0] = '\0';
    if (!read) LogLine("%s cannot be read (error %lu)", path, LastError());
    return read;
}

// The services' lines of the record, by SERVICE_NAMES; 0 when one cannot be
// read. listed: whether the record has any (none where Windows does not
// manage services).
int RecordedServices(const char* record, ServiceConfig* recorded, bool* listed) {
    Fields line;
    for (const char* cursor = record; NextLine(&cursor, &line);) {
        if (!line.Word("service")) continue;
        for (int i = 0; i < SERVICE_COUNT; ++i) {
            Fields rest = line;
            if (rest.at < rest.end) ++rest.at;
            if (rest.Word(SERVICE_NAMES[i]) && !ReadServiceLine(rest, &recorded[i])) return 0;
        }
        *listed = true;
    }
    return 1;
}

int RestoreServices(const ServiceConfig* recorded) {
    ServiceConfig current[SERVICE_COUNT] = {};
    bool intact = true;
    for (int i = 0; i < SERVICE_COUNT; ++i) {
        if (!ReadServiceConfig(SERVICE_NAMES[i], &current[i])) {
            LogLine("Services not restored: %s cannot be queried (error %lu)", SERVICE_NAMES[i], LastError());
            return 0;
        }
        intact = intact && SameService(recorded[i], current[i]) &&
                 !(current[i].present && MarkedForDeletion(SERVICE_NAMES[i]));
    }
    if (intact) return 1;
    // Both go and come back: the driver cannot go while the service that
    // depends on it runs, and the dependent one goes first.
    // One that stays keeps the driver it needs from being touched.
    for (int i = SERVICE_COUNT - 1; i >= 0; --i) {
        if (!current[i].present) continue;
        StopAndDeleteService(SERVICE_NAMES[i]);
        if (!ReadServiceConfig(SERVICE_NAMES[i], &current[i]) || current[i].present) {
            LogLine("Services not restored: %s cannot be removed", SERVICE_NAMES[i]);
            return 0;
        }
    }
    int restored = 1;
    for (int i = 0; i < SERVICE_COUNT; ++i) {
        if (recorded[i].present) restored &= CreateServiceFromConfig(SERVICE_NAMES[i], &recorded[i]);
    }
    return restored;
}

// Writes the values that follow a key line into the key, created anew.
int RecreateKey(HKEY root, const char* path, const char* values) {
    KeyGuard key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr,
                        key.Receive(), &disposition) != ERROR_SUCCESS) {
        return 0;
    }
    Fields line;
    for (const char* cursor = values; NextLine(&cursor, &line) && line.Word("value");) {
        char name[VALUE_NAME_SIZE];
        BYTE data[VALUE_DATA_SIZE + 1];
        std::size_t nameSize = 0;
        std::size_t dataSize = 0;
        unsigned long type = 0;
        if (!line.Hex(name, sizeof name, &nameSize) || !line.Number(&type) || !line.Hex(data, sizeof data, &dataSize) ||
            RegSetValueExA(key.Get(), name, 0, type, data, static_cast<DWORD>(dataSize)) != ERROR_SUCCESS) {
            return 0;
        }
    }
    return 1;
}

int RestoreKeys(const char* record) {
    int restored = 1;
    Fields line;
    for (const char* cursor = record; NextLine(&cursor, &line);) {
        const char* block = line.at;
        if (!line.Word("key")) continue;
        const char* firstValue = cursor;
        const char* values = cursor;
        Fields next;
        while (NextLine(&values, &next) && next.Word("value")) cursor = values;
        std::size_t blockLength = static_cast<std::size_t>(cursor - block);
        unsigned long root = 0;
        unsigned long present = 0;
        char path[MAX_PATH + 16];
        std::size_t count = 0;
        if (!line.Number(&root) || !RootKey(root) || !line.Hex(path, sizeof path, &count) || !line.Number(&present)) {
            restored = 0;
            continue;
        }
        // A key as it was is left alone.
        Text current = StartText(currentText, sizeof currentText);
        int there = 0;
        if (DescribeKey(&current, root, path, &there) && current.length == blockLength &&
            std::memcmp(currentText, block, blockLength) == 0) {
            continue;
        }
        LONG deleted = RegDeleteKeyA(RootKey(root), path);
        bool done = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
        if (done && present) done = RecreateKey(RootKey(root), path, firstValue) != 0;
        LogLine("%s %s\\%s", done ? (present ? "Restored" : "Removed") : "Not restored:", RootName(root), path);
        if (!done) restored = 0;
    }
    return restored;
}

int RestoreFiles(const char* record) {
    int restored = 1;
    Fields line;
    for (const char* cursor = record; NextLine(&cursor, &line);) {
        bool moved = line.Word("moved");
        if (!moved && !line.Word("new")) continue;
        char relative[MAX_PATH];
        char destination[MAX_PATH];
        char backup[MAX_PATH];
        std::size_t count = 0;
        if (!line.Hex(relative, sizeof relative, &count) || !DriverPath(destination, sizeof destination, relative) ||
            !BackupPath(relative, backup)) {
            restored = 0;
            continue;
        }
        if (moved) {
            // Not there: it was never moved, or has been put back already.
            if (!FileThere(backup)) continue;
            if (MoveFileExA(backup, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                LogLine("Restored %s", destination);
            } else {
                LogLine("Not restored: %s (error %lu)", destination, LastError());
                restored = 0;
            }
        } else if (DeleteFileA(destination)) {
            LogLine("Removed %s, new with the installation", destination);
        } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            LogLine("Not removed: %s (error %lu)", destination, LastError());
            restored = 0;
        }
    }
    return restored;
}

int RestartServices(const ServiceConfig* recorded) {
    int restarted = 1;
    for (int i = 0; i < SERVICE_COUNT; ++i) {
        ServiceConfig current = {};
        if (!recorded[i].running || (ReadServiceConfig(SERVICE_NAMES[i], &current) && current.running)) continue;
        restarted &= StartDriverService(SERVICE_NAMES[i]);
        Sleep(SERVICE_PAUSE_MS);
    }
    return restarted;
}

// Puts back what the record holds; the backup folder goes only when all of
// it came back.
int Restore(const char* record) {
    ServiceConfig recorded[SERVICE_COUNT] = {};
    bool listed = false;
    int servicesRead = RecordedServices(record, recorded, &listed);
    int restored = servicesRead && (!listed || RestoreServices(recorded));
    restored &= RestoreKeys(record);
    restored &= RestoreFiles(record);
    if (servicesRead && ServicesManaged(setupState.osFamily)) restored &= RestartServices(recorded);
    char folder[MAX_PATH];
    DriverPath(folder, sizeof folder, BACKUP_FOLDER);
    if (restored) {
        LogLine("The earlier installation is restored");
        RemoveRecord();
    } else {
        LogLine("The earlier installation is not restored whole; what is missing stays in %s", folder);
    }
    return restored;
}

// After an update that stands: the copies of the files it replaced go, then the record.
int ClearBackup(const char* record) {
    int cleared = 1;
    Fields line;
    for (const char* cursor = record; NextLine(&cursor, &line);) {
        char relative[MAX_PATH];
        char backup[MAX_PATH];
        std::size_t count = 0;
        if (!line.Word("moved") || !line.Hex(relative, sizeof relative, &count) || !BackupPath(relative, backup)) {
            continue;
        }
        if (!DeleteFileA(backup) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            LogLine("%s cannot be deleted (error %lu)", backup, LastError());
            cleared = 0;
        }
    }
    if (cleared) RemoveRecord();
    return cleared;
}

// folderMade: the backup folder may have been made, and goes again.
int RefuseRecord(const char* reason, bool folderMade) {
    LogLine("The installation cannot be recorded to be undone (%s, error %lu); nothing was changed", reason,
            LastError());
    if (recordFile != INVALID_HANDLE_VALUE) CloseHandle(recordFile);
    recordFile = INVALID_HANDLE_VALUE;
    if (folderMade) RemoveRecord();
    return 0;
}

}  // namespace

int BeginRollback() {
    notedCount = 0;
    recordFile = INVALID_HANDLE_VALUE;
    Text record = StartText(recordText, sizeof recordText);
    int existing = 0;
    int present = 0;
    int managed = ServicesManaged(setupState.osFamily);
    for (int i = 0; managed && i < SERVICE_COUNT; ++i) {
        if (!DescribeService(&record, SERVICE_NAMES[i], &present)) return RefuseRecord("services", false);
        existing |= present;
    }
    KeyPlace places[6];
    if (!ProductPlaces(places)) return RefuseRecord("product key", false);
    for (int i = 0; i < 6; ++i) {
        if (!DescribeKey(&record, places[i].root, places[i].path, &present)) return RefuseRecord("product key", false);
        if (i < 3) existing |= present;
    }
    for (int i = 0; managed && i < SERVICE_COUNT; ++i) {
        char path[MAX_PATH];
        FormatText(path, sizeof path, "%s\\%s\\Parameters", SERVICES_KEY, SERVICE_NAMES[i]);
        if (!DescribeKey(&record, ROOT_MACHINE, path, &present)) return RefuseRecord("parameters", false);
    }
    // A first installation has nothing to put back.
    if (!existing && !InstalledFilesThere()) return 1;
    record.Add("recorded\r\n");
    if (!record.fits) return RefuseRecord("too large", false);

    char path[MAX_PATH];
    DriverPath(path, sizeof path, nullptr);
    CreateDirectoryA(path, nullptr);
    const char* const folders[] = {BACKUP_FOLDER, BACKUP_SUBFOLDER};
    for (const char* folder : folders) {
        if (!DriverPath(path, sizeof path, folder) ||
            (!CreateDirectoryA(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
            return RefuseRecord(path, true);
        }
    }
    if (!DriverPath(path, sizeof path, RECORD_FILE)) return RefuseRecord(path, true);
    recordFile = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (recordFile == INVALID_HANDLE_VALUE || !AppendRecord(record.buffer, record.length)) {
        return RefuseRecord(path, true);
    }
    beforeReplacingFile = SetAsideFile;
    LogLine("Earlier installation recorded in %s", path);
    return 1;
}

int SetAsideFile(const char* path) {
    if (recordFile == INVALID_HANDLE_VALUE) return 1;
    char relative[MAX_PATH];
    if (!RelativeName(path, relative)) return 0;
    for (int i = 0; i < notedCount; ++i) {
        if (SameName(notedFiles[i], std::strlen(notedFiles[i]), relative)) return 1;
    }
    char backup[MAX_PATH];
    if (notedCount == MAX_SET_ASIDE || !BackupPath(relative, backup)) return 0;
    DWORD attributes = GetFileAttributesA(path);
    bool present = attributes != INVALID_FILE_ATTRIBUTES;
    // A write-protected file is not replaced, as without an update record.
    if (present && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return 0;
    // Written before the move: a record that names a file not moved yet
    // finds it in its place.
    char line[LINE_SIZE];
    Text text = StartText(line, sizeof line);
    text.Add(present ? "moved" : "new");
    text.AddText(relative);
    text.Add("\r\n");
    if (!text.fits || !AppendRecord(text.buffer, text.length)) return 0;
    if (present && !MoveFileExA(path, backup, MOVEFILE_WRITE_THROUGH)) {
        LogLine("%s cannot be set aside (error %lu)", path, LastError());
        return 0;
    }
    CopyText(notedFiles[notedCount++], MAX_PATH, relative);
    return 1;
}

int EndRollback(int installed) {
    if (recordFile == INVALID_HANDLE_VALUE) return installed;
    beforeReplacingFile = nullptr;
    notedCount = 0;
    // The update stands once this line is written; from then on nothing is put back.
    static const char COMMIT[] = "commit\r\n";
    // Written, it counts (a later run reads it), whether or not the flush goes through.
    DWORD written = 0;
    bool committed = installed && WriteFile(recordFile, COMMIT, sizeof COMMIT - 1, &written, nullptr) &&
                     written == sizeof COMMIT - 1;
    if (committed) FlushFileBuffers(recordFile);
    CloseHandle(recordFile);
    recordFile = INVALID_HANDLE_VALUE;
    if (!ReadRecordFile()) {
        if (!committed) LogLine("The earlier installation cannot be restored now; it stays in the backup folder");
        return committed ? 1 : 0;
    }
    if (committed) {
        ClearBackup(recordRead);
        return 1;
    }
    LogLine("The installation did not finish: the earlier installation is put back");
    Restore(recordRead);
    return 0;
}

LeftBackup RestoreLeftBackup() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    if (!setupState.windowsDirectory[0] || !DriverPath(folder, sizeof folder, BACKUP_FOLDER) ||
        !DriverPath(path, sizeof path, RECORD_FILE) || GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) {
        return LEFT_BACKUP_NONE;
    }
    if (!FileThere(path)) {
        RemoveBackupFolders();
        return LEFT_BACKUP_NONE;
    }
    LogLine("An earlier run left %s", folder);
    if (!ReadRecordFile()) return LEFT_BACKUP_FAILED;
    int done = 1;
    if (HasLine(recordRead, "commit")) {
        done = ClearBackup(recordRead);
    } else if (HasLine(recordRead, "recorded")) {
        done = Restore(recordRead);
    } else {
        // Its installation stopped before changing anything.
        RemoveRecord();
    }
    return done ? LEFT_BACKUP_RESTORED : LEFT_BACKUP_FAILED;
}

int BackupLeft() {
    char folder[MAX_PATH];
    return setupState.windowsDirectory[0] && DriverPath(folder, sizeof folder, BACKUP_FOLDER) &&
                   GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES
               ? 1
               : 0;
}
