#include "metadata/TimeConverter.h"

#include "platform/platform.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

double TimeConverter::convert(uint32_t tick) {
    std::lock_guard<std::mutex> lock(mutex);
    if (baseTime == 0.0) {
        int64_t seconds = 0;
        int milliseconds = 0;
        platform::wallClock(&seconds, &milliseconds);
        lastTick = tick;
        baseTick = static_cast<double>(tick);
        baseTime = milliseconds * 0.001 + static_cast<double>(seconds);
        return baseTime;
    }
    if (tick < lastTick) {
        // A reading less than 2^31 ms behind the latest is an older reading that arrived late (ticks
        // read on other threads, say), not a wrap: it lies in the latest reading's wrap period and
        // moves nothing. A larger step back is the counter wrapping.
        if (lastTick - tick >= 0x80000000u) {
            ++wrapCount;
            lastTick = tick;
        }
    } else {
        lastTick = tick;
    }
    return ((wrapCount * 4294967296.0 + tick) - baseTick) * 0.001 + baseTime;
}

TimeConverter& processTimeConverter() {
    static TimeConverter converter;
    return converter;
}

}  // namespace zorvframekit

extern "C" double convertSysTimeToLocalTime(uint32_t tick) {
    return zorvframekit::processTimeConverter().convert(tick);
}

extern "C" double getTimestamp(void) {
    return zorvframekit::processTimeConverter().convert(zorvframekit::platform::tickCount());
}
