// Stand-in controls for the LZ expander (SZDD files).
// Included by hostwin/machine.h.
//
// The expander reads through the stand-in's KERNEL32, so sharing and the
// injected file faults reach it as they reach LZ32 on Windows.
#ifndef HOSTWIN_LZ_H
#define HOSTWIN_LZ_H

#include <windows.h>

namespace hostwin {

// Compressed files open through LZInit (handles 0x400..0x40F).
int OpenLzFileCount();

}  // namespace hostwin

#endif
