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
//   distribution           the runner lays out the sample distribution in
//                          C:\dist with setup.exe (ignored here)
//   matrix KEY VALUE...    the runner runs the scenario once per version or
//                          desktop size, in E2E_VERSION / E2E_DESKTOP (ignored here)
//   outcome fail           the scenario passes only when a later step fails
//   timeout SECONDS        for every following wait (default 10)
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
//   check ID               click a radio button or check box unless it is checked
//   select ID TEXT         pick a list entry of a combo box, as a user does
//   type ID TEXT           replace the text of an edit field or editable list by typing
//   key escape|enter       a key press on the current window's focus
//   close                  the close box of the current window
//   wizard next|finish|cancel   press a property sheet's button
//   expect-text ID TEXT, expect-selection ID TEXT
//   expect-enabled ID 0|1, expect-checked ID 0|1
//   expect-client W H      the current window's client area has that size; the
//                          log notes where it lies on the screen
//   probe CAPTION...       from now on, every 50 ms, send each visible window with
//                          one of these captions WM_NULL (SendMessageTimeout) and
//                          time the round trip
//   probe-report MAX_MS    stop probing; log every round trip, the count, maximum
//                          and 99th percentile; fail when a round trip took
//                          longer than MAX_MS or when nothing was probed
//   gone                   wait until the current window has closed
//   absent CAPTION MS      no window with that caption shows up within MS
//   screenshot NAME        ask the runner for a picture of the screen
//   sleep MS
//
// IDs are numbers (decimal or 0x...) or the names ok cancel yes no.
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

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// The visible top-level windows of other processes than this one.
std::vector<HWND> VisibleWindows() {
    std::vector<HWND> all, visible;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all) {
        if (ProcessOf(window) != GetCurrentProcessId() && IsWindowVisible(window)) visible.push_back(window);
    }
    return visible;
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
    RECT rect{};
    GetWindowRect(window, &rect);
    Say("window %p class %s caption \"%s\" process %lu at %ld,%ld size %ldx%ld %s\n", static_cast<void*>(window),
        ClassOf(window).c_str(), WindowText(window).c_str(), static_cast<unsigned long>(ProcessOf(window)),
        rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, Flags(window).c_str());
    for (HWND child : Descendants(window)) {
        int depth = 1;
        for (HWND p = GetParent(child); p && p != window; p = GetParent(p)) ++depth;
        DumpControl(child, depth);
    }
}

