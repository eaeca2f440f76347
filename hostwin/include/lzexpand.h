/* lzexpand.h of the Linux stand-in: the LZ expander (LZ32) for files in the
 * Windows "SZDD" format. Not included by windows.h, as in the real SDK. */
#ifndef HOSTWIN_LZEXPAND_H
#define HOSTWIN_LZEXPAND_H

#include <windows.h>

#define LZERROR_BADINHANDLE (-1)
#define LZERROR_READ (-3)
#define LZERROR_GLOBALLOC (-5)
#define LZERROR_BADVALUE (-7)
#define LZERROR_UNKNOWNALG (-8)

INT WINAPI LZInit(INT file);
LONG WINAPI LZSeek(INT file, LONG offset, INT origin);
INT WINAPI LZRead(INT file, LPSTR buffer, INT count);
void WINAPI LZClose(INT file);

#endif
