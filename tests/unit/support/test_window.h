// A window with numbered child controls holding texts, for the helpers that
// read and write control texts. A real hidden window under Windows/Wine, a
// simulated one on the stand-in.
#ifndef TESTS_SUPPORT_TEST_WINDOW_H
#define TESTS_SUPPORT_TEST_WINDOW_H

#include <windows.h>

#include <string>

class TestWindow {
public:
    explicit TestWindow(const char* className = "SetupTestWindow", const char* title = "Test window");
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return window_; }
    // Adds an edit control with the given id and text.
    HWND AddControl(int id, const char* text = "");
    std::string Text(int id) const;
    void SetText(int id, const char* text);
    std::string OwnText() const;

private:
    HWND window_;
};

#endif
