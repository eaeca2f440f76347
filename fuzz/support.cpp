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
namespace {

std::string Bytes(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> Disk() {
    std::map<std::string, std::string> image;
    std::string root = hostwin::HostRoot();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string relative = entry.path().string().substr(root.size());
        image[entry.is_directory() ? relative + "/" : relative] = entry.is_directory() ? "" : Bytes(entry.path());
    }
    return image;
}

}  // namespace

void Fail(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, condition);
    std::abort();
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

std::string FileText(const std::string& windowsPath) { return Bytes(hostwin::HostPath(windowsPath.c_str())); }

std::size_t Occurrences(const std::string& text, const std::string& pattern) {
    std::size_t count = 0, at = 0;
    for (; !pattern.empty() && (at = text.find(pattern, at)) != std::string::npos; ++count) at += pattern.size();
    return count;
}

Watch::Watch()
    : disk_(Disk()),
      handles_(hostwin::OpenHandleCount()),
      lzFiles_(hostwin::OpenLzFileCount()),
      localBlocks_(hostwin::LiveLocalAllocations()) {}

void Watch::Check(const std::string& changedWindowsPath) const {
    FUZZ_CHECK(hostwin::OpenHandleCount() == handles_ && hostwin::OpenLzFileCount() == lzFiles_ &&
               hostwin::LiveLocalAllocations() == localBlocks_);
    auto after = Disk();
    auto before = changedWindowsPath.empty() ? disk_.end()
                                             : disk_.find(hostwin::HostPath(changedWindowsPath.c_str()).substr(
                                                   hostwin::HostRoot().size()));
    if (before != disk_.end() && after.count(before->first)) after[before->first] = before->second;
    FUZZ_CHECK(after == disk_);  // a missing file is not made either
}

}  // namespace fuzz
