// Guards that close a file handle, an LZ expander handle or a registry key,
// or free a memory block, on every path out of the operation that opened it.
#ifndef SETUP_CORE_FILE_GUARDS_H
#define SETUP_CORE_FILE_GUARDS_H

#include <windows.h>
#include <lzexpand.h>

class FileGuard {
public:
    explicit FileGuard(HANDLE file = INVALID_HANDLE_VALUE) : file_(file) {}
    ~FileGuard() { Close(); }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;

    HANDLE Get() const { return file_; }
    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE file) {
        Close();
        file_ = file;
    }
    // False when closing failed: data written through it may be lost.
    bool Close() {
        bool closed = !IsOpen() || CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE file_;
};

// The expander's opening calls give a negative value when they fail.
class LzFileGuard {
public:
    explicit LzFileGuard(INT file = -1) : file_(file) {}
    ~LzFileGuard() { Close(); }
    LzFileGuard(const LzFileGuard&) = delete;
    LzFileGuard& operator=(const LzFileGuard&) = delete;

    INT Get() const { return file_; }
    bool IsOpen() const { return file_ >= 0; }
    void Reset(INT file) {
        Close();
        file_ = file;
    }
    void Close() {
        if (IsOpen()) LZClose(file_);
        file_ = -1;
    }

private:
    INT file_;
};

// The key opened or created into Receive().
class KeyGuard {
public:
    KeyGuard() : key_(nullptr) {}
    ~KeyGuard() {
        if (key_) RegCloseKey(key_);
    }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
    PHKEY Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

// A zero-filled block of memory of the size asked for (Get() is null when
// there was no memory), freed on every path out.
class LocalBlock {
public:
    explicit LocalBlock(SIZE_T size) : block_(LocalAlloc(LPTR, size)) {}
    ~LocalBlock() {
        if (block_) LocalFree(block_);
    }
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;
    char* Get() const { return static_cast<char*>(block_); }

private:
    HLOCAL block_;
};

#endif
