// The frame pool: last-in-first-out reuse, the format policy, and the worker that refills to the
// minimum and trims from the front above the maximum. Only the public interface is used, so the
// cases hold for frames of any family; the worker's effects are awaited with a bounded poll.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::MemoryLimiter;
using zorvframekit::makeFrameTypeCode;

namespace {

const FrameTypeCode kMono8 = makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 0, false);
const FrameTypeCode kMono16 = makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 4, false);
const int kWidth = 8, kHeight = 6;
const int kBytes = kWidth * kHeight;  // of a kMono8 frame

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Time for a worker that has nothing left to do to prove it: used only after the awaited state has
// been reached, to check that it is not left again.
void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

std::vector<unsigned char> pattern(int size, int seed) {
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(seed * 31 + i * 7);
    return bytes;
}

std::vector<unsigned char> contents(IFrame* frame) {
    const unsigned char* data = frame->getData();
    return data ? std::vector<unsigned char>(data, data + frame->getDataSize()) : std::vector<unsigned char>();
}

class Pool : public testing::Test {
protected:
    void SetUp() override {
        limiter.setMemoryLimit(64 << 20);
        pool = createFramePool(&limiter);
    }
    void TearDown() override {
        if (pool) pool->destroy();
        EXPECT_EQ(limiter.getMemoryUsed(), 0);
    }

    // A frame from the pool with its buffer filled from `seed`.
    IFrame* filled(int seed, FrameTypeCode type = kMono8, int width = kWidth, int height = kHeight) {
        IFrame* frame = pool->getFrame(type, width, height);
        if (frame) frame->copyData(pattern(frame->getDataSize(), seed).data());
        return frame;
    }
    bool countBecomes(int count) {
        return eventually([&] { return pool->getFrameCount() == count; });
    }

    MemoryLimiter limiter{0, 2000000000};
    FramePool* pool = nullptr;
};

TEST_F(Pool, WithoutAWorkerItHoldsNothingAndEveryRequestMakesANewFrame) {
    IFrame* a = filled(1);
    IFrame* b = filled(2);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->getOwnerPool(), pool);
    EXPECT_EQ(a->getMemoryLimiter(), &limiter);
    EXPECT_EQ(a->getFrameType(), kMono8);
    EXPECT_EQ(limiter.getMemoryUsed(), 2 * kBytes);
    a->release();
    b->decRefCount();
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);

    pool->returnFrame(nullptr);
    pool->stopWorker();  // nothing to stop
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(pool->getFrame(0x7F000000, kWidth, kHeight), nullptr);  // a family nobody makes
    EXPECT_EQ(pool->getFrame(kMono8, 0, kHeight), nullptr);
}

TEST_F(Pool, HeldFramesGoOutLastInFirstOutWithPixelsTimeAndMetadataUnchanged) {
    pool->setFrameCountLimits(0, 10);
    IFrame* sent[3];
    for (int i = 0; i < 3; ++i) {
        sent[i] = filled(10 + i);
        ASSERT_NE(sent[i], nullptr);
        sent[i]->setTime(1000.5 + i);
        sent[i]->addDoubleMetaData("exposure", 0.25 * i);
    }
    for (IFrame* frame : sent) frame->release();
    EXPECT_EQ(pool->getFrameCount(), 3);
    EXPECT_EQ(limiter.getMemoryUsed(), 3 * kBytes);

    for (int i = 2; i >= 0; --i) {
        IFrame* frame = pool->getFrame(kMono8, kWidth, kHeight);
        ASSERT_EQ(frame, sent[i]) << "frame returned " << i + 1 << "th";
        EXPECT_EQ(contents(frame), pattern(kBytes, 10 + i));
        EXPECT_EQ(frame->getTime(), 1000.5 + i);
        ASSERT_EQ(frame->getMetaDataCount(), 1);
        HostArray exposure = frame->getMetaData("exposure");
        EXPECT_EQ(haGetScalar(exposure), 0.25 * i);
        haFree(exposure);
    }
    EXPECT_EQ(pool->getFrameCount(), 0);
    for (IFrame* frame : sent) frame->release();
}

