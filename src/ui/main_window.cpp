#include "ui/main_window.h"

#include <cstring>

#include "core/format.h"
#include "core/names.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "ui/dialog_flow.h"
#include "ui/model/background.h"
#include "ui/wizard.h"

namespace {

const int WINDOW_TITLE_SIZE = 1024;

// Bold italic Times New Roman; the height is set for every paint from the
// layout row.
LOGFONTA TitleFont(LONG height) {
    LOGFONTA font;
    std::memset(&font, 0, sizeof font);
    font.lfHeight = height;
    font.lfWeight = FW_BOLD;
    font.lfItalic = TRUE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    CopyText(font.lfFaceName, sizeof font.lfFaceName, "Times New Roman");
    return font;
}

LOGFONTA titleFont = TitleFont(-34);
LOGFONTA versionFont = TitleFont(-26);

void DrawTitleLine(HDC dc, LOGFONTA& font, const TitleLine& line) {
    font.lfHeight = line.fontHeight;
    HFONT created = CreateFontIndirectA(&font);
    HGDIOBJ previous = SelectObject(dc, created);
    int length = static_cast<int>(std::strlen(line.text));
    SetTextColor(dc, TITLE_SHADOW_COLOUR);
    TextOutA(dc, line.shadowX, line.shadowY, line.text, length);
    SetTextColor(dc, TITLE_TEXT_COLOUR);
    TextOutA(dc, line.textX, line.textY, line.text, length);
    SelectObject(dc, previous);
    DeleteObject(created);
}

}  // namespace

int RegisterMainClass() {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = setupState.instance;
    windowClass.hIcon = setupState.appIcon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = setupState.buttonFaceBrush;
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassA(&windowClass) ? 1 : 0;
}

int CreateMainWindow() {
    char title[WINDOW_TITLE_SIZE];
    FormatText(title, sizeof title, "%s %s", setupState.caption, LoadText(IDS_API_VERSION));
    setupState.mainWindow = CreateWindowExA(WS_EX_APPWINDOW, MAIN_WINDOW_CLASS, title,
                                            WS_OVERLAPPEDWINDOW | WS_MAXIMIZE | WS_CLIPSIBLINGS, CW_USEDEFAULT,
                                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                            setupState.instance, nullptr);
    if (!setupState.mainWindow) return 0;
    // The wizard's property sheet needs the common controls.
    return InitWizardControls();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            // A new size may take another layout row: redraw all of it.
            InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_CLOSE:
            // Destroyed only after the message loop has ended.
            PostQuitMessage(0);
            return 0;
        case WM_ERASEBKGND:
            PaintBackground(window, reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_COMMAND:
            return 0;
        case WM_START_FLOW:
            RunDialogueFlow(window);
            PostMessageA(setupState.mainWindow, WM_CLOSE, 0, 0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void PaintBackground(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    BackgroundLayout layout = {};
    ComputeBackgroundLayout(client, layout);
    for (const GradientBand& band : layout.bands) {
        HBRUSH brush = CreateSolidBrush(band.colour);
        FillRect(dc, &band.rect, brush);
        DeleteObject(brush);
    }
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    SetBkMode(dc, TRANSPARENT);
    DrawTitleLine(dc, titleFont, layout.title);
    DrawTitleLine(dc, versionFont, layout.version);
}

void DestroyMainWindow() {
    ShowWindow(setupState.mainWindow, SW_HIDE);
    DestroyWindow(setupState.mainWindow);
}
