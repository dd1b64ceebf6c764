// The part of the platform layer that is the same everywhere.
#include "platform.h"

#include <atomic>

namespace zorvframekit {
namespace platform {

namespace {
std::atomic<bool> memoryOverridden{false};
std::atomic<uint64_t> memoryOverride{0};
}  // namespace

uint64_t systemAvailablePhysicalMemory();

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
