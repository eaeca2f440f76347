#include "support/fixture.h"

#include <fstream>
#include <iterator>

#include "core/format.h"
#include "core/setup_state.h"

void ResetAll([[maybe_unused]] bool freshMachine) {
#if ON_STAND_IN
    if (freshMachine) hostwin::Reset();
#endif
    ResetSetupState();
    setupState.instance = GetModuleHandleA(nullptr);
}

bool PutFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string FileText(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

std::string Fixture(const std::string& name) {
    std::ifstream file(std::string(SETUP_FIXTURE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file.is_open()) << "missing test file " << name;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void FreeManifestEntries() {
    for (ManifestEntry* entry = setupState.manifest; entry;) {
        ManifestEntry* next = entry->next;
        LocalFree(entry);
        entry = next;
    }
    setupState.manifest = nullptr;
}

void ScratchTest::SetUp() {
    SetupTest::SetUp();
#ifdef _WIN32
    static int made = 0;
    char temp[MAX_PATH] = {0};
    GetTempPathA(sizeof temp, temp);
    // A folder no earlier test made, though a process id comes again.
    do {
        path_ = std::string(temp) + "setuptest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    } while (!MakeDirectory(path_) && made < 10000);
#else
    path_ = "C:\\TEST";  // on a fresh disk
    MakeDirectory(path_);
#endif
}

void InstallTest::SetUp() {
    ScratchTest::SetUp();
    MakeDirectory(Dir("dist"));
    MakeDirectory(Dir("WINDOWS"));
    CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, Dir("dist").c_str());
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, Dir("WINDOWS").c_str());
    CopyText(setupState.productName, sizeof setupState.productName, "Loxbrine");
    CopyText(setupState.caption, sizeof setupState.caption, "Quorindel Loxbrine");
#ifdef _WIN32
    owner_ = CreateWindowExA(0, "STATIC", "Installing", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                             nullptr, nullptr);
    for (int id : {1022, 1023}) {
        CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 100, 20, owner_, reinterpret_cast<HMENU>(INT_PTR{id}), nullptr,
                        nullptr);
    }
#else
    owner_ = hostwin::CreateWindow("SetupInstallTest", "Installing");
    for (int id : {1022, 1023}) hostwin::CreateControl(owner_, id);
#endif
}

void InstallTest::TearDown() {
    FreeManifestEntries();
#ifdef _WIN32
    DestroyWindow(owner_);
#else
    hostwin::DestroyWindow(owner_);
#endif
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

std::vector<std::string> InstallTest::EntryNames() {
    std::vector<std::string> names;
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) names.push_back(entry->name);
    return names;
}
