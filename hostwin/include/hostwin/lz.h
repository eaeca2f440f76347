// Stand-in controls for the LZ expander (SZDD files).
// Included by hostwin/machine.h.
#ifndef HOSTWIN_LZ_H
#define HOSTWIN_LZ_H

#include <windows.h>

#include <string>
#include <vector>

namespace hostwin {

}  // namespace hostwin

#endif
