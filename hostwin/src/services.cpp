// ADVAPI32 service control manager of the stand-in: service records with
// their registry keys, states, dependencies, deletion marks, access rights
// and scripted stops that take a while or never end.
#include "internal.h"

#include <hostwin/machine.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace hostwin {
namespace {

using internal::Fail;
using internal::UpperAscii;

struct Service {
    ServiceRecord record;
    int pendingPolls = 0;  // status queries left in SERVICE_STOP_PENDING (-1: for ever)
    int openHandles = 0;
    std::string KeyPath() const { return "System\\CurrentControlSet\\Services\\" + record.name; }
};

struct ScHandle {
    DWORD access;
    std::shared_ptr<Service> service;  // none for the manager
};

struct Manager {
    std::vector<std::shared_ptr<Service>> services;
    std::map<std::string, int> stopPendingPolls;  // scripted, by upper-case name
    std::map<ULONG_PTR, ScHandle> handles;
    ULONG_PTR nextHandle = 0x5000000;
    std::vector<ServiceCall> calls;
};

Manager& Scm() {
    static Manager manager;
    return manager;
}
const bool servicesRegistered = internal::RegisterReset([] { Scm() = Manager(); });

int& ScriptedPolls(const std::string& name) { return Scm().stopPendingPolls[UpperAscii(name)]; }

std::shared_ptr<Service> Find(const std::string& name) {
    for (const auto& service : Scm().services) if (UpperAscii(service->record.name) == UpperAscii(name)) return service;
    return nullptr;
}

// Records the service and writes its key, as the manager does at creation.
// A Win32 service without an account runs as the system's.
std::shared_ptr<Service> Insert(const ServiceRecord& record) {
    auto service = std::make_shared<Service>();
    service->record = record;
    if (service->record.displayName.empty()) service->record.displayName = record.name;
    service->record.markedForDeletion = false;
    std::string& account = service->record.account;
    if (account.empty() && record.type != SERVICE_KERNEL_DRIVER) account = "LocalSystem";
    Scm().services.push_back(service);
    std::string path = service->KeyPath();
    SetDwordValue(HKEY_LOCAL_MACHINE, path.c_str(), "Type", record.type);
    SetDwordValue(HKEY_LOCAL_MACHINE, path.c_str(), "Start", record.startType);
    SetDwordValue(HKEY_LOCAL_MACHINE, path.c_str(), "ErrorControl", record.errorControl);
    SetValue(HKEY_LOCAL_MACHINE, path.c_str(), "ImagePath", REG_EXPAND_SZ, record.imagePath.c_str(),
             static_cast<DWORD>(record.imagePath.size() + 1));
    SetStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "DisplayName", service->record.displayName.c_str());
    if (!record.dependencies.empty()) {
        std::string list;
        for (const std::string& name : record.dependencies) list += name + '\0';
        SetValue(HKEY_LOCAL_MACHINE, path.c_str(), "DependOnService", REG_MULTI_SZ, list.c_str(),
                 static_cast<DWORD>(list.size() + 1));
    }
    if (!record.group.empty()) SetStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "Group", record.group.c_str());
    if (!account.empty()) SetStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "ObjectName", account.c_str());
    return service;
}

// Rights the manager checks (SC_MANAGER_CREATE_SERVICE, SERVICE_START,
// SERVICE_STOP, DELETE); a user who is not an administrator is given only
// the rights to connect and to query.
const DWORD RIGHT_CREATE_SERVICE = 0x0002, RIGHT_START = 0x0010, RIGHT_STOP = 0x0020, RIGHT_DELETE = 0x00010000;
const DWORD USER_MANAGER_RIGHTS = 0x00020000 | 0x0001 | 0x0004 | 0x0010;
const DWORD USER_SERVICE_RIGHTS = 0x00020000 | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | 0x0008 | 0x0080 | 0x0100;

bool Permitted(DWORD access, DWORD userRights) { return IsAdministrator() || (access & ~userRights) == 0; }

