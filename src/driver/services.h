// The two driver services: "bfax" (kernel driver) and "faxinit" (a Win32
// service depending on it), through the service control manager.
#ifndef SETUP_DRIVER_SERVICES_H
#define SETUP_DRIVER_SERVICES_H

#include <windows.h>

// The fixed pause after each service operation; nothing is retried.
const DWORD SERVICE_PAUSE_MS = 2000;

// Shows the wait cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// Whether a service is there: SERVICE_PRESENT when it opens with full access,
// SERVICE_ABSENT when the manager has no such service, SERVICE_UNKNOWN when
// that cannot be told (no manager, or the service cannot be opened).
enum ServicePresence { SERVICE_UNKNOWN = -1, SERVICE_ABSENT = 0, SERVICE_PRESENT = 1 };
ServicePresence FindDriverService(const char* name);
// 1 only for SERVICE_PRESENT.
int ServiceExists(const char* name);
// 1 when both were created, or when services are not managed on this system;
// 0 also when it cannot be told whether the driver, the other's dependency,
// is there.
int CreateDriverServices();
void StopAndDeleteService(const char* name);
// 1 when the service was started.
int StartDriverService(const char* name);

// A service as the manager keeps it, to create it again as it was. Texts
// that ReadServiceConfig fills in lie in blocks that go with the record;
// texts filled in otherwise belong to whoever filled them in.
struct ServiceConfig {
    ServiceConfig() = default;
    ~ServiceConfig() { Clear(); }
    ServiceConfig(const ServiceConfig&) = delete;
    ServiceConfig& operator=(const ServiceConfig&) = delete;
    void Clear();  // back to an absent service, its blocks freed

    int present = 0;
    int running = 0;  // in any state but stopped
    DWORD type = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    const char* imagePath = "";
    const char* displayName = "";
    const char* account = "";       // empty: the system's
    const char* group = "";         // load-order group; empty: none
    const char* dependencies = "";  // names, each ended by a zero byte, then one more
    HLOCAL blocks[2] = {};
};
// 1 when config describes the service, or its absence; 0 when that cannot be told.
int ReadServiceConfig(const char* name, ServiceConfig* config);
// Creates the service with the configuration read; 1 when it was created.
int CreateServiceFromConfig(const char* name, const ServiceConfig* config);
void StartDriverServices();

#endif
