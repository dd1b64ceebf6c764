// One pool under load: engine threads (more than the cores) take, fill, read back and release frames
// against a memory limit that refuses buffers, while another thread moves the bounds and stops and
// restarts the worker; and pools destroyed while their worker is busy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::MemoryLimiter;
using zorvframekit::makeFrameTypeCode;

namespace {

const int kEngineThreads = 4;
const auto kRunTime = std::chrono::milliseconds(1500);

struct Format {
    FrameTypeCode type;
    int width;
    int height;
};
// Mostly the first, so that frames are reused; now and then another, so that the format switches.
const Format kFormats[] = {
    {makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 0, false), 32, 24},
    {makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 4, true), 20, 15},
};

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

unsigned char expectedByte(int stamp, int row, int column) {
    return static_cast<unsigned char>(stamp * 29 + row * 7 + column * 3);
}

// Which frames are out, so that handing one frame to two holders at once is caught.
class Holders {
public:
    void take(IFrame* frame) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!held.insert(frame).second) ++twice;
    }
    void give(IFrame* frame) {
        std::lock_guard<std::mutex> lock(mutex);
        held.erase(frame);
    }
    int handedOutTwice() {
        std::lock_guard<std::mutex> lock(mutex);
        return twice;
    }

private:
    std::mutex mutex;
    std::set<IFrame*> held;
    int twice = 0;
};

struct Tally {
    std::atomic<int> rounds{0}, granted{0}, refused{0}, wrong{0};
};

// One engine's round: take a frame, fill it whole or from a window of a larger image, read it back
// as a host array and a bitmap, stamp it, check nobody else wrote it, and let it go.
void engineRound(FramePool* pool, Holders& holders, Tally& tally, std::mt19937& random, int stamp) {
    const Format& format = kFormats[random() % 8 == 0 ? 1 : 0];
    IFrame* frame = pool->getFrame(format.type, format.width, format.height);
    if (frame == nullptr) {
        ++tally.wrong;
        return;
    }
    holders.take(frame);
    const int bytesPerPixel = frame->getDataSize() / (format.width * format.height);
    const int rowBytes = format.width * bytesPerPixel;
    std::vector<unsigned char> expected(static_cast<size_t>(frame->getDataSize()));
    for (int r = 0; r < format.height; ++r)
        for (int c = 0; c < rowBytes; ++c) expected[r * rowBytes + c] = expectedByte(stamp, r, c);

    bool copied;
    if (random() % 2) {
        copied = frame->copyData(expected.data()) == frame->getDataSize();
    } else {
        // The window at (1, 2) of an image one pixel wider on each side and two rows taller on
        // each side: centred vertically, so in either row order the frame's buffer row b is the
        // source's buffer row b + 2.
        const int sourceWidth = format.width + 2, sourceHeight = format.height + 4;
        std::vector<unsigned char> source(static_cast<size_t>(sourceWidth * sourceHeight * bytesPerPixel));
        for (int r = 0; r < format.height; ++r)
            for (int c = 0; c < rowBytes; ++c)
                source[((r + 2) * sourceWidth + 1) * bytesPerPixel + c] = expectedByte(stamp, r, c);
        frame->copyRegion(source.data(), sourceWidth, sourceHeight, 1, 2);
        copied = frame->hasData();
    }
    if (copied) {
        ++tally.granted;
        frame->setTime(stamp);
        frame->addDoubleMetaData("stamp", stamp);
        HostArray pixels = frame->getHostArray(zorvframekit::kColorSpaceMonochrome);
        if (pixels == nullptr || haGetNumberOfElements(pixels) != size_t(format.width) * format.height) ++tally.wrong;
        haFree(pixels);
        std::vector<unsigned char> bitmap(static_cast<size_t>(frame->getBitmapSize()));
        BITMAPINFOHEADER header;
        frame->fillBitmap(&header, bitmap.data());
        if (header.biWidth != format.width) ++tally.wrong;
        std::this_thread::yield();  // give another holder of the same frame, if any, its chance
        const unsigned char* data = frame->getData();
        if (data == nullptr || std::vector<unsigned char>(data, data + expected.size()) != expected ||
            frame->getTime() != stamp)
            ++tally.wrong;
    } else {
        ++tally.refused;
    }
    holders.give(frame);
    if (random() % 2)
        frame->release();
    else
        frame->decRefCount();  // from 0: released at once
    ++tally.rounds;
}

