#include "zorvframekit/zorvframekit.h"

#include <cstdint>
#include <new>

#include "msvcabi.h"

#include "platform/platform.h"

namespace zorvframekit {

// The used amount and the limit are read and written atomically: frames on the engine's threads and
// on a pool's worker charge and credit one limiter at the same time.
namespace {

int load(const int& field) { return __atomic_load_n(&field, __ATOMIC_SEQ_CST); }

void store(int& field, int value) { __atomic_store_n(&field, value, __ATOMIC_SEQ_CST); }

bool exchange(int& field, int& expected, int desired) {
    return __atomic_compare_exchange_n(&field, &expected, desired, true, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

// Sums stay in int: past INT_MAX they stop there instead of wrapping to a negative figure.
int saturatingAdd(int a, int b) {
    const int64_t sum = static_cast<int64_t>(a) + b;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return static_cast<int>(sum);
}

}  // namespace

MemoryLimiter::MemoryLimiter(int minimumLimit, int maximumLimit)
    : minimumLimit(minimumLimit), maximumLimit(maximumLimit), memoryUsed(0), memoryLimit(maximumLimit) {
    reset();
}

MemoryLimiter::~MemoryLimiter() {}

void MemoryLimiter::incMemoryUsed(int bytes) {
    int used = load(memoryUsed);
    while (!exchange(memoryUsed, used, saturatingAdd(used, bytes))) {
    }
}

void MemoryLimiter::decMemoryUsed(int bytes) {
    int used = load(memoryUsed);
    for (;;) {
        int remaining = saturatingAdd(used, bytes == INT32_MIN ? INT32_MAX : -bytes);
        if (remaining < 0) remaining = 0;
        if (exchange(memoryUsed, used, remaining)) return;
    }
}

int MemoryLimiter::getMemoryUsed() const { return load(memoryUsed); }

int MemoryLimiter::getMemoryLimit() const { return load(memoryLimit); }

void MemoryLimiter::setMemoryLimit(int limit) { store(memoryLimit, limit); }

void MemoryLimiter::reset() {
    // The platform counts in unsigned 64 bits; anything beyond INT_MAX is simply "plenty", so it is
    // clamped rather than let wrap to a negative int that would look like "almost nothing".
    const uint64_t available = platform::availablePhysicalMemory();
    const int avail = available > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(available);
    int limit;
    if (avail < minimumLimit)
        limit = minimumLimit;
    else if (avail > maximumLimit)
        limit = maximumLimit;
    else
        limit = avail;
    store(memoryLimit, limit);
    store(memoryUsed, 0);
}

bool tryChargeMemory(MemoryLimiter& limiter, int bytes) {
    int used = load(limiter.memoryUsed);
    for (;;) {
        if (static_cast<int64_t>(used) + bytes > load(limiter.memoryLimit)) return false;
        if (exchange(limiter.memoryUsed, used, used + bytes)) return true;
    }
}

}  // namespace zorvframekit

#if defined(ZFK_MSVC_ABI)
// The class under the names and calling conventions the platform compiler gives a dllexport class,
// so that engines built with it link against the DLL as against their own. Its constructors return
// the object, which GCC's do not; the rest forward to the members.
using zorvframekit::MemoryLimiter;

static_assert(sizeof(MemoryLimiter) == 16, "four int32 fields, nothing else");

ZFK_MSVC_FUNCTION("??0MemoryLimiter@zorvframekit@@QAE@HH@Z", MemoryLimiter*, msvcConstructMemoryLimiter,
                  (MemoryLimiter * self, int minimumLimit, int maximumLimit)) {
    return new (self) MemoryLimiter(minimumLimit, maximumLimit);
}
// The "default constructor closure": construction with the default arguments.
ZFK_MSVC_FUNCTION("??_FMemoryLimiter@zorvframekit@@QAEXXZ", void, msvcConstructDefaultMemoryLimiter,
                  (MemoryLimiter * self)) {
    new (self) MemoryLimiter();
}
ZFK_MSVC_FUNCTION("??1MemoryLimiter@zorvframekit@@QAE@XZ", void, msvcDestroyMemoryLimiter, (MemoryLimiter * self)) {
    self->~MemoryLimiter();
}
ZFK_MSVC_FUNCTION("??4MemoryLimiter@zorvframekit@@QAEAAV01@ABV01@@Z", MemoryLimiter*, msvcAssignMemoryLimiter,
                  (MemoryLimiter * self, const MemoryLimiter* other)) {
    *self = *other;
    return self;
}
ZFK_MSVC_FUNCTION("?incMemoryUsed@MemoryLimiter@zorvframekit@@QAEXH@Z", void, msvcIncMemoryUsed,
                  (MemoryLimiter * self, int bytes)) {
    self->incMemoryUsed(bytes);
}
ZFK_MSVC_FUNCTION("?decMemoryUsed@MemoryLimiter@zorvframekit@@QAEXH@Z", void, msvcDecMemoryUsed,
                  (MemoryLimiter * self, int bytes)) {
    self->decMemoryUsed(bytes);
}
ZFK_MSVC_FUNCTION("?getMemoryUsed@MemoryLimiter@zorvframekit@@QBEHXZ", int, msvcGetMemoryUsed,
                  (const MemoryLimiter* self)) {
    return self->getMemoryUsed();
}
ZFK_MSVC_FUNCTION("?getMemoryLimit@MemoryLimiter@zorvframekit@@QBEHXZ", int, msvcGetMemoryLimit,
                  (const MemoryLimiter* self)) {
    return self->getMemoryLimit();
}
ZFK_MSVC_FUNCTION("?setMemoryLimit@MemoryLimiter@zorvframekit@@QAEXH@Z", void, msvcSetMemoryLimit,
                  (MemoryLimiter * self, int limit)) {
    self->setMemoryLimit(limit);
}
ZFK_MSVC_FUNCTION("?reset@MemoryLimiter@zorvframekit@@QAEXXZ", void, msvcResetMemoryLimiter, (MemoryLimiter * self)) {
    self->reset();
}
#endif