TEST_F(Pool, FramesTheWorkerMadeGoOutBeforeOlderOnesAndAlreadyHaveTheirBuffers) {
    limiter.setMemoryLimit(3 * kBytes);  // the worker cannot replace what is taken below
    pool->setFrameCountLimits(3, 10);
    IFrame* returned = filled(5);
    returned->release();
    ASSERT_TRUE(countBecomes(3));
    EXPECT_EQ(limiter.getMemoryUsed(), 3 * kBytes);

    IFrame* first = pool->getFrame(kMono8, kWidth, kHeight);
    IFrame* second = pool->getFrame(kMono8, kWidth, kHeight);
    IFrame* third = pool->getFrame(kMono8, kWidth, kHeight);
    EXPECT_EQ(third, returned);
    for (IFrame* made : {first, second}) {
        ASSERT_NE(made, returned);
        EXPECT_TRUE(made->hasData());
        EXPECT_EQ(made->getOwnerPool(), pool);
        EXPECT_EQ(made->getMemoryLimiter(), &limiter);
        EXPECT_EQ(made->getFrameType(), kMono8);
        EXPECT_EQ(made->getDimensions()[0], kWidth);
        EXPECT_EQ(made->getDimensions()[1], kHeight);
    }
    EXPECT_NE(first, second);
    EXPECT_EQ(contents(third), pattern(kBytes, 5));

    // Nothing held: a new frame, which the full limiter refuses a buffer.
    IFrame* fresh = pool->getFrame(kMono8, kWidth, kHeight);
    EXPECT_NE(fresh, first);
    EXPECT_NE(fresh, second);
    EXPECT_NE(fresh, third);
    EXPECT_EQ(fresh->getData(), nullptr);
    fresh->release();  // without a buffer it is deleted, not held
    EXPECT_EQ(pool->getFrameCount(), 0);
    for (IFrame* frame : {first, second, third}) frame->release();
    EXPECT_EQ(pool->getFrameCount(), 3);
}

TEST_F(Pool, ARequestOfAnotherFormatIsServedFreshAndAReturnOfAnotherFormatTakesOver) {
    pool->setFrameCountLimits(0, 10);
    IFrame* a = filled(1);
    IFrame* b = filled(2);
    a->release();
    b->release();
    ASSERT_EQ(pool->getFrameCount(), 2);

    // Other dimensions, or another code at the same dimensions, are other formats.
    IFrame* turned = filled(3, kMono8, kHeight, kWidth);
    IFrame* deeper = filled(4, kMono16, kWidth, kHeight);
    EXPECT_NE(turned, a);
    EXPECT_NE(turned, b);
    EXPECT_NE(deeper, a);
    EXPECT_NE(deeper, b);
    EXPECT_EQ(deeper->getDataSize(), 2 * kBytes);
    EXPECT_EQ(pool->getFrameCount(), 2);
    EXPECT_EQ(pool->getFrame(kMono8, kWidth, kHeight), b);  // the pool's format did not change
    b->release();

    turned->release();  // the latest format to come back wins; a and b go
    EXPECT_EQ(pool->getFrameCount(), 1);
    EXPECT_EQ(limiter.getMemoryUsed(), kBytes + 2 * kBytes);  // turned (held) and deeper
    IFrame* other = pool->getFrame(kMono8, kWidth, kHeight);
    EXPECT_EQ(pool->getFrameCount(), 1);
    EXPECT_EQ(pool->getFrame(kMono8, kHeight, kWidth), turned);
    EXPECT_EQ(contents(turned), pattern(kBytes, 3));
    for (IFrame* frame : {turned, deeper, other}) frame->release();
}

TEST_F(Pool, FramesWithoutABufferAreDeletedWhenTheyComeBack) {
    pool->setFrameCountLimits(0, 10);
    pool->getFrame(kMono8, kWidth, kHeight)->release();  // never asked for its buffer
    EXPECT_EQ(pool->getFrameCount(), 0);
    limiter.setMemoryLimit(kBytes - 1);
    IFrame* refused = filled(1);
    EXPECT_FALSE(refused->hasData());
    refused->release();
    EXPECT_EQ(pool->getFrameCount(), 0);

    // A pool without a limiter hands out frames that never get a buffer.
    FramePool* bare = createFramePool(nullptr);
    bare->setFrameCountLimits(1, 2);
    IFrame* frame = bare->getFrame(kMono8, kWidth, kHeight);
    EXPECT_EQ(frame->getData(), nullptr);
    frame->release();
    EXPECT_EQ(bare->getFrameCount(), 0);
    bare->destroy();
}

TEST_F(Pool, ClearingKeepsTheFormatSoARestartedWorkerRefillsWithIt) {
    pool->setFrameCountLimits(0, 10);
    filled(1)->release();
    filled(2)->release();
    pool->clearFrames();
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);

    pool->stopWorker();
    pool->setFrameCountLimits(2, 10);  // a fresh worker, and no frame has come back to it
    ASSERT_TRUE(countBecomes(2));
    IFrame* made = pool->getFrame(kMono8, kWidth, kHeight);
    EXPECT_TRUE(made->hasData());
    EXPECT_EQ(made->getFrameType(), kMono8);
    made->release();
}

