// What every fuzz target shares: the stand-in machine, checks that abort
// with a message (libFuzzer then keeps the input), whole files on the
// simulated disks, and the accounting that shows an operation left nothing
// behind.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <map>
#include <string>

#define FUZZ_CHECK(condition)                                          \
    do {                                                               \
        if (!(condition)) fuzz::Fail(__FILE__, __LINE__, #condition); \
    } while (0)

namespace fuzz {

[[noreturn]] void Fail(const char* file, int line, const char* condition);

// A fresh machine (costly: once, from LLVMFuzzerInitialize) and the setup
// state of each input: distribution in C:\SETUP, Windows in C:\WINDOWS.
void StartMachine();
void ResetState();

// Whole files by Windows path, written through the host directory behind the
// disks; every file on the disks by host path ("dir/" for a directory).
void PutFile(const std::string& windowsPath, const std::string& bytes);
void RemoveFile(const std::string& windowsPath);
std::map<std::string, std::string> Disk();

// Kernel handles, expander files and LocalAlloc blocks held; the check fails
// unless they are as before.
struct Holdings {
    int handles, lzFiles, localBlocks;
};
Holdings Hold();
void CheckNothingHeld(const Holdings& before);

}  // namespace fuzz

#endif
