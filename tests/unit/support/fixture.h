// What the unit tests share: a fresh machine and setup state per test (the
// stand-in's, or the real platform's under Wine), a scratch directory, whole
// files written and read through the Win32 API, the test files made at build
// time, and for the copy and installation tests a distribution folder, a
// Windows folder and an owner window with the progress bar (1022) and the
// status line (1023).
#ifndef TESTS_SUPPORT_FIXTURE_H
#define TESTS_SUPPORT_FIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#ifdef _WIN32
#define ON_STAND_IN 0
// The test sets up or inspects the simulated machine; the real platform has no such controls.
#define REQUIRE_STAND_IN() GTEST_SKIP() << "needs the stand-in machine's controls"
#else
#define ON_STAND_IN 1
#include <hostwin/machine.h>
#define REQUIRE_STAND_IN() static_cast<void>(0)
#endif

// Fresh stand-in machine (when there is one and freshMachine is set) and a
// fresh SetupState whose instance is this program, so that LoadText finds the
// string table.
void ResetAll(bool freshMachine = true);

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
};

// Creates or replaces the file with exactly these bytes.
bool PutFile(const std::string& path, const std::string& bytes);
std::string FileText(const std::string& path);  // empty when it cannot be read
bool FileExists(const std::string& path);
bool MakeDirectory(const std::string& path);
// A test file made at build time (see tests/fixtures); fails the test when it is missing.
std::string Fixture(const std::string& name);
// The program never frees its list; tests do, before reading it again.
void FreeManifestEntries();

// A scratch directory, made after the machine is fresh: a folder on the
// stand-in's fresh disk, or a new temporary folder under Windows (Wine; the
// test session's prefix is thrown away with it).
class ScratchTest : public SetupTest {
protected:
    void SetUp() override;
    std::string Dir(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

class InstallTest : public ScratchTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Dist(const std::string& name) const { return Dir("dist\\" + name); }
    std::string Win(const std::string& name) const { return Dir("WINDOWS\\" + name); }
    void WriteList(const std::string& text) const { PutFile(Dist("Files.ini"), text); }
    static std::vector<std::string> EntryNames();  // the manifest as read, in order
    HWND Owner() const { return owner_; }
    std::string Status() const;

private:
    HWND owner_ = nullptr;
};

#endif
