// Stand-in controls for the file system: files mapped into a host directory, sharing, injected faults.
// Included by hostwin/machine.h.
//
// The simulated disks live in a host directory that Reset makes anew: drive
// C: holding C:\WINDOWS and C:\SETUP. Windows paths map onto it with their
// own rules: drive letters, UNC names (\\server\share\...), '\' and '/',
// "." and "..", trailing dots and blanks dropped from the last name, names
// compared without regard to case (ASCII and Latin-1 letters) but stored as
// first written. Attributes, sharing and faults are kept by the stand-in.
//
// Known simplifications: a file deleted while still open disappears from its
// directory at once (Windows keeps the name until the last handle closes);
// no streams, no device names, no short names.
#ifndef HOSTWIN_FILES_H
#define HOSTWIN_FILES_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <hostwin/machine.h>

namespace hostwin {

// The host directory behind the simulated disks.
std::string HostRoot();
// The host path of a Windows path: existing parts found regardless of case,
// the rest appended as written. Empty when the path is not valid or its
// drive or share does not exist.
std::string HostPath(const char* windowsPath);

// Machine set-up (not an API call): every missing directory of a path, its
// drive or share included.
bool MakeDirectories(const char* windowsPath);

// Every CreateDirectoryA call, in order, with its result.
const std::vector<DirectoryChange>& DirectoryCreations();
// Files the program has open through kernel handles.
int OpenFileCount();

// ---- injected faults (all end with Reset) ------------------------------------------
// Only this many more bytes fit on the disks: a write that would grow the
// files beyond it fails whole with ERROR_DISK_FULL. Deleting or truncating
// files gives their space back.
void SetDiskFullAfter(std::uint64_t bytes);
// A read of the file that would reach the byte at offset fails whole with
// ERROR_CRC (bytes before it are read as usual by the reads before).
void FailReadAt(const char* path, std::uint64_t offset);
// A write that would reach the byte at offset fails whole with
// ERROR_WRITE_FAULT.
void FailWriteAt(const char* path, std::uint64_t offset);
// A write that would reach the byte at offset writes only the bytes before
// it and still reports success with that shorter count.
void ShortWriteAt(const char* path, std::uint64_t offset);
// FlushFileBuffers on the file fails with ERROR_WRITE_FAULT.
void FailFlush(const char* path);
// MoveFileExA from or onto the path fails with ERROR_ACCESS_DENIED.
void FailMove(const char* path);
// Another program opens the existing file for reading and writing, sharing
// nothing, and keeps it open until ReleaseHeld or Reset. False when the file
// is missing or already open.
bool HoldOpen(const char* path);
void ReleaseHeld(const char* path);

}  // namespace hostwin

#endif
