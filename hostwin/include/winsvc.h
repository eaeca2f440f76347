/*
 * winsvc.h of the Linux stand-in: the service control manager subset
 * (ADVAPI32). Included by windows.h.
 */
#ifndef HOSTWIN_WINSVC_H
#define HOSTWIN_WINSVC_H

#include <windows.h>

#endif /* HOSTWIN_WINSVC_H */
