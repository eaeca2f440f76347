// Stand-in controls for the registry: keys, values, per-root rights, open keys.
// Included by hostwin/machine.h.
#ifndef HOSTWIN_REGISTRY_H
#define HOSTWIN_REGISTRY_H

#include <windows.h>

#include <string>
#include <vector>

namespace hostwin {

}  // namespace hostwin

#endif
