// ReadFileManifest over an arbitrary Files.ini in a distribution directory
// that holds a plain and a compressed file. Every name taken is the first
// field of a line, without ',' or a line end, and lands in the driver
// directory by what Windows makes of it (no device, no stream, not "." or
// ".."); after the last line end of a file without NUL, a good line added is
// one more entry, the last, lines of two or four fields none; 0 entries come
// with one message box, others with none and progress 1000; listed files are
// measured (the compressed one by its header); nothing on the disk changes,
// nothing is held beyond the entries.
#include <regex>

#include "install/manifest.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hostwin::Reset();
    hostwin::MakeDirectories("C:\\SETUP");
    fuzz::PutFile("C:\\SETUP\\bfax.sys", std::string(300, 'p'));
    fuzz::PutFile("C:\\SETUP\\runfaxin.ex_", std::string("SZDD\x88\xF0\x27\x33" "Ae\x40\xE2\x01\x00\xFF" "data", 19));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A DOS device name (blanks before any extension; superscript 1, 2, 3 as
    // port digits) is no file in the driver directory.
    static const std::regex device("(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|(COM|LPT)[1-9\xB9\xB2\xB3]) *(\\..*)?",
                                   std::regex::icase);
    // The entries read (names and flags), checked and freed.
    auto Read = [](const std::string& file) {
        fuzz::ResetState();
        fuzz::PutFile("C:\\SETUP\\Files.ini", file);
        auto before = fuzz::Snapshot();
        int count = ReadFileManifest(nullptr);
        std::vector<std::pair<std::string, std::uint32_t>> entries;
        for (ManifestEntry *entry = setupState.manifest, *next; entry; entry = next) {
            std::string name = entry->name, last = name.substr(name.find_last_of("\\/") + 1);
            last.erase(last.find_last_not_of(". ") + 1);  // Windows drops trailing dots and blanks
            entries.push_back({name, entry->flags});
            FUZZ_CHECK(name.find_first_of(",\r\n") == std::string::npos && file.find(name + ",") != std::string::npos &&
                       !last.empty() && last.find(':') == std::string::npos && !std::regex_match(last, device) &&
                       (entry->flags & ~(ENTRY_SUBDIR | ENTRY_OVERWRITE)) == 0);
            FUZZ_CHECK(name != "bfax.sys" || entry->expandedSize == 300);
            FUZZ_CHECK((name != "runfaxin.exe" && name != "runfaxin.ex_") || entry->expandedSize == 123456);
            next = entry->next;
            LocalFree(entry);
        }
        FUZZ_CHECK(count == static_cast<int>(entries.size()) && (count == 0 || setupState.progress == 1000));
        FUZZ_CHECK(hostwin::MessageBoxes().size() == (count == 0 ? 1u : 0u));
        FUZZ_CHECK(fuzz::Snapshot() == before);  // a missing file is not made either
        return entries;
    };
    if (size > 300000) return -1;
    std::string file(reinterpret_cast<const char*>(data), size);
    auto entries = Read(file);
    if (file.find('\0') == std::string::npos && (file.empty() || file.back() == '\r' || file.back() == '\n')) {
        auto more = Read(file + "added.sys,A,1\r\nfour.sys,A,1,x\r\ntwo.sys,A\r\n");
        FUZZ_CHECK(more.size() == entries.size() + 1 && more.back().first == "added.sys" &&
                   more.back().second == (ENTRY_SUBDIR | ENTRY_OVERWRITE));
    }
    return 0;
}
