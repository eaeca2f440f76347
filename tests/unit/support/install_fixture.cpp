#include "support/install_fixture.h"

#include "core/format.h"
#include "core/setup_state.h"

void InstallTest::SetUp() {
    ScratchTest::SetUp();
    MakeDirectory(Dir() / "dist");
    MakeDirectory(Dir() / "WINDOWS");
    CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, (Dir() / "dist").c_str());
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, (Dir() / "WINDOWS").c_str());
    CopyText(setupState.productName, sizeof setupState.productName, "Loxbrine");
    CopyText(setupState.caption, sizeof setupState.caption, "Quorindel Loxbrine");
    owner_.reset(new TestWindow("SetupInstallTest", "Installing"));
    owner_->AddControl(1022);
    owner_->AddControl(1023);
#if ON_STAND_IN
    HWND bar = GetDlgItem(Owner(), 1022);
    hostwin::SetRedrawHandler([this, bar](HWND window, BOOL erase) {
        EXPECT_FALSE(erase);
        if (window == bar) progressAtRedraws.push_back(setupState.progress);
    });
#endif
}

void InstallTest::TearDown() {
#if ON_STAND_IN
    hostwin::SetRedrawHandler(nullptr);
#endif
    FreeManifest();
    owner_.reset();
    ScratchTest::TearDown();
}

void FreeManifestEntries() {
    for (ManifestEntry* entry = setupState.manifest; entry;) {
        ManifestEntry* next = entry->next;
        LocalFree(entry);
        entry = next;
    }
    setupState.manifest = nullptr;
}

void InstallTest::WriteList(const std::string& text) const { PutFile(Dist("Files.ini"), text); }

std::vector<ListedEntry> InstallTest::Entries() {
    std::vector<ListedEntry> entries;
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        entries.push_back({entry->name, entry->flags, entry->expandedSize});
    }
    return entries;
}
