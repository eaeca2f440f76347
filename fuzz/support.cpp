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
    CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, "C:\\SETUP");
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, "C:\\WINDOWS");
    CopyText(setupState.caption, sizeof setupState.caption, "Setup");
    hostwin::ClearMessageBoxes();
}

void PutFile(const std::string& windowsPath, const std::string& bytes) {
    std::ofstream out(hostwin::HostPath(windowsPath.c_str()), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Fail(__FILE__, __LINE__, windowsPath.c_str());
}

void RemoveFile(const std::string& windowsPath) { std::remove(hostwin::HostPath(windowsPath.c_str()).c_str()); }

std::map<std::string, std::string> Disk() {
    std::map<std::string, std::string> image;
    std::string root = hostwin::HostRoot();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string relative = entry.path().string().substr(root.size());
        std::ifstream in(entry.path(), std::ios::binary);
        if (entry.is_directory()) {
            image[relative + "/"] = "";
        } else {
            image[relative].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    return image;
}

Holdings Hold() { return {hostwin::OpenHandleCount(), hostwin::OpenLzFileCount(), hostwin::LiveLocalAllocations()}; }

void CheckNothingHeld(const Holdings& before) {
    Holdings after = Hold();
    FUZZ_CHECK(after.handles == before.handles);
    FUZZ_CHECK(after.lzFiles == before.lzFiles);
    FUZZ_CHECK(after.localBlocks == before.localBlocks);
}

}  // namespace fuzz
