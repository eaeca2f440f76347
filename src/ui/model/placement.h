// Where CenterWindow puts a window, and the offset the wizard asks for.
#ifndef SETUP_UI_MODEL_PLACEMENT_H
#define SETUP_UI_MODEL_PLACEMENT_H

#include <windows.h>

struct WindowPosition {
    int move;  // 0: leave the window where it is
    int x;
    int y;
};

struct CenterRequest {
    int dx, dy;             // offset from the centred place
    int minLeft, minTop;    // the window never goes left of / above these
};

// window: the window's screen rectangle. mainWindow: the main window's screen
// rectangle, or nullptr before it exists, when the screen (screenWidth x
// screenHeight at 0, 0) is the reference.
WindowPosition ComputeCenteredPosition(const RECT& window, const RECT* mainWindow, int screenWidth,
                                       int screenHeight, const CenterRequest& request);

// The wizard sits a twentieth of the main window's height below its centre
// and never above y = 112.
CenterRequest WizardCenterRequest(const RECT& mainWindow);

#endif
