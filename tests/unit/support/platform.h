// What every unit test needs: a fresh machine and setup state, and the means
// to skip a test on a platform that cannot show what it checks.
#ifndef TESTS_SUPPORT_PLATFORM_H
#define TESTS_SUPPORT_PLATFORM_H

#include <gtest/gtest.h>
#include <windows.h>

#ifdef _WIN32
#define ON_STAND_IN 0
// The test sets up or inspects the simulated machine; the real platform has
// no such controls.
#define REQUIRE_STAND_IN() GTEST_SKIP() << "needs the stand-in machine's controls"
#define REQUIRE_REAL_WINDOWS() \
    do {                      \
    } while (0)
#else
#define ON_STAND_IN 1
#include <hostwin/machine.h>
#define REQUIRE_STAND_IN() \
    do {                   \
    } while (0)
#define REQUIRE_REAL_WINDOWS() GTEST_SKIP() << "needs the real Windows API (runs under Wine)"
#endif

namespace testing_support {

// Fresh stand-in machine (when there is one) and a fresh SetupState whose
// instance is this program, so that LoadText finds the string table.
void ResetAll();

}  // namespace testing_support

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::ResetAll(); }
};

#endif
