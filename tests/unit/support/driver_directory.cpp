#include "support/driver_directory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "core/format.h"
#include "core/setup_state.h"
#include "driver/config_file.h"
#include "support/files.h"

namespace {

const char* const KNOWN_FILES[] = {"bfax\\faxinit.cfg", "bfax\\faxinit.cfg.new", "bfax\\morvik\\btcall.cfg",
                                   "bfax\\morvik\\btcall.cfg.new"};

}  // namespace

DriverDirectory::DriverDirectory(const std::string& windowsDirectory) : root_(windowsDirectory) {
    for (const std::string& directory : {root_, Path("bfax"), Path("bfax\\morvik")}) {
        if (MakeDirectory(directory)) created_.push_back(directory);
    }
    EXPECT_TRUE(DirectoryExists(Path("bfax\\morvik"))) << root_;
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, root_.c_str());
}

DriverDirectory::~DriverDirectory() {
    for (const char* file : KNOWN_FILES) DeleteFileA(Path(file).c_str());
    std::reverse(created_.begin(), created_.end());
    for (const std::string& directory : created_) RemoveDirectoryA(directory.c_str());
}

std::string DriverDirectory::Path(const std::string& relative) const { return root_ + "\\" + relative; }

void DriverDirectory::Write(const std::string& relative, const std::string& content) {
    EXPECT_TRUE(PutFile(Path(relative), content)) << relative;
}

std::string DriverDirectory::Read(const std::string& relative) const {
    std::string content;
    return GetFile(Path(relative), &content) ? content : "<missing>";
}

bool DriverDirectory::Exists(const std::string& relative) const { return FileExists(Path(relative)); }

bool DriverDirectory::TemporaryLeft(const std::string& relative) const {
    char temporary[MAX_PATH];
    TemporaryFileName(Path(relative).c_str(), temporary, sizeof temporary);
    return FileExists(temporary);
}
