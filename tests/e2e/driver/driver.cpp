// e2e-driver: drives a Win32 program from outside, as a user would, following
// a scenario file. Runs under Wine in the same desktop as its target.
//
//   e2e-driver.exe SCENARIO
//
// A scenario is one command a line; '#' starts a comment; arguments are
// words (taken as they are, so Windows paths need no escapes) or "quoted
// strings" (with \n \t \" \\ and \xHH for a byte of code page 1252); ${NAME}
// is replaced by the environment variable NAME (outside quotes its value may
// give several words). Every wait gives up after the current timeout and then
// fails, printing every visible window and its controls.
//
//   version NAME           the Windows version the runner sets up (ignored here)
//   distribution           the runner lays out the sample distribution in
//                          C:\dist with setup.exe (ignored here)
//   outcome fail           the scenario passes only when a later step fails
//   timeout SECONDS        for every following wait (default 10)
//   desktop WxH            the size of the runner's Wine desktop (ignored here)
//   matrix KEY VALUE...    the runner runs the scenario once per version or
//                          desktop size, in E2E_VERSION / E2E_DESKTOP (ignored here)
//   set NAME VALUE         set an environment variable (for ${NAME} in later lines)
//   copy FROM TO           copy a file (replacing TO), e.g. to lay out a case between runs
//   remove PATH            delete a file, or a folder with everything in it
//   when NAME VALUE COMMAND...  the command, only when the variable NAME is VALUE
//   end                    the scenario ends here (after "when": the rest is
//                          for other versions)
//   start PROGRAM [ARG...] start a process (working directory: its folder)
//   exit CODE [windowless] wait for the last process started (and not yet
//                          ended) to end with CODE; windowless: fail if it
//                          showed a window meanwhile
//   window CAPTION [CLASS] wait for an enabled top-level window; it becomes current
//   window-any CAPTION [CLASS]  the same, enabled or not (an owner under a modal dialog)
//   message CAPTION [TEXT] wait for a message box; check its text (control 0xFFFF)
//   buttons ID...          the visible buttons of the current window, exactly
//   default ID             the button that Enter presses (BS_DEFPUSHBUTTON)
//   icon error|warning|question|information
//                          the message box shows that system icon (its pixels on
//                          the screen against the icons drawn here)
//   click ID               press a button (visible and enabled)
//   check ID / uncheck ID  click a radio button or check box into that state
//   select ID TEXT         pick a list entry of a combo box, as a user does
//   type ID TEXT           replace the text of an edit field or editable list by typing
//   key escape|enter       a key press on the current window's focus
//   close                  the close box of the current window
//   wizard back|next|finish|cancel   press a property sheet's button
//   expect-text ID TEXT    (ID 0: the window's caption)
//   expect-enabled ID 0|1, expect-visible ID 0|1, expect-checked ID 0|1
//   expect-selection ID TEXT, expect-count ID N, expect-entry ID INDEX TEXT
//   expect-style ID HEXMASK HEXVALUE, expect-exstyle ID HEXMASK HEXVALUE
//   expect-client W H      the current window's client area has that size; the
//                          log notes where it lies on the screen
//   expect-os PLATFORM MAJOR MINOR   what GetVersionExA reports in this prefix
//   probe CAPTION...       from now on, every 50 ms, send each visible window with
//                          one of these captions WM_NULL (SendMessageTimeout) and
//                          time the round trip
//   probe-report MAX_MS    stop probing; log every round trip, the count, maximum
//                          and 99th percentile; fail when a round trip took
//                          longer than MAX_MS or when nothing was probed
//   gone                   wait until the current window has closed
//   absent CAPTION [MS]    no window with that caption shows up within MS (500)
//   screenshot NAME        ask the runner for a picture of the screen
//   sleep MS
//   dump                   print every visible window
//
// IDs are numbers (decimal or 0x...) or the names ok cancel abort retry ignore
// yes no back next finish text (0xFFFF, a message box's text).
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- output -------------------------------------------------------------------

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

// ---- text of other processes' windows (wide messages, then code page 1252) -----

