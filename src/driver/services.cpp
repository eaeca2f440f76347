#include "driver/services.h"

#include <windows.h>

#include <cstring>

#include "core/file_guards.h"
#include "core/format.h"
#include "core/names.h"
#include "core/setup_log.h"
#include "core/setup_state.h"
#include "core/text.h"
#include "core/windows_version.h"

namespace {

const char* const SYSTEM_ROOT = "%SystemRoot%";  // resolved by the service control manager
const char* const DRIVER_FILE = DRIVER_SERVICE ".sys";
const char* const INIT_FILE = "runfaxin.exe";

const int DEPENDENCY_LIST_SIZE = 256;
const DWORD STOP_POLL_MS = 250;
// A service still stopping after 30 s is left to itself; its deletion is
// requested all the same.
const int STOP_POLL_LIMIT = 120;

// Receives the status while a service is stopped; only its state is read.
SERVICE_STATUS serviceStatus;

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_) CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

// Both services are created alike: named and displayed by their name,
// started automatically, normal error control, the system account.
int CreateDriverPackageService(const char* name, const char* imagePath, DWORD type, const char* dependencies) {
    ServiceHandle manager(OpenManager());
    if (!manager) {
        LogLine("Service %s cannot be created: no service manager (error %lu)", name, LastError());
        return 0;
    }
    ServiceHandle service(CreateServiceA(manager.Get(), name, name, SERVICE_ALL_ACCESS, type, SERVICE_AUTO_START,
                                         SERVICE_ERROR_NORMAL, imagePath, nullptr, nullptr, dependencies, nullptr,
                                         nullptr));
    if (!service) {
        LogLine("Service %s cannot be created (error %lu)", name, LastError());
        return 0;
    }
    LogLine("Service %s created: %s", name, imagePath);
    return 1;
}

void WaitWhileStopPending(SC_HANDLE service) {
    for (int poll = 0; poll < STOP_POLL_LIMIT; ++poll) {
        if (!QueryServiceStatus(service, &serviceStatus)) return;
        if (serviceStatus.dwCurrentState != SERVICE_STOP_PENDING) return;
        Sleep(STOP_POLL_MS);
        // An abandoned installation waits no longer than its process does:
        // the service is left stopping, and marked for deletion all the same.
        if (setupState.abortRequested) return;
    }
}

void ImagePath(char* path, std::size_t size, const char* file) {
    FormatText(path, size, "%s\\" DRIVER_DIRECTORY "\\%s", SYSTEM_ROOT, file);
}

}  // namespace

ServicePresence FindDriverService(const char* name) {
    ServiceHandle manager(OpenManager());
    if (!manager) return SERVICE_UNKNOWN;
    ServiceHandle service(OpenServiceA(manager.Get(), name, SERVICE_ALL_ACCESS));
    if (service) return SERVICE_PRESENT;
    return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? SERVICE_ABSENT : SERVICE_UNKNOWN;
}

int ServiceExists(const char* name) { return FindDriverService(name) == SERVICE_PRESENT ? 1 : 0; }

int CreateDriverServices() {
    if (!ServicesManaged(setupState.osFamily)) return 1;
    char path[MAX_PATH];
    // A zero-filled list: one name is followed by the two zero bytes that end it.
    char dependencies[DEPENDENCY_LIST_SIZE] = {};
    ImagePath(path, sizeof path, DRIVER_FILE);
    if (!CreateDriverPackageService(DRIVER_SERVICE, path, SERVICE_KERNEL_DRIVER, dependencies)) return 0;
    Sleep(SERVICE_PAUSE_MS);
    // The user abandoned the installation during the pause.
    if (setupState.abortRequested) return 0;
    // Created without a dependency it should have, the service would start
    // before its driver.
    ServicePresence driver = FindDriverService(DRIVER_SERVICE);
    if (driver == SERVICE_UNKNOWN) return 0;
    if (driver == SERVICE_PRESENT) CopyText(dependencies, sizeof dependencies, DRIVER_SERVICE);
    ImagePath(path, sizeof path, INIT_FILE);
    if (!CreateDriverPackageService(INIT_SERVICE, path, SERVICE_WIN32_OWN_PROCESS, dependencies)) return 0;
    Sleep(SERVICE_PAUSE_MS);
    return 1;
}

