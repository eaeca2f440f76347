// ReadFileManifest over an arbitrary Files.ini, in a short or (by the input's
// last byte) a long distribution directory that holds a plain and a
// compressed file. Checked beyond "no crash":
// - the entries, in order with their flags, are those of a model of the line
//   and field rules, less the names that do not fit or are not safe;
// - every name taken lands in the driver directory by what Windows makes of
//   it: no device, no stream, not "." or "..";
// - 0 entries come with one message box, others with none and progress 1000;
// - listed files are measured (the compressed one by its header);
// - nothing on the disk changes, nothing is held beyond the entries.
#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "install/file_copy.h"
#include "install/manifest.h"
#include "support.h"

namespace {

const std::string LONG_DIRECTORY = "C:\\SETUP\\" + std::string(200, 'd') + "\\dist";
const std::uint32_t PLAIN_SIZE = 300;
const std::uint32_t COMPRESSED_SIZE = 123456;

// Trailing dots and blanks go; an empty rest, a ':' or a DOS device name
// (any extension, and the superscript digits that count as 1, 2, 3) would
// not be a file in the driver directory.
bool LandsInDriverDirectory(const std::string& name) {
    std::string base = name.substr(name.find_last_of("\\/") + 1);
    while (!base.empty() && (base.back() == '.' || base.back() == ' ')) base.pop_back();
    if (base.empty() || base.find(':') != std::string::npos) return false;
    std::string stem = base.substr(0, base.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (stem == device) return false;
    }
    return !(stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
             std::string("123456789\xB9\xB2\xB3").find(stem[3]) != std::string::npos);
}

// CR and LF end lines, the first 1023 bytes count, a NUL ends the text, a
// last line without its end is dropped; exactly three non-empty fields; 'A'
// in field 2 and '1' in field 3 are the flags.
std::vector<std::pair<std::string, std::uint32_t>> Model(const std::string& file, std::size_t directoryLength) {
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    std::string line;
    for (char c : file) {
        if (c != '\r' && c != '\n') {
            if (line.size() < 1023) line += c;
            continue;
        }
        std::string text = line.substr(0, line.find('\0')) + ",";
        line.clear();
        std::vector<std::string> fields;
        for (std::size_t start = 0, comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
            if (comma > start) fields.push_back(text.substr(start, comma - start));
        }
        if (fields.size() != 3 || directoryLength + 1 + fields[0].size() > 255) continue;
        if (!IsSafeDestinationName(fields[0].c_str())) continue;
        entries.push_back({fields[0], (fields[1].find('A') != std::string::npos ? ENTRY_SUBDIR : 0u) |
                                          (fields[2].find('1') != std::string::npos ? ENTRY_OVERWRITE : 0u)});
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartMachine();
    hostwin::MakeDirectories(LONG_DIRECTORY.c_str());
    std::string header("SZDD\x88\xF0\x27\x33" "Ae\x40\xE2\x01\x00\xFF" "data", 19);  // 123456 bytes expanded
    for (const std::string& directory : {std::string("C:\\SETUP"), LONG_DIRECTORY}) {
        fuzz::PutFile(directory + "\\bfax.sys", std::string(PLAIN_SIZE, 'p'));
        fuzz::PutFile(directory + "\\runfaxin.ex_", header);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 300000) return -1;
    FuzzedDataProvider input(data, size);
    std::string directory = input.ConsumeIntegralInRange(0, 3) == 0 ? LONG_DIRECTORY : "C:\\SETUP";
    std::string file = input.ConsumeRemainingBytesAsString();
    fuzz::ResetState();
    std::strcpy(setupState.setupDirectory, directory.c_str());
    fuzz::PutFile(directory + "\\Files.ini", file);
    auto disk = fuzz::Disk();
    fuzz::Holdings before = fuzz::Hold();

    int count = ReadFileManifest(nullptr);

    auto expected = Model(file, directory.size());
    FUZZ_CHECK(count == static_cast<int>(expected.size()));
    std::size_t i = 0;
    for (ManifestEntry* entry = setupState.manifest; entry; ++i) {
        FUZZ_CHECK(i < expected.size() && entry->name == expected[i].first && entry->flags == expected[i].second);
        FUZZ_CHECK(LandsInDriverDirectory(entry->name));
        std::string name = entry->name;
        if (name == "bfax.sys") FUZZ_CHECK(entry->expandedSize == PLAIN_SIZE);
        // The expander opens only paths that fit the 128 bytes of OFSTRUCT.
        if ((name == "runfaxin.exe" || name == "runfaxin.ex_") && directory.size() + 1 + name.size() < 128) {
            FUZZ_CHECK(entry->expandedSize == COMPRESSED_SIZE);
        }
        ManifestEntry* next = entry->next;
        LocalFree(entry);
        entry = next;
    }
    setupState.manifest = nullptr;
    FUZZ_CHECK(hostwin::MessageBoxes().size() == (count == 0 ? 1u : 0u));
    FUZZ_CHECK(count == 0 || setupState.progress == 1000);
    fuzz::CheckNothingHeld(before);
    FUZZ_CHECK(fuzz::Disk() == disk);
    return 0;
}
