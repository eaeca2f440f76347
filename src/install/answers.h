// Answers files: the settings of an unattended installation, in the format
// of an initialisation file read with the profile functions; the lines it
// may hold are listed in answers.cpp. The board values go through the
// Settings page's own check, the digit count through the DID dialog's.
#ifndef SETUP_INSTALL_ANSWERS_H
#define SETUP_INSTALL_ANSWERS_H

#include <cstddef>

const int ANSWERS_REASON_SIZE = 512;

// Reads the file into setupState: boards, the DID settings it gives and the
// silent answers. 1 when everything is usable; otherwise 0 with the reason,
// naming the file and the line or giving the message the page would have
// shown (what was read before it stays).
int ReadAnswersFile(const char* path, char* reason, std::size_t reasonSize);

// Writes the accepted boards and the DID settings of setupState as an
// answers file. 1 when the whole file was written.
int WriteAnswersFile(const char* path);

#endif
