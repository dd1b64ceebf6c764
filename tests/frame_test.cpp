// The common frame base: lazy buffers under a memory limiter, copying in, reference counting and
// release, accessors, and the native host array.
#include <gtest/gtest.h>

#include <cstring>

#include "failing_allocation.h"
#include "test_frame.h"

using zorvframekit::MemoryLimiter;

namespace {

MemoryLimiter limiterWith(int limit, int used = 0) {
    MemoryLimiter limiter;
    limiter.setMemoryLimit(limit);
    limiter.incMemoryUsed(used);
    return limiter;
}

TEST(FrameBuffer, AFrameWithoutALimiterNeverGetsABuffer) {
    TestFrame frame(4, 2);
    const unsigned char source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(frame.getData(), nullptr);
    EXPECT_EQ(frame.getData(), nullptr);
    EXPECT_FALSE(frame.hasData());
    EXPECT_EQ(frame.copyData(source), 0);
    EXPECT_FALSE(frame.hasData());
    EXPECT_EQ(frame.getNativeHostArray(), nullptr);
}

TEST(FrameBuffer, IsAllocatedOnFirstUseAndChargedOnce) {
    MemoryLimiter limiter = limiterWith(1000);
    TestFrame frame(5, 4);
    frame.setMemoryLimiter(&limiter);
    EXPECT_FALSE(frame.hasData());
    EXPECT_EQ(limiter.getMemoryUsed(), 0);  // attaching charges nothing
    unsigned char* data = frame.getData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(frame.hasData());
    EXPECT_EQ(frame.getData(), data);
    EXPECT_EQ(limiter.getMemoryUsed(), 20);
}

TEST(FrameBuffer, ARequestThatFillsTheLimitExactlyIsGrantedAndTheNextRefused) {
    MemoryLimiter limiter = limiterWith(1000, 400);
    TestFrame big(600, 1), small(1, 1);
    big.setMemoryLimiter(&limiter);
    small.setMemoryLimiter(&limiter);
    EXPECT_NE(big.getData(), nullptr);
    EXPECT_EQ(limiter.getMemoryUsed(), 1000);
    EXPECT_EQ(small.getData(), nullptr);
    EXPECT_EQ(limiter.getMemoryUsed(), 1000);
    limiter.setMemoryLimit(1001);  // the next call tries again
    EXPECT_NE(small.getData(), nullptr);
    EXPECT_EQ(limiter.getMemoryUsed(), 1001);
}

TEST(FrameBuffer, ABufferTheHeapRefusesIsNotChargedAndNotLeftHalfMade) {
    MemoryLimiter limiter = limiterWith(1000);
    TestFrame frame(37, 3);
    frame.setMemoryLimiter(&limiter);
    const unsigned char source[111] = {0};
    testhook::failNextAllocation();  // the buffer
#if defined(_WIN32)
    // No exception can leave the DLL for an engine's code: the buffer is refused, as the limiter
    // refuses one.
    EXPECT_EQ(frame.copyData(source), 0);
#else
    EXPECT_THROW(frame.copyData(source), std::bad_alloc);
#endif
    EXPECT_TRUE(testhook::allocationFailed());
    EXPECT_FALSE(frame.hasData());
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    EXPECT_EQ(frame.copyData(source), 111);  // the next call tries again
    EXPECT_EQ(limiter.getMemoryUsed(), 111);   // charged the frame's bytes, not the room around them
    EXPECT_EQ(reinterpret_cast<uintptr_t>(frame.getData()) % 64, 0u);
}

TEST(FrameBuffer, DestroyingAFrameCreditsWhatItsBufferWasCharged) {
    MemoryLimiter limiter = limiterWith(1000, 100);
    auto* held = new TestFrame(10, 3);
    auto* empty = new TestFrame(10, 3);
    held->setMemoryLimiter(&limiter);
    empty->setMemoryLimiter(&limiter);
    held->getData();
    EXPECT_EQ(limiter.getMemoryUsed(), 130);
    delete empty;
    EXPECT_EQ(limiter.getMemoryUsed(), 130);
    delete held;
    EXPECT_EQ(limiter.getMemoryUsed(), 100);
}

TEST(FrameBuffer, TheLimiterThatWasChargedIsTheOneCredited) {
    MemoryLimiter first = limiterWith(1000), second = limiterWith(1000);
    auto* frame = new TestFrame(8, 8);
    frame->setMemoryLimiter(&first);
    frame->getData();
    frame->setMemoryLimiter(&second);
    EXPECT_EQ(frame->getData(), frame->getData());  // still one buffer, charged once
    delete frame;
    EXPECT_EQ(first.getMemoryUsed(), 0);
    EXPECT_EQ(second.getMemoryUsed(), 0);

    auto* detached = new TestFrame(8, 8);
    detached->setMemoryLimiter(&first);
    detached->getData();
    detached->setMemoryLimiter(nullptr);
    delete detached;
    EXPECT_EQ(first.getMemoryUsed(), 0);
}

TEST(FrameBuffer, AResetWhileBuffersAreHeldIsAbsorbedByTheClampAtZero) {
    MemoryLimiter limiter = limiterWith(1000);
    auto* frame = new TestFrame(10, 10);
    frame->setMemoryLimiter(&limiter);
    frame->getData();
    limiter.reset();
    limiter.setMemoryLimit(1000);
    limiter.incMemoryUsed(30);
    delete frame;  // credits 100 against 30
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

TEST(FrameBuffer, TheSizeMayChangeWhileNoBufferIsHeld) {
    MemoryLimiter limiter = limiterWith(1000);
    auto* frame = new TestFrame(4, 4);
    frame->setMemoryLimiter(&limiter);
    frame->resize(40);
    EXPECT_EQ(frame->getDataSize(), 40);
    frame->getData();
    EXPECT_EQ(limiter.getMemoryUsed(), 40);
    delete frame;
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

TEST(FrameCopyData, CopiesTheWholeBufferAndReportsItsSize) {
    MemoryLimiter limiter = limiterWith(1000);
    TestFrame frame(3, 2);
    frame.setMemoryLimiter(&limiter);
    const unsigned char source[6] = {9, 8, 7, 6, 5, 4};
    EXPECT_EQ(frame.copyData(source), 6);
    EXPECT_EQ(std::memcmp(frame.getData(), source, 6), 0);
}

TEST(FrameCopyData, ANullSourceCopiesAndAllocatesNothing) {
    MemoryLimiter limiter = limiterWith(1000);
    TestFrame frame(3, 2);
    frame.setMemoryLimiter(&limiter);
    EXPECT_EQ(frame.copyData(nullptr), 0);
    EXPECT_FALSE(frame.hasData());
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

TEST(FrameReferences, ReleaseGoesToTheOwnerPoolOrDeletes) {
    std::atomic<int> destroyed{0};
    RecordingPool pool;
    auto* pooled = new TestFrame(2, 2, &destroyed);
    pooled->setOwnerPool(&pool);
    pooled->incRefCount();
    pooled->decRefCount();
    EXPECT_EQ(pool.returns, 1);
    ASSERT_EQ(pool.returned.size(), 1u);
    EXPECT_EQ(pool.returned[0], pooled);
    EXPECT_EQ(destroyed, 0);

    auto* loose = new TestFrame(2, 2, &destroyed);
    loose->incRefCount();
    loose->decRefCount();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(pool.returns, 1);
}

TEST(FrameReferences, AFreshFrameIsReleasedByOneDecrementAndCountsAreNotReset) {
    std::atomic<int> destroyed{0};
    RecordingPool pool;
    auto* frame = new TestFrame(2, 2, &destroyed);
    frame->setOwnerPool(&pool);
    frame->decRefCount();  // 0 -> -1: released
    EXPECT_EQ(pool.returns, 1);
    frame->incRefCount();  // -1 -> 0
    frame->decRefCount();  // 0 -> -1: released again
    EXPECT_EQ(pool.returns, 2);
    frame->incRefCount();  // -1 -> 0
    frame->incRefCount();  // 0 -> 1
    frame->decRefCount();  // 1 -> 0: released
    EXPECT_EQ(pool.returns, 3);
    pool.returned.resize(1);  // the same frame three times: let the pool delete it once
    EXPECT_EQ(destroyed, 0);
}

TEST(FrameHostArray, TheNativeArrayIsGivenOnlyWhenTheMaskAcceptsTheNativeSpace) {
    MemoryLimiter limiter = limiterWith(1000);
    TestFrame frame(3, 2);
    frame.setMemoryLimiter(&limiter);
    const unsigned char source[6] = {1, 2, 3, 4, 5, 6};
    frame.copyData(source);
    for (int mask : {1, 3, 5, 7, 1 | 8}) {
        HostArray array = frame.getHostArray(mask);
        ASSERT_NE(array, nullptr) << mask;
        const unsigned char expected[6] = {1, 4, 2, 5, 3, 6};  // column-major
        EXPECT_EQ(std::memcmp(haGetData(array), expected, 6), 0);
        haFree(array);
    }
    EXPECT_EQ(frame.getHostArray(0), nullptr);
    EXPECT_EQ(frame.getHostArray(8), nullptr);
    TestFrame empty(3, 2);
    EXPECT_EQ(empty.getHostArray(1), nullptr);
}

}  // namespace
