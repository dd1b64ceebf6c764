// The Aravis engine against Aravis's GigE Vision camera simulator, which this process runs on the
// loopback interface: every byte crosses the real protocol stack (control and stream packets over
// UDP at 127.0.0.1). Cameras are opened by address, so nothing asks the machine's other networks.
#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <string>
#include <vector>

#include "CameraStream.h"
#include "Discovery.h"
#include "Simulator.h"
#include "aravis_pattern.h"
#include "ha.h"

using namespace aravisengine;

namespace {

double number(IFrame* frame, const char* name) {
    HostArray value = frame->getMetaData(name);
    if (value == nullptr) return -1;
    const double result = haGetScalar(value);
    haFree(value);
    return result;
}

std::string words(IFrame* frame, const char* name) {
    HostArray value = frame->getMetaData(name);
    if (value == nullptr) return "(absent)";
    const std::string result = haGetChars(value);
    haFree(value);
    return result;
}

StreamSettings simulated(const std::string& format, int width = 0, int height = 0, int x = 0, int y = 0) {
    StreamSettings settings;
    settings.camera = Simulator::address();
    settings.pixelFormat = format;
    settings.width = width;
    settings.height = height;
    settings.offsetX = x;
    settings.offsetY = y;
    return settings;
}

std::string refusal(const StreamSettings& settings) {
    zorvframekit::MemoryLimiter limiter;
    try {
        CameraStream stream(settings, limiter);
    } catch (const EngineError& error) {
        return error.what();
    }
    return "(accepted)";
}

class SimulatedCamera : public ::testing::Test {
protected:
    static void SetUpTestSuite() { simulator = new Simulator("ZFK01"); }
    static void TearDownTestSuite() {
        delete simulator;
        shutDownDeviceStack();
    }
    static Simulator* simulator;
};
Simulator* SimulatedCamera::simulator = nullptr;

// Takes `count` frames and checks each against the simulator's pattern for its id, and the ids,
// times and metadata along the way; then stops, takes what was still queued, and checks the books.
void stream(const StreamSettings& settings, int count, double exposureUs = 10000) {
    zorvframekit::MemoryLimiter limiter;
    {
        CameraStream camera(settings, limiter);
        const CameraDescription& described = camera.camera();
        EXPECT_EQ(described.format->name, settings.pixelFormat);
        EXPECT_EQ(described.width, settings.width);
        EXPECT_EQ(described.offsetY, settings.offsetY);
        camera.start();
        uint64_t consumed = 0, previousId = 0;
        double previousTime = 0, previousCameraTime = 0;
        for (int taken = 0; taken < count + 1000; ++taken) {
            if (taken == count) camera.stop();
            IFrame* frame = camera.next(3000);
            if (frame == nullptr) break;
            ++consumed;
            const uint64_t id = uint64_t(number(frame, metadata::kFrameId));
            const std::vector<uint8_t> expected =
                simulator::image(settings.pixelFormat, settings.width, settings.height, id, exposureUs);
            ASSERT_EQ(size_t(frame->getDataSize()), expected.size());
            EXPECT_EQ(std::memcmp(frame->getData(), expected.data(), expected.size()), 0) << "frame " << id;
            if (consumed > 1) {
                EXPECT_EQ(frameIdGap(previousId, id), uint64_t(number(frame, metadata::kMissedBefore))) << previousId << " to " << id;
                EXPECT_GE(frame->getTime(), previousTime);
                EXPECT_GT(number(frame, metadata::kCameraTimestamp), previousCameraTime);
            }
            previousId = id;
            previousTime = frame->getTime();
            previousCameraTime = number(frame, metadata::kCameraTimestamp);
            EXPECT_EQ(words(frame, metadata::kVendor) + " " + words(frame, metadata::kModel) + " " + words(frame, metadata::kSerial),
                      "Aravis Fake ZFK01");
            EXPECT_EQ(words(frame, metadata::kPixelFormat), settings.pixelFormat);
            EXPECT_EQ(words(frame, metadata::kBayerPattern), settings.pixelFormat == "BayerGR8" ? "GR" : "(absent)");
            EXPECT_DOUBLE_EQ(number(frame, metadata::kExposure), exposureUs * 1e-6);
            EXPECT_EQ(number(frame, metadata::kGain), 0);
            frame->release();
        }
        const StreamStatistics figures = camera.statistics();
        EXPECT_GE(consumed, uint64_t(count));
        EXPECT_EQ(figures.delivered, consumed);
        EXPECT_EQ(figures.received, figures.delivered + figures.dropped() + figures.incomplete + figures.repeated);
        EXPECT_GT(figures.limiterPeak, 0);
    }
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

}  // namespace

TEST_F(SimulatedCamera, EveryMappedFormatAtTwoSizesAndARegionCarriesThePatternOfItsFrameId) {
    struct Region {
        int width, height, x, y;
    };
    for (const char* format : {"Mono8", "Mono16", "RGB8", "BayerGR8"})
        for (const Region region : {Region{320, 240, 0, 0}, Region{97, 61, 0, 0}, Region{200, 120, 13, 7}}) {
            SCOPED_TRACE(std::string(format) + " " + std::to_string(region.width) + "x" + std::to_string(region.height));
            StreamSettings settings = simulated(format, region.width, region.height, region.x, region.y);
            settings.frameRate = 1000;
            stream(settings, 15);
        }
}

TEST_F(SimulatedCamera, ExposureAndRateReachTheCamera) {
    // The simulator brightens its ramp by the exposure's tenfold over 10 ms (twice as bright at
    // 100 ms), and spaces its images by the frame period on its own clock.
    StreamSettings settings = simulated("Mono8", 64, 16);
    settings.exposureTime = 100000;
    settings.frameRate = 50;
    stream(settings, 5, 100000);

    zorvframekit::MemoryLimiter limiter;
    CameraStream camera(settings, limiter);
    camera.start();
    std::vector<double> times;
    while (times.size() < 11) {
        IFrame* frame = camera.next(3000);
        ASSERT_NE(frame, nullptr);
        if (number(frame, metadata::kMissedBefore) > 0) times.clear();
        times.push_back(number(frame, metadata::kCameraTimestamp));
        frame->release();
    }
    // The median spacing: on a busy machine the simulator's thread may emit an image late, now and
    // then, which stretches the spaces around it but not the period it keeps.
    std::vector<double> spaces;
    for (size_t i = 1; i < times.size(); ++i) spaces.push_back(times[i] - times[i - 1]);
    std::sort(spaces.begin(), spaces.end());
    EXPECT_NEAR(spaces[spaces.size() / 2], 0.02, 0.002);
}

TEST_F(SimulatedCamera, WhatTheCameraCannotDoIsRefusedByName) {
    EXPECT_NE(refusal(simulated("Mono12Packed")).find("'Mono12Packed' has no frame type of the same layout"), std::string::npos);
    EXPECT_NE(refusal(simulated("YUV422_8")).find("Aravis Fake (ZFK01) does not offer YUV422_8 (it offers BayerBG8"),
              std::string::npos);
    EXPECT_NE(refusal(simulated("Mono8", 2000, 100, 100, 0)).find("2000x100 at 100,0 does not fit the 2048x2048 sensor"),
              std::string::npos);
    StreamSettings settings = simulated("Mono8");
    settings.frameRate = 5000;
    EXPECT_NE(refusal(settings).find("a rate of 5000 frames/s is outside the 0.1 to 1000"), std::string::npos);
    settings = simulated("");
    settings.camera = "127.0.0.9";  // loopback, where no camera answers
    EXPECT_NE(refusal(settings).find("cannot open camera '127.0.0.9'"), std::string::npos);
}

TEST(AravisFormats, EveryMappedFormatFillsItsFrameTypeByteForByteWithOrWithoutRowPadding) {
    // Each frame type's size is the PFNC code's bits a pixel (bits 16-23): a mapping to a family
    // of another layout shows there. Rows padded by a pixel take the frame's own window cut,
    // rows padded by 3 bytes the row-by-row copy.
    zorvframekit::MemoryLimiter limiter;
    const int width = 8, height = 3;
    for (const PixelFormatMapping& format : pixelFormatMappings())
        for (size_t padding : {size_t(0), rowBytes(format, 1), size_t(3)}) {
            SCOPED_TRACE(std::string(format.name) + " padding " + std::to_string(padding));
            const size_t row = rowBytes(format, width), stride = row + padding;
            std::vector<uint8_t> image(stride * height - padding), expected;
            for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + 1);
            for (int y = 0; y < height; ++y) expected.insert(expected.end(), &image[y * stride], &image[y * stride + row]);
            std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(format.frameType, width, height));
            ASSERT_NE(frame, nullptr);
            frame->setMemoryLimiter(&limiter);
            ASSERT_TRUE(copyImage(frame.get(), format, image.data(), image.size(), width, height, padding));
            ASSERT_EQ(size_t(frame->getDataSize()), expected.size());
            EXPECT_EQ(std::memcmp(frame->getData(), expected.data(), expected.size()), 0);
            EXPECT_FALSE(copyImage(frame.get(), format, image.data(), image.size() - 1, width, height, padding));
        }
    EXPECT_EQ(findPixelFormat("bayerrg8")->bayerPattern, std::string("RG"));
    EXPECT_EQ(findPixelFormat(0x010C0004u), nullptr);  // Mono10Packed: no frame type holds it as it is
}

