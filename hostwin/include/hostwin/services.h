// Stand-in controls for the service control manager: service records, states, scripted behaviour.
// Included by hostwin/machine.h.
#ifndef HOSTWIN_SERVICES_H
#define HOSTWIN_SERVICES_H

#include <windows.h>

#include <string>
#include <vector>

namespace hostwin {

}  // namespace hostwin

#endif
