// One pool under load: engine threads (more than the cores) take, fill, convert and release frames
// against a memory limit that refuses buffers, while a controller moves the bounds, clears, and
// stops and restarts the worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace {

using Clock = std::chrono::steady_clock;

// Mostly the first, so that frames are reused; now and then the second, so that the format switches.
const struct {
    FrameTypeCode type;
    int width, height;
} kFormats[] = {{zorvframekit::makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 0, false), 32, 24},
                {zorvframekit::makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 4, true), 20, 15}};

TEST(PoolStress, EnginesAndAControllerOnOnePoolLeakNothingAndShareNoFrame) {
    zorvframekit::MemoryLimiter limiter(0, 2000000000);
    // About six frames of the common format: the engines' own frames and the pool's compete.
    limiter.setMemoryLimit(6 * 32 * 24 + 100);
    FramePool* pool = createFramePool(&limiter);
    pool->setFrameCountLimits(2, 4);
    std::mutex mutex;
    std::set<IFrame*> held;  // out with an engine, so that a frame handed to two at once is caught
    std::atomic<int> twice{0}, granted{0}, refused{0}, wrong{0};

    // Take a frame, fill it, read it back as a host array and a bitmap, check that nobody else
    // wrote it meanwhile, and let it go.
    const auto engineRound = [&](std::mt19937& random, int stamp) {
        const auto& format = kFormats[random() % 8 == 0 ? 1 : 0];
        IFrame* frame = pool->getFrame(format.type, format.width, format.height);
        if (frame == nullptr) return void(++wrong);
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!held.insert(frame).second) ++twice;
        }
        std::vector<unsigned char> bytes(static_cast<size_t>(frame->getDataSize()));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(stamp * 29 + i * 7);
        if (frame->copyData(bytes.data()) == frame->getDataSize()) {
            ++granted;
            frame->setTime(stamp);
            HostArray pixels = frame->getHostArray(zorvframekit::kColorSpaceMonochrome);
            if (pixels == nullptr || haGetNumberOfElements(pixels) != size_t(format.width) * format.height) ++wrong;
            haFree(pixels);
            std::vector<unsigned char> bitmap(static_cast<size_t>(frame->getBitmapSize()));
            BITMAPINFOHEADER header;
            frame->fillBitmap(&header, bitmap.data());
            std::this_thread::yield();  // gives another holder of the same frame, if any, its chance
            if (header.biWidth != format.width || frame->getTime() != stamp ||
                !std::equal(bytes.begin(), bytes.end(), frame->getData()))
                ++wrong;
        } else {
            ++refused;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            held.erase(frame);
        }
        random() % 2 ? frame->release() : frame->decRefCount();  // from 0, decRefCount releases at once
    };

    const auto deadline = Clock::now() + std::chrono::milliseconds(1500);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::mt19937 random(100 + t);
            for (int round = 0; Clock::now() < deadline; ++round) engineRound(random, t * 100000 + round);
        });
    threads.emplace_back([&] {
        std::mt19937 random(7);
        while (Clock::now() < deadline) {
            const int choice = static_cast<int>(random() % 10);
            if (choice < 6)
                pool->setFrameCountLimits(static_cast<int>(random() % 7) - 1, static_cast<int>(random() % 8) - 1);
            else if (choice < 9)
                pool->stopWorker();
            else
                pool->clearFrames();
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + random() % 3));
        }
    });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(twice.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(granted.load(), 0);
    EXPECT_GT(refused.load(), 0);  // the limit was really in play

    // At rest, with room again: the limiter holds exactly the bytes of the frames the pool holds.
    // Once the bounds are set only the worker changes the pool, so the state it reaches stays.
    limiter.setMemoryLimit(64 << 20);
    pool->setFrameCountLimits(0, 3);  // a worker that only trims
    IFrame* frame = pool->getFrame(kFormats[0].type, kFormats[0].width, kFormats[0].height);
    ASSERT_NE(frame->getData(), nullptr);
    const int frameBytes = frame->getDataSize();
    frame->release();  // its format takes over
    const auto settlesAt = [&](int count) {
        const auto giveUp = Clock::now() + std::chrono::seconds(5);
        while ((pool->getFrameCount() != count || limiter.getMemoryUsed() != count * frameBytes) &&
               Clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(pool->getFrameCount(), count);
        EXPECT_EQ(limiter.getMemoryUsed(), count * frameBytes);
    };
    pool->setFrameCountLimits(3, 3);
    settlesAt(3);
    // The trim shows that the worker has taken the new bounds, so nothing refills after the clear.
    pool->setFrameCountLimits(0, 2);
    settlesAt(2);
    pool->clearFrames();
    EXPECT_EQ(pool->getFrameCount(), 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    pool->destroy();
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

}  // namespace
