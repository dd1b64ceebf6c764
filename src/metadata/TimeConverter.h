// Turns readings of the millisecond tick counter into wall-clock seconds since 1970. The tick
// counter is anchored to the wall clock once, at the first conversion; from then on every time is
// derived from ticks alone, so two results differ by exactly the ticks between their readings,
// however the wall clock is adjusted meanwhile. No time-zone or daylight-saving correction.
#ifndef ZORVFRAMEKIT_METADATA_TIMECONVERTER_H
#define ZORVFRAMEKIT_METADATA_TIMECONVERTER_H

#include <cstdint>

#include "platform/platform.h"

namespace zorvframekit {

class TimeConverter {
public:
    // Safe to call from any number of threads at once.
    double convert(uint32_t tick);

private:
    platform::SpinLock lock;  // needs no setting up, so the first conversion cannot fail
    double baseTime = 0.0;  // wall-clock seconds at the anchor; 0 until anchored
    double baseTick = 0.0;  // tick at the anchor
    uint32_t wrapCount = 0; // wraps of the tick counter since the anchor
    uint32_t lastTick = 0;  // latest tick that moved time forward
};

// The converter behind getTimestamp and convertSysTimeToLocalTime.
TimeConverter& processTimeConverter();

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_METADATA_TIMECONVERTER_H