std::string Narrow(const wchar_t* text) {
    int size = WideCharToMultiByte(1252, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(1252, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

const UINT SEND_TIMEOUT_MS = 3000;

// A message that reads something: the target's thread is idle in its
// message loop, so it answers at once; a hung target must not hang us.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

std::string WindowText(HWND window) {
    LRESULT length = Ask(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::string();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, 0);
    Ask(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return Narrow(buffer.data());
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

int ControlId(HWND window) { return GetDlgCtrlID(window) & 0xFFFF; }

bool IsCombo(HWND control) { return _stricmp(ClassOf(control).c_str(), "ComboBox") == 0; }

std::vector<std::string> ListEntries(HWND combo) {
    std::vector<std::string> entries;
    LRESULT count = Ask(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = Ask(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 0) + 2, 0);
        Ask(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
        entries.push_back(Narrow(buffer.data()));
    }
    return entries;
}

// ---- finding windows ------------------------------------------------------------

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
    return children;
}

// A property sheet keeps every page it has shown; the visible one counts.
HWND FindControl(HWND window, int id) {
    HWND hidden = nullptr;
    for (HWND child : Descendants(window)) {
        if (ControlId(child) != (id & 0xFFFF)) continue;
        // The edit field inside a combo box carries an id of its own (1001).
        if (IsCombo(GetParent(child))) continue;
        if (IsWindowVisible(child)) return child;
        if (!hidden) hidden = child;
    }
    return hidden;
}

bool IsMessageBox(HWND window) {
    if (ClassOf(window) != "#32770") return false;
    HWND text = GetDlgItem(window, 0xFFFF);
    return text && GetParent(text) == window;
}

// ---- the report of what was on the screen -----------------------------------------

std::string Flags(HWND control) {
    std::string flags;
    flags += IsWindowVisible(control) ? "visible" : "hidden";
    flags += IsWindowEnabled(control) ? " enabled" : " disabled";
    return flags;
}

void DumpControl(HWND control, int depth) {
    std::string cls = ClassOf(control);
    Say("%*s- id %d (0x%X) %s \"%s\" %s", depth * 2, "", ControlId(control), ControlId(control), cls.c_str(),
        WindowText(control).c_str(), Flags(control).c_str());
    if (_stricmp(cls.c_str(), "Button") == 0) {
        LRESULT state = Ask(control, BM_GETCHECK, 0, 0);
        if (state == BST_CHECKED) Say(" checked");
    }
    if (IsCombo(control)) {
        std::vector<std::string> entries = ListEntries(control);
        Say(" selection %d, %d entries:", static_cast<int>(Ask(control, CB_GETCURSEL, 0, 0)),
            static_cast<int>(entries.size()));
        for (size_t i = 0; i < entries.size() && i < 12; ++i) Say(" \"%s\"", entries[i].c_str());
        if (entries.size() > 12) Say(" ...");
    }
    Say("\n");
}

void DumpWindow(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT rect{};
    GetWindowRect(window, &rect);
    Say("window %p class %s caption \"%s\" process %lu at %ld,%ld size %ldx%ld %s\n", static_cast<void*>(window),
        ClassOf(window).c_str(), WindowText(window).c_str(), static_cast<unsigned long>(pid), rect.left,
        rect.top, rect.right - rect.left, rect.bottom - rect.top, Flags(window).c_str());
    for (HWND child : Descendants(window)) {
        int depth = 1;
        for (HWND p = GetParent(child); p && p != window; p = GetParent(p)) ++depth;
        DumpControl(child, depth);
    }
}

void DumpScreen() {
    Say("---- visible windows ----\n");
    DWORD self = GetCurrentProcessId();
    for (HWND window : TopLevelWindows()) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == self || !IsWindowVisible(window)) continue;
        // The desktop's own windows say nothing about the target.
        std::string cls = ClassOf(window);
        if (cls == "Shell_TrayWnd" || cls == "Progman" || cls == "#32769") continue;
        DumpWindow(window);
    }
    Say("---- end of windows ----\n");
}

// ---- what a window shows on the screen ----------------------------------------------

// Pixels (0x00RRGGBB, rows top down) of a W x H picture drawn by
// draw(dc, screen), e.g. copied from the screen.
template <typename Draw>
std::vector<DWORD> Picture(int width, int height, Draw draw) {
    std::vector<DWORD> pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        draw(memory, screen);
        GdiFlush();
        const DWORD* data = static_cast<const DWORD*>(bits);
        pixels.assign(data, data + static_cast<size_t>(width) * static_cast<size_t>(height));
        for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

HWND FindIconControl(HWND box) {
    for (HWND child : Descendants(box)) {
        if (_stricmp(ClassOf(child).c_str(), "Static") != 0 || !IsWindowVisible(child)) continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
    }
    return nullptr;
}

struct IconKind {
    const char* name;
    LPCSTR resource;
};
const IconKind ICON_KINDS[] = {{"error", IDI_HAND},
                               {"warning", IDI_EXCLAMATION},
                               {"question", IDI_QUESTION},
                               {"information", IDI_ASTERISK}};

// Which system icon a message box shows: its icon control's pixels on the
// screen against each icon drawn here on the control's own background.
// Returns the best match and, in detail, the differing pixels of each.
std::string ShownIcon(HWND box, std::string& detail) {
    HWND control = FindIconControl(box);
    if (!control) {
        detail = "no icon control";
        return "none";
    }
    RECT rect{};
    GetWindowRect(control, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    std::vector<DWORD> shown = Picture(width, height, [&](HDC dc, HDC screen) {
        BitBlt(dc, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    });
    if (shown.empty()) {
        detail = "cannot read the screen";
        return "none";
    }
    // Icons have transparent corners: the control's background shows there.
    DWORD background = shown[0];
    std::string best = "none";
    size_t bestDiffering = shown.size() + 1;
    for (const IconKind& kind : ICON_KINDS) {
        HICON icon = LoadIconA(nullptr, kind.resource);
        std::vector<DWORD> drawn = Picture(width, height, [&](HDC dc, HDC) {
            RECT all = {0, 0, width, height};
            HBRUSH brush = CreateSolidBrush(RGB(background >> 16 & 0xFF, background >> 8 & 0xFF, background & 0xFF));
            FillRect(dc, &all, brush);
            DeleteObject(brush);
            DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
        });
        size_t differing = 0;
        for (size_t i = 0; i < shown.size() && i < drawn.size(); ++i) differing += shown[i] != drawn[i];
        detail += std::string(detail.empty() ? "" : ", ") + kind.name + " " + std::to_string(differing);
        if (differing < bestDiffering) {
            bestDiffering = differing;
            best = kind.name;
        }
    }
    detail += " of " + std::to_string(shown.size()) + " pixels differ";
    // A close match only: the pictures come from the same icons and colours.
    return bestDiffering * 20 <= shown.size() ? best : "none";
}

// ---- responsiveness: round trips of a message to the dialogs at work ------------------

struct Prober {
    std::vector<std::wstring> captions;
    std::vector<std::pair<std::string, double>> trips;  // caption, milliseconds
    volatile LONG stop = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(LPVOID self) {
        static_cast<Prober*>(self)->Loop();
        return 0;
    }

    void Loop() {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        DWORD self = GetCurrentProcessId();
        DWORD next = GetTickCount();
        while (!stop) {
            for (HWND window : TopLevelWindows()) {
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                if (pid == self || !IsWindowVisible(window)) continue;
                // Read without a message: the window's thread may be the one stalling.
                wchar_t caption[256] = L"";
                GetWindowTextW(window, caption, 256);
                bool wanted = false;
                for (const std::wstring& c : captions) wanted = wanted || c == caption;
                if (!wanted) continue;
                LARGE_INTEGER before, after;
                DWORD_PTR ignored = 0;
                QueryPerformanceCounter(&before);
                LRESULT answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
                QueryPerformanceCounter(&after);
                // A window that closed meanwhile did not answer: no round trip.
                if (!answered && !IsWindow(window)) continue;
                double ms = static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 /
                            static_cast<double>(frequency.QuadPart);
                trips.emplace_back(Narrow(caption), answered ? ms : 5000.0);
            }
            next += 50;
            DWORD now = GetTickCount();
            if (static_cast<LONG>(next - now) > 0) {
                Sleep(next - now);
            } else {
                next = now;
            }
        }
    }
};

std::string TripSummary(std::vector<double> ms) {
    if (ms.empty()) return "no round trips";
    std::sort(ms.begin(), ms.end());
    size_t p99 = (ms.size() * 99 + 99) / 100;
    char text[160];
    std::snprintf(text, sizeof text, "%u round trips, max %.1f ms, p99 %.1f ms, median %.2f ms",
                  static_cast<unsigned>(ms.size()), ms.back(), ms[p99 - 1], ms[ms.size() / 2]);
    return text;
}

// ---- files ------------------------------------------------------------------------

bool RemoveTree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(path.c_str()) != 0;
    bool removed = true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") removed = RemoveTree(path + "\\" + name) && removed;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryA(path.c_str()) && removed;
}

// ---- the scenario -------------------------------------------------------------------

struct Failure {
    std::string why;
};

struct Driver {
    DWORD timeoutMs = 10000;
    HWND current = nullptr;
    // Started and not yet ended, the last one on top.
    std::vector<PROCESS_INFORMATION> processes;
    int shot = 0;
    bool expectFailure = false;
    bool ended = false;
    Prober* prober = nullptr;

    [[noreturn]] void Fail(const std::string& why) { throw Failure{why}; }

    // Polls until check() holds or the timeout runs out.
    template <typename Check>
    bool WaitFor(Check check, DWORD timeout) {
        DWORD start = GetTickCount();
        for (;;) {
            if (check()) return true;
            if (GetTickCount() - start >= timeout) return false;
            Sleep(50);
        }
    }
    template <typename Check>
    bool WaitFor(Check check) {
        return WaitFor(check, timeoutMs);
    }

    HWND Current() {
        if (!current || !IsWindow(current)) Fail("no current window (use window or message first)");
        return current;
    }

    HWND Control(int id) {
        HWND window = Current();
        if (id == 0) return window;
        HWND control = nullptr;
        if (!WaitFor([&] { return (control = FindControl(window, id)) != nullptr; })) {
            Fail("no control with id " + std::to_string(id) + " in the current window");
        }
        return control;
    }

    // anyState: also a disabled window (the owner of a modal dialog).
    // text: a message box's text, when given (a box that is closing may
    // still be found beside the one that follows it).
    HWND FindTopLevel(const std::string& caption, const std::string& cls, bool messageBox, bool anyState = false,
                      const std::string* text = nullptr) {
        DWORD self = GetCurrentProcessId();
        for (HWND window : TopLevelWindows()) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == self || !IsWindowVisible(window)) continue;
            if (WindowText(window) != caption) continue;
            if (!cls.empty() && ClassOf(window) != cls) continue;
            if (messageBox ? !IsMessageBox(window) : !anyState && !IsWindowEnabled(window)) continue;
            if (text && WindowText(GetDlgItem(window, 0xFFFF)) != *text) continue;
            return window;
        }
        return nullptr;
    }

    void Press(HWND button, const std::string& what) {
        if (!WaitFor([&] { return IsWindowVisible(button) && IsWindowEnabled(button); })) {
            Fail(what + " is not visible and enabled: " + Flags(button));
        }
        // Posted: a click that opens a modal box would block a sender.
        PostMessageW(button, BM_CLICK, 0, 0);
    }

    // What the control itself tells its parent, as on a real change.
    void Notify(HWND control, int code) {
        HWND parent = GetParent(control);
        WPARAM wParam = MAKEWPARAM(ControlId(control), code);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(parent, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control), SMTO_NORMAL,
                            SEND_TIMEOUT_MS, &ignored);
    }

    void SelectEntry(HWND combo, const std::string& text) {
        std::vector<std::string> entries = ListEntries(combo);
        int index = -1;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i] == text) {
                index = static_cast<int>(i);
                break;
            }
        }
        if (index < 0) Fail("the list has no entry \"" + text + "\"");
        if (!IsWindowEnabled(combo)) Fail("the list is disabled");
        Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Notify(combo, CBN_SELCHANGE);
        Notify(combo, CBN_SELENDOK);
    }

    // Types into an edit field (or the edit field of a list) one character at
    // a time, so that the control reports each change itself (EN_CHANGE,
    // and a combo box CBN_EDITUPDATE / CBN_EDITCHANGE).
    void TypeText(HWND control, const std::string& text) {
        HWND edit = control;
        if (IsCombo(control)) {
            edit = FindWindowExA(control, nullptr, "Edit", nullptr);
            if (!edit) Fail("the list has no edit field (a drop-down list without typing)");
        }
        if (!IsWindowEnabled(control)) Fail("the field is disabled");
        Ask(edit, EM_SETSEL, 0, -1);
        if (text.empty()) {
            Ask(edit, WM_CHAR, VK_BACK, 1);
            return;
        }
        for (unsigned char c : text) {
            wchar_t wide = 0;
            char narrow = static_cast<char>(c);
            MultiByteToWideChar(1252, 0, &narrow, 1, &wide, 1);
            Ask(edit, WM_CHAR, wide, 1);
        }
    }

    void Key(const std::string& name) {
        WPARAM key = name == "escape" ? VK_ESCAPE : name == "enter" ? VK_RETURN : 0;
        if (!key) Fail("unknown key " + name);
        HWND window = Current();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        HWND target = window;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus) {
            target = info.hwndFocus;
        }
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    }

    std::string Describe(HWND control) {
        return "id " + std::to_string(ControlId(control)) + " (" + ClassOf(control) + " \"" +
               WindowText(control) + "\")";
    }

    template <typename Read>
    void Expect(const std::string& what, const std::string& expected, Read read) {
        std::string seen;
        if (!WaitFor([&] { return (seen = read()) == expected; })) {
            Fail(what + ": expected \"" + expected + "\", saw \"" + seen + "\"");
        }
    }

    void Screenshot(const std::string& name) {
        char folder[MAX_PATH] = "";
        if (!GetEnvironmentVariableA("E2E_SHOTS", folder, sizeof folder)) {
            Say("  (no E2E_SHOTS: screenshot %s skipped)\n", name.c_str());
            return;
        }
        // Let the target finish painting first.
        if (!processes.empty()) WaitForInputIdle(processes.back().hProcess, 2000);
        Sleep(400);
        char number[16];
        std::snprintf(number, sizeof number, "%02d-", ++shot);
        std::string base = std::string(folder) + "\\" + number + name;
        std::string want = base + ".want";
        std::string picture = base + ".png";
        HANDLE file = CreateFileA(want.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) Fail("cannot create " + want);
        CloseHandle(file);
        if (!WaitFor([&] { return GetFileAttributesA(picture.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000)) {
            Fail("the runner made no picture " + picture);
        }
        Say("  screenshot %s\n", picture.c_str());
    }

    void Start(const std::vector<std::string>& args) {
        std::string commandLine;
        for (size_t i = 1; i < args.size(); ++i) {
            if (i > 1) commandLine += ' ';
            commandLine += '"' + args[i] + '"';
        }
        std::string folder = args[1];
        size_t slash = folder.find_last_of("\\/");
        folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                            &process)) {
            Fail("cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")");
        }
        processes.push_back(process);
        WaitForInputIdleOrExit(process.hProcess, timeoutMs);
    }

    // A copy that ends at once (a second instance) is not waited for.
    static void WaitForInputIdleOrExit(HANDLE process, DWORD timeout) {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < timeout) {
            if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return;
            if (WaitForInputIdle(process, 50) == 0) return;
        }
    }

    static bool HasVisibleWindow(DWORD pid) {
        for (HWND window : TopLevelWindows()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == pid && IsWindowVisible(window)) return true;
        }
        return false;
    }

    void ExpectExit(int code, bool windowless) {
        if (processes.empty()) Fail("no process was started");
        PROCESS_INFORMATION process = processes.back();
        processes.pop_back();
        bool shown = false;
        DWORD start = GetTickCount();
        DWORD waited = WAIT_TIMEOUT;
        while (waited != WAIT_OBJECT_0 && GetTickCount() - start < timeoutMs) {
            if (windowless && HasVisibleWindow(process.dwProcessId)) shown = true;
            waited = WaitForSingleObject(process.hProcess, windowless ? 5 : 50);
        }
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        if (waited != WAIT_OBJECT_0) Fail("the process did not end");
        if (shown) Fail("the process showed a window");
        if (static_cast<int>(exitCode) != code) {
            Fail("the process ended with " + std::to_string(exitCode) + ", not " + std::to_string(code));
        }
    }

    void KillTarget() {
        for (PROCESS_INFORMATION& process : processes) {
            TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        processes.clear();
    }

    static int Id(const std::string& word) {
        static const struct {
            const char* name;
            int id;
        } names[] = {{"ok", IDOK},     {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
                     {"ignore", IDIGNORE}, {"yes", IDYES},   {"no", IDNO},       {"back", 0x3023},
                     {"next", 0x3024}, {"finish", 0x3025},   {"text", 0xFFFF}};
        for (const auto& n : names) {
            if (word == n.name) return n.id;
        }
        char* end = nullptr;
        long value = std::strtol(word.c_str(), &end, 0);
        if (word.empty() || *end) throw Failure{"not a control id: " + word};
        return static_cast<int>(value);
    }

    static unsigned long Hex(const std::string& word) { return std::strtoul(word.c_str(), nullptr, 16); }

    static int Flag(const std::string& word) {
        if (word != "0" && word != "1") throw Failure{"expected 0 or 1, not " + word};
        return word == "1";
    }

    void Run(const std::vector<std::string>& a) {
        const std::string& c = a[0];
        auto need = [&](size_t n) {
            if (a.size() < n + 1) Fail(c + " needs " + std::to_string(n) + " argument(s)");
        };
        if (c == "version" || c == "distribution" || c == "desktop" || c == "matrix") {
        } else if (c == "set") {
            need(2);
            SetEnvironmentVariableA(a[1].c_str(), a[2].c_str());
        } else if (c == "copy") {
            need(2);
            if (!CopyFileA(a[1].c_str(), a[2].c_str(), FALSE)) {
                Fail("cannot copy " + a[1] + " to " + a[2] + " (error " + std::to_string(GetLastError()) + ")");
            }
        } else if (c == "remove") {
            need(1);
            if (!RemoveTree(a[1])) Fail("cannot remove " + a[1] + " (error " + std::to_string(GetLastError()) + ")");
        } else if (c == "when") {
            need(3);
            char value[2048] = "";
            if (!GetEnvironmentVariableA(a[1].c_str(), value, sizeof value)) value[0] = '\0';
            if (a[2] == value) Run(std::vector<std::string>(a.begin() + 3, a.end()));
        } else if (c == "end") {
            ended = true;
        } else if (c == "outcome") {
            need(1);
            expectFailure = a[1] == "fail";
        } else if (c == "timeout") {
            need(1);
            timeoutMs = static_cast<DWORD>(std::atof(a[1].c_str()) * 1000);
        } else if (c == "start") {
            need(1);
            Start(a);
        } else if (c == "exit") {
            need(1);
            ExpectExit(Id(a[1]), a.size() > 2 && a[2] == "windowless");
        } else if (c == "window" || c == "window-any" || c == "message") {
            need(1);
            bool box = c == "message";
            bool anyState = c == "window-any";
            std::string cls = !box && a.size() > 2 ? a[2] : std::string();
            const std::string* text = box && a.size() > 2 ? &a[2] : nullptr;
            HWND found = nullptr;
            if (!WaitFor([&] { return (found = FindTopLevel(a[1], cls, box, anyState, text)) != nullptr; })) {
                HWND other = text ? FindTopLevel(a[1], cls, box) : nullptr;
                Fail("no " + std::string(box ? "message box" : "enabled window") + " \"" + a[1] + "\"" +
                     (text ? " saying \"" + *text + "\"" : std::string()) +
                     (other ? "; the box says \"" + WindowText(GetDlgItem(other, 0xFFFF)) + "\"" : std::string()));
            }
            current = found;
        } else if (c == "buttons") {
            std::vector<int> wanted;
            for (size_t i = 1; i < a.size(); ++i) wanted.push_back(Id(a[i]));
            std::string seen;
            auto same = [&] {
                std::vector<int> have;
                seen.clear();
                for (HWND child : Descendants(Current())) {
                    if (GetParent(child) != current || !IsWindowVisible(child)) continue;
                    if (_stricmp(ClassOf(child).c_str(), "Button") != 0) continue;
                    LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
                    if (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON) continue;
                    have.push_back(ControlId(child));
                    seen += std::to_string(ControlId(child)) + " \"" + WindowText(child) + "\" ";
                }
                if (have.size() != wanted.size()) return false;
                for (int id : wanted) {
                    bool found = false;
                    for (int h : have) found = found || h == id;
                    if (!found) return false;
                }
                return true;
            };
            if (!WaitFor(same)) Fail("buttons: saw " + seen);
        } else if (c == "default") {
            need(1);
            int wanted = Id(a[1]);
            // The button that Enter presses carries the default style (a
            // message box does not report it through DM_GETDEFID).
            Expect("default button", std::to_string(wanted), [&] {
                std::string found = "none";
                for (HWND child : Descendants(Current())) {
                    LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
                    if (_stricmp(ClassOf(child).c_str(), "Button") == 0 && style == BS_DEFPUSHBUTTON &&
                        IsWindowVisible(child)) {
                        found = std::to_string(ControlId(child));
                    }
                }
                return found;
            });
        } else if (c == "icon") {
            need(1);
            HWND box = Current();
            std::string detail;
            Expect("icon", a[1], [&] {
                detail.clear();
                return ShownIcon(box, detail);
            });
            Say("  icon %s (%s)\n", a[1].c_str(), detail.c_str());
        } else if (c == "expect-client") {
            need(2);
            HWND window = Current();
            RECT client{};
            POINT origin{0, 0};
            std::string wanted = a[1] + "x" + a[2];
            Expect("client size", wanted, [&] {
                GetClientRect(window, &client);
                return std::to_string(client.right) + "x" + std::to_string(client.bottom);
            });
            ClientToScreen(window, &origin);
            Say("  client at %ld,%ld size %ldx%ld\n", origin.x, origin.y, client.right, client.bottom);
        } else if (c == "expect-os") {
            need(3);
            OSVERSIONINFOA version{};
            version.dwOSVersionInfoSize = sizeof version;
            if (!GetVersionExA(&version)) Fail("GetVersionExA failed");
            char seen[160];
            std::snprintf(seen, sizeof seen, "%lu %lu %lu", version.dwPlatformId, version.dwMajorVersion,
                          version.dwMinorVersion);
            Say("  GetVersionExA: platform %lu, %lu.%lu, build 0x%08lX, \"%s\"\n", version.dwPlatformId,
                version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber, version.szCSDVersion);
            if (a[1] + " " + a[2] + " " + a[3] != seen) Fail(std::string("the version reads ") + seen);
        } else if (c == "probe") {
            need(1);
            if (prober) Fail("already probing");
            prober = new Prober;
            for (size_t i = 1; i < a.size(); ++i) {
                std::wstring wide(a[i].size(), L'\0');
                MultiByteToWideChar(1252, 0, a[i].data(), static_cast<int>(a[i].size()), &wide[0],
                                    static_cast<int>(wide.size()));
                prober->captions.push_back(wide);
            }
            prober->thread = CreateThread(nullptr, 0, Prober::Run, prober, 0, nullptr);
            if (!prober->thread) Fail("cannot start probing");
        } else if (c == "probe-report") {
            need(1);
            if (!prober) Fail("not probing");
            InterlockedExchange(&prober->stop, 1);
            WaitForSingleObject(prober->thread, INFINITE);
            CloseHandle(prober->thread);
            for (const auto& trip : prober->trips) Say("  trip \"%s\" %.2f ms\n", trip.first.c_str(), trip.second);
            std::vector<double> all;
            for (const std::wstring& wide : prober->captions) {
                std::string caption = Narrow(wide.c_str());
                std::vector<double> ms;
                for (const auto& trip : prober->trips) {
                    if (trip.first == caption) ms.push_back(trip.second);
                }
                all.insert(all.end(), ms.begin(), ms.end());
                Say("  responsiveness \"%s\": %s\n", caption.c_str(), TripSummary(ms).c_str());
            }
            Say("  responsiveness: %s\n", TripSummary(all).c_str());
            delete prober;
            prober = nullptr;
            double limit = std::atof(a[1].c_str());
            if (all.empty()) Fail("no window was probed");
            if (*std::max_element(all.begin(), all.end()) > limit) {
                Fail("a round trip took longer than " + a[1] + " ms");
            }
        } else if (c == "click") {
            need(1);
            HWND button = Control(Id(a[1]));
            Press(button, Describe(button));
        } else if (c == "check" || c == "uncheck") {
            need(1);
            HWND button = Control(Id(a[1]));
            LRESULT wanted = c == "check" ? BST_CHECKED : BST_UNCHECKED;
            if (Ask(button, BM_GETCHECK, 0, 0) != wanted) Press(button, Describe(button));
            if (!WaitFor([&] { return Ask(button, BM_GETCHECK, 0, 0) == wanted; })) {
                Fail(Describe(button) + " did not become " + c + "ed (a radio button is unchecked by "
                     "checking another of its group)");
            }
        } else if (c == "select") {
            need(2);
            SelectEntry(Control(Id(a[1])), a[2]);
        } else if (c == "type") {
            need(2);
            TypeText(Control(Id(a[1])), a[2]);
        } else if (c == "key") {
            need(1);
            Key(a[1]);
        } else if (c == "close") {
            PostMessageW(Current(), WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (c == "wizard") {
            need(1);
            int id = a[1] == "cancel" ? IDCANCEL : Id(a[1]);
            if (id != IDCANCEL && (id < 0x3023 || id > 0x3025)) Fail("wizard: back, next, finish or cancel");
            HWND button = GetDlgItem(Current(), id);
            if (!button) Fail("the current window is not a property sheet");
            Press(button, "wizard button " + a[1]);
        } else if (c == "expect-text") {
            need(2);
            HWND control = Control(Id(a[1]));
            Expect("text of " + a[1], a[2], [&] { return WindowText(control); });
        } else if (c == "expect-enabled" || c == "expect-visible" || c == "expect-checked") {
            need(2);
            HWND control = Control(Id(a[1]));
            int wanted = Flag(a[2]);
            Expect(c + " " + a[1], std::to_string(wanted), [&] {
                int state = c == "expect-enabled"   ? IsWindowEnabled(control) != 0
                            : c == "expect-visible" ? IsWindowVisible(control) != 0
                                                    : Ask(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
                return std::to_string(state);
            });
        } else if (c == "expect-selection") {
            need(2);
            HWND combo = Control(Id(a[1]));
            Expect("selection of " + a[1], a[2], [&] {
                LRESULT index = Ask(combo, CB_GETCURSEL, 0, 0);
                std::vector<std::string> entries = ListEntries(combo);
                return index >= 0 && static_cast<size_t>(index) < entries.size() ? entries[index]
                                                                                  : std::string("(none)");
            });
        } else if (c == "expect-count") {
            need(2);
            HWND combo = Control(Id(a[1]));
            Expect("entries of " + a[1], a[2], [&] { return std::to_string(Ask(combo, CB_GETCOUNT, 0, 0)); });
        } else if (c == "expect-entry") {
            need(3);
            HWND combo = Control(Id(a[1]));
            size_t index = static_cast<size_t>(std::atoi(a[2].c_str()));
            Expect("entry " + a[2] + " of " + a[1], a[3], [&] {
                std::vector<std::string> entries = ListEntries(combo);
                return index < entries.size() ? entries[index] : std::string("(none)");
            });
        } else if (c == "expect-style" || c == "expect-exstyle") {
            need(3);
            HWND control = Control(Id(a[1]));
            unsigned long mask = Hex(a[2]);
            unsigned long wanted = Hex(a[3]);
            int which = c == "expect-style" ? GWL_STYLE : GWL_EXSTYLE;
            char expected[32];
            std::snprintf(expected, sizeof expected, "%08lX", wanted & mask);
            Expect(c + " " + a[1], expected, [&] {
                char seen[32];
                std::snprintf(seen, sizeof seen, "%08lX",
                              static_cast<unsigned long>(GetWindowLongW(control, which)) & mask);
                return std::string(seen);
            });
        } else if (c == "gone") {
            HWND window = current;
            if (!WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); })) {
                Fail("the window is still there");
            }
            current = nullptr;
        } else if (c == "absent") {
            need(1);
            DWORD wait = a.size() > 2 ? static_cast<DWORD>(std::atoi(a[2].c_str())) : 500;
            HWND found = nullptr;
            if (WaitFor(
                    [&] {
                        found = FindTopLevel(a[1], "", false);
                        if (!found) found = FindTopLevel(a[1], "", true);
                        return found != nullptr;
                    },
                    wait)) {
                Fail("a window \"" + a[1] + "\" appeared");
            }
        } else if (c == "screenshot") {
            need(1);
            Screenshot(a[1]);
        } else if (c == "sleep") {
            need(1);
            Sleep(static_cast<DWORD>(std::atoi(a[1].c_str())));
        } else if (c == "dump") {
            DumpScreen();
        } else {
            Fail("unknown command " + c);
        }
    }
};

// ---- reading the scenario -----------------------------------------------------------

std::string Expand(const std::string& word) {
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '$' && i + 1 < word.size() && word[i + 1] == '{') {
            size_t end = word.find('}', i);
            if (end != std::string::npos) {
                std::string name = word.substr(i + 2, end - i - 2);
                char value[2048] = "";
                if (!GetEnvironmentVariableA(name.c_str(), value, sizeof value)) {
                    throw Failure{"environment variable " + name + " is not set"};
                }
                out += value;
                i = end;
                continue;
            }
        }
        out += word[i];
    }
    return out;
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string word;
        bool quoted = line[i] == '"';
        if (quoted) {
            ++i;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
                    word += static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16));
                    i += 3;
                } else if (line[i] == '\\' && i + 1 < line.size()) {
                    char next = line[++i];
                    word += next == 'n' ? '\n' : next == 't' ? '\t' : next;
                } else {
                    word += line[i];
                }
                ++i;
            }
            if (i >= line.size()) throw Failure{"unterminated string"};
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
        }
        word = Expand(word);
        if (quoted) {
            words.push_back(word);
            continue;
        }
        // An unquoted variable may stand for several words.
        size_t start = 0;
        while (start < word.size()) {
            size_t end = word.find(' ', start);
            if (end == std::string::npos) end = word.size();
            if (end > start) words.push_back(word.substr(start, end - start));
            start = end + 1;
        }
    }
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: e2e-driver SCENARIO\n");
        return 2;
    }
    FILE* file = std::fopen(argv[1], "rb");
    if (!file) {
        std::fprintf(stderr, "e2e-driver: cannot open %s\n", argv[1]);
        return 2;
    }
    std::vector<std::string> lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, file)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        lines.push_back(line);
    }
    std::fclose(file);

    Driver driver;
    size_t number = 0;
    try {
        for (number = 1; number <= lines.size() && !driver.ended; ++number) {
            std::vector<std::string> words = Words(lines[number - 1]);
            if (words.empty()) continue;
            Say("%3u: %s\n", static_cast<unsigned>(number), lines[number - 1].c_str());
            driver.Run(words);
        }
    } catch (const Failure& failure) {
        Say("FAILED at line %u: %s\n  %s\n", static_cast<unsigned>(number),
            number <= lines.size() ? lines[number - 1].c_str() : "", failure.why.c_str());
        DumpScreen();
        driver.KillTarget();
        if (!driver.expectFailure) return 1;
        Say("PASSED %s (it failed, as it should)\n", argv[1]);
        return 0;
    }
    driver.KillTarget();
    if (driver.expectFailure) {
        Say("FAILED: every step passed, but this scenario should fail\n");
        return 1;
    }
    Say("PASSED %s\n", argv[1]);
    return 0;
}