TEST(AravisFormats, FrameIdsWrapAtSixteenBitsAndSkipZero) {
    EXPECT_EQ(frameIdGap(10, 14), 3u);
    EXPECT_EQ(frameIdGap(65534, 65535), 0u);
    EXPECT_EQ(frameIdGap(65535, 1), 0u);
    EXPECT_EQ(frameIdGap(65533, 2), 3u);
    EXPECT_EQ(frameIdGap(70000, 70001), 0u);
    EXPECT_EQ(frameIdGap(100, 99), 0u);  // late, not a wrap
    EXPECT_EQ(frameIdGap(100, 100), 0u);
    // Half the ring ahead follows and half behind is late, however the numbers compare: a late
    // image from before the wrap once counted as 65535 frames missed.
    for (const uint64_t previous : {1u, 5u, 1185u, 32768u, 65535u})
        for (const uint64_t ahead : {1u, 2u, 0x7FFFu, 0x8000u, 60220u, 65534u}) {
            const uint64_t next = (previous - 1 + ahead) % 0xFFFF + 1;
            EXPECT_EQ(frameIdFollows(previous, next), ahead < 0x8000) << previous << " to " << next;
            EXPECT_EQ(frameIdGap(previous, next), ahead < 0x8000 ? ahead - 1 : 0) << previous << " to " << next;
        }
    EXPECT_FALSE(frameIdFollows(65535, 0));
}