TEST_F(Pool, TheWorkerTrimsFromTheFrontKeepingTheFramesHeldLongest) {
    pool->setFrameCountLimits(0, 10);
    IFrame* sent[5];
    for (int i = 0; i < 5; ++i) sent[i] = filled(i);
    for (IFrame* frame : sent) frame->release();
    ASSERT_EQ(pool->getFrameCount(), 5);

    pool->setFrameCountLimits(0, 2);
    ASSERT_TRUE(countBecomes(2));
    EXPECT_EQ(limiter.getMemoryUsed(), 2 * kBytes);
    IFrame* first = pool->getFrame(kMono8, kWidth, kHeight);
    IFrame* second = pool->getFrame(kMono8, kWidth, kHeight);
    EXPECT_EQ(first, sent[1]);
    EXPECT_EQ(second, sent[0]);
    first->release();
    second->release();
}

TEST_F(Pool, TheWorkerRefillsToTheMinimumAfterAFrameIsTaken) {
    pool->setFrameCountLimits(2, 10);
    filled(1)->release();
    ASSERT_TRUE(countBecomes(2));
    IFrame* taken = pool->getFrame(kMono8, kWidth, kHeight);
    EXPECT_TRUE(taken->hasData());
    ASSERT_TRUE(countBecomes(2));
    EXPECT_EQ(limiter.getMemoryUsed(), 3 * kBytes);
    settle();
    EXPECT_EQ(pool->getFrameCount(), 2);
    taken->release();
    EXPECT_EQ(pool->getFrameCount(), 3);  // within the maximum: kept, nothing trimmed
}

TEST_F(Pool, WhenTheLimitIsReachedWhileFillingThePoolStaysBelowTheMinimum) {
    limiter.setMemoryLimit(2 * kBytes + kBytes / 2);
    pool->setFrameCountLimits(5, 10);
    filled(1)->release();
    ASSERT_TRUE(countBecomes(2));
    settle();
    EXPECT_EQ(pool->getFrameCount(), 2);
    EXPECT_EQ(limiter.getMemoryUsed(), 2 * kBytes);

    limiter.setMemoryLimit(64 << 20);  // room again: the next check fills up
    pool->getFrame(kMono8, kWidth, kHeight)->release();
    EXPECT_TRUE(eventually([&] { return pool->getFrameCount() >= 5; }));
}

TEST_F(Pool, AMaximumBelowTheMinimumIsTheMinimumAndNegativeBoundsAreZero) {
    pool->setFrameCountLimits(3, 1);
    filled(1)->release();
    ASSERT_TRUE(countBecomes(3));
    // Taking a frame and giving it back has the worker check twice: it tops up to 3 and trims
    // back to 3, never down to 1.
    pool->getFrame(kMono8, kWidth, kHeight)->release();
    ASSERT_TRUE(countBecomes(3));
    settle();
    EXPECT_EQ(pool->getFrameCount(), 3);

    pool->setFrameCountLimits(-4, -1);
    ASSERT_TRUE(countBecomes(0));
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

TEST_F(Pool, StopWorkerEmptiesThePoolAndALaterStartUsesTheNewBounds) {
    pool->setFrameCountLimits(2, 4);
    filled(1)->release();
    ASSERT_TRUE(countBecomes(2));
    pool->stopWorker();
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    filled(2)->release();  // no worker: deleted
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);

    pool->setFrameCountLimits(1, 1);
    ASSERT_TRUE(countBecomes(1));
    settle();
    EXPECT_EQ(pool->getFrameCount(), 1);
    EXPECT_EQ(limiter.getMemoryUsed(), kBytes);
    pool->stopWorker();
    pool->stopWorker();
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

// Stopping or destroying while the worker is deep in making frames must not wait for the worker to
// be let go of anything the stopping thread holds. Several rounds, as the stop may land anywhere in
// the worker's making of a frame.
TEST_F(Pool, StopAndDestroyWhileTheWorkerIsBusyMakingFramesReturnPromptly) {
    const int rounds = 30;
    for (int round = 0; round < rounds; ++round) {
        pool->setFrameCountLimits(1000000, 1000000);
        if (round == 0) filled(1, kMono8, 64, 64)->release();  // the format; the worker starts filling
        ASSERT_TRUE(eventually([&] { return pool->getFrameCount() >= 20; })) << "round " << round;
        const bool destroying = round == rounds - 1;
        const auto start = std::chrono::steady_clock::now();
        if (destroying) {
            pool->destroy();
            pool = nullptr;
        } else {
            pool->stopWorker();
            EXPECT_EQ(pool->getFrameCount(), 0);
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::milliseconds(1000)) << (destroying ? "destroy" : "stopWorker") << " in round " << round;
        EXPECT_EQ(limiter.getMemoryUsed(), 0);
    }
}

}  // namespace
