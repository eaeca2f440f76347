#include "support/files.h"

#include <cstdio>

#include "support/platform.h"

namespace {

#ifdef _WIN32
void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}
#endif

}  // namespace

ScratchDirectory::ScratchDirectory() {
#ifdef _WIN32
    static int made = 0;
    char temp[MAX_PATH] = {0};
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "setuptest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
#else
    // Every test starts on a fresh disk.
    path_ = "C:\\TEST";
    hostwin::MakeDirectories(path_.c_str());
#endif
}

ScratchDirectory::~ScratchDirectory() {
#ifdef _WIN32
    RemoveTree(path_);
#endif
}

bool PutFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool GetFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char chunk[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0) bytes->append(chunk, got);
    CloseHandle(file);
    return ok;
}

std::string FileText(const std::string& path) {
    std::string bytes;
    GetFile(path, &bytes);
    return bytes;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

std::string Fixture(const std::string& name) {
    std::string path = std::string(SETUP_FIXTURE_DIR) + "/" + name;
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
        std::fclose(file);
    } else {
        ADD_FAILURE() << "missing test file " << path;
    }
    return bytes;
}

