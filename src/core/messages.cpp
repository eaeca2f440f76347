#include "core/messages.h"

#include "core/setup_log.h"
#include "core/setup_state.h"

int ShowMessage(HWND owner, const char* text, UINT type, int silentAnswer) {
    LogLine("Message: %s", text ? text : "");
    int answer = setupState.silent ? silentAnswer : MessageBoxA(owner, text, setupState.caption, type);
    if ((type & MB_TYPEMASK) == MB_YESNO) LogLine("Answer: %s", answer == IDNO ? "No" : "Yes");
    return answer;
}
