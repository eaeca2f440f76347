// ADVAPI32 service control manager of the stand-in: service records with
// their registry keys, states, dependencies, deletion marks, access rights
// and scripted behaviour (slow or refused stops, failing starts).
#include "internal.h"

#include <hostwin/machine.h>

#include <cstring>
#include <map>
#include <memory>

namespace hostwin {
namespace {

using internal::UpperAscii;

const char* const SERVICES_KEY = "System\\CurrentControlSet\\Services";

struct Script {
    int stopPendingPolls = 0;
    bool stopRefused = false;
    DWORD startError = 0;
    DWORD queryError = 0;
};

struct Service {
    ServiceRecord record;
    std::string account;  // ObjectName of a Win32 service
    bool started = false;  // ever started: a stopped service then no longer reports "never started"
    int pendingPolls = 0;  // status queries left in SERVICE_STOP_PENDING (-1: for ever)
    bool gone = false;     // the record has left the database
};

struct ScHandle {
    bool manager;
    DWORD access;
    std::shared_ptr<Service> service;
};

struct Manager {
    std::vector<std::shared_ptr<Service>> services;
    std::map<std::string, Script> scripts;  // by upper-case name
    std::map<ULONG_PTR, ScHandle> handles;
    ULONG_PTR nextHandle = 0x5000000;
    std::vector<ServiceCall> calls;
};

Manager& Scm() {
    static Manager manager;
    return manager;
}
const bool servicesRegistered = internal::RegisterReset([] { Scm() = Manager(); });

Script& ScriptOf(const std::string& name) { return Scm().scripts[UpperAscii(name)]; }

std::shared_ptr<Service> Find(const char* name) {
    std::string upper = UpperAscii(name ? name : "");
    for (const auto& service : Scm().services) {
        if (UpperAscii(service->record.name) == upper) return service;
    }
    return nullptr;
}

bool IsDriver(DWORD type) { return type == SERVICE_KERNEL_DRIVER; }

std::string KeyPath(const std::string& name) { return std::string(SERVICES_KEY) + "\\" + name; }

// The service's key, as the manager writes it at creation.
void WriteKey(const Service& service) {
    const ServiceRecord& record = service.record;
    std::string path = KeyPath(record.name);
    SetDwordValue(HKEY_LOCAL_MACHINE, path.c_str(), "Type", record.type);
    SetDwordValue(HKEY_LOCAL_MACHINE, path.c_str(), "Start", record.startType);
    SetDwordValue(HKEY_LOCAL_MACHINE, path.c_str(), "ErrorControl", record.errorControl);
    SetValue(HKEY_LOCAL_MACHINE, path.c_str(), "ImagePath", REG_EXPAND_SZ, record.imagePath.c_str(),
             static_cast<DWORD>(record.imagePath.size() + 1));
    SetStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "DisplayName", record.displayName.c_str());
    if (!record.dependencies.empty()) {
        std::string list;
        for (const std::string& name : record.dependencies) list += name + '\0';
        list += '\0';
        SetValue(HKEY_LOCAL_MACHINE, path.c_str(), "DependOnService", REG_MULTI_SZ, list.data(),
                 static_cast<DWORD>(list.size()));
    }
    if (!service.account.empty()) {
        SetStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "ObjectName", service.account.c_str());
    }
}

std::shared_ptr<Service> Insert(const ServiceRecord& record, const std::string& account) {
    auto service = std::make_shared<Service>();
    service->record = record;
    if (service->record.displayName.empty()) service->record.displayName = record.name;
    service->record.markedForDeletion = false;
    service->record.openHandles = 0;
    service->account = account;
    Scm().services.push_back(service);
    WriteKey(*service);
    return service;
}

// A record marked for deletion leaves once it is stopped and nobody holds it.
void RemoveIfDone(const std::shared_ptr<Service>& service) {
    const ServiceRecord& record = service->record;
    if (service->gone || !record.markedForDeletion || record.state != SERVICE_STOPPED || record.openHandles > 0) return;
    service->gone = true;
    DeleteKeyTree(HKEY_LOCAL_MACHINE, KeyPath(record.name).c_str());
    auto& services = Scm().services;
    for (auto it = services.begin(); it != services.end(); ++it) {
        if (*it == service) {
            services.erase(it);
            break;
        }
    }
}

