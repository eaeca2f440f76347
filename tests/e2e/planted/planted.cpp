// A DLL planted beside setup.exe under the name of a system DLL. Loaded, it
// notes its own path in planted.log beside it and ends the process at once
// with exit code 86, so that a scenario shows which one the program took.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 2];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    char marker[MAX_PATH + 16];
    lstrcpynA(marker, path, MAX_PATH);
    char* slash = marker + length;
    while (slash > marker && *slash != '\\') --slash;
    lstrcpyA(slash + (*slash == '\\'), "planted.log");
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    path[length] = '\r';
    path[length + 1] = '\n';
    DWORD written = 0;
    WriteFile(file, path, length + 2, &written, nullptr);
    CloseHandle(file);
    TerminateProcess(GetCurrentProcess(), 86);
    return FALSE;
}
