// USER32 subset of the stand-in: windows with texts and redraw handlers,
// scripted message boxes, cursors, the string table.
#include "internal.h"

#include <hostwin/machine.h>

#include <deque>
#include <map>

namespace hostwin {
namespace {

struct Window {
    std::string className, text;
    HWND parent = nullptr;
    int id = 0;
};

struct User {
    std::map<HWND, Window> windows;
    ULONG_PTR nextWindow = 0x10010;
    std::deque<int> answers;
    std::function<void(HWND, BOOL)> redrawHandler;
    std::vector<MessageBoxRecord> boxes;
    int cursor = 32512;
    std::vector<int> cursorHistory;
};

User& Usr() {
    static User user;
    return user;
}

const bool registered = internal::RegisterReset([] { Usr() = User(); });

Window* Find(HWND window) {
    auto found = Usr().windows.find(window);
    if (found != Usr().windows.end()) return &found->second;
    SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
    return nullptr;
}

HWND FindChild(HWND parent, int id) {
    for (auto& entry : Usr().windows) if (entry.second.parent == parent && entry.second.id == id) return entry.first;
    SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
    return nullptr;
}

// The button a box gives for Enter, its default button: the window-free
// code asks with OK boxes and Yes/No boxes only.
int DefaultAnswer(UINT type) {
    if ((type & MB_TYPEMASK) != MB_YESNO) return IDOK;
    return (type & MB_DEFMASK) == MB_DEFBUTTON2 ? IDNO : IDYES;
}

HCURSOR CursorHandle(int id) { return reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(0xC0000000u | id)); }

}  // namespace

HWND CreateWindow(const char* className, const char* title) {
    HOSTWIN_LOCK();
    HWND window = reinterpret_cast<HWND>(Usr().nextWindow);
    Usr().nextWindow += 0x10;
    Usr().windows[window] = Window{className, title, nullptr, 0};
    return window;
}

HWND CreateControl(HWND parent, int id, const char* text) {
    HOSTWIN_LOCK();
    HWND control = CreateWindow("Static", text);
    Usr().windows[control].parent = parent;
    Usr().windows[control].id = id;
    return control;
}

void DestroyWindow(HWND window) {
    HOSTWIN_LOCK();
    for (auto it = Usr().windows.begin(); it != Usr().windows.end();) {
        it = it->first == window || it->second.parent == window ? Usr().windows.erase(it) : std::next(it);
    }
}

std::string ControlText(HWND parent, int id) {
    HOSTWIN_LOCK();
    Window* w = Find(FindChild(parent, id));
    return w ? w->text : std::string();
}

void SetRedrawHandler(std::function<void(HWND, BOOL)> handler) { HOSTWIN_LOCK(); Usr().redrawHandler = handler; }
void QueueMessageBoxAnswers(std::initializer_list<int> answers) {
    HOSTWIN_LOCK();
    Usr().answers.insert(Usr().answers.end(), answers.begin(), answers.end());
}
const std::vector<MessageBoxRecord>& MessageBoxes() { return Usr().boxes; }
void ClearMessageBoxes() { HOSTWIN_LOCK(); Usr().boxes.clear(); }
const std::vector<int>& CursorHistory() { return Usr().cursorHistory; }

}  // namespace hostwin

using namespace hostwin;

// Texts are only set here: what reads a control back runs in the pages, under Windows.
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM, LPARAM lParam) {
    HOSTWIN_LOCK();
    Window* w = Find(window);
    if (!w || message != WM_SETTEXT) return 0;
    w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) { HOSTWIN_LOCK(); return Find(dialog) ? FindChild(dialog, id) : nullptr; }

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HOSTWIN_LOCK();
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL erase) {
    HOSTWIN_LOCK();
    if (!Find(window)) return FALSE;
    if (Usr().redrawHandler) Usr().redrawHandler(window, erase);
    return TRUE;
}

// Top-level windows by class; the program never asks by title.
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR) {
    HOSTWIN_LOCK();
    for (auto& entry : Usr().windows) {
        if (!entry.second.parent && internal::UpperAscii(entry.second.className) == internal::UpperAscii(className)) {
            return entry.first;
        }
    }
    return nullptr;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    internal::NoteLoaderCall("MessageBoxA");
    HOSTWIN_LOCK();
    if (owner && !Find(owner)) return 0;
    MessageBoxRecord record = {owner, text ? text : "", caption ? caption : "Error", type, 0};
    int answer = 0;
    if (!Usr().answers.empty()) {
        answer = Usr().answers.front();
        Usr().answers.pop_front();
    }
    record.answer = answer ? answer : DefaultAnswer(type);
    Usr().boxes.push_back(record);
    return record.answer;
}

// Only the system cursors.
HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) { return CursorHandle(static_cast<int>(LOWORD(name))); }

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HOSTWIN_LOCK();
    HCURSOR previous = Usr().cursor ? CursorHandle(Usr().cursor) : nullptr;
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(cursor);
    Usr().cursor = (value & 0xC0000000u) == 0xC0000000u ? static_cast<int>(value & 0xFFFF) : 0;
    Usr().cursorHistory.push_back(Usr().cursor);
    return previous;
}

// ---- string table -----------------------------------------------------------
int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
#define SETUP_STRING(name, id, text) {id, text},
    static const struct {
        UINT id;
        const char* text;
    } table[] = {
#include "strings.inc"
    };
#undef SETUP_STRING
    for (const auto& entry : table) {
        if (entry.id == id) return static_cast<int>(internal::CopyOut(entry.text, buffer, static_cast<size_t>(size)));
    }
    if (size > 0) buffer[0] = '\0';
    SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return 0;
}
