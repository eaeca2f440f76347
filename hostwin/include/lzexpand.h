/*
 * lzexpand.h of the Linux stand-in: the LZ expander (LZ32) for files in the
 * Windows "SZDD" format. Not included by windows.h, as in the real SDK.
 */
#ifndef HOSTWIN_LZEXPAND_H
#define HOSTWIN_LZEXPAND_H

#include <windows.h>

#define OF_READ 0x00000000
#define OF_WRITE 0x00000001
#define OF_READWRITE 0x00000002
#define OF_SHARE_COMPAT 0x00000000
#define OF_SHARE_EXCLUSIVE 0x00000010
#define OF_SHARE_DENY_WRITE 0x00000020
#define OF_SHARE_DENY_READ 0x00000030
#define OF_SHARE_DENY_NONE 0x00000040
#define OF_EXIST 0x00004000

#define OFS_MAXPATHNAME 128
typedef struct _OFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT, *POFSTRUCT, *LPOFSTRUCT;

#define LZERROR_BADINHANDLE (-1)
#define LZERROR_BADOUTHANDLE (-2)
#define LZERROR_READ (-3)
#define LZERROR_WRITE (-4)
#define LZERROR_GLOBALLOC (-5)
#define LZERROR_GLOBLOCK (-6)
#define LZERROR_BADVALUE (-7)
#define LZERROR_UNKNOWNALG (-8)

INT WINAPI LZOpenFileA(LPSTR name, LPOFSTRUCT reopen, WORD style);
INT WINAPI LZInit(INT file);
LONG WINAPI LZSeek(INT file, LONG offset, INT origin);
INT WINAPI LZRead(INT file, LPSTR buffer, INT count);
void WINAPI LZClose(INT file);

#endif /* HOSTWIN_LZEXPAND_H */
