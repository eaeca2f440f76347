// The simulated machine as a whole: lock, reset, kernel handles, last error,
// the virtual clock.
#include "internal.h"

#include <hostwin/machine.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <vector>

namespace hostwin {
namespace internal {

std::recursive_mutex& MachineLock() {
    static std::recursive_mutex lock;
    return lock;
}

static std::vector<std::function<void()>>& ResetHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

bool RegisterReset(std::function<void()> reset) {
    ResetHooks().push_back(std::move(reset));
    return true;
}

namespace {
struct HandleTable {
    std::map<ULONG_PTR, std::shared_ptr<KernelObject>> objects;
    ULONG_PTR next = 0x100;
};
HandleTable& Handles() {
    static HandleTable table;
    return table;
}
const bool handlesRegistered = RegisterReset([] {
    Handles().objects.clear();
    Handles().next = 0x100;
});
}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    HOSTWIN_LOCK();
    HandleTable& table = Handles();
    // As on Windows: multiples of 4, the lowest free value first. The values
    // LZ32 hands out for its own handles (0x400..0x40F) are left out, so that
    // a file handle passed through the expander is never taken for one.
    ULONG_PTR value = table.next;
    while (table.objects.count(value) || (value >= 0x400 && value < 0x410)) value += 4;
    table.objects[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
    HOSTWIN_LOCK();
    auto found = Handles().objects.find(reinterpret_cast<ULONG_PTR>(handle));
    return found == Handles().objects.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle) {
    HOSTWIN_LOCK();
    return Handles().objects.erase(reinterpret_cast<ULONG_PTR>(handle)) == 1;
}

int HandleCount() {
    HOSTWIN_LOCK();
    return static_cast<int>(Handles().objects.size());
}

std::string UpperAscii(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

size_t CopyOut(const std::string& text, char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

}  // namespace internal

// ---- virtual clock ------------------------------------------------------------
namespace {
struct Clock {
    std::uint64_t now = 0;
    std::vector<DWORD> sleeps;
    std::function<void(DWORD)> onSleep;
    SYSTEMTIME local = {2026, 12, 0, 6, 12, 0, 0, 0};
};
Clock& TheClock() {
    static Clock clock;
    return clock;
}
const bool clockRegistered = internal::RegisterReset([] { TheClock() = Clock(); });

thread_local DWORD lastError = 0;
}  // namespace

void Reset() {
    HOSTWIN_LOCK();
    for (auto& hook : internal::ResetHooks()) hook();
}

int OpenHandleCount() { return internal::HandleCount(); }

std::uint64_t Now() {
    HOSTWIN_LOCK();
    return TheClock().now;
}

const std::vector<DWORD>& Sleeps() { return TheClock().sleeps; }

void SetSleepHandler(std::function<void(DWORD)> handler) {
    HOSTWIN_LOCK();
    TheClock().onSleep = std::move(handler);
}

}  // namespace hostwin

using namespace hostwin;

DWORD WINAPI GetLastError(void) { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }

void WINAPI Sleep(DWORD milliseconds) {
    HOSTWIN_LOCK();
    TheClock().now += milliseconds;
    TheClock().sleeps.push_back(milliseconds);
    if (TheClock().onSleep) TheClock().onSleep(milliseconds);
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
    HOSTWIN_LOCK();
    if (time) *time = TheClock().local;
}

LONG WINAPI InterlockedIncrement(LONG volatile* value) {
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}
