// Progress of the installation steps: the permille value the progress
// dialogs draw, and the redraw request that tells them about it.
#ifndef SETUP_INSTALL_PROGRESS_H
#define SETUP_INSTALL_PROGRESS_H

#include <windows.h>

#include <cstdint>

// done against total in permille, rounded to the nearest as MulDiv rounds,
// never above 1000. total must not be 0.
std::int32_t ProgressPermille(std::uint64_t done, std::uint64_t total);

// Stores value in setupState.progress, then asks the owner's progress bar
// (IDC_PROGRESS) to redraw without erasing its background.
void ShowProgress(HWND owner, std::int32_t value);

#endif