bool DependsOn(const Service& service, const std::string& name) {
    for (const std::string& dependency : service.record.dependencies) {
        if (UpperAscii(dependency) == UpperAscii(name)) return true;
    }
    return false;
}

// Rights the manager checks (SC_MANAGER_CREATE_SERVICE, SERVICE_START,
// SERVICE_STOP, DELETE); a user who is not an administrator is given only
// the rights to connect and to query.
const DWORD RIGHT_CREATE_SERVICE = 0x0002;
const DWORD RIGHT_START = 0x0010;
const DWORD RIGHT_STOP = 0x0020;
const DWORD RIGHT_DELETE = 0x00010000;
const DWORD USER_MANAGER_RIGHTS = 0x00020000 | 0x0001 | 0x0004 | 0x0010;
const DWORD USER_SERVICE_RIGHTS = 0x00020000 | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | 0x0008 | 0x0080 | 0x0100;

bool Permitted(DWORD access, DWORD userRights) { return IsAdministrator() || (access & ~userRights) == 0; }

SC_HANDLE AddScHandle(bool manager, DWORD access, const std::shared_ptr<Service>& service) {
    Manager& scm = Scm();
    ULONG_PTR value = scm.nextHandle;
    scm.nextHandle += 4;
    scm.handles[value] = ScHandle{manager, access, service};
    if (service) ++service->record.openHandles;
    return reinterpret_cast<SC_HANDLE>(value);
}

ScHandle* FindScHandle(SC_HANDLE handle, bool manager) {
    auto found = Scm().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found == Scm().handles.end() || found->second.manager != manager) return nullptr;
    return &found->second;
}

void FillStatus(const Service& service, LPSERVICE_STATUS status) {
    std::memset(status, 0, sizeof *status);
    status->dwServiceType = service.record.type;
    status->dwCurrentState = service.record.state;
    status->dwControlsAccepted = service.record.state == SERVICE_RUNNING ? 1 : 0;  // SERVICE_ACCEPT_STOP
    if (service.record.state == SERVICE_STOPPED && !service.started) status->dwWin32ExitCode = ERROR_SERVICE_NEVER_STARTED;
}

// Records each call with its outcome; the result is what the API returns.
template <typename T>
T Log(const char* call, const std::string& service, T result, DWORD control = 0) {
    DWORD error = result ? 0 : GetLastError();
    Scm().calls.push_back(ServiceCall{call, service, Now(), result ? TRUE : FALSE, error, control});
    return result;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

SC_HANDLE FailHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

std::vector<std::string> SplitList(LPCSTR list) {
    std::vector<std::string> names;
    if (!list) return names;
    for (const char* name = list; *name; name += std::strlen(name) + 1) names.push_back(name);
    return names;
}

DWORD StartOne(Service& service, int depth) {
    ServiceRecord& record = service.record;
    if (record.markedForDeletion) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (record.state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    // Windows starts what a service depends on first.
    for (const std::string& name : record.dependencies) {
        std::shared_ptr<Service> dependency = Find(name.c_str());
        if (!dependency || dependency->record.markedForDeletion || depth > 16) return ERROR_SERVICE_DEPENDENCY_DELETED;
        if (dependency->record.state == SERVICE_STOPPED && StartOne(*dependency, depth + 1) != ERROR_SUCCESS) {
            return ERROR_SERVICE_DEPENDENCY_FAIL;
        }
    }
    service.started = true;
    DWORD error = ScriptOf(record.name).startError;
    if (error) return error;
    record.state = SERVICE_RUNNING;
    return ERROR_SUCCESS;
}

}  // namespace

// ---- controls ---------------------------------------------------------------------------
void AddService(const ServiceRecord& record) {
    HOSTWIN_LOCK();
    std::shared_ptr<Service> service = Insert(record, IsDriver(record.type) ? "" : "LocalSystem");
    service->started = record.state != SERVICE_STOPPED;
}

bool FindService(const char* name, ServiceRecord* record) {
    HOSTWIN_LOCK();
    std::shared_ptr<Service> service = Find(name);
    if (service && record) *record = service->record;
    return service != nullptr;
}

std::vector<std::string> ServiceNames() {
    HOSTWIN_LOCK();
    std::vector<std::string> names;
    for (const auto& service : Scm().services) names.push_back(service->record.name);
    return names;
}

void SetServiceState(const char* name, DWORD state) {
    HOSTWIN_LOCK();
    std::shared_ptr<Service> service = Find(name);
    if (!service) return;
    service->record.state = state;
    if (state != SERVICE_STOPPED) service->started = true;
    RemoveIfDone(service);
}

void SetStopPendingPolls(const char* name, int polls) {
    HOSTWIN_LOCK();
    ScriptOf(name).stopPendingPolls = polls;
}

void SetStopRefused(const char* name, bool refused) {
    HOSTWIN_LOCK();
    ScriptOf(name).stopRefused = refused;
}

void SetStartFails(const char* name, DWORD error) {
    HOSTWIN_LOCK();
    ScriptOf(name).startError = error;
}

void SetStatusQueryFails(const char* name, DWORD error) {
    HOSTWIN_LOCK();
    ScriptOf(name).queryError = error;
}

int OpenServiceHandleCount() {
    HOSTWIN_LOCK();
    return static_cast<int>(Scm().handles.size());
}

const std::vector<ServiceCall>& ServiceCalls() { return Scm().calls; }

void ClearServiceCalls() {
    HOSTWIN_LOCK();
    Scm().calls.clear();
}

}  // namespace hostwin

