// What the fuzz targets share: their headers, checks that abort with a
// message (libFuzzer keeps the input), the stand-in machine with the setup
// state of an input (distribution in C:\SETUP, Windows in C:\WINDOWS), whole
// files on its disks, and a snapshot of the disks and of what is held.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/setup_state.h"

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : (std::fputs(__FILE__ ": property violated: " #condition "\n", stderr), std::abort()))

namespace fuzz {

// hostwin::Reset() first, once, from LLVMFuzzerInitialize.
inline void ResetState() {
    ResetSetupState();
    setupState.instance = GetModuleHandleA(nullptr);
    CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, "C:\\SETUP");
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, "C:\\WINDOWS");
    hostwin::ClearMessageBoxes();
}

inline void PutFile(const std::string& windowsPath, const std::string& bytes) {
    std::ofstream out(hostwin::HostPath(windowsPath.c_str()), std::ios::binary | std::ios::trunc);
    FUZZ_CHECK(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

inline std::string Bytes(const std::string& hostPath) {  // "" when missing
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::size_t Occurrences(const std::string& text, const std::string& pattern) {  // without overlaps
    std::size_t count = 0, at = 0;
    for (; !pattern.empty() && (at = text.find(pattern, at)) != std::string::npos; ++count) at += pattern.size();
    return count;
}

// What an operation must leave as it was: the disks' directories and files
// with their bytes, and the numbers of open handles, LZ files and local blocks.
inline std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> image;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(hostwin::HostRoot()))
        image[entry.path().string()] = entry.is_directory() ? "" : Bytes(entry.path());
    image["held"] = std::to_string(hostwin::OpenHandleCount()) + " " + std::to_string(hostwin::OpenLzFileCount()) +
                    " " + std::to_string(hostwin::LiveLocalAllocations());
    return image;
}

}  // namespace fuzz
