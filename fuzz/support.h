// What the fuzz targets share: checks that abort with a message (libFuzzer
// keeps the input), the stand-in machine with the setup state of an input
// (distribution in C:\SETUP, Windows in C:\WINDOWS), whole files on its
// disks, and a watch that fails unless the disks are as they were (but the
// file named) and nothing more is held.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <map>
#include <string>

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : fuzz::Fail(__FILE__, __LINE__, #condition))

namespace fuzz {

[[noreturn]] void Fail(const char* file, int line, const char* condition);
void ResetState();  // hostwin::Reset() first, once, from LLVMFuzzerInitialize
void PutFile(const std::string& windowsPath, const std::string& bytes);
std::string FileText(const std::string& windowsPath);  // "" when missing
std::size_t Occurrences(const std::string& text, const std::string& pattern);  // without overlaps

class Watch {
public:
    Watch();
    void Check(const std::string& changedWindowsPath = std::string()) const;

private:
    std::map<std::string, std::string> disk_;
    int handles_, lzFiles_, localBlocks_;
};

}  // namespace fuzz

#endif
