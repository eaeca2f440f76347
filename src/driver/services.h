// The two driver services: "bfax" (kernel driver) and "faxinit" (a Win32
// service depending on it), through the service control manager.
#ifndef SETUP_DRIVER_SERVICES_H
#define SETUP_DRIVER_SERVICES_H

int ServiceExists(const char* name);
int CreateKernelDriverService(const char* name, const char* imagePath);
int CreateDependentService(const char* name, const char* imagePath);
// 1 when both were created, or when services are not managed on this system.
int CreateDriverServices();
void StopAndDeleteService(const char* name);
void StartDriverService(const char* name);
int StartDriverServices();

#endif
