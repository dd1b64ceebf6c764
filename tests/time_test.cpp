// Tick readings turned into wall-clock seconds.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

#include "metadata/TimeConverter.h"
#include "platform/platform.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::TimeConverter;

namespace {

double wallNow() {
    int64_t seconds = 0;
    int milliseconds = 0;
    zorvframekit::platform::wallClock(&seconds, &milliseconds);
    return static_cast<double>(seconds) + milliseconds * 0.001;
}

TEST(TimeConversion, TheFirstConversionIsTheWallClockWhateverTheTick) {
    for (uint32_t tick : {0u, 12345u, 4294967295u}) {
        TimeConverter converter;
        const double before = wallNow();
        const double anchored = converter.convert(tick);
        const double after = wallNow();
        EXPECT_GE(anchored, before);
        EXPECT_LE(anchored, after);
        EXPECT_EQ(converter.convert(tick), anchored);  // the same tick twice: the same time
    }
}

TEST(TimeConversion, LaterTicksAddTheirMilliseconds) {
    TimeConverter converter;
    const uint32_t anchor = 1000000;
    const double base = converter.convert(anchor);
    EXPECT_EQ(converter.convert(anchor + 1500), (1500.0) * 0.001 + base);
    EXPECT_EQ(converter.convert(anchor + 1500), converter.convert(anchor + 1500));
    EXPECT_EQ(converter.convert(anchor + 2147483648u), 2147483648.0 * 0.001 + base);  // the largest step forward
}

TEST(TimeConversion, TheCounterWrappingCountsOnce) {
    TimeConverter converter;
    const double base = converter.convert(4294967000u);
    const double last = converter.convert(4294967295u);
    const double first = converter.convert(0);
    EXPECT_NEAR(first - last, 0.001, 1e-6);
    EXPECT_EQ(first, ((4294967296.0 + 0) - 4294967000.0) * 0.001 + base);
    // A second turn of the counter.
    converter.convert(2000000000u);
    converter.convert(4000000000u);
    const double secondTurn = converter.convert(5);
    EXPECT_EQ(secondTurn, ((2 * 4294967296.0 + 5) - 4294967000.0) * 0.001 + base);
}

TEST(TimeConversion, AnOlderTickArrivingLateIsTheEarlierTimeAndMovesNothing) {
    TimeConverter converter;
    const double base = converter.convert(10000);
    const double newer = converter.convert(20000);
    const double older = converter.convert(15000);
    EXPECT_EQ(older, 5000 * 0.001 + base);
    EXPECT_LT(older, newer);
    // Nothing moved: the newer tick still converts as before, and so does the next one.
    EXPECT_EQ(converter.convert(20000), newer);
    EXPECT_EQ(converter.convert(21000), 11000 * 0.001 + base);
    // Just under 2^31 back is still an older reading; 2^31 back is a wrap.
    TimeConverter edge;
    const double edgeBase = edge.convert(0x80000000u);
    EXPECT_EQ(edge.convert(1), (1.0 - 2147483648.0) * 0.001 + edgeBase);
    EXPECT_EQ(edge.convert(0), (4294967296.0 - 2147483648.0) * 0.001 + edgeBase);
}

TEST(TimeConversion, ALateTickFromBeforeAWrapIsTheEarlierTimeAndMovesNothing) {
    TimeConverter converter;
    const double base = converter.convert(0xFFFFFFF0u);
    EXPECT_EQ(converter.convert(5), 21 * 0.001 + base);           // across the wrap
    EXPECT_EQ(converter.convert(0xFFFFFFF8u), 8 * 0.001 + base);  // late, from before it
    EXPECT_EQ(converter.convert(10), 26 * 0.001 + base);          // and the wrap counted once

    // A numerically larger tick far ahead is the same: a reading from before the counter wrapped.
    TimeConverter afterWrap;
    const double anchored = afterWrap.convert(5);
    EXPECT_EQ(afterWrap.convert(0xFFFFFFF0u), -21 * 0.001 + anchored);
    EXPECT_EQ(afterWrap.convert(6), 1 * 0.001 + anchored);
}

TEST(TimeConversion, ManyThreadsConvertingAtOnceStayConsistent) {
    TimeConverter converter;
    const double base = converter.convert(100);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (uint32_t i = 0; i < 20000; ++i) {
                const uint32_t tick = 100 + i * 6 + static_cast<uint32_t>(t);
                if (converter.convert(tick) != (tick - 100.0) * 0.001 + base) ++wrong;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(TimeExports, GetTimestampFollowsTheTickCounterFromOneAnchor) {
    const double first = getTimestamp();
    const uint32_t tick = zorvframekit::platform::tickCount();
    const double converted = convertSysTimeToLocalTime(tick);
    EXPECT_GE(converted, first - 0.001);
    EXPECT_LT(converted - first, 5.0);
    const double now = wallNow();
    EXPECT_NEAR(getTimestamp(), now, 5.0);
}

}  // namespace
