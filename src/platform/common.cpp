// The part of the platform layer that is the same everywhere.
#include "platform.h"

#include <atomic>

namespace zorvframekit {
namespace platform {

namespace {
std::atomic<bool> memoryOverridden{false};
std::atomic<uint64_t> memoryOverride{0};

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