SC_HANDLE AddScHandle(DWORD access, const std::shared_ptr<Service>& service) {
    ULONG_PTR value = Scm().nextHandle;
    Scm().nextHandle += 4;
    Scm().handles[value] = ScHandle{access, service};
    if (service) ++service->openHandles;
    return reinterpret_cast<SC_HANDLE>(value);
}

ScHandle* FindScHandle(SC_HANDLE handle, bool manager) {
    auto found = Scm().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    return found == Scm().handles.end() || !found->second.service != manager ? nullptr : &found->second;
}

// The service behind a handle that carries the given access, or nullptr
// with the error set.
Service* ServiceFor(SC_HANDLE handle, DWORD access) {
    ScHandle* found = FindScHandle(handle, false);
    if (!found) return Fail<Service*>(ERROR_INVALID_HANDLE);
    return (found->access & access) == access ? found->service.get() : Fail<Service*>(ERROR_ACCESS_DENIED);
}

std::string NameOf(SC_HANDLE handle) {
    ScHandle* found = FindScHandle(handle, false);
    return found ? found->service->record.name : "";
}

// The program reads the state only.
void FillStatus(const Service& service, LPSERVICE_STATUS status) {
    *status = SERVICE_STATUS{service.record.type, service.record.state, 0, 0, 0, 0, 0};
}

// Records each call with its outcome; the result is what the API returns.
template <typename T>
T Log(const char* call, const std::string& service, T result) {
    Scm().calls.push_back(ServiceCall{call, service, Now(), result ? TRUE : FALSE, result ? 0 : GetLastError()});
    return result;
}

DWORD StartOne(Service& service, int depth) {
    ServiceRecord& record = service.record;
    if (record.markedForDeletion) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (record.state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    // Windows starts what a service depends on first.
    for (const std::string& name : record.dependencies) {
        std::shared_ptr<Service> dependency = Find(name);
        if (!dependency || dependency->record.markedForDeletion || depth > 16) return ERROR_SERVICE_DEPENDENCY_DELETED;
        if (dependency->record.state == SERVICE_STOPPED && StartOne(*dependency, depth + 1) != ERROR_SUCCESS) {
            return ERROR_SERVICE_DEPENDENCY_FAIL;
        }
    }
    record.state = SERVICE_RUNNING;
    return ERROR_SUCCESS;
}

const bool servicesRestart = internal::RegisterRestart([] {
    Scm().handles.clear();
    std::vector<std::shared_ptr<Service>> services = Scm().services;
    for (const auto& service : services) {
        service->openHandles = service->pendingPolls = 0;
        service->record.state = SERVICE_STOPPED;
        if (!service->record.markedForDeletion) continue;
        Scm().services.erase(std::find(Scm().services.begin(), Scm().services.end(), service));
        DeleteKeyTree(HKEY_LOCAL_MACHINE, service->KeyPath().c_str());
    }
    for (const auto& service : Scm().services) {
        if (service->record.startType <= SERVICE_AUTO_START) StartOne(*service, 0);
    }
});

}  // namespace

// ---- controls ---------------------------------------------------------------------------
void AddService(const ServiceRecord& record) { HOSTWIN_LOCK(); Insert(record); }

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

void SetStopPendingPolls(const char* name, int polls) { HOSTWIN_LOCK(); ScriptedPolls(name) = polls; }
int OpenServiceHandleCount() { HOSTWIN_LOCK(); return static_cast<int>(Scm().handles.size()); }
const std::vector<ServiceCall>& ServiceCalls() { return Scm().calls; }

}  // namespace hostwin

using namespace hostwin;

