/*
 * fileapi.h of the Linux stand-in: files and directories (KERNEL32).
 * Included by windows.h.
 */
#ifndef HOSTWIN_FILEAPI_H
#define HOSTWIN_FILEAPI_H

#include <windows.h>

#endif /* HOSTWIN_FILEAPI_H */
