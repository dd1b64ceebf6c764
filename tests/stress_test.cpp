// Frames that share a limiter, and references dropped at once from several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "test_frame.h"

using zorvframekit::MemoryLimiter;

namespace {

const int kThreads = 6;  // more than the cores, so that threads are preempted mid-operation

TEST(SharedLimiter, ManyThreadsNeverOvershootTheLimitAndEndAtZero) {
    MemoryLimiter limiter;
    const int frameBytes = 1000;
    // Room for two and a half frames: even a thread running alone is refused its third.
    limiter.setMemoryLimit(2 * frameBytes + 500);
    std::atomic<int> peak{0}, granted{0}, refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 400; ++round) {
                TestFrame* frames[3];
                for (TestFrame*& frame : frames) {
                    frame = new TestFrame(frameBytes, 1);
                    frame->setMemoryLimiter(&limiter);
                    if (frame->getData())
                        ++granted;
                    else
                        ++refused;
                    int used = limiter.getMemoryUsed();
                    int seen = peak.load();
                    while (used > seen && !peak.compare_exchange_weak(seen, used)) {
                    }
                }
                for (TestFrame* frame : frames) delete frame;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_LE(peak.load(), limiter.getMemoryLimit());
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    EXPECT_GT(granted.load(), 0);
    EXPECT_GT(refused.load(), 0);  // the limit was really in play
}

TEST(SharedFrame, TwoLastReferencesDroppedAtOnceReleaseTheFrameOnce) {
    for (int round = 0; round < 300; ++round) {
        std::atomic<int> destroyed{0};
        auto* frame = new TestFrame(2, 2, &destroyed);
        frame->incRefCount();
        frame->incRefCount();
        std::atomic<int> ready{0};
        auto drop = [&] {
            ++ready;
            while (ready < 2) {
            }
            frame->decRefCount();
        };
        std::thread first(drop), second(drop);
        first.join();
        second.join();
        ASSERT_EQ(destroyed.load(), 1) << "round " << round;
    }
}

TEST(SharedFrame, BalancedReferencesFromManyThreadsLeaveTheFrameAlive) {
    std::atomic<int> destroyed{0};
    RecordingPool pool;
    auto* frame = new TestFrame(2, 2, &destroyed);
    frame->setOwnerPool(&pool);
    frame->incRefCount();  // the test's own reference
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([frame] {
            for (int i = 0; i < 2000; ++i) {
                frame->incRefCount();
                frame->decRefCount();
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(pool.returns.load(), 0);
    frame->decRefCount();
    EXPECT_EQ(pool.returns.load(), 1);
    EXPECT_EQ(destroyed.load(), 0);
}

}  // namespace
