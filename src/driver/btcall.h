// btcall.cfg: keyword lines of the driver's call-control configuration, the
// DID settings kept in them, and the %windir% placeholder.
#ifndef SETUP_DRIVER_BTCALL_H
#define SETUP_DRIVER_BTCALL_H

#include <cstdint>

struct KeywordLine {
    std::int32_t lineStart;   // offset of the keyword's first byte
    std::int32_t valueStart;  // offset of the value's first byte, -1 for none
    std::int32_t lineEnd;     // offset of the line's last byte (inclusive)
};

int FindKeywordLine(const char* text, std::int32_t length, const char* keyword, KeywordLine* line);
// value: 256-byte buffer.
int ReadKeywordValue(const char* keyword, char* value);
int WriteKeywordLine(const char* keyword, const char* value);

// The most DID digits the driver captures.
const int MAX_DID_DIGITS = 63;

int ReadDidSettings();
int WriteDidSettings();
int ExpandWindirInBtcall();
// The edits an installation makes: %windir% expanded, then the DID settings
// written. 0 when btcall.cfg is there but needs an edit that could not be made
// (the file could not be read whole or not be replaced); 1 otherwise, also
// when there is no file or nothing in it to change.
int EditBtcallForInstallation();

#endif