using namespace hostwin;

// ---- ADVAPI32 ----------------------------------------------------------------------------
// Only the local machine and its active database exist.
static SC_HANDLE OpenManager(LPCSTR machine, DWORD access) {
    internal::FaultPoint fallible("OpenSCManagerA", "", ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return nullptr;
    if (machine && *machine) return FailHandle(RPC_S_SERVER_UNAVAILABLE);
    if (!Permitted(access, USER_MANAGER_RIGHTS)) return FailHandle(ERROR_ACCESS_DENIED);
    return AddScHandle(true, access, nullptr);
}

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machine, LPCSTR, DWORD access) {
    HOSTWIN_LOCK();
    return Log("OpenSCManagerA", "", OpenManager(machine, access));
}

// Drivers and Win32 services of their own process; a Win32 service cannot
// start with the boot loader or the system.
static bool ValidConfiguration(DWORD type, DWORD startType, DWORD errorControl) {
    bool win32 = type == SERVICE_WIN32_OWN_PROCESS;
    if (!win32 && !IsDriver(type)) return false;
    if (startType > 4 || (win32 && startType < SERVICE_AUTO_START)) return false;
    return errorControl <= 3;
}

static SC_HANDLE Create(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD type,
                        DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR dependencies,
                        LPCSTR account) {
    ScHandle* handle = FindScHandle(manager, true);
    if (!handle) return FailHandle(ERROR_INVALID_HANDLE);
    internal::FaultPoint fallible("CreateServiceA", name ? name : "", ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return nullptr;
    if (!name || !binaryPath) return FailHandle(ERROR_INVALID_ADDRESS);
    if (!(handle->access & RIGHT_CREATE_SERVICE)) return FailHandle(ERROR_ACCESS_DENIED);
    if (!*name || std::strpbrk(name, "\\/")) return FailHandle(ERROR_INVALID_NAME);
    if (!*binaryPath || !ValidConfiguration(type, startType, errorControl)) return FailHandle(ERROR_INVALID_PARAMETER);
    if (std::shared_ptr<Service> existing = Find(name)) {
        return FailHandle(existing->record.markedForDeletion ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
    }
    std::string display = displayName && *displayName ? displayName : name;
    for (const auto& other : Scm().services) {
        if (UpperAscii(other->record.displayName) == UpperAscii(display) ||
            UpperAscii(other->record.name) == UpperAscii(display)) {
            return FailHandle(ERROR_DUPLICATE_SERVICE_NAME);
        }
    }
    ServiceRecord record;
    record.name = name;
    record.displayName = display;
    record.type = type;
    record.startType = startType;
    record.errorControl = errorControl;
    record.imagePath = binaryPath;
    record.dependencies = SplitList(dependencies);
    std::string objectName = IsDriver(type) ? "" : (account && *account ? account : "LocalSystem");
    std::shared_ptr<Service> service = Insert(record, objectName);
    return AddScHandle(false, access, service);
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access,
                                DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPath,
                                LPCSTR, LPDWORD, LPCSTR dependencies, LPCSTR account, LPCSTR) {
    HOSTWIN_LOCK();
    return Log("CreateServiceA", name ? name : "",
               Create(manager, name, displayName, access, serviceType, startType, errorControl, binaryPath,
                      dependencies, account));
}

static SC_HANDLE Open(SC_HANDLE manager, LPCSTR name, DWORD access) {
    if (!FindScHandle(manager, true)) return FailHandle(ERROR_INVALID_HANDLE);
    internal::FaultPoint fallible("OpenServiceA", name ? name : "", ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return nullptr;
    if (!name) return FailHandle(ERROR_INVALID_ADDRESS);
    std::shared_ptr<Service> service = Find(name);
    if (!service) return FailHandle(ERROR_SERVICE_DOES_NOT_EXIST);
    if (!Permitted(access, USER_SERVICE_RIGHTS)) return FailHandle(ERROR_ACCESS_DENIED);
    return AddScHandle(false, access, service);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
    HOSTWIN_LOCK();
    return Log("OpenServiceA", name ? name : "", Open(manager, name, access));
}

// The service behind a handle that carries the given access, or nullptr
// with the error set.
static Service* ServiceFor(SC_HANDLE handle, DWORD access) {
    ScHandle* found = FindScHandle(handle, false);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((found->access & access) != access) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return found->service.get();
}

static std::string NameOf(SC_HANDLE handle) {
    ScHandle* found = FindScHandle(handle, false);
    return found ? found->service->record.name : "";
}

static BOOL Start(SC_HANDLE handle) {
    Service* service = ServiceFor(handle, RIGHT_START);
    if (!service) return FALSE;
    internal::FaultPoint fallible("StartServiceA", service->record.name, ERROR_SERVICE_REQUEST_TIMEOUT);
    if (fallible.FailsSettingError()) return FALSE;
    DWORD error = StartOne(*service, 0);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL WINAPI StartServiceA(SC_HANDLE handle, DWORD, LPCSTR*) {
    HOSTWIN_LOCK();
    return Log("StartServiceA", NameOf(handle), Start(handle));
}

static BOOL Control(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) {
    if (!FindScHandle(handle, false)) return Fail(ERROR_INVALID_HANDLE);
    internal::FaultPoint fallible("ControlService", NameOf(handle), ERROR_SERVICE_REQUEST_TIMEOUT);
    if (fallible.FailsSettingError()) return FALSE;
    if (!status) return Fail(ERROR_INVALID_ADDRESS);
    // Only the stop control is simulated.
    if (control != SERVICE_CONTROL_STOP) return Fail(ERROR_INVALID_PARAMETER);
    Service* service = ServiceFor(handle, RIGHT_STOP);
    if (!service) return FALSE;
    ServiceRecord& record = service->record;
    // The status is filled in on success and for the three refusals that
    // concern the service's state, and only then.
    if (record.state == SERVICE_STOPPED) {
        FillStatus(*service, status);
        return Fail(ERROR_SERVICE_NOT_ACTIVE);
    }
    for (const auto& other : Scm().services) {
        if (other->record.state != SERVICE_STOPPED && DependsOn(*other, record.name)) {
            return Fail(ERROR_DEPENDENT_SERVICES_RUNNING);
        }
    }
    if (record.state == SERVICE_STOP_PENDING) {
        FillStatus(*service, status);
        return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    const Script& script = ScriptOf(record.name);
    if (!script.stopRefused && record.state == SERVICE_RUNNING) {
        service->pendingPolls = script.stopPendingPolls;
        record.state = service->pendingPolls == 0 ? SERVICE_STOPPED : SERVICE_STOP_PENDING;
    } else {
        FillStatus(*service, status);
        return Fail(ERROR_INVALID_SERVICE_CONTROL);
    }
    FillStatus(*service, status);
    return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) {
    HOSTWIN_LOCK();
    return Log("ControlService", NameOf(handle), Control(handle, control, status), control);
}

static BOOL QueryStatus(SC_HANDLE handle, LPSERVICE_STATUS status) {
    Service* service = ServiceFor(handle, SERVICE_QUERY_STATUS);
    if (!service) return FALSE;
    internal::FaultPoint fallible("QueryServiceStatus", service->record.name, ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return FALSE;
    if (!status) return Fail(ERROR_INVALID_ADDRESS);
    DWORD error = ScriptOf(service->record.name).queryError;
    if (error) return Fail(error);
    ServiceRecord& record = service->record;
    if (record.state == SERVICE_STOP_PENDING) {
        if (service->pendingPolls == 0) {
            record.state = SERVICE_STOPPED;
        } else if (service->pendingPolls > 0) {
            --service->pendingPolls;
        }
    }
    FillStatus(*service, status);
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE handle, LPSERVICE_STATUS status) {
    HOSTWIN_LOCK();
    return Log("QueryServiceStatus", NameOf(handle), QueryStatus(handle, status));
}

static BOOL QueryConfig(SC_HANDLE handle, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) {
    Service* service = ServiceFor(handle, SERVICE_QUERY_CONFIG);
    if (!service) return FALSE;
    internal::FaultPoint fallible("QueryServiceConfigA", service->record.name, ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return FALSE;
    if (!needed) return Fail(ERROR_INVALID_ADDRESS);
    const ServiceRecord& record = service->record;
    std::string dependencies;
    for (const std::string& name : record.dependencies) dependencies += name + '\0';
    dependencies += '\0';
    if (record.dependencies.empty()) dependencies += '\0';
    // The texts follow the record: path, group, dependencies, account, display name.
    const std::string texts[] = {record.imagePath + '\0', std::string(1, '\0'), dependencies,
                                 service->account + '\0', record.displayName + '\0'};
    DWORD required = sizeof(QUERY_SERVICE_CONFIGA);
    for (const std::string& text : texts) required += static_cast<DWORD>(text.size());
    if (!config || size < required) {
        *needed = required;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    char* out = reinterpret_cast<char*>(config) + sizeof(QUERY_SERVICE_CONFIGA);
    LPSTR* targets[] = {&config->lpBinaryPathName, &config->lpLoadOrderGroup, &config->lpDependencies,
                        &config->lpServiceStartName, &config->lpDisplayName};
    config->dwServiceType = record.type;
    config->dwStartType = record.startType;
    config->dwErrorControl = record.errorControl;
    config->dwTagId = 0;
    for (int i = 0; i < 5; ++i) {
        std::memcpy(out, texts[i].data(), texts[i].size());
        *targets[i] = out;
        out += texts[i].size();
    }
    return TRUE;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE handle, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) {
    HOSTWIN_LOCK();
    return Log("QueryServiceConfigA", NameOf(handle), QueryConfig(handle, config, size, needed));
}

static BOOL Delete(SC_HANDLE handle) {
    Service* service = ServiceFor(handle, RIGHT_DELETE);
    if (!service) return FALSE;
    internal::FaultPoint fallible("DeleteService", service->record.name, ERROR_ACCESS_DENIED);
    if (fallible.FailsSettingError()) return FALSE;
    ServiceRecord& record = service->record;
    if (record.markedForDeletion) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    record.markedForDeletion = true;
    SetDwordValue(HKEY_LOCAL_MACHINE, KeyPath(record.name).c_str(), "DeleteFlag", 1);
    return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE handle) {
    HOSTWIN_LOCK();
    return Log("DeleteService", NameOf(handle), Delete(handle));
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
    HOSTWIN_LOCK();
    std::string name;
    auto found = Scm().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    BOOL result = FALSE;
    if (found == Scm().handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else {
        std::shared_ptr<Service> service = found->second.service;
        Scm().handles.erase(found);
        if (service) {
            name = service->record.name;
            --service->record.openHandles;
            RemoveIfDone(service);
        }
        result = TRUE;
    }
    return Log("CloseServiceHandle", name, result);
}
