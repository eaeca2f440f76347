// Copy benchmark: puts a generated distribution through ReadFileManifest and
// CopyManifestFiles, and the same files through the system's expand.exe and
// copy, then times ReadFileManifest on lists of 10,000 and 100,000 lines.
// Prints figures; bench/run prepares the files and runs it under Wine.
//   copy_bench DISTRIBUTION WORK
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/setup_state.h"
#include "install/file_copy.h"
#include "install/manifest.h"

namespace {

double Seconds() {
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs a command line and waits for it; false when it cannot be started or fails.
bool Run(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0;
}

// A hidden window with the progress bar and status line the copy reports to.
HWND MakeOwner() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "CopyBenchOwner";
    RegisterClassA(&windowClass);
    HWND owner = CreateWindowExA(0, "CopyBenchOwner", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
    for (int id : {1022, 1023}) {
        CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 20, owner,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), windowClass.hInstance, nullptr);
    }
    return owner;
}

void UseDirectories(const std::string& distribution, const std::string& windows) {
    CopyText(setupState.setupDirectory, sizeof setupState.setupDirectory, distribution.c_str());
    CopyText(setupState.windowsDirectory, sizeof setupState.windowsDirectory, windows.c_str());
}

double MiB(double bytes) { return bytes / (1024.0 * 1024.0); }

// Lines naming one small file, so that measuring costs the same per line.
double TimeListOf(int lines, const std::string& work, HWND owner) {
    std::string dir = work + "\\list" + std::to_string(lines);
    CreateDirectoryA(dir.c_str(), nullptr);
    HANDLE file = CreateFileA((dir + "\\tiny.sys").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "tiny", 4, &written, nullptr);
    CloseHandle(file);
    std::string text;
    for (int i = 0; i < lines; ++i) text += "tiny.sys,A,1\r\n";
    file = CreateFileA((dir + "\\Files.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    UseDirectories(dir, work);
    double start = Seconds();
    int count = ReadFileManifest(owner);
    double elapsed = Seconds() - start;
    if (count != lines) std::printf("  (read %d entries of %d)\n", count, lines);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: copy_bench DISTRIBUTION WORK\n");
        return 2;
    }
    std::string distribution = argv[1];
    std::string work = argv[2];
    ResetSetupState();
    setupState.instance = GetModuleHandleA(nullptr);
    CopyText(setupState.productName, sizeof setupState.productName, "Loxbrine");
    CopyText(setupState.caption, sizeof setupState.caption, "Quorindel Loxbrine");
    HWND owner = MakeOwner();
    CreateDirectoryA(work.c_str(), nullptr);

    // ---- ours ----
    std::string ours = work + "\\ours";
    CreateDirectoryA(ours.c_str(), nullptr);
    UseDirectories(distribution, ours);
    double start = Seconds();
    int entries = ReadFileManifest(owner);
    ComputeTotalBytes();
    double measured = Seconds();
    CreateDriverDirectories();
    int copied = CopyManifestFiles(owner);
    double done = Seconds();
    double bytes = setupState.totalBytes;
    std::printf("distribution: %d files, %.1f MiB installed\n", entries, MiB(bytes));
    std::printf("ReadFileManifest + measuring: %.3f s\n", measured - start);
    std::printf("CopyManifestFiles:            %.3f s for %d files = %.1f MB/s\n", done - measured, copied,
                bytes / 1e6 / (done - measured));

    // ---- the system's tools on the same files ----
    std::string theirs = work + "\\theirs";
    CreateDirectoryA(theirs.c_str(), nullptr);
    start = Seconds();
    bool copyOk = Run("cmd /c copy /b /y \"" + distribution + "\\plain\\*.*\" \"" + theirs + "\" >nul");
    double copyTime = Seconds() - start;
    int expanded = 0;
    start = Seconds();
    for (const ManifestEntry* entry = setupState.manifest; entry; entry = entry->next) {
        std::string name = entry->name;
        if (name.compare(0, 7, "packed\\") != 0) continue;
        std::string source = distribution + "\\" + name.substr(0, name.size() - 1) + "_";
        std::string target = theirs + "\\" + name.substr(7);
        if (Run("expand.exe \"" + source + "\" \"" + target + "\"")) ++expanded;
    }
    double expandTime = Seconds() - start;
    // What one expand.exe run costs apart from the data: an empty file.
    std::string empty = work + "\\empty.bi_";
    HANDLE file = CreateFileA(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "SZDD\x88\xF0\x27\x33" "A\0\0\0\0\0", 14, &written, nullptr);
    CloseHandle(file);
    const int starts = 10;
    start = Seconds();
    for (int i = 0; i < starts; ++i) Run("expand.exe \"" + empty + "\" \"" + work + "\\empty.bin\"");
    double startCost = (Seconds() - start) / starts;
    std::printf("copy (one cmd process):       %.3f s%s\n", copyTime, copyOk ? "" : " (failed)");
    std::printf("expand.exe (one per file):    %.3f s for %d files, of which start-up about %.3f s\n", expandTime,
                expanded, startCost * expanded);
    std::printf("system tools together:        %.3f s = %.1f MB/s\n", copyTime + expandTime,
                bytes / 1e6 / (copyTime + expandTime));
    std::printf("ratio ours / system tools:    %.2f\n", (copyTime + expandTime) / (done - measured));

    // ---- reading long lists ----
    double small = TimeListOf(10000, work, owner);
    double large = TimeListOf(100000, work, owner);
    std::printf("ReadFileManifest, 10,000 lines:  %.3f s\n", small);
    std::printf("ReadFileManifest, 100,000 lines: %.3f s (ratio %.1f)\n", large, large / small);
    DestroyWindow(owner);
    return 0;
}