// ---- ADVAPI32 ----------------------------------------------------------------------------
// Only the local machine and its active database exist. The program names
// its services well, and creates them with valid settings.
SC_HANDLE WINAPI OpenSCManagerA(LPCSTR, LPCSTR, DWORD access) {
    HOSTWIN_LOCK();
    return Log("OpenSCManagerA", "", [&]() -> SC_HANDLE {
        internal::FaultPoint fallible("OpenSCManagerA", "", ERROR_ACCESS_DENIED);
        if (fallible.FailsSettingError()) return nullptr;
        if (!Permitted(access, USER_MANAGER_RIGHTS)) return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED);
        return AddScHandle(access, nullptr);
    }());
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD type,
                                DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR group, LPDWORD,
                                LPCSTR dependencies, LPCSTR account, LPCSTR) {
    HOSTWIN_LOCK();
    return Log("CreateServiceA", name, [&]() -> SC_HANDLE {
        ScHandle* handle = FindScHandle(manager, true);
        if (!handle) return Fail<SC_HANDLE>(ERROR_INVALID_HANDLE);
        internal::FaultPoint fallible("CreateServiceA", name, ERROR_ACCESS_DENIED);
        if (fallible.FailsSettingError()) return nullptr;
        if (!(handle->access & RIGHT_CREATE_SERVICE)) return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED);
        if (std::shared_ptr<Service> existing = Find(name)) {
            return Fail<SC_HANDLE>(existing->record.markedForDeletion ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                                      : ERROR_SERVICE_EXISTS);
        }
        ServiceRecord record{name, displayName ? displayName : "", type, startType, errorControl, binaryPath, {},
                             group ? group : "", account ? account : "", SERVICE_STOPPED, false};
        for (const char* n = dependencies; n && *n; n += std::strlen(n) + 1) record.dependencies.push_back(n);
        return AddScHandle(access, Insert(record));
    }());
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
    HOSTWIN_LOCK();
    return Log("OpenServiceA", name, [&]() -> SC_HANDLE {
        if (!FindScHandle(manager, true)) return Fail<SC_HANDLE>(ERROR_INVALID_HANDLE);
        internal::FaultPoint fallible("OpenServiceA", name, ERROR_ACCESS_DENIED);
        if (fallible.FailsSettingError()) return nullptr;
        std::shared_ptr<Service> service = Find(name);
        if (!service) return Fail<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST);
        if (!Permitted(access, USER_SERVICE_RIGHTS)) return Fail<SC_HANDLE>(ERROR_ACCESS_DENIED);
        return AddScHandle(access, service);
    }());
}

BOOL WINAPI StartServiceA(SC_HANDLE handle, DWORD, LPCSTR*) {
    HOSTWIN_LOCK();
    return Log("StartServiceA", NameOf(handle), [&]() -> BOOL {
        Service* service = ServiceFor(handle, RIGHT_START);
        if (!service) return FALSE;
        internal::FaultPoint fallible("StartServiceA", service->record.name, ERROR_SERVICE_REQUEST_TIMEOUT);
        if (fallible.FailsSettingError()) return FALSE;
        DWORD error = StartOne(*service, 0);
        return error == ERROR_SUCCESS ? TRUE : Fail(error);
    }());
}

