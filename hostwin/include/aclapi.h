/*
 * aclapi.h of the Linux stand-in: reading the owner of an open file.
 */
#ifndef HOSTWIN_ACLAPI_H
#define HOSTWIN_ACLAPI_H

#include <windows.h>

typedef enum _SE_OBJECT_TYPE { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT } SE_OBJECT_TYPE;
typedef struct _ACL ACL, *PACL;
DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID *owner,
                             PSID *group, PACL *dacl, PACL *sacl, PSECURITY_DESCRIPTOR *descriptor);

#endif /* HOSTWIN_ACLAPI_H */
