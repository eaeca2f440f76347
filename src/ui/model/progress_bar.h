// The progress bar of the progress dialogs as numbers: where the navy part
// ends and what the percentage text says.
#ifndef SETUP_UI_MODEL_PROGRESS_BAR_H
#define SETUP_UI_MODEL_PROGRESS_BAR_H

#include <windows.h>

const int PROGRESS_TEXT_SIZE = 16;

struct ProgressBarLayout {
    int width;   // the item rectangle starts at 0, 0: right and bottom
    int height;  // are its size
    int split;   // navy from 0 to split, light from split to width
    int showText;
    char text[PROGRESS_TEXT_SIZE];  // "45 %"
    int textX;                      // centre of the text
};

// What a progress dialog draws for the shared progress value: a fresh dialog
// (progress still 0) already shows one per cent.
int ShownPermille(int progress);

ProgressBarLayout ComputeProgressBar(const RECT& item, int permille);

// Top of the text once its height is measured in the control's font.
int ProgressTextTop(const ProgressBarLayout& bar, int textHeight);

#endif