// The program sends the stop control only.
BOOL WINAPI ControlService(SC_HANDLE handle, DWORD, LPSERVICE_STATUS status) {
    HOSTWIN_LOCK();
    return Log("ControlService", NameOf(handle), [&]() -> BOOL {
        if (!FindScHandle(handle, false)) return Fail(ERROR_INVALID_HANDLE);
        internal::FaultPoint fallible("ControlService", NameOf(handle), ERROR_SERVICE_REQUEST_TIMEOUT);
        if (fallible.FailsSettingError()) return FALSE;
        Service* service = ServiceFor(handle, RIGHT_STOP);
        if (!service) return FALSE;
        ServiceRecord& record = service->record;
        for (const auto& other : Scm().services) {
            if (other->record.state == SERVICE_STOPPED || record.state == SERVICE_STOPPED) continue;
            for (const std::string& dependency : other->record.dependencies) {
                if (UpperAscii(dependency) == UpperAscii(record.name)) return Fail(ERROR_DEPENDENT_SERVICES_RUNNING);
            }
        }
        // Stopped, stopping or running: the stand-in's services know no other state.
        DWORD error = record.state == SERVICE_STOPPED        ? ERROR_SERVICE_NOT_ACTIVE
                      : record.state == SERVICE_STOP_PENDING ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL
                                                             : 0;
        // The status is filled in also for the refusals that concern the state.
        if (!error) {
            service->pendingPolls = ScriptedPolls(record.name);
            record.state = service->pendingPolls == 0 ? SERVICE_STOPPED : SERVICE_STOP_PENDING;
        }
        FillStatus(*service, status);
        return error ? Fail(error) : TRUE;
    }());
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE handle, LPSERVICE_STATUS status) {
    HOSTWIN_LOCK();
    return Log("QueryServiceStatus", NameOf(handle), [&]() -> BOOL {
        Service* service = ServiceFor(handle, SERVICE_QUERY_STATUS);
        if (!service) return FALSE;
        internal::FaultPoint fallible("QueryServiceStatus", service->record.name, ERROR_ACCESS_DENIED);
        if (fallible.FailsSettingError()) return FALSE;
        if (service->record.state == SERVICE_STOP_PENDING) {
            if (service->pendingPolls == 0) service->record.state = SERVICE_STOPPED;
            if (service->pendingPolls > 0) --service->pendingPolls;
        }
        FillStatus(*service, status);
        return TRUE;
    }());
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE handle, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) {
    HOSTWIN_LOCK();
    return Log("QueryServiceConfigA", NameOf(handle), [&]() -> BOOL {
        Service* service = ServiceFor(handle, SERVICE_QUERY_CONFIG);
        if (!service) return FALSE;
        internal::FaultPoint fallible("QueryServiceConfigA", service->record.name, ERROR_ACCESS_DENIED);
        if (fallible.FailsSettingError()) return FALSE;
        const ServiceRecord& record = service->record;
        std::string dependencies;
        for (const std::string& name : record.dependencies) dependencies += name + '\0';
        dependencies += std::string(record.dependencies.empty() ? 2 : 1, '\0');
        // The texts follow the record: path, group, dependencies, account, display name.
        const std::string texts[] = {record.imagePath + '\0', record.group + '\0', dependencies,
                                     record.account + '\0', record.displayName + '\0'};
        DWORD required = sizeof(QUERY_SERVICE_CONFIGA);
        for (const std::string& text : texts) required += static_cast<DWORD>(text.size());
        if (!config || size < required) {
            *needed = required;
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        char* out = reinterpret_cast<char*>(config + 1);
        LPSTR* targets[] = {&config->lpBinaryPathName, &config->lpLoadOrderGroup, &config->lpDependencies,
                            &config->lpServiceStartName, &config->lpDisplayName};
        config->dwServiceType = record.type;
        config->dwStartType = record.startType;
        config->dwErrorControl = record.errorControl;
        config->dwTagId = 0;
        for (int i = 0; i < 5; ++i) {
            *targets[i] = static_cast<char*>(std::memcpy(out, texts[i].data(), texts[i].size()));
            out += texts[i].size();
        }
        return TRUE;
    }());
}

BOOL WINAPI DeleteService(SC_HANDLE handle) {
    HOSTWIN_LOCK();
    return Log("DeleteService", NameOf(handle), [&]() -> BOOL {
        Service* service = ServiceFor(handle, RIGHT_DELETE);
        if (!service) return FALSE;
        internal::FaultPoint fallible("DeleteService", service->record.name, ERROR_ACCESS_DENIED);
        if (fallible.FailsSettingError()) return FALSE;
        if (service->record.markedForDeletion) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
        service->record.markedForDeletion = true;
        SetDwordValue(HKEY_LOCAL_MACHINE, service->KeyPath().c_str(), "DeleteFlag", 1);
        return TRUE;
    }());
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
    HOSTWIN_LOCK();
    auto found = Scm().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found == Scm().handles.end()) return Log("CloseServiceHandle", "", Fail(ERROR_INVALID_HANDLE));
    std::shared_ptr<Service> service = found->second.service;
    Scm().handles.erase(found);
    // A record marked for deletion leaves once it is stopped and nobody holds it.
    if (service && --service->openHandles == 0 && service->record.markedForDeletion &&
        service->record.state == SERVICE_STOPPED) {
        Scm().services.erase(std::find(Scm().services.begin(), Scm().services.end(), service));
        DeleteKeyTree(HKEY_LOCAL_MACHINE, service->KeyPath().c_str());
    }
    return Log("CloseServiceHandle", service ? service->record.name : "", TRUE);
}
