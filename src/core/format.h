// Bounded text building: every write into a fixed buffer goes through these,
// so that nothing is ever written past a buffer. Both return 1 when the whole
// text fitted and 0 when it was cut; the result is always NUL-terminated
// (size > 0).
#ifndef SETUP_CORE_FORMAT_H
#define SETUP_CORE_FORMAT_H

#include <cstdarg>
#include <cstddef>

#if defined(__GNUC__)
#define SETUP_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define SETUP_PRINTF_LIKE(fmt, args)
#endif

int FormatText(char* buffer, std::size_t size, const char* format, ...) SETUP_PRINTF_LIKE(3, 4);
int FormatTextV(char* buffer, std::size_t size, const char* format, va_list args);
int CopyText(char* buffer, std::size_t size, const char* text);

#endif
