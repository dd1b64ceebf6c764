#include "metadata/TimeConverter.h"

#include "platform/platform.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

double TimeConverter::convert(uint32_t tick) {
    platform::SpinLockGuard guard(lock);
    if (baseTime == 0.0) {
        int64_t seconds = 0;
        int milliseconds = 0;
        platform::wallClock(&seconds, &milliseconds);
        lastTick = tick;
        baseTick = static_cast<double>(tick);
        baseTime = milliseconds * 0.001 + static_cast<double>(seconds);
        return baseTime;
    }
    // Readings are ordered modulo 2^32: one at most 2^31 ms after the latest (counting across a wrap)
    // moves time forward; one less than 2^31 ms behind it is an older reading that arrived late (ticks
    // read on other threads, say). That one converts to its earlier moment, which may lie before the
    // latest wrap, and moves nothing.
    const uint32_t ahead = tick - lastTick;
    if (ahead > 0x80000000u) {
        const uint32_t behind = lastTick - tick;
        return ((wrapCount * 4294967296.0 + lastTick - behind) - baseTick) * 0.001 + baseTime;
    }
    if (tick < lastTick) ++wrapCount;
    lastTick = tick;
    return ((wrapCount * 4294967296.0 + tick) - baseTick) * 0.001 + baseTime;
}

namespace {
// Constant-initialised: no guard for a first use to set up.
TimeConverter converter;
}  // namespace

TimeConverter& processTimeConverter() { return converter; }

}  // namespace zorvframekit

extern "C" double convertSysTimeToLocalTime(uint32_t tick) {
    return zorvframekit::processTimeConverter().convert(tick);
}

extern "C" double getTimestamp(void) {
    return zorvframekit::processTimeConverter().convert(zorvframekit::platform::tickCount());
}
