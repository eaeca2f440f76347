// What the main window's background shows for a client size: the layout row,
// the 63 gradient bands and the two shadowed title lines. The window
// procedure only carries this out with brushes, fonts and TextOutA.
#ifndef SETUP_UI_MODEL_BACKGROUND_H
#define SETUP_UI_MODEL_BACKGROUND_H

#include <windows.h>

const int GRADIENT_BANDS = 63;
const int TITLE_TEXT_SIZE = 256;
const COLORREF TITLE_SHADOW_COLOUR = RGB(0, 0, 0);
const COLORREF TITLE_TEXT_COLOUR = RGB(255, 255, 255);

// Sizes and places of the title lines; chosen by the exact client width.
struct BackgroundRow {
    int titleFontHeight;    // negative: character height
    int versionFontHeight;
    int x;
    int y1;
    int y2;
};

struct GradientBand {
    RECT rect;  // right and bottom exclusive
    COLORREF colour;
};

struct TitleLine {
    int fontHeight;
    char text[TITLE_TEXT_SIZE];
    int shadowX, shadowY;  // drawn first, in TITLE_SHADOW_COLOUR
    int textX, textY;      // then the text itself, in TITLE_TEXT_COLOUR
};

struct BackgroundLayout {
    BackgroundRow row;
    GradientBand bands[GRADIENT_BANDS];
    TitleLine title;    // product and Windows version
    TitleLine version;  // driver API version
};

BackgroundRow ChooseBackgroundRow(int clientWidth);

// Bands of equal share from the top (bright blue) to the bottom (dark),
// together covering width x height exactly.
void ComputeGradientBands(int width, int height, GradientBand bands[GRADIENT_BANDS]);

// Everything for one paint of a client rectangle whose top is 0. The title
// names the running Windows version (osFamily / osDetail).
void ComputeBackgroundLayout(const RECT& client, BackgroundLayout& layout);

#endif
