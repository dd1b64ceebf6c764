// Colour-space conversion: the per-pixel BT.601 routines over every input, and getHostArray's
// choice of conversion for each colour space and mask.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frame/ColorConversion.h"
#include "frame_helpers.h"
#include "test_frame.h"

using zorvframekit::convertRGBPixelToYUV;
using zorvframekit::convertYUVPixelToRGB;

namespace {

// The formulas evaluated plainly, with floor division standing in for the arithmetic shift.
int floorDiv256(int value) { return value >= 0 ? value / 256 : -((-value + 255) / 256); }
int clamp(int value) { return value <= 0 ? 0 : value >= 256 ? 255 : value; }

TEST(PixelConversion, YUVToRGBMatchesTheFormulasForEveryInput) {
    for (int y = 0; y < 256; ++y)
        for (int u = 0; u < 256; ++u)
            for (int v = 0; v < 256; ++v) {
                const int c = y - 16, d = u - 128, e = v - 128;
                uint8_t r, g, b;
                convertYUVPixelToRGB(uint8_t(y), uint8_t(u), uint8_t(v), r, g, b);
                const int er = clamp(floorDiv256(298 * c + 409 * e + 128));
                const int eg = clamp(floorDiv256(298 * c - 100 * d - 208 * e + 128));
                const int eb = clamp(floorDiv256(298 * c + 516 * d + 128));
                if (r != er || g != eg || b != eb) {
                    FAIL() << "YUV " << y << "," << u << "," << v << " gave " << int(r) << "," << int(g) << ","
                           << int(b) << " not " << er << "," << eg << "," << eb;
                }
            }
}

TEST(PixelConversion, RGBToYUVMatchesTheFormulasForEveryInput) {
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                uint8_t y, u, v;
                convertRGBPixelToYUV(uint8_t(r), uint8_t(g), uint8_t(b), y, u, v);
                const int ey = floorDiv256(66 * r + 129 * g + 25 * b + 128) + 16;
                const int eu = floorDiv256(-38 * r - 74 * g + 112 * b + 128) + 128;
                const int ev = floorDiv256(112 * r - 94 * g - 18 * b + 128) + 128;
                if (y != ey || u != eu || v != ev || ey < 16 || ey > 235 || eu < 16 || eu > 240 || ev < 16 || ev > 240) {
                    FAIL() << "RGB " << r << "," << g << "," << b << " gave " << int(y) << "," << int(u) << ","
                           << int(v) << " not " << ey << "," << eu << "," << ev;
                }
            }
}

TEST(PixelConversion, KnownPoints) {
    struct YUVToRGB {
        uint8_t in[3], out[3];
    };
    const YUVToRGB yuvPoints[] = {
        {{16, 128, 128}, {0, 0, 0}},     {{235, 128, 128}, {255, 255, 255}},
        {{16, 0, 128}, {0, 50, 0}},      {{255, 255, 255}, {255, 125, 255}},
    };
    for (const auto& p : yuvPoints) {
        uint8_t r, g, b;
        convertYUVPixelToRGB(p.in[0], p.in[1], p.in[2], r, g, b);
        EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{p.out[0], p.out[1], p.out[2]}));
    }
    const YUVToRGB rgbPoints[] = {
        {{0, 0, 255}, {41, 240, 110}}, {{255, 0, 0}, {82, 90, 240}},
        {{0, 0, 0}, {16, 128, 128}},   {{255, 255, 255}, {235, 128, 128}},
    };
    for (const auto& p : rgbPoints) {
        uint8_t y, u, v;
        convertRGBPixelToYUV(p.in[0], p.in[1], p.in[2], y, u, v);
        EXPECT_EQ((std::vector<int>{y, u, v}), (std::vector<int>{p.out[0], p.out[1], p.out[2]}));
    }
}

// A test frame of any colour space whose native array is given by the test.
class ScriptedFrame : public TestFrame {
public:
    ScriptedFrame(int colorSpace, std::vector<int> dims, int classID, std::vector<uint8_t> bytes)
        : TestFrame(1, 1), dims(std::move(dims)), classID(classID), bytes(std::move(bytes)) {
        setColorSpace(colorSpace);
    }
    HostArray getNativeHostArray() override {
        ++nativeCalls;
        if (!hasNative) return nullptr;
        HostArray array = haCreateNumericArray(static_cast<int>(dims.size()), dims.data(), classID, 0);
        if (!bytes.empty()) std::memcpy(haGetData(array), bytes.data(), bytes.size());
        return array;
    }
    std::vector<int> dims;
    int classID;
    std::vector<uint8_t> bytes;
    bool hasNative = true;
    int nativeCalls = 0;
};

