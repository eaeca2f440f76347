#include "install/progress.h"

#include "core/setup_state.h"
#include "resource.h"

std::int32_t ProgressPermille(std::uint64_t done, std::uint64_t total) {
    std::uint64_t permille = (done * 1000 + total / 2) / total;
    return permille >= 1000 ? 1000 : static_cast<std::int32_t>(permille);
}

void ShowProgress(HWND owner, std::int32_t value) {
    setupState.progress = value;
    // Without the control, InvalidateRect(NULL, ...) would redraw every
    // window on the desktop.
    HWND bar = owner ? GetDlgItem(owner, IDC_PROGRESS) : nullptr;
    if (bar) InvalidateRect(bar, nullptr, FALSE);
}
