#include "support/test_window.h"

#include "support/platform.h"

#ifdef _WIN32

namespace {
void RegisterTestClass(const char* className) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
}
}  // namespace

TestWindow::TestWindow(const char* className, const char* title) {
    RegisterTestClass(className);
    window_ = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
}

TestWindow::~TestWindow() {
    if (window_) DestroyWindow(window_);
}

HWND TestWindow::AddControl(int id, const char* text) {
    return CreateWindowExA(0, "EDIT", text, WS_CHILD | ES_AUTOHSCROLL, 0, 0, 100, 20, window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

std::string TestWindow::Text(int id) const {
    char buffer[4096] = {0};
    GetDlgItemTextA(window_, id, buffer, sizeof buffer);
    return buffer;
}

void TestWindow::SetText(int id, const char* text) { SetDlgItemTextA(window_, id, text); }

std::string TestWindow::OwnText() const {
    char buffer[4096] = {0};
    GetWindowTextA(window_, buffer, sizeof buffer);
    return buffer;
}

#else

TestWindow::TestWindow(const char* className, const char* title) : window_(hostwin::CreateWindow(className, title)) {}

TestWindow::~TestWindow() { hostwin::DestroyWindow(window_); }

HWND TestWindow::AddControl(int id, const char* text) { return hostwin::CreateControl(window_, id, text); }

std::string TestWindow::Text(int id) const { return hostwin::ControlText(window_, id); }

void TestWindow::SetText(int id, const char* text) {
    SendDlgItemMessageA(window_, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::string TestWindow::OwnText() const { return hostwin::WindowText(window_); }

#endif
