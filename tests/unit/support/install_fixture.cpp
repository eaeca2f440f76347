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
#ifdef _WIN32
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SetupInstallTest";
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    owner_ = CreateWindowExA(0, "SetupInstallTest", "Installing", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                             nullptr, windowClass.hInstance, nullptr);
    for (int id : {1022, 1023}) {
        CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 100, 20, owner_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                        windowClass.hInstance, nullptr);
    }
#else
    owner_ = hostwin::CreateWindow("SetupInstallTest", "Installing");
    for (int id : {1022, 1023}) hostwin::CreateControl(owner_, id);
#endif
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
#ifdef _WIN32
    DestroyWindow(owner_);
#else
    hostwin::DestroyWindow(owner_);
#endif
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

std::string InstallTest::Status() const {
#ifdef _WIN32
    char text[512] = {0};
    GetDlgItemTextA(owner_, 1023, text, sizeof text);
    return text;
#else
    return hostwin::ControlText(owner_, 1023);
#endif
}

void InstallTest::WriteList(const std::string& text) const { PutFile(Dist("Files.ini"), text); }

std::vector<ListedEntry> InstallTest::Entries() {
    std::vector<ListedEntry> entries;
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        entries.push_back({entry->name, entry->flags, entry->expandedSize});
    }
    return entries;
}
