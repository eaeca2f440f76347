// Stand-in controls for the service control manager: service records, states, scripted behaviour.
// Included by hostwin/machine.h.
#ifndef HOSTWIN_SERVICES_H
#define HOSTWIN_SERVICES_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hostwin {

// A fresh machine has no services. Each service also has its registry key,
// HKLM\System\CurrentControlSet\Services\<name> (Type, Start, ErrorControl,
// ImagePath as REG_EXPAND_SZ, DisplayName, DependOnService when there are
// dependencies, ObjectName for Win32 services); the key goes, with everything
// below it, when the record goes.
//
// Rights follow the administrator switch: a user who is not an administrator
// may connect to the manager and query services, nothing more.
//
// States: StartServiceA makes a service (and first the services it depends
// on) SERVICE_RUNNING at once; an accepted stop makes it SERVICE_STOPPED at
// once, or SERVICE_STOP_PENDING for a scripted number of status queries.
// DeleteService marks the record; it disappears when the service is stopped
// and its last handle is closed.

struct ServiceRecord {
    std::string name;
    std::string displayName;  // empty: the name
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string imagePath;
    std::vector<std::string> dependencies;
    DWORD state = SERVICE_STOPPED;
    bool markedForDeletion = false;  // filled in by FindService
    int openHandles = 0;             // filled in by FindService
};

// A service that was installed before the program ran.
void AddService(const ServiceRecord& record);
bool FindService(const char* name, ServiceRecord* record = nullptr);
std::vector<std::string> ServiceNames();
void SetServiceState(const char* name, DWORD state);

// Scripted behaviour, by service name; kept when the service is deleted and
// created again, cleared by Reset.
// After an accepted stop the service reports SERVICE_STOP_PENDING to this many
// status queries before it is stopped; -1: it never leaves that state.
void SetStopPendingPolls(const char* name, int polls);
// The service does not accept the stop control (ERROR_INVALID_SERVICE_CONTROL).
void SetStopRefused(const char* name, bool refused);
// StartServiceA fails with this error (0: the start works).
void SetStartFails(const char* name, DWORD error);
// QueryServiceStatus fails with this error (0: the query works).
void SetStatusQueryFails(const char* name, DWORD error);

// Handles to the manager and to services not yet closed.
int OpenServiceHandleCount();

// Every call of the eight operations and of QueryServiceConfigA, in order,
// with the time of the virtual clock when it was made.
struct ServiceCall {
    std::string call;     // "OpenSCManagerA", "CreateServiceA", "OpenServiceA", ...
    std::string service;  // empty for the manager
    std::uint64_t time;
    BOOL succeeded;
    DWORD error;  // GetLastError after a failure, else 0
    DWORD control;  // ControlService: the control code
};
const std::vector<ServiceCall>& ServiceCalls();
void ClearServiceCalls();

}  // namespace hostwin

#endif
