#include "support/platform.h"

#include "core/setup_state.h"

namespace testing_support {

void ResetAll() {
#if ON_STAND_IN
    hostwin::Reset();
#endif
    ResetSetupState();
    setupState.instance = GetModuleHandleA(nullptr);
}

}  // namespace testing_support
