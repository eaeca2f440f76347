#include "ui/model/placement.h"

namespace {

// A main window beyond these is off any sane screen (minimised, or a bogus
// rectangle): better leave the window where the system put it.
const int MAX_REFERENCE_ORIGIN = 2048;
const int MAX_REFERENCE_SIZE = 8192;
const int WIZARD_MIN_TOP = 112;

}  // namespace

WindowPosition ComputeCenteredPosition(const RECT& window, const RECT* mainWindow, int screenWidth,
                                       int screenHeight, const CenterRequest& request) {
    WindowPosition position{0, 0, 0};
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int left = 0;
    int top = 0;
    int referenceWidth = screenWidth;
    int referenceHeight = screenHeight;
    if (mainWindow) {
        left = mainWindow->left;
        top = mainWindow->top;
        referenceWidth = mainWindow->right - mainWindow->left;
        referenceHeight = mainWindow->bottom - mainWindow->top;
        if (left > MAX_REFERENCE_ORIGIN || top > MAX_REFERENCE_ORIGIN) return position;
        if (referenceWidth < 0 || referenceWidth > MAX_REFERENCE_SIZE) return position;
        if (referenceHeight < 0 || referenceHeight > MAX_REFERENCE_SIZE) return position;
    }
    int x = left + referenceWidth / 2 - width / 2 + request.dx;
    int y = top + referenceHeight / 2 - height / 2 + request.dy;
    position.move = 1;
    position.x = x > request.minLeft ? x : request.minLeft;
    position.y = y > request.minTop ? y : request.minTop;
    return position;
}

CenterRequest WizardCenterRequest(const RECT& mainWindow) {
    return CenterRequest{0, (mainWindow.bottom - mainWindow.top) / 20, 0, WIZARD_MIN_TOP};
}
