// Watches the message boxes the code under test shows on this thread, and
// answers them from a script: through the stand-in's controls, or under
// Windows/Wine through a hook that reads the real box (text static 0xFFFF,
// caption, owner, buttons, default button, icon) and clicks a button.
#ifndef TESTS_SUPPORT_MESSAGE_BOXES_H
#define TESTS_SUPPORT_MESSAGE_BOXES_H

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

struct ShownBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT buttons;       // MB_OK, MB_OKCANCEL, MB_YESNO or MB_YESNOCANCEL
    int defaultButton;  // IDOK, IDYES, IDNO, ...
    UINT icon;          // MB_ICONWARNING, MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION or 0
    int answer;         // the button pressed
};

class MessageBoxWatch {
public:
    // Boxes are answered in order with these buttons; without a scripted
    // answer, with the default button (Enter).
    explicit MessageBoxWatch(std::initializer_list<int> answers = {});
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    void Answer(std::initializer_list<int> answers);
    const std::vector<ShownBox>& Boxes() const;

private:
    std::deque<int> answers_;
    std::vector<ShownBox> boxes_;
#ifdef _WIN32
    HHOOK hook_;
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
#endif
    int NextAnswer(int defaultButton);
    friend struct MessageBoxWatchAccess;
};

#endif