void DumpScreen() {
    Say("---- visible windows ----\n");
    for (HWND window : VisibleWindows()) {
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
        DWORD next = GetTickCount();
        while (!stop) {
            for (HWND window : VisibleWindows()) {
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

[[noreturn]] void Fail(const std::string& why) { throw Failure{why}; }

using Args = std::vector<std::string>;

struct Driver {
    DWORD timeoutMs = 10000;
    HWND current = nullptr;
    // Started and not yet ended, the last one on top.
    std::vector<PROCESS_INFORMATION> processes;
    int shot = 0;
    bool expectFailure = false;
    bool ended = false;
    Prober* prober = nullptr;

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

    template <typename Read>
    void Expect(const std::string& what, const std::string& expected, Read read) {
        std::string seen;
        if (!WaitFor([&] { return (seen = read()) == expected; })) {
            Fail(what + ": expected \"" + expected + "\", saw \"" + seen + "\"");
        }
    }

    HWND Current() {
        if (!current || !IsWindow(current)) Fail("no current window (use window or message first)");
        return current;
    }

    HWND Control(int id) {
        HWND window = Current();
        HWND control = nullptr;
        if (!WaitFor([&] { return (control = FindControl(window, id)) != nullptr; })) {
            Fail("no control with id " + std::to_string(id) + " in the current window");
        }
        return control;
    }

    void Press(HWND button, const std::string& what) {
        if (!WaitFor([&] { return IsWindowVisible(button) && IsWindowEnabled(button); })) {
            Fail(what + " is not visible and enabled: " + Flags(button));
        }
        // Posted: a click that opens a modal box would block a sender.
        PostMessageW(button, BM_CLICK, 0, 0);
    }

    void KillTarget() {
        for (PROCESS_INFORMATION& process : processes) {
            TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        processes.clear();
    }
};

// anyState: also a disabled window (the owner of a modal dialog).
// text: a message box's text, when given (a box that is closing may
// still be found beside the one that follows it).
HWND FindTopLevel(const std::string& caption, const std::string& cls, bool messageBox, bool anyState = false,
                  const std::string* text = nullptr) {
    for (HWND window : VisibleWindows()) {
        if (WindowText(window) != caption) continue;
        if (!cls.empty() && ClassOf(window) != cls) continue;
        if (messageBox ? !IsMessageBox(window) : !anyState && !IsWindowEnabled(window)) continue;
        if (text && WindowText(GetDlgItem(window, 0xFFFF)) != *text) continue;
        return window;
    }
    return nullptr;
}

std::string Describe(HWND control) {
    return "id " + std::to_string(ControlId(control)) + " (" + ClassOf(control) + " \"" + WindowText(control) +
           "\")";
}

int Id(const std::string& word) {
    static const struct {
        const char* name;
        int id;
    } names[] = {{"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}};
    for (const auto& n : names) {
        if (word == n.name) return n.id;
    }
    char* end = nullptr;
    long value = std::strtol(word.c_str(), &end, 0);
    if (word.empty() || *end) Fail("not a control id: " + word);
    return static_cast<int>(value);
}

int Flag(const std::string& word) {
    if (word != "0" && word != "1") Fail("expected 0 or 1, not " + word);
    return word == "1";
}

// What the control itself tells its parent, as on a real change.
void Notify(HWND control, int code) {
    HWND parent = GetParent(control);
    WPARAM wParam = MAKEWPARAM(ControlId(control), code);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(parent, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control), SMTO_NORMAL,
                        SEND_TIMEOUT_MS, &ignored);
}

// A copy that ends at once (a second instance) is not waited for.
void WaitForInputIdleOrExit(HANDLE process, DWORD timeout) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout) {
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return;
        if (WaitForInputIdle(process, 50) == 0) return;
    }
}

bool HasVisibleWindow(DWORD pid) {
    for (HWND window : VisibleWindows()) {
        if (ProcessOf(window) == pid) return true;
    }
    return false;
}

// ---- the commands --------------------------------------------------------------------
// Each gets its line's words: a[0] the command, then as many arguments as its
// row in COMMANDS allows.

void Run(Driver& d, const Args& a);

void When(Driver& d, const Args& a) {
    char value[2048] = "";
    if (!GetEnvironmentVariableA(a[1].c_str(), value, sizeof value)) value[0] = '\0';
    if (a[2] == value) Run(d, Args(a.begin() + 3, a.end()));
}

void Start(Driver& d, const Args& a) {
    std::string commandLine;
    for (size_t i = 1; i < a.size(); ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += '"' + a[i] + '"';
    }
    std::string folder = a[1];
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
    d.processes.push_back(process);
    WaitForInputIdleOrExit(process.hProcess, d.timeoutMs);
}

void Exit(Driver& d, const Args& a) {
    int code = Id(a[1]);
    bool windowless = a.size() > 2 && a[2] == "windowless";
    if (a.size() > 2 && !windowless) Fail("exit CODE [windowless]");
    if (d.processes.empty()) Fail("no process was started");
    PROCESS_INFORMATION process = d.processes.back();
    d.processes.pop_back();
    bool shown = false;
    DWORD start = GetTickCount();
    DWORD waited = WAIT_TIMEOUT;
    while (waited != WAIT_OBJECT_0 && GetTickCount() - start < d.timeoutMs) {
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

// window, window-any and message.
void Window(Driver& d, const Args& a) {
    bool box = a[0] == "message";
    bool anyState = a[0] == "window-any";
    std::string cls = !box && a.size() > 2 ? a[2] : std::string();
    const std::string* text = box && a.size() > 2 ? &a[2] : nullptr;
    HWND found = nullptr;
    if (!d.WaitFor([&] { return (found = FindTopLevel(a[1], cls, box, anyState, text)) != nullptr; })) {
        HWND other = text ? FindTopLevel(a[1], cls, box) : nullptr;
        Fail("no " + std::string(box ? "message box" : "enabled window") + " \"" + a[1] + "\"" +
             (text ? " saying \"" + *text + "\"" : std::string()) +
             (other ? "; the box says \"" + WindowText(GetDlgItem(other, 0xFFFF)) + "\"" : std::string()));
    }
    d.current = found;
}

void Buttons(Driver& d, const Args& a) {
    std::vector<int> wanted;
    for (size_t i = 1; i < a.size(); ++i) wanted.push_back(Id(a[i]));
    std::string seen;
    auto same = [&] {
        std::vector<int> have;
        seen.clear();
        for (HWND child : Descendants(d.Current())) {
            if (GetParent(child) != d.current || !IsWindowVisible(child)) continue;
            if (_stricmp(ClassOf(child).c_str(), "Button") != 0) continue;
            LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
            if (style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON) continue;
            have.push_back(ControlId(child));
            seen += std::to_string(ControlId(child)) + " \"" + WindowText(child) + "\" ";
        }
        if (have.size() != wanted.size()) return false;
        for (int id : wanted) {
            if (std::find(have.begin(), have.end(), id) == have.end()) return false;
        }
        return true;
    };
    if (!d.WaitFor(same)) Fail("buttons: saw " + seen);
}

void Default(Driver& d, const Args& a) {
    // The button that Enter presses carries the default style (a message
    // box does not report it through DM_GETDEFID).
    d.Expect("default button", std::to_string(Id(a[1])), [&] {
        std::string found = "none";
        for (HWND child : Descendants(d.Current())) {
            LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
            if (_stricmp(ClassOf(child).c_str(), "Button") == 0 && style == BS_DEFPUSHBUTTON &&
                IsWindowVisible(child)) {
                found = std::to_string(ControlId(child));
            }
        }
        return found;
    });
}

void Icon(Driver& d, const Args& a) {
    HWND box = d.Current();
    std::string detail;
    d.Expect("icon", a[1], [&] {
        detail.clear();
        return ShownIcon(box, detail);
    });
    Say("  icon %s (%s)\n", a[1].c_str(), detail.c_str());
}

void Check(Driver& d, const Args& a) {
    HWND button = d.Control(Id(a[1]));
    auto checked = [&] { return Ask(button, BM_GETCHECK, 0, 0) == BST_CHECKED; };
    if (!checked()) d.Press(button, Describe(button));
    if (!d.WaitFor(checked)) Fail(Describe(button) + " did not become checked");
}

void Select(Driver& d, const Args& a) {
    HWND combo = d.Control(Id(a[1]));
    std::vector<std::string> entries = ListEntries(combo);
    auto entry = std::find(entries.begin(), entries.end(), a[2]);
    if (entry == entries.end()) Fail("the list has no entry \"" + a[2] + "\"");
    if (!IsWindowEnabled(combo)) Fail("the list is disabled");
    Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(entry - entries.begin()), 0);
    Notify(combo, CBN_SELCHANGE);
    Notify(combo, CBN_SELENDOK);
}

// Types into an edit field (or the edit field of a list) one character at a
// time, so that the control reports each change itself (EN_CHANGE, and a
// combo box CBN_EDITUPDATE / CBN_EDITCHANGE).
void Type(Driver& d, const Args& a) {
    HWND control = d.Control(Id(a[1]));
    HWND edit = control;
    if (IsCombo(control)) {
        edit = FindWindowExA(control, nullptr, "Edit", nullptr);
        if (!edit) Fail("the list has no edit field (a drop-down list without typing)");
    }
    if (!IsWindowEnabled(control)) Fail("the field is disabled");
    Ask(edit, EM_SETSEL, 0, -1);
    if (a[2].empty()) {
        Ask(edit, WM_CHAR, VK_BACK, 1);
        return;
    }
    for (unsigned char c : a[2]) {
        wchar_t wide = 0;
        char narrow = static_cast<char>(c);
        MultiByteToWideChar(1252, 0, &narrow, 1, &wide, 1);
        Ask(edit, WM_CHAR, wide, 1);
    }
}

void Key(Driver& d, const Args& a) {
    WPARAM key = a[1] == "escape" ? VK_ESCAPE : a[1] == "enter" ? VK_RETURN : 0;
    if (!key) Fail("unknown key " + a[1]);
    HWND window = d.Current();
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus) {
        target = info.hwndFocus;
    }
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

void Wizard(Driver& d, const Args& a) {
    // The wizard frame's own buttons (a property sheet's Next and Finish).
    int id = a[1] == "next" ? 0x3024 : a[1] == "finish" ? 0x3025 : a[1] == "cancel" ? IDCANCEL : 0;
    if (!id) Fail("wizard: next, finish or cancel");
    HWND button = GetDlgItem(d.Current(), id);
    if (!button) Fail("the current window is not a property sheet");
    d.Press(button, "wizard button " + a[1]);
}

// expect-enabled and expect-checked.
void ExpectState(Driver& d, const Args& a) {
    HWND control = d.Control(Id(a[1]));
    int wanted = Flag(a[2]);
    bool enabled = a[0] == "expect-enabled";
    d.Expect(a[0] + " " + a[1], std::to_string(wanted), [&] {
        bool state = enabled ? IsWindowEnabled(control) != 0 : Ask(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        return std::to_string(state ? 1 : 0);
    });
}

void ExpectSelection(Driver& d, const Args& a) {
    HWND combo = d.Control(Id(a[1]));
    d.Expect("selection of " + a[1], a[2], [&] {
        LRESULT index = Ask(combo, CB_GETCURSEL, 0, 0);
        std::vector<std::string> entries = ListEntries(combo);
        return index >= 0 && static_cast<size_t>(index) < entries.size() ? entries[index] : std::string("(none)");
    });
}

void ExpectClient(Driver& d, const Args& a) {
    HWND window = d.Current();
    RECT client{};
    POINT origin{0, 0};
    d.Expect("client size", a[1] + "x" + a[2], [&] {
        GetClientRect(window, &client);
        return std::to_string(client.right) + "x" + std::to_string(client.bottom);
    });
    ClientToScreen(window, &origin);
    Say("  client at %ld,%ld size %ldx%ld\n", origin.x, origin.y, client.right, client.bottom);
}

void Probe(Driver& d, const Args& a) {
    if (d.prober) Fail("already probing");
    d.prober = new Prober;
    for (size_t i = 1; i < a.size(); ++i) {
        std::wstring wide(a[i].size(), L'\0');
        MultiByteToWideChar(1252, 0, a[i].data(), static_cast<int>(a[i].size()), &wide[0],
                            static_cast<int>(wide.size()));
        d.prober->captions.push_back(wide);
    }
    d.prober->thread = CreateThread(nullptr, 0, Prober::Run, d.prober, 0, nullptr);
    if (!d.prober->thread) Fail("cannot start probing");
}

void ProbeReport(Driver& d, const Args& a) {
    Prober* prober = d.prober;
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
    d.prober = nullptr;
    double limit = std::atof(a[1].c_str());
    if (all.empty()) Fail("no window was probed");
    if (*std::max_element(all.begin(), all.end()) > limit) Fail("a round trip took longer than " + a[1] + " ms");
}

void Gone(Driver& d, const Args&) {
    HWND window = d.current;
    if (!d.WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); })) Fail("the window is still there");
    d.current = nullptr;
}

void Absent(Driver& d, const Args& a) {
    auto shown = [&] { return FindTopLevel(a[1], "", false) || FindTopLevel(a[1], "", true); };
    if (d.WaitFor(shown, static_cast<DWORD>(std::atoi(a[2].c_str())))) Fail("a window \"" + a[1] + "\" appeared");
}

void Screenshot(Driver& d, const Args& a) {
    char folder[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("E2E_SHOTS", folder, sizeof folder)) {
        Say("  (no E2E_SHOTS: screenshot %s skipped)\n", a[1].c_str());
        return;
    }
    // Let the target finish painting first.
    if (!d.processes.empty()) WaitForInputIdle(d.processes.back().hProcess, 2000);
    Sleep(400);
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", ++d.shot);
    std::string base = std::string(folder) + "\\" + number + a[1];
    std::string want = base + ".want";
    std::string picture = base + ".png";
    HANDLE file = CreateFileA(want.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create " + want);
    CloseHandle(file);
    if (!d.WaitFor([&] { return GetFileAttributesA(picture.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000)) {
        Fail("the runner made no picture " + picture);
    }
    Say("  screenshot %s\n", picture.c_str());
}

const size_t ANY = static_cast<size_t>(-1);

// Every command, with the least and the most arguments it takes.
const struct Command {
    const char* name;
    size_t least;
    size_t most;
    void (*run)(Driver&, const Args&);
} COMMANDS[] = {
    {"distribution", 0, 0, [](Driver&, const Args&) {}},
    {"matrix", 1, ANY, [](Driver&, const Args&) {}},
    {"outcome", 1, 1, [](Driver& d, const Args& a) { d.expectFailure = a[1] == "fail"; }},
    {"timeout", 1, 1,
     [](Driver& d, const Args& a) { d.timeoutMs = static_cast<DWORD>(std::atof(a[1].c_str()) * 1000); }},
    {"set", 2, 2, [](Driver&, const Args& a) { SetEnvironmentVariableA(a[1].c_str(), a[2].c_str()); }},
    {"copy", 2, 2,
     [](Driver&, const Args& a) {
         if (!CopyFileA(a[1].c_str(), a[2].c_str(), FALSE)) {
             Fail("cannot copy " + a[1] + " to " + a[2] + " (error " + std::to_string(GetLastError()) + ")");
         }
     }},
    {"remove", 1, 1,
     [](Driver&, const Args& a) {
         if (!RemoveTree(a[1])) Fail("cannot remove " + a[1] + " (error " + std::to_string(GetLastError()) + ")");
     }},
    {"when", 3, ANY, When},
    {"end", 0, 0, [](Driver& d, const Args&) { d.ended = true; }},
    {"start", 1, ANY, Start},
    {"exit", 1, 2, Exit},
    {"window", 1, 2, Window},
    {"window-any", 1, 2, Window},
    {"message", 1, 2, Window},
    {"buttons", 1, ANY, Buttons},
    {"default", 1, 1, Default},
    {"icon", 1, 1, Icon},
    {"click", 1, 1,
     [](Driver& d, const Args& a) {
         HWND button = d.Control(Id(a[1]));
         d.Press(button, Describe(button));
     }},
    {"check", 1, 1, Check},
    {"select", 2, 2, Select},
    {"type", 2, 2, Type},
    {"key", 1, 1, Key},
    {"close", 0, 0, [](Driver& d, const Args&) { PostMessageW(d.Current(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {"wizard", 1, 1, Wizard},
    {"expect-text", 2, 2,
     [](Driver& d, const Args& a) {
         HWND control = d.Control(Id(a[1]));
         d.Expect("text of " + a[1], a[2], [&] { return WindowText(control); });
     }},
    {"expect-enabled", 2, 2, ExpectState},
    {"expect-checked", 2, 2, ExpectState},
    {"expect-selection", 2, 2, ExpectSelection},
    {"expect-client", 2, 2, ExpectClient},
    {"probe", 1, ANY, Probe},
    {"probe-report", 1, 1, ProbeReport},
    {"gone", 0, 0, Gone},
    {"absent", 2, 2, Absent},
    {"screenshot", 1, 1, Screenshot},
    {"sleep", 1, 1, [](Driver&, const Args& a) { Sleep(static_cast<DWORD>(std::atoi(a[1].c_str()))); }},
};

void Run(Driver& d, const Args& a) {
    for (const Command& command : COMMANDS) {
        if (a[0] != command.name) continue;
        size_t given = a.size() - 1;
        if (given < command.least) Fail(a[0] + " needs " + std::to_string(command.least) + " argument(s)");
        if (given > command.most) Fail(a[0] + " takes at most " + std::to_string(command.most) + " argument(s)");
        command.run(d, a);
        return;
    }
    Fail("unknown command " + a[0]);
}

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
            Run(driver, words);
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
