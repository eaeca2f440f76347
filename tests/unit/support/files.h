// Files for the tests: a scratch directory per test (a folder on the
// stand-in's fresh disk, or a new temporary folder under Windows/Wine that
// is removed afterwards), whole files written and read through the Win32
// API, and the test files made at build time.
#ifndef TESTS_SUPPORT_FILES_H
#define TESTS_SUPPORT_FILES_H

#include <windows.h>

#include <memory>
#include <string>

#include "support/platform.h"

class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return path_; }
    // Path of a name inside the directory ("sub\\file.txt").
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

// A test with a scratch directory, made after the machine is fresh.
class ScratchTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        scratch_.reset(new ScratchDirectory());
    }
    void TearDown() override { scratch_.reset(); }
    const ScratchDirectory& Dir() const { return *scratch_; }

private:
    std::unique_ptr<ScratchDirectory> scratch_;
};

// Creates or replaces the file with exactly these bytes.
bool PutFile(const std::string& path, const std::string& bytes);
// The whole file, or false when it cannot be opened or read.
bool GetFile(const std::string& path, std::string* bytes);
std::string FileText(const std::string& path);  // empty when missing
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool MakeDirectory(const std::string& path);

// A test file made at build time (see tests/fixtures); fails the test when
// it is missing.
std::string Fixture(const std::string& name);

#endif
