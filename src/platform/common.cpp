// The part of the platform layer that is the same everywhere.
#include "platform.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace zorvframekit {
namespace platform {

namespace {
std::atomic<bool> memoryOverridden{false};
std::atomic<uint64_t> memoryOverride{0};

std::atomic<long> firstFailing[kFailureSiteCount];  // 0: none
std::atomic<long> lastFailing[kFailureSiteCount];
std::atomic<long> attemptCount[kFailureSiteCount];

std::atomic<unsigned> failingMessage{0};
std::atomic<int> failuresLeft{0};
std::atomic<unsigned> watchedMessage{0};
std::atomic<int> watchedQueued{0};
std::atomic<int> watchedMostQueued{0};
std::atomic<int> watchedPosts{0};

bool takeFailure(unsigned message) {
    if (message != failingMessage.load()) return false;
    int left = failuresLeft.load();
    while (left > 0 && !failuresLeft.compare_exchange_weak(left, left - 1)) {
    }
    return left > 0;
}
}  // namespace

uint64_t systemAvailablePhysicalMemory();
bool systemPostThreadMessage(ThreadId id, unsigned message, uintptr_t wParam, intptr_t lParam);
int systemWaitMessage(Message* message);

bool postThreadMessage(ThreadId id, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (takeFailure(message)) return false;
    if (!systemPostThreadMessage(id, message, wParam, lParam)) return false;
    if (message == watchedMessage.load()) {
        ++watchedPosts;
        const int queued = ++watchedQueued;
        int most = watchedMostQueued.load();
        while (queued > most && !watchedMostQueued.compare_exchange_weak(most, queued)) {
        }
    }
    return true;
}

int waitMessage(Message* message) {
    const int result = systemWaitMessage(message);
    if (result > 0 && message->message == watchedMessage.load()) --watchedQueued;
    return result;
}

void failNextPosts(unsigned message, int count) {
    failuresLeft.store(0);
    failingMessage.store(message);
    failuresLeft.store(count);
}

void watchQueue(unsigned message) {
    watchedMessage.store(0);
    watchedQueued.store(0);
    watchedMostQueued.store(0);
    watchedPosts.store(0);
    watchedMessage.store(message);
}

int mostQueued() { return watchedMostQueued.load(); }

int postsWatched() { return watchedPosts.load(); }

void failAttempt(FailureSite site, long k, long count) {
    const int i = static_cast<int>(site);
    firstFailing[i].store(0);
    attemptCount[i].store(0);
    lastFailing[i].store(k + count - 1);
    firstFailing[i].store(k > 0 && count > 0 ? k : 0);
}

long attemptsAt(FailureSite site) { return attemptCount[static_cast<int>(site)].load(); }

bool attemptFails(FailureSite site) {
    const int i = static_cast<int>(site);
    const long attempt = attemptCount[i].fetch_add(1, std::memory_order_relaxed) + 1;
    const long first = firstFailing[i].load(std::memory_order_relaxed);
    return first != 0 && attempt >= first && attempt <= lastFailing[i].load(std::memory_order_relaxed);
}

void* allocateMemory(size_t bytes) noexcept {
    if (attemptFails(FailureSite::Allocation)) return nullptr;
    return std::malloc(bytes != 0 ? bytes : 1);
}

void freeMemory(void* block) noexcept { std::free(block); }

void* growArray(void* array, int count, int* capacity, size_t elementSize) noexcept {
    const int grown = *capacity == 0 ? 8 : *capacity <= (1 << 24) ? *capacity * 2 : 0;
    void* larger = grown > 0 ? allocateMemory(elementSize * static_cast<size_t>(grown)) : nullptr;
    if (larger == nullptr) return nullptr;
    if (count > 0) std::memcpy(larger, array, elementSize * static_cast<size_t>(count));
    freeMemory(array);
    *capacity = grown;
    return larger;
}

void outOfMemory() noexcept(!kExceptionsReachCallers) {
#if !defined(_WIN32)
    throw std::bad_alloc();
#endif
}

void* HeapObject::operator new(size_t bytes) ZORVFRAMEKIT_NEW_GIVES_NULL {
    void* block = allocateMemory(bytes);
    if (block == nullptr) outOfMemory();
    return block;
}

void HeapObject::operator delete(void* block) noexcept { freeMemory(block); }

void SpinLock::lock() noexcept {
    while (locked.exchange(true, std::memory_order_acquire))
        while (locked.load(std::memory_order_relaxed)) sleepMs(0);
}

uint64_t availablePhysicalMemory() {
    if (memoryOverridden.load()) return memoryOverride.load();
    return systemAvailablePhysicalMemory();
}

void overrideAvailablePhysicalMemory(const uint64_t* bytes) {
    if (bytes) memoryOverride.store(*bytes);
    memoryOverridden.store(bytes != nullptr);
}

}  // namespace platform
}  // namespace zorvframekit
