#include "core/format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int FormatText(char* buffer, std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int fitted = FormatTextV(buffer, size, format, args);
    va_end(args);
    return fitted;
}

int FormatTextV(char* buffer, std::size_t size, const char* format, va_list args) {
    if (!buffer || size == 0) return 0;
    if (!format) {
        buffer[0] = '\0';
        return 1;
    }
#ifdef _WIN32
    // The system's C runtime formats: -1 (or exactly size) when the text and
    // its terminator do not fit, the cut text then left unterminated. The C99
    // formatter of the compiler's own library would add some 30 KB.
    int written = _vsnprintf(buffer, size, format, args);
    buffer[size - 1] = '\0';
    return written >= 0 && static_cast<std::size_t>(written) < size ? 1 : 0;
#else
    int needed = std::vsnprintf(buffer, size, format, args);
    buffer[size - 1] = '\0';
    if (needed < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(needed) < size ? 1 : 0;
#endif
}

int CopyText(char* buffer, std::size_t size, const char* text) {
    if (!buffer || size == 0) return 0;
    if (!text) text = "";
    std::size_t length = std::strlen(text);
    std::size_t n = length < size ? length : size - 1;
    std::memmove(buffer, text, n);
    buffer[n] = '\0';
    return n == length ? 1 : 0;
}