void control(FramePool* pool, std::mt19937& random) {
    const int choice = static_cast<int>(random() % 10);
    if (choice < 6)
        pool->setFrameCountLimits(static_cast<int>(random() % 7) - 1, static_cast<int>(random() % 8) - 1);
    else if (choice < 8)
        pool->stopWorker();
    else if (choice == 8)
        pool->clearFrames();
    else
        pool->getFrameCount();
}

TEST(PoolStress, EnginesAndAControllerOnOnePoolLeakNothingAndShareNoFrame) {
    MemoryLimiter limiter(0, 2000000000);
    // About six frames of the common format: the engines' own frames and the pool's compete.
    limiter.setMemoryLimit(6 * 32 * 24 + 100);
    FramePool* pool = createFramePool(&limiter);
    pool->setFrameCountLimits(2, 4);

    Holders holders;
    Tally tally;
    std::atomic<int> peakUsed{0};
    const auto deadline = std::chrono::steady_clock::now() + kRunTime;
    std::vector<std::thread> threads;
    for (int t = 0; t < kEngineThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(100 + t);
            for (int round = 0; std::chrono::steady_clock::now() < deadline; ++round) {
                engineRound(pool, holders, tally, random, t * 100000 + round);
                int used = limiter.getMemoryUsed(), seen = peakUsed.load();
                while (used > seen && !peakUsed.compare_exchange_weak(seen, used)) {
                }
            }
        });
    }
    threads.emplace_back([&] {
        std::mt19937 random(7);
        while (std::chrono::steady_clock::now() < deadline) {
            control(pool, random);
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + random() % 3));
        }
    });
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(holders.handedOutTwice(), 0);
    EXPECT_EQ(tally.wrong.load(), 0);
    EXPECT_GT(tally.granted.load(), 0);
    EXPECT_GT(tally.refused.load(), 0);  // the limit was really in play
    EXPECT_LE(peakUsed.load(), limiter.getMemoryLimit());

    // At rest, with room again: the limiter holds exactly the bytes of the frames the pool holds.
    limiter.setMemoryLimit(64 << 20);
    pool->setFrameCountLimits(3, 3);
    const Format& common = kFormats[0];
    IFrame* frame = pool->getFrame(common.type, common.width, common.height);
    ASSERT_NE(frame->getData(), nullptr);
    const int frameBytes = frame->getDataSize();
    frame->release();
    EXPECT_TRUE(eventually(
        [&] { return pool->getFrameCount() == 3 && limiter.getMemoryUsed() == 3 * frameBytes; }))
        << pool->getFrameCount() << " frames held, " << limiter.getMemoryUsed() << " bytes used";
    pool->setFrameCountLimits(0, 3);  // nothing to refill after the clear
    pool->clearFrames();
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    pool->destroy();
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    std::printf("%d rounds, %d buffers granted, %d refused\n", tally.rounds.load(), tally.granted.load(),
                tally.refused.load());
}

TEST(PoolStress, PoolsDestroyedWhileTheirWorkerIsBusyLeaveNothingBehind) {
    MemoryLimiter limiter(0, 2000000000);
    limiter.setMemoryLimit(64 << 20);
    std::mt19937 random(11);
    const Format& format = kFormats[0];
    for (int round = 0; round < 40; ++round) {
        FramePool* pool = createFramePool(&limiter);
        pool->setFrameCountLimits(200, 200);
        IFrame* frame = pool->getFrame(format.type, format.width, format.height);
        frame->getData();
        frame->release();  // the worker starts filling
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        pool->destroy();
        ASSERT_EQ(limiter.getMemoryUsed(), 0) << "round " << round;
    }
}

}  // namespace
