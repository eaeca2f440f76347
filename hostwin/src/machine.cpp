// The simulated machine as a whole: lock, reset, kernel handles, last error,
// the virtual clock, and the counting and failing of fallible calls.
#include "internal.h"

#include <hostwin/machine.h>

#include <cstring>
#include <map>
#include <vector>

namespace hostwin {
namespace {

struct Machine {
    std::map<ULONG_PTR, std::shared_ptr<internal::KernelObject>> handles;
    std::uint64_t now = 0;
    std::vector<DWORD> sleeps;
    std::function<void()> onSleep;
    std::vector<FallibleCall> calls;
    int failAt = 0;
    bool persist = false;
    std::string cutFile;
    std::uint64_t cutAt = 0, written = 0;
};

Machine& TheMachine() {
    static Machine machine;
    return machine;
}

std::vector<std::function<void()>>& ResetHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

std::vector<std::function<void()>>& RestartHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

const bool registered = internal::RegisterReset([] { TheMachine() = Machine(); });

thread_local DWORD lastError = 0;
// How deep this thread is inside counted calls: the stand-in's own calls
// made while serving one are not the program's.
thread_local int depth = 0;

}  // namespace

namespace internal {

std::recursive_mutex& MachineLock() {
    static std::recursive_mutex lock;
    return lock;
}

bool RegisterReset(std::function<void()> reset) {
    ResetHooks().push_back(std::move(reset));
    return true;
}

bool RegisterRestart(std::function<void()> restart) {
    RestartHooks().push_back(std::move(restart));
    return true;
}

DWORD BytesBeforePowerCut(const std::string& key, DWORD count) {
    HOSTWIN_LOCK();
    Machine& machine = TheMachine();
    if (key != machine.cutFile) return count;
    std::uint64_t before = machine.written;
    machine.written += count;
    if (machine.cutAt == 0 || before + count < machine.cutAt) return count;
    // This call fails, and every one after it.
    machine.failAt = static_cast<int>(machine.calls.size());
    machine.persist = true;
    DWORD kept = static_cast<DWORD>(machine.cutAt - 1 - before);
    machine.cutAt = 0;
    return kept;
}

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    HOSTWIN_LOCK();
    // As on Windows: multiples of 4, the lowest free value first. The values
    // LZ32 hands out for its own handles (0x400..0x40F) are left out, so that
    // a file handle passed through the expander is never taken for one.
    ULONG_PTR value = 0x100;
    while (TheMachine().handles.count(value) || (value >= 0x400 && value < 0x410)) value += 4;
    TheMachine().handles[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
    HOSTWIN_LOCK();
    auto found = TheMachine().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    return found == TheMachine().handles.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle) {
    HOSTWIN_LOCK();
    return TheMachine().handles.erase(reinterpret_cast<ULONG_PTR>(handle)) == 1;
}

std::string UpperAscii(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return upper;
}

size_t CopyOut(const std::string& text, char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

FaultPoint::FaultPoint(const char* call, const std::string& target, DWORD error) : fails_(false), error_(error) {
    HOSTWIN_LOCK();
    if (depth++ > 0) return;
    Machine& machine = TheMachine();
    int number = static_cast<int>(machine.calls.size()) + 1;
    fails_ = machine.failAt > 0 && (number == machine.failAt || (machine.persist && number > machine.failAt));
    machine.calls.push_back(FallibleCall{call, target, fails_ ? error_ : 0});
}

FaultPoint::~FaultPoint() { --depth; }

}  // namespace internal

void Reset() { HOSTWIN_LOCK(); for (auto& hook : ResetHooks()) hook(); }
int OpenHandleCount() { HOSTWIN_LOCK(); return static_cast<int>(TheMachine().handles.size()); }
std::uint64_t Now() { HOSTWIN_LOCK(); return TheMachine().now; }
const std::vector<DWORD>& Sleeps() { return TheMachine().sleeps; }
void SetSleepHook(std::function<void()> hook) { TheMachine().onSleep = std::move(hook); }

void CountCalls(int failAt) {
    HOSTWIN_LOCK();
    TheMachine().calls.clear();
    TheMachine().failAt = failAt;
    TheMachine().persist = false;
}

void CutPowerAt(const char* path, std::uint64_t byte) {
    HOSTWIN_LOCK();
    std::string full;
    internal::FullPathName(path, &full);
    TheMachine().cutFile = internal::UpperAscii(full);
    TheMachine().cutAt = byte;
    TheMachine().written = 0;
}

std::uint64_t BytesWrittenTo() { HOSTWIN_LOCK(); return TheMachine().written; }

void Restart() {
    HOSTWIN_LOCK();
    TheMachine().failAt = 0;
    TheMachine().cutAt = 0;
    TheMachine().handles.clear();
    for (auto& hook : RestartHooks()) hook();
}
const std::vector<FallibleCall>& FallibleCalls() { return TheMachine().calls; }

}  // namespace hostwin

using namespace hostwin;

DWORD WINAPI GetLastError(void) { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }

void WINAPI Sleep(DWORD milliseconds) {
    std::function<void()> hook;
    {
        HOSTWIN_LOCK();
        TheMachine().now += milliseconds;
        TheMachine().sleeps.push_back(milliseconds);
        hook = TheMachine().onSleep;
    }
    if (hook) hook();
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) { *time = SYSTEMTIME{2026, 12, 0, 6, 12, 0, 0, 0}; }
LONG WINAPI InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
