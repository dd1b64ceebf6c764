// The memory limiter takes its cap from available memory and counts what frames charge and credit.
#include <gtest/gtest.h>

#include <climits>

#include "platform/platform.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::MemoryLimiter;
namespace platform = zorvframekit::platform;

namespace {

// Plays a machine with a given amount of available memory for the length of a test.
class PretendMemory {
public:
    explicit PretendMemory(uint64_t bytes) : bytes(bytes) { platform::overrideAvailablePhysicalMemory(&this->bytes); }
    ~PretendMemory() { platform::overrideAvailablePhysicalMemory(nullptr); }

private:
    uint64_t bytes;
};

TEST(MemoryLimiterLimit, IsTheAvailableMemoryClampedToTheBounds) {
    {
        PretendMemory machine(500000000);
        MemoryLimiter limiter;
        EXPECT_EQ(limiter.getMemoryLimit(), 500000000);
        EXPECT_EQ(limiter.getMemoryUsed(), 0);
    }
    {
        PretendMemory machine(12287999);
        EXPECT_EQ(MemoryLimiter().getMemoryLimit(), 12288000);
    }
    {
        PretendMemory machine(12288000);  // the bounds themselves are taken as they are
        EXPECT_EQ(MemoryLimiter().getMemoryLimit(), 12288000);
    }
    {
        PretendMemory machine(1000000001);
        EXPECT_EQ(MemoryLimiter().getMemoryLimit(), 1000000000);
    }
    {
        PretendMemory machine(5000);
        EXPECT_EQ(MemoryLimiter(100, 200).getMemoryLimit(), 200);  // the constructor's reset ran
        EXPECT_EQ(MemoryLimiter(100, 20000).getMemoryLimit(), 5000);
    }
}

TEST(MemoryLimiterLimit, AHugeMachineGetsTheMaximumNotTheMinimum) {
    // Readings of 2^31 bytes and more would look negative as an int.
    for (uint64_t reading : {2147483648ull, 4294967295ull, 4294967296ull, 64ull << 30}) {
        PretendMemory machine(reading);
        EXPECT_EQ(MemoryLimiter().getMemoryLimit(), 1000000000) << reading;
        EXPECT_EQ(MemoryLimiter(0, INT_MAX).getMemoryLimit(), INT_MAX) << reading;
    }
}

TEST(MemoryLimiterLimit, WithTheBoundsCrossedTheMinimumIsTestedFirst) {
    {
        PretendMemory machine(10);
        EXPECT_EQ(MemoryLimiter(1000, 100).getMemoryLimit(), 1000);
    }
    {
        PretendMemory machine(500);
        EXPECT_EQ(MemoryLimiter(1000, 100).getMemoryLimit(), 1000);
    }
    {
        PretendMemory machine(5000);
        EXPECT_EQ(MemoryLimiter(1000, 100).getMemoryLimit(), 100);
    }
}

TEST(MemoryLimiterLimit, SetMemoryLimitIsTakenAsItIsUntilTheNextReset) {
    PretendMemory machine(50000000);
    MemoryLimiter limiter;
    limiter.setMemoryLimit(5);
    EXPECT_EQ(limiter.getMemoryLimit(), 5);
    limiter.setMemoryLimit(2000000000);
    EXPECT_EQ(limiter.getMemoryLimit(), 2000000000);
    limiter.incMemoryUsed(10);
    limiter.setMemoryLimit(3);  // below what is used: accepted, used left alone
    EXPECT_EQ(limiter.getMemoryUsed(), 10);
    EXPECT_EQ(limiter.getMemoryLimit(), 3);
    limiter.reset();
    EXPECT_EQ(limiter.getMemoryLimit(), 50000000);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

TEST(MemoryLimiterCounting, ChargesAreUnboundedAndCreditsStopAtZero) {
    MemoryLimiter limiter;
    limiter.setMemoryLimit(100);
    limiter.incMemoryUsed(150);  // the limiter refuses nothing itself
    EXPECT_EQ(limiter.getMemoryUsed(), 150);
    limiter.decMemoryUsed(50);
    EXPECT_EQ(limiter.getMemoryUsed(), 100);
    limiter.decMemoryUsed(101);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    limiter.decMemoryUsed(INT_MIN);  // a credit of "minus everything" neither wraps nor traps
    EXPECT_EQ(limiter.getMemoryUsed(), INT_MAX);
    limiter.incMemoryUsed(INT_MAX);
    EXPECT_EQ(limiter.getMemoryUsed(), INT_MAX);
    limiter.reset();
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

}  // namespace