TEST(AravisFormats, ALateIdComesOffTheLostAndOneComeAgainDoesNot) {
    enum Seen { kFollows, kLate, kAgain };
    struct Step {
        uint64_t id;
        Seen seen;
        uint64_t skipped;
    };
    // 65535, 1 and 2 skipped across the wrap; then 65535 late, and again; 65534 again; 1 late. 100
    // skips 95 more, of which 99 comes late; 2 is by then beyond the 64 ids remembered, taken as late.
    const Step steps[] = {{65534, kFollows, 0}, {3, kFollows, 3}, {65535, kLate, 0}, {65535, kAgain, 0},
                          {65534, kAgain, 0},   {1, kLate, 0},        {4, kFollows, 0},  {100, kFollows, 95},
                          {99, kLate, 0},       {99, kAgain, 0},      {100, kAgain, 0},  {2, kLate, 0}};
    FrameIdBooks books;
    for (const Step& step : steps) {
        const FrameIdBooks::Arrival seen = books.arrive(step.id);
        EXPECT_EQ(seen.follows ? kFollows : seen.again ? kAgain : kLate, step.seen) << step.id;
        EXPECT_EQ(seen.follows ? seen.skipped : 0, step.skipped) << step.id;
    }
}

TEST(AravisCameraGone, AStreamWhoseCameraStopsAnsweringEndsAndSaysSo) {
    // Aravis gives a silent camera a few seconds of heartbeats before it calls it lost.
    zorvframekit::MemoryLimiter limiter;
    auto simulator = std::make_unique<Simulator>("ZFK02");
    {
        CameraStream camera(simulated("Mono8", 32, 32), limiter);
        camera.start();
        IFrame* first = camera.next(3000);
        ASSERT_NE(first, nullptr);
        first->release();
        simulator.reset();
        while (IFrame* frame = camera.next(20000)) frame->release();
        EXPECT_NE(camera.failure().find("lost the camera Aravis Fake (ZFK02): it stopped answering"), std::string::npos)
            << camera.failure();
    }
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}
