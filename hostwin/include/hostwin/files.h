// Stand-in controls for the file system: files mapped into a host directory, sharing, injected faults.
// Included by hostwin/machine.h.
#ifndef HOSTWIN_FILES_H
#define HOSTWIN_FILES_H

#include <windows.h>

#include <string>
#include <vector>

namespace hostwin {

}  // namespace hostwin

#endif
