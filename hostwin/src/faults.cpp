// Counting the program's calls that can fail, and failing the chosen ones.
#include "internal.h"

#include <hostwin/machine.h>

#include <map>

namespace hostwin {
namespace {

struct Faults {
    std::vector<FallibleCall> calls;
    int failAt = 0;
    bool persist = false;
    std::map<std::string, DWORD> everyCall;  // by call name
};

Faults& TheFaults() {
    static Faults faults;
    return faults;
}

const bool registered = internal::RegisterReset([] { TheFaults() = Faults(); });

// How deep this thread is inside counted calls: the stand-in's own calls
// made while serving one are not the program's.
thread_local int depth = 0;

}  // namespace

void CountCalls(int failAt, bool persist) {
    HOSTWIN_LOCK();
    Faults& faults = TheFaults();
    faults.calls.clear();
    faults.failAt = failAt;
    faults.persist = persist;
}

void StopFailingCalls() {
    HOSTWIN_LOCK();
    TheFaults().failAt = 0;
}

const std::vector<FallibleCall>& FallibleCalls() { return TheFaults().calls; }

void FailEveryCall(const char* call, DWORD error) {
    HOSTWIN_LOCK();
    TheFaults().everyCall[call] = error;
}

namespace internal {

FaultPoint::FaultPoint(const char* call, const std::string& target, DWORD error) : fails_(false), error_(error) {
    HOSTWIN_LOCK();
    if (depth++ > 0) return;
    Faults& faults = TheFaults();
    int number = static_cast<int>(faults.calls.size()) + 1;
    auto every = faults.everyCall.find(call);
    if (every != faults.everyCall.end()) {
        fails_ = true;
        error_ = every->second;
    } else if (faults.failAt > 0) {
        fails_ = number == faults.failAt || (faults.persist && number > faults.failAt);
    }
    faults.calls.push_back(FallibleCall{call, target, fails_ ? error_ : 0});
}

FaultPoint::~FaultPoint() { --depth; }

bool FaultPoint::FailsSettingError() const {
    if (fails_) SetLastError(error_);
    return fails_;
}

}  // namespace internal
}  // namespace hostwin
