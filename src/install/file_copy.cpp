#include "install/file_copy.h"

#include <lzexpand.h>

#include <cstdint>
#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/messages.h"
#include "core/names.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "driver/config_file.h"
#include "install/progress.h"
#include "resource.h"

namespace {

const DWORD COPY_BUFFER_SIZE = 0x8000;

// DOS device names, which Windows opens as devices in any directory and
// with any extension; it takes the superscript digits 1, 2 and 3 of code
// page 1252 for port numbers too. Blanks before the extension do not count,
// however many there are.
bool IsDeviceName(const char* name) {
    char stem[8];
    std::size_t length = std::strcspn(name, ".");
    while (length > 0 && name[length - 1] == ' ') --length;
    if (length >= sizeof stem) return false;
    for (std::size_t i = 0; i < length; ++i) {
        char c = name[i];
        stem[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    stem[length] = '\0';
    static const char* const fixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : fixed) {
        if (std::strcmp(stem, device) == 0) return true;
    }
    if (length != 4 || (std::strncmp(stem, "COM", 3) != 0 && std::strncmp(stem, "LPT", 3) != 0)) return false;
    unsigned char port = static_cast<unsigned char>(stem[3]);
    return (port >= '1' && port <= '9') || port == 0xB9 || port == 0xB2 || port == 0xB3;
}

// Every missing directory on the way to path, from the top down; results
// do not matter (an existing directory, or a bare drive, simply fails).
void CreateDirectoriesOf(const char* path) {
    char prefix[FILE_PATH_SIZE];
    std::size_t length = std::strlen(path);
    for (std::size_t i = 1; i < length && i < sizeof prefix; ++i) {
        if (path[i] != '\\' || path[i - 1] == '\\') continue;
        std::memcpy(prefix, path, i);
        prefix[i] = '\0';
        CreateDirectoryA(prefix, nullptr);
    }
}

bool DestinationExists(const char* destination) {
    FileGuard probe(CreateFileA(destination, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.IsOpen();
}

// Opens a distribution file for reading through the expander, as LZOpenFileA
// would but with paths up to MAX_PATH: a compressed file expands, any other
// comes through as stored. A handle for LZSeek, LZRead and LZClose, or a
// value below 0.
INT OpenThroughExpander(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LZERROR_BADINHANDLE;
    // LZ32 takes kernel handles as 32-bit numbers, as OpenFile hands them out.
    INT handle = static_cast<INT>(reinterpret_cast<ULONG_PTR>(file));
    INT expander = LZInit(handle);
    // Another compression mode comes through as stored, as from LZOpenFileA.
    if (expander == LZERROR_UNKNOWNALG) return handle;
    if (expander < 0) CloseHandle(file);
    return expander;
}

enum CopyOutcome { COPY_COMPLETE, COPY_SOURCE_FAILED, COPY_WRITE_FAILED, COPY_ABORTED };

CopyOutcome CopyData(DistributionFile* source, HANDLE destination, char* buffer, HWND owner, std::uint32_t* bytesDone) {
    std::uint64_t copied = 0;
    while (DWORD got = source->Read(buffer, COPY_BUFFER_SIZE)) {
        // The user abandoned the installation: stop between two chunks.
        if (setupState.abortRequested) return COPY_ABORTED;
        DWORD written = 0;
        if (!WriteFile(destination, buffer, got, &written, nullptr) || written != got) return COPY_WRITE_FAILED;
        copied += got;
        *bytesDone += got;
        if (setupState.totalBytes != 0) ShowProgress(owner, ProgressPermille(*bytesDone, setupState.totalBytes));
    }
    return source->Complete(copied) ? COPY_COMPLETE : COPY_SOURCE_FAILED;
}

// How far an installed copy can be replaced.
enum Destination { DESTINATION_MISSING, DESTINATION_REPLACEABLE, DESTINATION_LOCKED };

Destination ProbeDestination(const char* destination) {
    FileGuard probe(CreateFileA(destination, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (probe.IsOpen()) return DESTINATION_REPLACEABLE;
    // In use by another program, or write-protected.
    return DestinationExists(destination) ? DESTINATION_LOCKED : DESTINATION_MISSING;
}

// The missing-file question; false when the user answers No.
bool AskToContinue(HWND owner, const char* path) {
    // An abandoned installation asks nothing more: its dialog is gone.
    if (setupState.abortRequested) return false;
    char text[3 * FILE_PATH_SIZE];
    FormatText(text, sizeof text, LoadText(IDS_CANNOT_OPEN_FILE), path, setupState.productName);
    return ShowMessage(owner, text, MB_ICONERROR | MB_YESNO | MB_SETFOREGROUND,
                       setupState.silentSkipMissingFiles ? IDYES : IDNO) != IDNO;
}

}  // namespace

int IsSafeDestinationName(const char* name) {
    if (!name) return 0;
    const char* base = DestinationNameOf(name);
    if (std::strchr(base, ':')) return 0;
    if (base[std::strspn(base, ". ")] == '\0') return 0;
    return IsDeviceName(base) ? 0 : 1;
}

int BuildFilePaths(const ManifestEntry* entry, char* compressedSource, char* plainSource, char* destination,
                   int createDirectories) {
    if (!entry || !compressedSource || !plainSource || !destination) return 0;
    const char* name = DestinationNameOf(entry->name);
    char directory[FILE_PATH_SIZE];
    // The running program lies wherever it was started, and is never packed.
    const bool program = (entry->flags & ENTRY_PROGRAM) != 0;
    DWORD programLength = program ? GetModuleFileNameA(nullptr, plainSource, FILE_PATH_SIZE) : 0;
    int fits = program ? programLength > 0 && programLength < static_cast<DWORD>(FILE_PATH_SIZE)
                       : FormatText(plainSource, FILE_PATH_SIZE, "%s\\%s", setupState.setupDirectory, entry->name);
    fits &= program ? CopyText(compressedSource, FILE_PATH_SIZE, plainSource)
                    : CompressedName(plainSource, compressedSource, FILE_PATH_SIZE);
    if (entry->flags & ENTRY_SUBDIR) {
        fits &= DriverPath(directory, sizeof directory, DRIVER_SUBDIRECTORY);
    } else {
        fits &= DriverPath(directory, sizeof directory, nullptr);
    }
    fits &= FormatText(destination, FILE_PATH_SIZE, "%s\\%s", directory, name);
    // Paths cut short, or a name that would leave the directory, are not used.
    if (!fits || !IsSafeDestinationName(entry->name)) return 0;
    if (createDirectories) CreateDirectoriesOf(destination);
    return 1;
}

int CompressedName(const char* path, char* buffer, std::size_t size) {
    if (!CopyText(buffer, size, path)) return 0;
    std::size_t length = std::strlen(buffer);
    if (length >= 2) buffer[length - 1] = '_';
    return 1;
}

void CreateDriverDirectories() {
    char path[FILE_PATH_SIZE];
    DriverPath(path, sizeof path, nullptr);
    CreateDirectoryA(path, nullptr);
    DriverPath(path, sizeof path, DRIVER_SUBDIRECTORY);
    CreateDirectoryA(path, nullptr);
}

bool DistributionFile::Open(const char* compressed, const char* plain, bool reading) {
    if (!reading || std::strcmp(compressed, plain) != 0) lz_.Reset(OpenThroughExpander(compressed));
    if (lz_.IsOpen()) {
        path_ = compressed;
        LONG size = LZSeek(lz_.Get(), 0, 2);
        size_ = size < 0 ? 0 : static_cast<std::uint32_t>(size);
        if (reading) LZSeek(lz_.Get(), 0, 0);
        return true;
    }
    file_.Reset(CreateFileA(plain, reading ? GENERIC_READ : 0, FILE_SHARE_READ | (reading ? 0 : FILE_SHARE_WRITE),
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.IsOpen()) return false;
    path_ = plain;
    size_ = GetFileSize(file_.Get(), nullptr);
    // A size that cannot be read counts as none: the file is only measured.
    if (!reading && size_ == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) size_ = 0;
    return true;
}

// The expander reports its end (and a damaged file) with a value below 0 on
// Windows.
DWORD DistributionFile::Read(char* buffer, DWORD size) {
    if (lz_.IsOpen()) {
        INT got = LZRead(lz_.Get(), buffer, static_cast<INT>(size));
        return got > 0 ? static_cast<DWORD>(got) : 0;
    }
    DWORD got = 0;
    if (!ReadFile(file_.Get(), buffer, size, &got, nullptr)) {
        failed_ = true;
        return 0;
    }
    return got;
}

int CopyManifestFiles(HWND owner) {
    char buffer[COPY_BUFFER_SIZE];  // the one copy buffer for every file
    std::uint32_t bytesDone = 0;
    int attempted = 0;
    bool stopped = false;
    for (const ManifestEntry* entry = setupState.manifest; entry && !stopped; entry = entry->next) {
        if (setupState.abortRequested) {
            stopped = true;
            break;
        }
        char compressed[FILE_PATH_SIZE];
        char plain[FILE_PATH_SIZE];
        char destination[FILE_PATH_SIZE];
        char partial[FILE_PATH_SIZE];
        if (!BuildFilePaths(entry, compressed, plain, destination, 1) ||
            !TemporaryFileName(destination, partial, sizeof partial)) {
            LogLine("Skipped %s: no usable path", entry->name);
            continue;
        }
        // What a run cut off in the middle of this file left behind.
        DeleteFileA(partial);
        // An installed file stays untouched unless the list says to replace it.
        if (!(entry->flags & ENTRY_OVERWRITE) && DestinationExists(destination)) {
            LogLine("Skipped %s: %s is installed and not to be replaced", entry->name, destination);
            bytesDone += entry->expandedSize;
            continue;
        }
        ++attempted;
        char status[2 * FILE_PATH_SIZE];
        FormatText(status, sizeof status, LoadText(IDS_INSTALLING_FILE), entry->name);
        SetControlText(owner, IDC_STATUS, status);

        DistributionFile source;
        if (!source.Open(compressed, plain, true)) {
            LogLine("Missing %s: neither %s nor %s can be opened", entry->name, compressed, plain);
            stopped = !AskToContinue(owner, compressed);
            continue;
        }
        // A copy in use or write-protected stays as it is.
        Destination present = ProbeDestination(destination);
        // An update notes the file before its new copy is begun.
        if (present != DESTINATION_LOCKED && !NoteTemporary(destination, partial)) {
            LogLine("Failed %s: the update cannot be recorded; nothing replaced", destination);
            stopped = true;
            continue;
        }
        FileGuard target;
        if (present != DESTINATION_LOCKED) target.Reset(CreateTemporaryFile(partial));
        if (!target.IsOpen()) {
            LogLine("Skipped %s: %s cannot be written (error %lu)", entry->name, destination,
                    static_cast<unsigned long>(GetLastError()));
            // A file that cannot be placed at all would leave the drivers
            // incomplete; an installed copy that cannot be replaced stays.
            if (present == DESTINATION_MISSING) stopped = true;
            bytesDone += entry->expandedSize;
            continue;
        }
        // The installed copy is replaced only by a whole new one: whatever
        // fails before the move leaves it as it was.
        CopyOutcome outcome = CopyData(&source, target.Get(), buffer, owner, &bytesDone);
        source.Close();
        Commit commit = FinishTemporaryFile(&target, partial, destination, outcome == COPY_COMPLETE);
        if (outcome == COPY_COMPLETE && commit == COMMIT_NOT_WRITTEN) outcome = COPY_WRITE_FAILED;
        if (commit == COMMIT_DONE) {
            LogLine("%s %s to %s", source.Path() == compressed ? "Expanded" : "Copied", source.Path(), destination);
            continue;
        }
        if (commit == COMMIT_NOT_MOVED) {
            // Taken by another program meanwhile: kept like one in use.
            LogLine("Skipped %s: %s cannot be replaced (error %lu)", entry->name, destination, LastError());
            if (!DestinationExists(destination)) stopped = true;
            continue;
        }
        LogLine("Failed %s: %s; nothing replaced", destination,
                outcome == COPY_WRITE_FAILED ? "cannot be written whole"
                : outcome == COPY_ABORTED    ? "installation abandoned"
                : outcome == COPY_COMPLETE   ? "the installed copy cannot be set aside"
                                             : "the source cannot be read whole");
        if (outcome != COPY_SOURCE_FAILED) {
            stopped = true;
        } else {
            stopped = !AskToContinue(owner, source.Path());
        }
    }
    ShowProgress(owner, 1000);
    return stopped ? 0 : attempted;
}
