// USER32 subset of the stand-in: windows with texts and redraw handlers,
// scripted message boxes, cursors, the string table.
#include "internal.h"

#include <hostwin/machine.h>

#include <cstring>
#include <deque>
#include <map>

namespace hostwin {
namespace {

struct Window {
    std::string className;
    std::string text;
    std::vector<std::string> textHistory;
    HWND parent = nullptr;
    int id = 0;
};

struct User {
    std::map<ULONG_PTR, Window> windows;
    ULONG_PTR nextWindow = 0x10010;
    std::deque<int> answers;
    std::function<int(const MessageBoxRecord&)> handler;
    std::function<void(HWND, BOOL)> redrawHandler;
    bool messageBoxFails = false;
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
    auto found = Usr().windows.find(reinterpret_cast<ULONG_PTR>(window));
    return found == Usr().windows.end() ? nullptr : &found->second;
}

HWND FindChild(HWND parent, int id) {
    for (auto& entry : Usr().windows) {
        if (entry.second.parent == parent && entry.second.id == id) return reinterpret_cast<HWND>(entry.first);
    }
    return nullptr;
}

// The button a box gives for Enter: its default button.
int DefaultAnswer(UINT type) {
    int button = static_cast<int>((type & MB_DEFMASK) >> 8);  // 0 = first
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return button == 1 ? IDCANCEL : IDOK;
        case MB_YESNO: return button == 1 ? IDNO : IDYES;
        case MB_YESNOCANCEL: return button == 2 ? IDCANCEL : (button == 1 ? IDNO : IDYES);
        default: return IDOK;
    }
}

#define CURSOR_HANDLE(id) reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(0xC0000000u | (id)))

}  // namespace

HWND CreateWindow(const char* className, const char* title) {
    HOSTWIN_LOCK();
    ULONG_PTR value = Usr().nextWindow;
    Usr().nextWindow += 0x10;
    Window& w = Usr().windows[value];
    w.className = className ? className : "";
    w.text = title ? title : "";
    return reinterpret_cast<HWND>(value);
}

HWND CreateControl(HWND parent, int id, const char* text) {
    HOSTWIN_LOCK();
    HWND control = CreateWindow("Static", text);
    Window* w = Find(control);
    w->parent = parent;
    w->id = id;
    return control;
}

void DestroyWindow(HWND window) {
    HOSTWIN_LOCK();
    std::vector<HWND> children;
    for (auto& entry : Usr().windows) {
        if (entry.second.parent == window) children.push_back(reinterpret_cast<HWND>(entry.first));
    }
    for (HWND child : children) DestroyWindow(child);
    Usr().windows.erase(reinterpret_cast<ULONG_PTR>(window));
}

std::string WindowText(HWND window) {
    HOSTWIN_LOCK();
    Window* w = Find(window);
    return w ? w->text : std::string();
}

std::string ControlText(HWND parent, int id) {
    HOSTWIN_LOCK();
    return WindowText(FindChild(parent, id));
}

std::vector<std::string> TextHistory(HWND window) {
    HOSTWIN_LOCK();
    Window* w = Find(window);
    return w ? w->textHistory : std::vector<std::string>();
}

void SetRedrawHandler(std::function<void(HWND, BOOL)> handler) {
    HOSTWIN_LOCK();
    Usr().redrawHandler = std::move(handler);
}

void QueueMessageBoxAnswers(std::initializer_list<int> answers) {
    HOSTWIN_LOCK();
    Usr().answers.insert(Usr().answers.end(), answers.begin(), answers.end());
}

void SetMessageBoxHandler(std::function<int(const MessageBoxRecord&)> handler) {
    HOSTWIN_LOCK();
    Usr().handler = std::move(handler);
}

void SetMessageBoxFails(bool fails) {
    HOSTWIN_LOCK();
    Usr().messageBoxFails = fails;
}

const std::vector<MessageBoxRecord>& MessageBoxes() { return Usr().boxes; }

void ClearMessageBoxes() {
    HOSTWIN_LOCK();
    Usr().boxes.clear();
}

const std::vector<int>& CursorHistory() { return Usr().cursorHistory; }

}  // namespace hostwin

using namespace hostwin;

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HOSTWIN_LOCK();
    Window* w = Find(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (message) {
        case WM_GETTEXT:
            return static_cast<LRESULT>(internal::CopyOut(w->text, reinterpret_cast<char*>(lParam), wParam));
        case WM_SETTEXT:
            w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
            w->textHistory.push_back(w->text);
            return TRUE;
        default:
            return 0;
    }
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    HOSTWIN_LOCK();
    HWND control = Find(dialog) ? FindChild(dialog, id) : nullptr;
    if (!control) SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
    return control;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HOSTWIN_LOCK();
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL erase) {
    HOSTWIN_LOCK();
    Window* w = Find(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (Usr().redrawHandler) Usr().redrawHandler(window, erase);
    return TRUE;
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
    HOSTWIN_LOCK();
    for (auto& entry : Usr().windows) {
        const Window& w = entry.second;
        if (w.parent) continue;  // top-level windows only
        if (className && internal::UpperAscii(w.className) != internal::UpperAscii(className)) continue;
        if (windowName && w.text != windowName) continue;
        return reinterpret_cast<HWND>(entry.first);
    }
    return nullptr;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::function<int(const MessageBoxRecord&)> handler;
    MessageBoxRecord record;
    {
        HOSTWIN_LOCK();
        if (Usr().messageBoxFails || (owner && !Find(owner))) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        record = {owner, text ? text : "", caption ? caption : "Error", type, 0};
        handler = Usr().handler;
    }
    // The handler runs unlocked: it may look at the machine or act on it,
    // as a user looking at the screen could.
    int answer = handler ? handler(record) : 0;
    HOSTWIN_LOCK();
    if (answer == 0 && !Usr().answers.empty()) {
        answer = Usr().answers.front();
        Usr().answers.pop_front();
    }
    if (answer == 0) answer = DefaultAnswer(type);
    record.answer = answer;
    Usr().boxes.push_back(record);
    return answer;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    ULONG_PTR id = reinterpret_cast<ULONG_PTR>(name);
    if (instance || id > 0xFFFF) return nullptr;  // only the system cursors
    return CURSOR_HANDLE(id);
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HOSTWIN_LOCK();
    HCURSOR previous = Usr().cursor ? CURSOR_HANDLE(Usr().cursor) : nullptr;
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(cursor);
    Usr().cursor = (value & 0xC0000000u) == 0xC0000000u ? static_cast<int>(value & 0xFFFF) : 0;
    Usr().cursorHistory.push_back(Usr().cursor);
    return previous;
}

// ---- string table -----------------------------------------------------------
namespace {
struct StringEntry {
    UINT id;
    const char* text;
};
#define SETUP_STRING(name, id, text) {id, text},
const StringEntry stringTable[] = {
#include "strings.inc"
};
#undef SETUP_STRING
}  // namespace

int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    for (const StringEntry& entry : stringTable) {
        if (entry.id == id) {
            return static_cast<int>(internal::CopyOut(entry.text, buffer, static_cast<size_t>(size)));
        }
    }
    buffer[0] = '\0';
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}
