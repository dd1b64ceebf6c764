// The frame pool: last-in-first-out reuse, the format policy, and the worker that refills to the
// minimum and trims from the front above the maximum.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "ha.h"
#include "platform/platform.h"
#include "pool/ZORVFramePool.h"
#include "zorvframekit/zorvframekit.h"
#include "failing_allocation.h"

namespace {

const FrameTypeCode kMono8 = zorvframekit::makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 0, false);
const FrameTypeCode kMono16 = zorvframekit::makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 4, false);
const int kWidth = 8, kHeight = 6;
const int kBytes = kWidth * kHeight;  // of a kMono8 frame

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
    Pool() { limiter.setMemoryLimit(64 << 20); }
    void TearDown() override {
        if (pool) pool->destroy();
        EXPECT_EQ(limiter.getMemoryUsed(), 0);
    }

    IFrame* get(FrameTypeCode type = kMono8, int width = kWidth, int height = kHeight) {
        return pool->getFrame(type, width, height);
    }
    // A frame from the pool with its buffer filled from `seed`.
    IFrame* filled(int seed, FrameTypeCode type = kMono8, int width = kWidth, int height = kHeight) {
        IFrame* frame = get(type, width, height);
        if (frame) frame->copyData(pattern(frame->getDataSize(), seed).data());
        return frame;
    }
    // The worker's effects are awaited with a bounded poll.
    bool countReaches(int count, bool orMore = false) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int held; (held = pool->getFrameCount()) != count && !(orMore && held > count);) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // Reached, and left there by a worker given time to prove it has nothing left to do.
    bool countSettlesAt(int count) {
        if (!countReaches(count)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return pool->getFrameCount() == count;
    }

    zorvframekit::MemoryLimiter limiter{0, 2000000000};
    FramePool* pool = createFramePool(&limiter);
};

// Room for three frames only, so that the worker cannot replace the ones taken.
TEST_F(Pool, FramesGoOutLastInFirstOutWorkerMadeOnesTooAndThoseWithoutABufferAreNotKept) {
    limiter.setMemoryLimit(3 * kBytes);
    pool->setFrameCountLimits(2, 10);
    IFrame* frames[2];
    for (int i = 0; i < 2; ++i) {
        frames[i] = filled(i);
        frames[i]->setTime(1000.5 + i);
        frames[i]->addDoubleMetaData("exposure", 0.25 + i);
    }
    frames[0]->release();
    ASSERT_TRUE(countReaches(2));  // the worker made one, which went in front
    frames[1]->release();

    IFrame* out[3] = {get(), get(), get()};
    EXPECT_EQ(out[0], frames[1]);
    EXPECT_EQ(out[2], frames[0]);
    IFrame* made = out[1];  // its owner pool is checked by its coming back below
    ASSERT_TRUE(made != frames[0] && made != frames[1]);
    EXPECT_TRUE(made->hasData() && made->getFrameType() == kMono8 && made->getDimensions()[0] == kWidth &&
                made->getDimensions()[1] == kHeight);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(contents(frames[i]), pattern(kBytes, i));
        EXPECT_EQ(frames[i]->getTime(), 1000.5 + i);
        ASSERT_EQ(frames[i]->getMetaDataCount(), 1);
        HostArray exposure = frames[i]->getMetaData("exposure");
        EXPECT_EQ(haGetScalar(exposure), 0.25 + i);
        haFree(exposure);
    }

    IFrame* fresh = get();  // nothing held: a new frame, which the full limiter refuses a buffer
    EXPECT_EQ(fresh->getData(), nullptr);
    fresh->release();
    EXPECT_EQ(pool->getFrameCount(), 0);
    for (IFrame* frame : out) frame->release();
    EXPECT_EQ(pool->getFrameCount(), 3);
}

TEST_F(Pool, AnotherFormatIsServedFreshAndOnComingBackTakesThePoolOver) {
    pool->setFrameCountLimits(0, 10);
    IFrame* held[2] = {filled(1), filled(2)};
    for (IFrame* frame : held) frame->release();

    // Other dimensions, or another code at the same dimensions, are other formats.
    IFrame* turned = filled(3, kMono8, kHeight, kWidth);
    IFrame* deeper = filled(4, kMono16);
    EXPECT_EQ(pool->getFrameCount(), 2);
    EXPECT_EQ(limiter.getMemoryUsed(), 2 * kBytes + kBytes + 2 * kBytes);
    IFrame* again = get();
    EXPECT_EQ(again, held[1]);  // the pool's format did not change
    again->release();

    turned->release();
    EXPECT_EQ(pool->getFrameCount(), 1);
    EXPECT_EQ(limiter.getMemoryUsed(), kBytes + 2 * kBytes);  // turned (held) and deeper
    EXPECT_EQ(get(kMono8, kHeight, kWidth), turned);
    EXPECT_EQ(contents(turned), pattern(kBytes, 3));
    for (IFrame* frame : {turned, deeper}) frame->release();
}

