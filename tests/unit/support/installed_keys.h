// The registry keys an installation writes, as the tests look them up, and
// the driver parameters it puts there.
#ifndef TESTS_SUPPORT_INSTALLED_KEYS_H
#define TESTS_SUPPORT_INSTALLED_KEYS_H

#include <windows.h>

#include <utility>
#include <vector>

namespace installed_keys {

inline constexpr const char* PRODUCT_KEY = "Software\\Morvik Communication\\Loxbrine";
inline constexpr const char* BFAX_PARAMETERS = "System\\CurrentControlSet\\Services\\bfax\\Parameters";
inline constexpr const char* FAXINIT_PARAMETERS = "System\\CurrentControlSet\\Services\\faxinit\\Parameters";

// The DWORD values below BFAX_PARAMETERS for the IRQ and DMA channel chosen;
// FAXINIT_PARAMETERS holds CMD_LINE "-n faxinit.cfg" only.
inline std::vector<std::pair<const char*, DWORD>> BfaxParameters(DWORD irq, DWORD dma) {
    return {{"BFAX_BUF_SIZE", 8192}, {"BFAX_DMA_CHAN", dma},    {"BFAX_HW_INT", irq}, {"BFAX_NUM_USER_INTRS", 10},
            {"CMD_HISTORY_SIZE", 1}, {"FIFO_HISTORY_SIZE", 0}, {"HW_BUS_NUM", 0},    {"HW_BUS_TYPE", 1},
            {"HW_DMA_PORT", 0},      {"HW_INTR_LEVEL", irq},    {"NBFAX", 16}};
}

}  // namespace installed_keys

#endif
