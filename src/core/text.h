// Text and number helpers: string table access, trimming, case mapping,
// field splitting, search and replace, control texts and number entries.
// Texts are NUL-terminated code page 1252 bytes; a blank is any byte 1..32.
#ifndef SETUP_CORE_TEXT_H
#define SETUP_CORE_TEXT_H

#include <windows.h>

#include <cstddef>

const int TEXT_RING_SLOTS = 32;
const int TEXT_RING_SLOT_SIZE = 1024;
const int CONTROL_TEXT_SIZE = 256;  // control texts: 255 characters and the NUL

// String-table text in one of 32 ring slots; valid for the next 31 calls.
// An identifier missing from the table gives the empty text.
char* LoadText(UINT id);

// The one rule for blanks, for trimming and for the words of the command line.
inline bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }
void TrimText(char* text);
// Whether the first length bytes of text are name, whole, ignoring case.
int SameName(const char* text, std::size_t length, const char* name);
// Orders names as SameName tells them apart: 0 for the same name.
int CompareNames(const char* a, const char* b);
void UpperCaseText(char* text);
void LowerCaseText(char* text);

// Splits text in place at any byte of separators; stores up to maxFields
// field addresses. The last field allowed holds the rest of the text.
int SplitFields(char* text, const char* separators, char** fields, int maxFields, int skipEmpty);

// Index of the first occurrence of pattern in text, or -1. exact == 0 ignores
// the case of a-z and the three umlauts. Texts of any length.
int FindText(const char* text, const char* pattern, int exact);

// Replaces every occurrence of pattern (exact case) in the text buffer of
// capacity bytes. Returns the number of replacements; 0 and the text left
// unchanged when nothing matched or the result with its NUL would not fit.
int ReplaceAll(char* text, const char* pattern, const char* replacement, std::size_t capacity);

// Control texts; controlId 0 means the window itself. buffer holds
// CONTROL_TEXT_SIZE bytes.
int GetControlText(HWND window, int controlId, char* buffer);
void SetControlText(HWND window, int controlId, const char* text);

// The number readers. The *Text forms apply the rules of the *Field forms to
// a text directly (read as a control would hold it: at most 255 characters,
// trimmed). -1 means the entry cannot be used.
int ParseDecimalText(const char* text, int decimals);
int ParseHexText(const char* text);
int ParseDecimalField(HWND window, int controlId, int decimals);

#endif
