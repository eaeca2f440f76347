#include "support.h"

#include <hostwin/machine.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/format.h"
#include "core/setup_state.h"

namespace fuzz {

const char SETUP_DIRECTORY[] = "C:\\SETUP";
const char WINDOWS_DIRECTORY[] = "C:\\WINDOWS";

void Fail(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, condition);
    std::abort();
}

void StartMachine() {
    hostwin::Reset();
    ResetState();
}

void ResetState() {
    ResetSetupState();
    setupState.instance = GetModuleHandleA(nullptr);
    CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, SETUP_DIRECTORY);
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, WINDOWS_DIRECTORY);
    CopyText(setupState.caption, sizeof setupState.caption, "Setup");
    hostwin::ClearMessageBoxes();
}

namespace {

// The host path of a file that may not exist yet; its directory must.
std::string HostFile(const std::string& windowsPath) {
    std::string host = hostwin::HostPath(windowsPath.c_str());
    if (host.empty()) {
        std::fprintf(stderr, "fuzz: no host path for %s\n", windowsPath.c_str());
        std::abort();
    }
    return host;
}

}  // namespace

void PutFile(const std::string& windowsPath, const std::string& bytes) {
    std::string host = HostFile(windowsPath);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", host.c_str());
        std::abort();
    }
}

bool GetFile(const std::string& windowsPath, std::string* bytes) {
    std::ifstream in(HostFile(windowsPath), std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void RemoveFile(const std::string& windowsPath) { std::remove(HostFile(windowsPath).c_str()); }

DiskImage Disk() {
    DiskImage image;
    std::string root = hostwin::HostRoot();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string relative = entry.path().string().substr(root.size());
        if (entry.is_directory()) {
            image[relative + "/"] = "";
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            image[relative].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    return image;
}

Holdings Hold() {
    return {hostwin::OpenHandleCount(), hostwin::OpenLzFileCount(), hostwin::LiveLocalAllocations(),
            static_cast<int>(hostwin::MessageBoxes().size())};
}

void CheckNothingHeld(const Holdings& before) {
    Holdings after = Hold();
    FUZZ_CHECK(after.handles == before.handles);
    FUZZ_CHECK(after.lzFiles == before.lzFiles);
    FUZZ_CHECK(after.localBlocks == before.localBlocks);
}

}  // namespace fuzz
