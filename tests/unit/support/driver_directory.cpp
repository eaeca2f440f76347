#include "support/driver_directory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "core/format.h"
#include "core/setup_state.h"
#include "driver/config_file.h"

#ifndef _WIN32
#include <hostwin/machine.h>
#endif

namespace {

const char* const KNOWN_FILES[] = {"bfax\\faxinit.cfg", "bfax\\faxinit.cfg.new", "bfax\\morvik\\btcall.cfg",
                                   "bfax\\morvik\\btcall.cfg.new"};

}  // namespace

DriverDirectory::DriverDirectory(const std::string& windowsDirectory) : root_(windowsDirectory) {
    for (const std::string& directory : {root_, Path("bfax"), Path("bfax\\morvik")}) {
        if (CreateDirectoryA(directory.c_str(), nullptr)) created_.push_back(directory);
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("bfax\\morvik").c_str())) << root_;
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, root_.c_str());
}

DriverDirectory::~DriverDirectory() {
    for (const char* file : KNOWN_FILES) DeleteFileA(Path(file).c_str());
    std::reverse(created_.begin(), created_.end());
    for (const std::string& directory : created_) RemoveDirectoryA(directory.c_str());
}

std::string DriverDirectory::Path(const std::string& relative) const { return root_ + "\\" + relative; }

void DriverDirectory::Write(const std::string& relative, const std::string& content) {
    HANDLE file = CreateFileA(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << relative;
    DWORD written = 0;
    if (!content.empty()) {
        EXPECT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    }
    EXPECT_EQ(content.size(), written);
    CloseHandle(file);
}

std::string DriverDirectory::Read(const std::string& relative) const {
    HANDLE file = CreateFileA(Path(relative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!content.empty()) ReadFile(file, &content[0], static_cast<DWORD>(content.size()), &read, nullptr);
    content.resize(read);
    CloseHandle(file);
    return content;
}

bool DriverDirectory::Exists(const std::string& relative) const {
    return GetFileAttributesA(Path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

#ifndef _WIN32
std::vector<FileFault> ReplacementFaults(const std::string& path) {
    char buffer[MAX_PATH];
    TemporaryFileName(path.c_str(), buffer, sizeof buffer);
    std::string temporary = buffer;
    return {
        {"disk full", [] { hostwin::SetDiskFullAfter(0); }},
        {"write fails", [temporary] { hostwin::FailWriteAt(temporary.c_str(), 0); }},
        {"short write", [temporary] { hostwin::ShortWriteAt(temporary.c_str(), 3); }},
        {"flush fails", [temporary] { hostwin::FailFlush(temporary.c_str()); }},
        {"move fails", [path] { hostwin::FailMove(path.c_str()); }},
    };
}
#endif