TEST_F(Pool, TheWorkerTrimsFromTheFrontAndAMaximumBelowTheMinimumIsTheMinimum) {
    pool->setFrameCountLimits(0, 10);
    IFrame* sent[5];
    for (int i = 0; i < 5; ++i) sent[i] = filled(i);
    for (IFrame* frame : sent) frame->release();

    pool->setFrameCountLimits(3, 1);
    ASSERT_TRUE(countSettlesAt(3));
    limiter.setMemoryLimit(3 * kBytes);  // the worker cannot replace the frames taken below
    std::vector<IFrame*> out = {get(), get(), get()};
    EXPECT_EQ(out, std::vector<IFrame*>({sent[2], sent[1], sent[0]}));
    for (IFrame* frame : out) frame->release();
}

TEST_F(Pool, TheWorkerRefillsToTheMinimumAsFarAsTheLimitAllows) {
    limiter.setMemoryLimit(2 * kBytes + kBytes / 2);
    pool->setFrameCountLimits(5, 10);
    filled(1)->release();
    EXPECT_TRUE(countSettlesAt(2));
    EXPECT_EQ(limiter.getMemoryUsed(), 2 * kBytes);

    limiter.setMemoryLimit(64 << 20);  // room again: taking a frame has the worker fill up
    IFrame* taken = get();
    EXPECT_TRUE(countSettlesAt(5));
    EXPECT_EQ(limiter.getMemoryUsed(), 6 * kBytes);
    taken->release();
    EXPECT_EQ(pool->getFrameCount(), 6);  // within the maximum: kept
}

TEST_F(Pool, WithoutAWorkerNothingIsKeptSoStopWorkerEmptiesThePoolAndARestartTakesNewBounds) {
    pool->returnFrame(nullptr);
    EXPECT_EQ(get(0x7F000000), nullptr);  // a family nobody makes
    filled(1)->release();  // no worker yet: deleted
    filled(2)->decRefCount();
    EXPECT_EQ(limiter.getMemoryUsed(), 0);

    pool->setFrameCountLimits(2, 4);
    filled(3)->release();
    ASSERT_TRUE(countReaches(2));
    pool->stopWorker();
    EXPECT_EQ(pool->getFrameCount(), 0);
    filled(4)->release();
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);

    pool->setFrameCountLimits(1, 1);
    EXPECT_TRUE(countSettlesAt(1));
    pool->clearFrames();
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    pool->setFrameCountLimits(3, 3);  // no frame has come back since the clear, yet its format is known
    EXPECT_TRUE(countReaches(3));
}

// The stop may land anywhere in the worker's making of a frame, hence many rounds; the last ones
// destroy the pool instead.
TEST_F(Pool, StopAndDestroyWhileTheWorkerIsBusyReturnPromptly) {
    for (int round = 0; round < 100; ++round) {
        if (!pool) pool = createFramePool(&limiter);
        pool->setFrameCountLimits(1000000, 1000000);
        filled(1)->release();
        ASSERT_TRUE(countReaches(20, true)) << "round " << round;
        const bool destroying = round >= 80;
        const auto start = std::chrono::steady_clock::now();
        if (destroying) {
            pool->destroy();
            pool = nullptr;
        } else {
            pool->stopWorker();
        }
        const bool prompt = std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1000);
        if (!prompt) pool = nullptr;  // its worker may be stuck for good: not destroyed in tear-down
        ASSERT_TRUE(prompt) << (destroying ? "destroy" : "stopWorker") << " in round " << round;
        EXPECT_EQ(limiter.getMemoryUsed(), 0);
    }
}

TEST_F(Pool, AFrameGivenBackTwiceIsHeldOnceAndAHandedOutFrameCountsAfresh) {
    pool->setFrameCountLimits(0, 10);
    IFrame* frame = filled(1);
    frame->decRefCount();  // from 0: released at once, its count now below 0
    ASSERT_EQ(pool->getFrameCount(), 1);
    IFrame* again = get();
    ASSERT_EQ(again, frame);
    // Two holders: the first to let go must not give the frame back while the second holds it.
    again->incRefCount();
    again->incRefCount();
    again->decRefCount();
    EXPECT_EQ(pool->getFrameCount(), 0);
    again->decRefCount();
    EXPECT_EQ(pool->getFrameCount(), 1);
    // Given back once more while held: still held once, so never handed to two callers.
    pool->returnFrame(again);
    EXPECT_EQ(pool->getFrameCount(), 1);
    IFrame* first = get();
    IFrame* second = get();
    EXPECT_NE(first, second);
    first->release();
    second->release();
}

