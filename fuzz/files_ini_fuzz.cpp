// ReadFileManifest over an arbitrary Files.ini on the stand-in's disk, with
// a distribution that holds a plain and a compressed file and, chosen by the
// input's last byte, a short or a long distribution directory.
//
// Properties checked beyond "no crash":
// - The entries are those of a separate model of the line and field rules
//   (CR and LF end lines, the first 1023 bytes count, a NUL ends the text, a
//   last line without its end is dropped, exactly three non-empty fields),
//   in line order, with the flags of 'A' in field 2 and '1' in field 3.
// - Of the model's entries, exactly those are left out whose name does not
//   fit (256 bytes with the NUL, or 256 with the distribution directory) or
//   is not safe; every name taken is safe by an independent rule of what
//   Windows would do with it: it names a file in the driver directory, not
//   a device, not a stream, not "." or "..".
// - The result is the number of entries; 0 comes with exactly one message
//   box and non-zero with none; progress reaches 1000 with entries.
// - Listed files that exist are measured: the plain one by its size, the
//   compressed one by its header.
// - Nothing on the disk changes; no handle, expander slot or memory block is
//   held beyond the entries themselves.
#include <fuzzer/FuzzedDataProvider.h>
#include <hostwin/machine.h>

#include <cstdint>
#include <cstdio>
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

struct Entry {
    std::string name;
    std::uint32_t flags;
};

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// What Windows makes of the last part of the name when it opens it in the
// driver directory: trailing dots and blanks go; an empty rest would mean
// the directory or its parent; a ':' a stream or a drive; a DOS device name
// (with any extension, blanks before the extension ignored, and the
// superscript digits that count as 1, 2, 3) the device itself.
bool LandsInDriverDirectory(const std::string& name) {
    std::size_t cut = name.find_last_of("\\/");
    std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    while (!base.empty() && (base.back() == '.' || base.back() == ' ')) base.pop_back();
    if (base.empty() || base.find(':') != std::string::npos) return false;
    std::string stem = Upper(base.substr(0, base.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (stem == device) return false;
    }
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
        unsigned char digit = static_cast<unsigned char>(stem[3]);
        if ((digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) return false;
    }
    return true;
}

// The line and field rules, written from their description.
std::vector<Entry> Model(const std::string& file, std::size_t directoryLength) {
    std::vector<Entry> entries;
    std::string line;
    for (char c : file) {
        if (c != '\r' && c != '\n') {
            if (line.size() < 1023) line += c;
            continue;
        }
        std::string text = line.substr(0, line.find('\0'));
        line.clear();
        std::vector<std::string> fields;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t comma = text.find(',', start);
            if (comma == std::string::npos) comma = text.size();
            if (comma > start) fields.push_back(text.substr(start, comma - start));
            start = comma + 1;
        }
        if (fields.size() != 3) continue;
        const std::string& name = fields[0];
        if (name.size() > 255 || directoryLength + 1 + name.size() > 255) continue;
        std::uint32_t flags = 0;
        if (fields[1].find('A') != std::string::npos) flags |= ENTRY_SUBDIR;
        if (fields[2].find('1') != std::string::npos) flags |= ENTRY_OVERWRITE;
        entries.push_back({name, flags});
    }
    return entries;
}

void FreeManifest() {
    while (ManifestEntry* entry = setupState.manifest) {
        setupState.manifest = entry->next;
        LocalFree(entry);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartMachine();
    hostwin::MakeDirectories(LONG_DIRECTORY.c_str());
    for (const std::string& directory : {std::string(fuzz::SETUP_DIRECTORY), LONG_DIRECTORY}) {
        fuzz::PutFile(directory + "\\bfax.sys", std::string(PLAIN_SIZE, 'p'));
        // Measured from its header alone: the data may be anything.
        std::string header("SZDD\x88\xF0\x27\x33" "A" "e", 10);
        for (int i = 0; i < 4; ++i) header += static_cast<char>((COMPRESSED_SIZE >> (8 * i)) & 0xFF);
        fuzz::PutFile(directory + "\\runfaxin.ex_", header + "\xFF" "data");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 300000) return -1;
    FuzzedDataProvider input(data, size);
    bool longDirectory = input.ConsumeIntegralInRange(0, 3) == 0;
    std::string file = input.ConsumeRemainingBytesAsString();

    fuzz::ResetState();
    std::string directory = longDirectory ? LONG_DIRECTORY : std::string(fuzz::SETUP_DIRECTORY);
    std::strcpy(setupState.setupDirectory, directory.c_str());
    fuzz::PutFile(directory + "\\Files.ini", file);
    fuzz::DiskImage disk = fuzz::Disk();
    fuzz::Holdings before = fuzz::Hold();

    int count = ReadFileManifest(nullptr);

    std::vector<Entry> modelled = Model(file, directory.size());
    std::vector<Entry> expected;
    for (const Entry& entry : modelled) {
        if (IsSafeDestinationName(entry.name.c_str())) expected.push_back(entry);
    }
    FUZZ_CHECK(count == static_cast<int>(expected.size()));
    std::size_t i = 0;
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next, ++i) {
        FUZZ_CHECK(i < expected.size());
        FUZZ_CHECK(std::memchr(entry->name, '\0', sizeof entry->name) != nullptr);
        FUZZ_CHECK(entry->name == expected[i].name);
        FUZZ_CHECK(entry->flags == expected[i].flags);
        if (!LandsInDriverDirectory(entry->name)) std::fprintf(stderr, "entry: \"%s\"\n", entry->name);
        FUZZ_CHECK(LandsInDriverDirectory(entry->name));
        std::string name = entry->name;
        if (name == "bfax.sys") FUZZ_CHECK(entry->expandedSize == PLAIN_SIZE);
        // The expander opens only paths that fit the 128 bytes of OFSTRUCT.
        bool opens = directory.size() + 1 + name.size() < 128;
        if ((name == "runfaxin.exe" || name == "runfaxin.ex_") && opens) {
            FUZZ_CHECK(entry->expandedSize == COMPRESSED_SIZE);
        }
    }
    FUZZ_CHECK(i == expected.size());

    fuzz::Holdings after = fuzz::Hold();
    FUZZ_CHECK(after.messageBoxes - before.messageBoxes == (count == 0 ? 1 : 0));
    if (count > 0) FUZZ_CHECK(setupState.progress == 1000);
    FreeManifest();
    fuzz::CheckNothingHeld(before);
    FUZZ_CHECK(fuzz::Disk() == disk);
    return 0;
}
