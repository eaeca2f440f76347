#include "ui/progress_bar.h"

#include <cstring>

#include "core/setup_state.h"
#include "ui/model/progress_bar.h"

void DrawProgressBar(const DRAWITEMSTRUCT* item, int permille) {
    HDC dc = item->hDC;
    ProgressBarLayout bar = ComputeProgressBar(item->rcItem, permille);
    RECT rest = {bar.split, 0, bar.width, bar.height};
    FillRect(dc, &rest, setupState.buttonHighlightBrush);
    RECT done = {0, 0, bar.split, bar.height};
    FillRect(dc, &done, setupState.navyBrush);
    if (!bar.showText) return;

    SetTextAlign(dc, TA_CENTER | TA_TOP);
    int length = static_cast<int>(std::strlen(bar.text));
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, bar.text, length, &extent);
    int top = ProgressTextTop(bar, extent.cy);
    // The text twice: navy on the light part, then light clipped to the
    // navy part, so that the digits stay readable where the bar passes them.
    SetTextColor(dc, setupState.navyColour);
    SetBkColor(dc, setupState.buttonHighlightColour);
    TextOutA(dc, bar.textX, top, bar.text, length);
    HRGN clip = CreateRectRgn(0, 0, bar.split, bar.height);
    SelectClipRgn(dc, clip);
    SetTextColor(dc, setupState.buttonHighlightColour);
    SetBkColor(dc, setupState.navyColour);
    TextOutA(dc, bar.textX, top, bar.text, length);
    DeleteObject(clip);
}

INT_PTR DrawProgressItem(LPARAM lParam) {
    // 1022 is the only owner-drawn control of either dialog.
    DrawProgressBar(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), ShownPermille(setupState.progress));
    return TRUE;
}