void StopAndDeleteService(const char* name) {
    ServiceHandle manager(OpenManager());
    if (!manager) {
        LogLine("Service %s not removed: no service manager (error %lu)", name, LastError());
        return;
    }
    ServiceHandle service(OpenServiceA(manager.Get(), name, SERVICE_ALL_ACCESS));
    if (!service) {
        unsigned long error = LastError();
        if (error != ERROR_SERVICE_DOES_NOT_EXIST) LogLine("Service %s cannot be opened (error %lu)", name, error);
        return;
    }
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &serviceStatus)) {
        WaitWhileStopPending(service.Get());
    } else {
        LogLine("Service %s not stopped (error %lu)", name, LastError());
    }
    // Marked now, the service goes once it has stopped and nobody holds it.
    if (DeleteService(service.Get())) {
        LogLine("Service %s deleted", name);
    } else {
        LogLine("Service %s cannot be deleted (error %lu)", name, LastError());
    }
}

int StartDriverService(const char* name) {
    ServiceHandle manager(OpenManager());
    ServiceHandle service(manager ? OpenServiceA(manager.Get(), name, SERVICE_ALL_ACCESS) : nullptr);
    if (service && StartServiceA(service.Get(), 0, nullptr)) {
        LogLine("Service %s started", name);
        return 1;
    }
    LogLine("Service %s not started (error %lu)", name, LastError());
    return 0;
}

void ServiceConfig::Clear() {
    for (HLOCAL& block : blocks) {
        if (block) LocalFree(block);
        block = nullptr;
    }
    present = running = 0;
    type = startType = errorControl = 0;
    imagePath = displayName = account = group = dependencies = "";
}

int ReadServiceConfig(const char* name, ServiceConfig* config) {
    config->Clear();
    ServiceHandle manager(OpenManager());
    if (!manager) return 0;
    ServiceHandle service(OpenServiceA(manager.Get(), name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 1 : 0;
    // The record, and its texts after it in the same block.
    DWORD needed = 0;
    SERVICE_STATUS status = {};
    if (QueryServiceConfigA(service.Get(), nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return 0;
    }
    auto* record = static_cast<QUERY_SERVICE_CONFIGA*>(config->blocks[0] = LocalAlloc(LPTR, needed));
    if (!record || !QueryServiceConfigA(service.Get(), record, needed, &needed) ||
        !QueryServiceStatus(service.Get(), &status)) {
        return 0;
    }
    const char* const texts[] = {record->lpBinaryPathName, record->lpDisplayName, record->lpServiceStartName,
                                 record->lpLoadOrderGroup};
    const char** fields[] = {&config->imagePath, &config->displayName, &config->account, &config->group};
    for (int i = 0; i < 4; ++i) {
        if (texts[i]) *fields[i] = texts[i];
    }
    // Some service managers leave the list out of the answer; the service's
    // key holds it as well.
    if (record->lpDependencies && *record->lpDependencies) {
        config->dependencies = record->lpDependencies;
    } else {
        char path[MAX_PATH];
        KeyGuard key;
        DWORD size = 0;
        FormatText(path, sizeof path, SERVICES_PATH "\\%s", name);
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS &&
            RegQueryValueExA(key.Get(), "DependOnService", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
            (config->blocks[1] = LocalAlloc(LPTR, size + 2)) != nullptr &&
            RegQueryValueExA(key.Get(), "DependOnService", nullptr, nullptr, static_cast<BYTE*>(config->blocks[1]),
                             &size) == ERROR_SUCCESS) {
            config->dependencies = static_cast<const char*>(config->blocks[1]);
        }
    }
    config->present = 1;
    config->running = status.dwCurrentState != SERVICE_STOPPED;
    config->type = record->dwServiceType;
    config->startType = record->dwStartType;
    config->errorControl = record->dwErrorControl;
    return 1;
}

int CreateServiceFromConfig(const char* name, const ServiceConfig* config) {
    // The system's account is what no account gives.
    const char* account = config->account;
    if (!*account || SameName(account, std::strlen(account), "LocalSystem")) account = nullptr;
    ServiceHandle manager(OpenManager());
    ServiceHandle service(manager ? CreateServiceA(manager.Get(), name, config->displayName, SERVICE_ALL_ACCESS,
                                                   config->type, config->startType, config->errorControl,
                                                   config->imagePath, *config->group ? config->group : nullptr,
                                                   nullptr, config->dependencies, account, nullptr)
                                  : nullptr);
    if (!service) {
        LogLine("Service %s cannot be created again (error %lu)", name, LastError());
        return 0;
    }
    LogLine("Service %s created again: %s", name, config->imagePath);
    return 1;
}

void StartDriverServices() {
    if (!ServicesManaged(setupState.osFamily)) return;
    WaitCursor wait;
    StartDriverService(DRIVER_SERVICE);
    Sleep(SERVICE_PAUSE_MS);
    StartDriverService(INIT_SERVICE);
    Sleep(SERVICE_PAUSE_MS);
}
