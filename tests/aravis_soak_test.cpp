// The Aravis engine for a minute (ZFK_SOAK_SECONDS, or 20 000 frames) at the simulator's highest
// rate, with a consumer that falls behind on purpose (and now and then keeps a frame while it takes
// the next) and a memory limiter that holds five frames: frames are dropped (the queue full, or no
// memory for another frame), and every drop must be counted where it happened, every delivered frame must
// carry its pattern, and at the end every byte the limiter counts must belong to a frame the pool
// holds, within its bounds, and none once the pool is gone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "CameraStream.h"
#include "Discovery.h"
#include "Simulator.h"
#include "aravis_pattern.h"
#include "ha.h"

using namespace aravisengine;

namespace {

double number(IFrame* frame, const char* name) {
    HostArray value = frame->getMetaData(name);
    const double result = value != nullptr ? haGetScalar(value) : -1;
    haFree(value);
    return result;
}

}  // namespace

TEST(AravisSoak, ASlowConsumerAndASmallLimiterDropFramesButLoseNoneUncounted) {
    const char* given = std::getenv("ZFK_SOAK_SECONDS");
    const double seconds = given != nullptr ? std::atof(given) : 60;
    const uint64_t enough = 20000;
    const int width = 640, height = 480, frameBytes = width * height;

    zorvframekit::MemoryLimiter limiter;
    limiter.setMemoryLimit(5 * frameBytes);
    Simulator simulator("ZFK01");
    StreamSettings settings;
    settings.camera = Simulator::address();
    settings.pixelFormat = "Mono8";
    settings.width = width;
    settings.height = height;
    settings.frameRate = 1000;
    settings.queueLength = 3;
    settings.minFrames = 2;
    settings.maxFrames = 4;
    {
        CameraStream camera(settings, limiter);
        ASSERT_EQ(camera.camera().frameRate, camera.camera().maxFrameRate);
        camera.start();
        const auto begin = std::chrono::steady_clock::now();
        uint64_t frames = 0, wrongPictures = 0, miscounted = 0, previousId = 0, missed = 0;
        double latencySum = 0, latencyWorst = 0;
        bool stopped = false;
        IFrame* kept = nullptr;
        const std::vector<uint8_t> ramp = simulator::image("Mono8", width + 255, 1, 0);
        for (;;) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            if (!stopped && (elapsed >= seconds || frames >= enough)) {
                camera.stop();
                stopped = true;
            }
            IFrame* frame = camera.next(3000);
            if (frame == nullptr) break;
            const uint64_t id = uint64_t(number(frame, metadata::kFrameId));
            const uint64_t missedBefore = uint64_t(number(frame, metadata::kMissedBefore));
            if (frames > 0) {
                if (frameIdGap(previousId, id) != missedBefore && ++miscounted < 5)
                    ADD_FAILURE() << "from frame " << previousId << " to " << id << ": " << missedBefore << " said missed";
                missed += missedBefore;
            }
            // Row y of the ramp is the ramp of row 0 shifted by y.
            bool right = frame->getDataSize() == frameBytes;
            for (int y = 0; right && y < height; ++y)
                right = std::memcmp(frame->getData() + size_t(y) * width, ramp.data() + (y + id) % 255, width) == 0;
            wrongPictures += !right;
            previousId = id;
            ++frames;
            std::this_thread::sleep_for(std::chrono::milliseconds(frames % 16 == 0 ? 20 : 4));  // behind the camera
            const double latency = getTimestamp() - frame->getTime();
            latencySum += latency;
            latencyWorst = std::max(latencyWorst, latency);
            giveUp(kept);
            kept = nullptr;
            if (frames % 8 == 0)
                kept = frame;
            else
                frame->release();
        }
        giveUp(kept);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        const StreamStatistics figures = camera.statistics();
        std::printf("soak: %llu frames in %.1f s (%.0f frames/s received, %.0f delivered); dropped %llu (consumer behind %llu, "
                    "memory %llu), incomplete %llu, repeated %llu, lost %llu; latency mean %.1f ms, worst %.0f ms; limiter peak %d of %d bytes\n",
                    (unsigned long long)frames, elapsed, double(figures.received) / elapsed, double(frames) / elapsed,
                    (unsigned long long)figures.dropped(), (unsigned long long)figures.droppedQueueFull,
                    (unsigned long long)figures.droppedNoMemory, (unsigned long long)figures.incomplete,
                    (unsigned long long)figures.repeated, (unsigned long long)figures.lost, 1000 * latencySum / double(frames), 1000 * latencyWorst,
                    figures.limiterPeak, limiter.getMemoryLimit());
        EXPECT_GT(frames, 100u);
        EXPECT_EQ(wrongPictures, 0u);
        EXPECT_EQ(miscounted, 0u);
        EXPECT_EQ(figures.delivered, frames);
        EXPECT_EQ(figures.received, figures.delivered + figures.dropped() + figures.incomplete + figures.repeated);
        EXPECT_GT(figures.droppedQueueFull, 0u);
        EXPECT_GT(figures.droppedNoMemory, 0u);
        EXPECT_LE(missed, figures.missed());
        EXPECT_LE(figures.limiterPeak, limiter.getMemoryLimit());

        // Everything is back: the worker settles the pool within its bounds, and what the limiter
        // counts is exactly the frames it holds.
        int held = camera.heldFrames();
        for (int wait = 0; wait < 500 && (held < settings.minFrames || held > settings.maxFrames ||
                                          limiter.getMemoryUsed() != held * frameBytes);
             ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            held = camera.heldFrames();
        }
        EXPECT_GE(held, settings.minFrames);
        EXPECT_LE(held, settings.maxFrames);
        EXPECT_EQ(limiter.getMemoryUsed(), held * frameBytes);
    }
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    shutDownDeviceStack();
}