TEST_F(Pool, AFrameThePoolCannotRecordOnReturnIsDeletedBeforeTheFailureIsReported) {
    pool->setFrameCountLimits(0, 10);
    IFrame* frame = filled(1);
    testhook::failNextAllocation();  // the held frames' array, made for the first frame kept
    if (zorvframekit::platform::kExceptionsReachCallers)
        EXPECT_THROW(frame->release(), std::bad_alloc);
    else
        frame->release();
    EXPECT_TRUE(testhook::allocationFailed());
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

TEST_F(Pool, AQuitTheQueueRefusesIsPostedAgainSoStoppingEnds) {
    pool->setFrameCountLimits(1, 2);
    filled(1)->release();
    ASSERT_TRUE(countReaches(1, true));
    zorvframekit::platform::failNextPosts(zorvframekit::platform::kMessageQuit, 5);
    const auto start = std::chrono::steady_clock::now();
    pool->stopWorker();  // a dropped quit would keep it waiting out its 10 s
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    zorvframekit::platform::failNextPosts(zorvframekit::platform::kMessageQuit, 0);
    pool->setFrameCountLimits(1, 2);
    zorvframekit::platform::failNextPosts(zorvframekit::platform::kMessageQuit, 5);
    pool->destroy();  // would wait for ever
    pool = nullptr;
    zorvframekit::platform::failNextPosts(zorvframekit::platform::kMessageQuit, 0);
}

TEST_F(Pool, AtMostOneCheckWaitsInTheWorkersQueue) {
    pool->setFrameCountLimits(0, 0);  // every return is one too many: a check each time
    zorvframekit::platform::watchQueue(zorvframekit::platform::kMessageUser + 1);
    for (int i = 0; i < 2000; ++i) filled(i)->release();
    EXPECT_GT(zorvframekit::platform::postsWatched(), 0);
    EXPECT_LE(zorvframekit::platform::mostQueued(), 1);
    zorvframekit::platform::watchQueue(0);
    EXPECT_TRUE(countSettlesAt(0));
}

TEST_F(Pool, TheSteadyCycleWakesTheWorkerOnlyWhenTheHeldCountLeavesItsBounds) {
    pool->setFrameCountLimits(0, 2);
    IFrame* first = filled(1);
    IFrame* second = filled(2);
    first->release();
    second->release();
    ASSERT_TRUE(countSettlesAt(2));
    zorvframekit::platform::watchQueue(zorvframekit::platform::kMessageUser + 1);
    for (int i = 0; i < 1000; ++i) filled(i)->release();  // between 1 and 2 held: nothing to do
    EXPECT_EQ(zorvframekit::platform::postsWatched(), 0);
    IFrame* third = frameFactory(kMono8, kWidth, kHeight);
    third->setOwnerPool(pool);
    third->setMemoryLimiter(&limiter);
    third->copyData(pattern(kBytes, 3).data());
    third->release();  // 3 held, above the maximum: the worker trims one
    EXPECT_EQ(zorvframekit::platform::postsWatched(), 1);
    EXPECT_TRUE(countSettlesAt(2));
    zorvframekit::platform::watchQueue(0);
}

IFrame* returnedWhileMaking = nullptr;

TEST_F(Pool, AFrameGivenBackWhileTheWorkerMakesOneDoesNotLeaveThePoolAboveItsMaximum) {
    pool->setFrameCountLimits(2, 2);
    filled(1)->release();
    ASSERT_TRUE(countReaches(2));  // the worker made the second
    // The next hand-out leaves one and asks for a frame; while the worker makes it, the engine gives
    // its frame back (two held, inside the bounds: no check asked for); the made frame makes three.
    returnedWhileMaking = filled(2);
    using zorvframekit::ZORVFramePool;
    ZORVFramePool::setMadeFrameHook([](ZORVFramePool*, IFrame*) {
        if (IFrame* frame = returnedWhileMaking) {
            returnedWhileMaking = nullptr;
            frame->release();
        }
    });
    IFrame* taken = get();
    ASSERT_NE(taken, nullptr);
    EXPECT_TRUE(countSettlesAt(2));
    ZORVFramePool::setMadeFrameHook(nullptr);
    EXPECT_EQ(returnedWhileMaking, nullptr);
    taken->release();
}

TEST_F(Pool, AWaitForTheWorkerThatFailsEndsTheWaitingAtOnce) {
    pool->setFrameCountLimits(1, 2);
    filled(1)->release();
    ASSERT_TRUE(countReaches(1));
    using zorvframekit::platform::FailureSite;
    zorvframekit::platform::failAttempt(FailureSite::ThreadWait, 1, 1000000);
    pool->destroy();  // waits until the worker has ended, unless the wait itself fails
    pool = nullptr;
    EXPECT_EQ(zorvframekit::platform::attemptsAt(FailureSite::ThreadWait), 1);
    zorvframekit::platform::failAttempt(FailureSite::ThreadWait, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the worker, told to quit, ends by itself
}

}  // namespace
