// What the manifest and copy tests share: a distribution folder and a
// Windows folder in the scratch directory, an owner window with the
// progress bar (1022) and status line (1023), and on the stand-in the
// progress value seen at every redraw of the bar.
#ifndef TESTS_SUPPORT_INSTALL_FIXTURE_H
#define TESTS_SUPPORT_INSTALL_FIXTURE_H

#include <windows.h>

#include <string>
#include <vector>

#include "support/files.h"

struct ListedEntry {
    std::string name;
    std::uint32_t flags;
    std::uint32_t expandedSize;
    bool operator==(const ListedEntry& other) const {
        return name == other.name && flags == other.flags && expandedSize == other.expandedSize;
    }
};

// The program never frees its list; tests do, before reading it again.
void FreeManifestEntries();

class InstallTest : public ScratchTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Dist(const std::string& name) const { return Dir() / ("dist\\" + name); }
    std::string Win(const std::string& name) const { return Dir() / ("WINDOWS\\" + name); }
    void WriteList(const std::string& text) const;
    // The manifest as read, in order.
    static std::vector<ListedEntry> Entries();
    static void FreeManifest() { FreeManifestEntries(); }

    HWND Owner() const { return owner_; }
    std::string Status() const;
    // Progress at each redraw request of control 1022 (stand-in only).
    std::vector<int> progressAtRedraws;

private:
    HWND owner_ = nullptr;
};

#endif
