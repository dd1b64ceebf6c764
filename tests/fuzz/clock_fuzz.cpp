// Tick readings into seconds: every result is finite, and a sequence of readings that only moves
// forward (wrapping at most once) converts to times that never go back.
#include <cmath>

#include "fuzz_input.h"
#include "metadata/TimeConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    zorvframekit::TimeConverter forward, anyOrder;
    uint32_t tick = in.u32();
    uint64_t travelled = 0;
    double last = forward.convert(tick);
    FUZZ_REQUIRE(std::isfinite(last));
    anyOrder.convert(tick);
    while (in.more()) {
        const uint32_t step = in.u32() >> (in.byte() % 32);
        FUZZ_REQUIRE(std::isfinite(anyOrder.convert(in.u32())));
        if (travelled + step >= 0xFFFFFFFFull || step > 0x80000000u) continue;
        travelled += step;
        tick += step;
        const double now = forward.convert(tick);
        FUZZ_REQUIRE(std::isfinite(now) && now >= last);
        last = now;
    }
    return 0;
}
