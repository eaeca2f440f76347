// What every fuzz target shares: the stand-in machine made once per process,
// checks that abort with a message (libFuzzer then keeps the input), whole
// files on the simulated disks, and the accounting that shows an operation
// left nothing behind.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#define FUZZ_CHECK(condition)                                          \
    do {                                                               \
        if (!(condition)) fuzz::Fail(__FILE__, __LINE__, #condition); \
    } while (0)

namespace fuzz {

[[noreturn]] void Fail(const char* file, int line, const char* condition);

// The directories the targets use; both exist on the fresh machine.
extern const char SETUP_DIRECTORY[];    // C:\SETUP
extern const char WINDOWS_DIRECTORY[];  // C:\WINDOWS

// A fresh stand-in machine and setup state (distribution in C:\SETUP,
// Windows in C:\WINDOWS). Costly: call it once, from LLVMFuzzerInitialize.
void StartMachine();
// Back to the initial setup state between inputs, without remaking the disks.
void ResetState();

// Whole files by Windows path, through the host directory behind the disks
// (so that the program's own file functions are not what is being checked).
void PutFile(const std::string& windowsPath, const std::string& bytes);
bool GetFile(const std::string& windowsPath, std::string* bytes);
void RemoveFile(const std::string& windowsPath);

// Every file on the simulated disks with its contents, by host path below
// the disks' root. Directories appear with a trailing '/'.
typedef std::map<std::string, std::string> DiskImage;
DiskImage Disk();

// Resources an operation may hold only while it runs.
struct Holdings {
    int handles;      // kernel handles (files, mutexes, ...)
    int lzFiles;      // compressed files open through the expander
    int localBlocks;  // LocalAlloc blocks not freed
    int messageBoxes;
};
Holdings Hold();
// Fails unless the counts (but the message boxes) are as before.
void CheckNothingHeld(const Holdings& before);

}  // namespace fuzz

#endif
