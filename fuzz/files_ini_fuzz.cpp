// ReadFileManifest over an arbitrary Files.ini, in a short or (by the input's
// last byte) a long distribution directory that holds a plain and a
// compressed file. Every name taken is a field of the file, without ',' or a
// line end, and lands in the driver directory by what Windows makes of it
// (no device, no stream, not "." or ".."); a good line added after the last
// line end of a file without NUL is one more entry, the last; 0 entries come
// with one message box, others with none and progress 1000; listed files are
// measured (the compressed one by its header); nothing on the disk changes,
// nothing is held beyond the entries.
#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "install/manifest.h"
#include "support.h"

namespace {

const std::string LONG_DIRECTORY = "C:\\SETUP\\" + std::string(200, 'd') + "\\dist";

// Trailing dots and blanks go; an empty rest, a ':' or a DOS device name
// (any extension; the superscript digits count as 1, 2, 3) is no file there.
bool LandsInDriverDirectory(const std::string& name) {
    std::string base = name.substr(name.find_last_of("\\/") + 1);
    while (!base.empty() && (base.back() == '.' || base.back() == ' ')) base.pop_back();
    std::string stem = base.substr(0, base.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    bool numbered = stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
                    std::string("123456789\xB9\xB2\xB3").find(stem[3]) != std::string::npos;
    return !base.empty() && base.find(':') == std::string::npos && !numbered &&
           std::string(" CON PRN AUX NUL CONIN$ CONOUT$ ").find(" " + stem + " ") == std::string::npos;
}

// The entries read (names and flags), freed.
std::vector<std::pair<std::string, std::uint32_t>> Read(const std::string& directory, const std::string& file) {
    fuzz::ResetState();
    std::strcpy(setupState.setupDirectory, directory.c_str());
    fuzz::PutFile(directory + "\\Files.ini", file);
    fuzz::Watch watch;
    int count = ReadFileManifest(nullptr);
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    for (ManifestEntry *entry = setupState.manifest, *next; entry; entry = next) {
        entries.push_back({entry->name, entry->flags});
        if (entries.back().first == "bfax.sys") FUZZ_CHECK(entry->expandedSize == 300);
        // The expander opens only paths that fit the 128 bytes of OFSTRUCT.
        bool packed = entries.back().first == "runfaxin.exe" || entries.back().first == "runfaxin.ex_";
        FUZZ_CHECK(!packed || directory.size() + 13 >= 128 || entry->expandedSize == 123456);
        next = entry->next;
        LocalFree(entry);
    }
    setupState.manifest = nullptr;
    FUZZ_CHECK(count == static_cast<int>(entries.size()) && (count == 0 || setupState.progress == 1000));
    FUZZ_CHECK(hostwin::MessageBoxes().size() == (count == 0 ? 1u : 0u));
    watch.Check();
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hostwin::Reset();
    hostwin::MakeDirectories(LONG_DIRECTORY.c_str());
    std::string header("SZDD\x88\xF0\x27\x33" "Ae\x40\xE2\x01\x00\xFF" "data", 19);  // 123456 bytes expanded
    for (const std::string& directory : {std::string("C:\\SETUP"), LONG_DIRECTORY}) {
        fuzz::PutFile(directory + "\\bfax.sys", std::string(300, 'p'));
        fuzz::PutFile(directory + "\\runfaxin.ex_", header);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 300000) return -1;
    FuzzedDataProvider input(data, size);
    std::string directory = input.ConsumeIntegralInRange(0, 3) == 0 ? LONG_DIRECTORY : "C:\\SETUP";
    std::string file = input.ConsumeRemainingBytesAsString();
    auto entries = Read(directory, file);
    for (const auto& entry : entries) {
        FUZZ_CHECK(!entry.first.empty() && entry.first.find_first_of(",\r\n") == std::string::npos);
        FUZZ_CHECK(file.find(entry.first) != std::string::npos && LandsInDriverDirectory(entry.first));
        FUZZ_CHECK((entry.second & ~(ENTRY_SUBDIR | ENTRY_OVERWRITE)) == 0);
    }
    if (file.find('\0') == std::string::npos && (file.empty() || file.back() == '\r' || file.back() == '\n')) {
        auto more = Read(directory, file + "added.sys,A,1\r\n");
        FUZZ_CHECK(more.size() == entries.size() + 1 && more.back().first == "added.sys" &&
                   more.back().second == (ENTRY_SUBDIR | ENTRY_OVERWRITE));
    }
    return 0;
}
