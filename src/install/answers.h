// Answers files: the settings of an unattended installation, in the format
// of an initialisation file read with the profile functions.
//
//   [Boards]  Board1..Board6 = TYPE[, IO-BASE, CHANNELS]; IRQ; DMA
//   [DID]     Variable = 0|1; Digits = 0..63; Start = wink|immediate
//   [Setup]   StartDrivers = yes|no; MissingFiles = stop|skip
//
// The board values go through the Settings page's own check, the digit
// count through the DID dialog's.
#ifndef SETUP_INSTALL_ANSWERS_H
#define SETUP_INSTALL_ANSWERS_H

#include <cstddef>

const int ANSWERS_REASON_SIZE = 512;

// Reads the file into setupState: boards, DID settings (only where the file
// has a [DID] section) and the silent answers. 1 when everything is usable;
// otherwise 0 with the reason, naming the file and the line or giving the
// message the page would have shown.
int ReadAnswersFile(const char* path, char* reason, std::size_t reasonSize);

// Writes the accepted boards and the DID settings of setupState as an
// answers file. 1 when the whole file was written.
int WriteAnswersFile(const char* path);

#endif