// Two pixels, one column: black and white, in each space.
ScriptedFrame rgbFrame() { return ScriptedFrame(2, {2, 1, 3}, 9, {0, 255, 0, 255, 0, 255}); }
ScriptedFrame yuvFrame() { return ScriptedFrame(4, {2, 1, 3}, 9, {16, 235, 128, 128, 128, 128}); }
ScriptedFrame monoFrame() { return ScriptedFrame(1, {2, 1, 1}, 9, {0, 255}); }

TEST(HostArrayConversion, TheNativeSpaceIsPreferredAndReturnedUnconverted) {
    for (int mask : {4, 7, 5, 6}) {
        ScriptedFrame frame = yuvFrame();
        EXPECT_EQ(hostElements<uint8_t>(frame.getHostArray(mask)), (std::vector<int>{16, 235, 128, 128, 128, 128}));
    }
    ScriptedFrame wide(1, {1, 2, 1}, 11, {0x34, 0x12, 0xFF, 0xFF});
    EXPECT_EQ(hostElements<uint16_t>(wide.getHostArray(1)), (std::vector<int>{0x1234, 0xFFFF}));
}

TEST(HostArrayConversion, YUVAndRGBConvertInPlace) {
    ScriptedFrame yuv = yuvFrame();
    HostArray rgb = yuv.getHostArray(2 | 1);  // RGB is preferred to monochrome
    EXPECT_EQ(dimensionsOf(rgb), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(hostElements<uint8_t>(rgb), (std::vector<int>{0, 255, 0, 255, 0, 255}));

    ScriptedFrame rgbSource = rgbFrame();
    HostArray converted = rgbSource.getHostArray(4 | 1);  // YUV is preferred to monochrome
    EXPECT_EQ(hostElements<uint8_t>(converted), (std::vector<int>{16, 235, 128, 128, 128, 128}));
}

TEST(HostArrayConversion, MonochromeWidensToThreeBands) {
    ScriptedFrame asRGB = monoFrame();
    HostArray rgb = asRGB.getHostArray(2);
    EXPECT_EQ(dimensionsOf(rgb), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(haGetClassID(rgb), 9);
    EXPECT_EQ(hostElements<uint8_t>(rgb), (std::vector<int>{0, 255, 0, 255, 0, 255}));

    ScriptedFrame asYUV = monoFrame();
    HostArray yuv = asYUV.getHostArray(4);
    EXPECT_EQ(dimensionsOf(yuv), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(hostElements<uint8_t>(yuv), (std::vector<int>{16, 235, 128, 128, 128, 128}));
}

TEST(HostArrayConversion, ColourNarrowsToAMatrix) {
    ScriptedFrame yuv(4, {1, 3, 3}, 9, {16, 100, 235, 0, 50, 255, 255, 60, 0});
    HostArray luma = yuv.getHostArray(1);
    EXPECT_EQ(dimensionsOf(luma), (std::vector<int>{1, 3}));
    EXPECT_EQ(hostElements<uint8_t>(luma), (std::vector<int>{16, 100, 235}));  // Y as it stands

    ScriptedFrame rgb(2, {1, 3, 3}, 9, {255, 255, 0, 255, 0, 0, 255, 0, 255});
    HostArray grey = rgb.getHostArray(1);
    EXPECT_EQ(dimensionsOf(grey), (std::vector<int>{1, 3}));
    // White gives 254, not 255; pure red (54 * 255) >> 8 = 53; pure blue (18 * 255) >> 8 = 17.
    EXPECT_EQ(hostElements<uint8_t>(grey), (std::vector<int>{254, 53, 17}));
}

TEST(HostArrayConversion, OnlyEightBitArraysConvert) {
    ScriptedFrame wide(1, {1, 2, 1}, 11, {0x34, 0x12, 0xFF, 0xFF});
    EXPECT_EQ(wide.getHostArray(2), nullptr);
    EXPECT_EQ(wide.getHostArray(4), nullptr);
    EXPECT_EQ(wide.nativeCalls, 2);  // built, found 16-bit, freed (LeakSanitizer checks the free)
}

TEST(HostArrayConversion, NothingIsBuiltWhenNoConversionApplies) {
    for (int mask : {0, 8, 16, -8 & ~7}) {
        ScriptedFrame frame = rgbFrame();
        EXPECT_EQ(frame.getHostArray(mask), nullptr) << mask;
        EXPECT_EQ(frame.nativeCalls, 0) << mask;
    }
    ScriptedFrame odd(8, {1, 1, 3}, 9, {1, 2, 3});  // a colour space no conversion knows
    EXPECT_EQ(odd.getHostArray(7), nullptr);
    EXPECT_EQ(odd.nativeCalls, 0);
}

TEST(HostArrayConversion, AFrameWithoutPixelsGivesNullForEveryMask) {
    for (int mask = 0; mask < 8; ++mask) {
        ScriptedFrame frame = yuvFrame();
        frame.hasNative = false;
        EXPECT_EQ(frame.getHostArray(mask), nullptr);
    }
}

TEST(HostArrayConversion, EmptyArraysConvertToEmptyArrays) {
    ScriptedFrame yuv(4, {0, 5, 3}, 9, {});
    HostArray rgb = yuv.getHostArray(2);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(haGetNumberOfElements(rgb), 0u);
    haFree(rgb);
    ScriptedFrame mono(1, {3, 0, 1}, 9, {});
    HostArray yuvArray = mono.getHostArray(4);
    ASSERT_NE(yuvArray, nullptr);
    EXPECT_EQ(dimensionsOf(yuvArray), (std::vector<int>{3, 0, 3}));
    haFree(yuvArray);
}

TEST(HostArrayConversion, ARealMonochromeFrameConvertsEndToEnd) {
    TestFrameHandle frame(0x11000000, 2, 2);
    const unsigned char raw[4] = {0, 255, 128, 64};
    frame->copyData(raw);
    EXPECT_EQ(hostElements<uint8_t>(frame->getHostArray(2)),
              (std::vector<int>{0, 128, 255, 64, 0, 128, 255, 64, 0, 128, 255, 64}));
    TestFrameHandle wide(0x11000004, 2, 2);
    const unsigned char raw16[8] = {0};
    wide->copyData(raw16);
    EXPECT_EQ(wide->getHostArray(2), nullptr);
    EXPECT_EQ(wide->getHostArray(4), nullptr);
}

TEST(HostArrayConversion, ANativeArrayIsFreedWhenTheConvertedOneCannotBeMade) {
    TestFrameHandle frame(0x01000000, 7, 11);  // RGB24
    ASSERT_TRUE(frame);
    std::vector<unsigned char> raw(7 * 11 * 3, 99);
    frame->copyData(raw.data());
    // The monochrome result is the host's second array, the one refused; the native array made
    // before it must not be left behind.
    haTestFailCreation(2);
    EXPECT_EQ(frame->getHostArray(zorvframekit::kColorSpaceMonochrome), nullptr);
    EXPECT_EQ(haTestCreations(), 2);
    EXPECT_EQ(haTestLiveArrays(), 0);
    haTestFailCreation(0);
}

TEST(HostArrayConversion, AHostThatDropsATrailingSingletonDimensionGetsTheSameConversions) {
    TestFrameHandle frame(0x11000000, 3, 2);  // Mono8: its native array is {2, 3, 1}
    const unsigned char raw[6] = {0, 255, 128, 64, 16, 235};
    frame->copyData(raw);
    std::vector<std::vector<int>> expected;
    for (int mask : {1, 2, 4}) expected.push_back(hostElements<uint8_t>(frame->getHostArray(mask)));
    haTestDropTrailingSingletons(true);
    HostArray matrix = frame->getNativeHostArray();
    EXPECT_EQ(dimensionsOf(matrix), (std::vector<int>{2, 3}));
    haFree(matrix);
    int i = 0;
    for (int mask : {1, 2, 4}) EXPECT_EQ(hostElements<uint8_t>(frame->getHostArray(mask)), expected[i++]) << mask;
    haTestDropTrailingSingletons(false);
}

}  // namespace
