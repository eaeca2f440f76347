#include "support/message_boxes.h"

#include "support/platform.h"

int MessageBoxWatch::NextAnswer(int defaultButton) {
    if (answers_.empty()) return defaultButton;
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void MessageBoxWatch::Answer(std::initializer_list<int> answers) {
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

#ifdef _WIN32

namespace {
thread_local MessageBoxWatch* activeWatch = nullptr;

UINT IconOf(HWND box) {
    // Windows numbers the icon static 0x14, Wine 0x440.
    const int iconIds[] = {0x14, 0x440};
    for (int id : iconIds) {
        HWND control = GetDlgItem(box, id);
        if (!control) continue;
        HICON icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
        if (!icon) continue;
        if (icon == LoadIconA(nullptr, IDI_WARNING)) return MB_ICONWARNING;
        if (icon == LoadIconA(nullptr, IDI_ERROR)) return MB_ICONERROR;
        if (icon == LoadIconA(nullptr, IDI_INFORMATION)) return MB_ICONINFORMATION;
        if (icon == LoadIconA(nullptr, IDI_QUESTION)) return MB_ICONQUESTION;
    }
    return 0;
}
}  // namespace

struct MessageBoxWatchAccess {
    static LRESULT Hook(int code, WPARAM wParam, LPARAM lParam) {
        MessageBoxWatch* watch = activeWatch;
        if (code == HCBT_ACTIVATE && watch) {
            HWND box = reinterpret_cast<HWND>(wParam);
            char className[64] = {0};
            GetClassNameA(box, className, sizeof className);
            if (std::string(className) == "#32770" && GetDlgItem(box, 0xFFFF)) {
                ShownBox shown = {};
                char buffer[4096] = {0};
                GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
                shown.text = buffer;
                GetWindowTextA(box, buffer, sizeof buffer);
                shown.caption = buffer;
                shown.owner = GetWindow(box, GW_OWNER);
                bool yes = GetDlgItem(box, IDYES) != nullptr;
                bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
                shown.buttons = yes ? (cancel ? MB_YESNOCANCEL : MB_YESNO) : (cancel ? MB_OKCANCEL : MB_OK);
                LRESULT def = SendMessageA(box, DM_GETDEFID, 0, 0);
                shown.defaultButton = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : 0;
                shown.icon = IconOf(box);
                shown.answer = watch->NextAnswer(shown.defaultButton);
                watch->boxes_.push_back(shown);
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(shown.answer, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(box, shown.answer)));
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

LRESULT CALLBACK MessageBoxWatch::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    return MessageBoxWatchAccess::Hook(code, wParam, lParam);
}

MessageBoxWatch::MessageBoxWatch(std::initializer_list<int> answers) : answers_(answers) {
    activeWatch = this;
    hook_ = SetWindowsHookExA(WH_CBT, &MessageBoxWatch::HookProc, nullptr, GetCurrentThreadId());
}

MessageBoxWatch::~MessageBoxWatch() {
    if (hook_) UnhookWindowsHookEx(hook_);
    activeWatch = nullptr;
}

const std::vector<ShownBox>& MessageBoxWatch::Boxes() const { return boxes_; }

#else

namespace {
int DefaultButtonOf(UINT type) {
    int index = static_cast<int>((type & MB_DEFMASK) >> 8);
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return index == 1 ? IDCANCEL : IDOK;
        case MB_YESNO: return index == 1 ? IDNO : IDYES;
        case MB_YESNOCANCEL: return index == 2 ? IDCANCEL : (index == 1 ? IDNO : IDYES);
        default: return IDOK;
    }
}
}  // namespace

struct MessageBoxWatchAccess {
    static int Handle(MessageBoxWatch* watch, const hostwin::MessageBoxRecord& record) {
        ShownBox shown = {};
        shown.owner = record.owner;
        shown.text = record.text;
        shown.caption = record.caption;
        shown.buttons = record.type & MB_TYPEMASK;
        shown.defaultButton = DefaultButtonOf(record.type);
        shown.icon = record.type & MB_ICONMASK;
        shown.answer = watch->NextAnswer(shown.defaultButton);
        watch->boxes_.push_back(shown);
        return shown.answer;
    }
};

MessageBoxWatch::MessageBoxWatch(std::initializer_list<int> answers) : answers_(answers) {
    hostwin::SetMessageBoxHandler(
        [this](const hostwin::MessageBoxRecord& record) { return MessageBoxWatchAccess::Handle(this, record); });
}

MessageBoxWatch::~MessageBoxWatch() { hostwin::SetMessageBoxHandler(nullptr); }

const std::vector<ShownBox>& MessageBoxWatch::Boxes() const { return boxes_; }

#endif
