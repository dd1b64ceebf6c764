// The RGB frame classes, packed RGB24/32 (family 0x01), RGB16 (0x05) and planar RGB24 (0x02): small
// hand-checked layouts, a randomised cross-check of every format against the layouts' description,
// windows and their rules, what the factory refuses, and conversion to the other colour spaces.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "frame_helpers.h"

using zorvframekit::kColorSpaceMonochrome;
using zorvframekit::kColorSpaceYUV;
using zorvframekit::kFamilyRGB16;
using zorvframekit::kFamilyRGB24Packed;
using zorvframekit::kFamilyRGB24Planar;
using zorvframekit::makeFrameTypeCode;

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<int> Ints;

struct Format {
    uint32_t family;
    int index;
    int bytesPerPixel;  // of the raw buffer; the planar class counts its three planes
};
const Format kFormats[] = {{kFamilyRGB24Packed, 0, 3}, {kFamilyRGB24Packed, 1, 3}, {kFamilyRGB24Packed, 2, 4},
                           {kFamilyRGB24Packed, 3, 4}, {kFamilyRGB16, 0, 2},       {kFamilyRGB16, 1, 2},
                           {kFamilyRGB24Planar, 0, 3}};

FrameTypeCode codeOf(const Format& format, bool bottomUp, int index = -1) {
    return makeFrameTypeCode(format.family, static_cast<uint32_t>(index < 0 ? format.index : index), bottomUp);
}

Bytes words(std::initializer_list<unsigned> values) {  // little-endian 16-bit words
    Bytes out;
    for (unsigned v : values)
        out.insert(out.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)});
    return out;
}

// Straight from the layouts' description: the red, green and blue of image pixel (r, c) of a raw
// buffer, followed by the bytes of its bitmap pixel (-1 where the bitmap keeps what its area held).
Ints expectedPixel(const Format& f, bool bottomUp, int width, int height, const unsigned char* raw, int r, int c) {
    if (f.family == kFamilyRGB24Planar) {  // three top-down planes; the row-order bit means nothing
        const int at = r * width + c, plane = width * height;
        return {raw[at], raw[plane + at], raw[2 * plane + at], raw[2 * plane + at], raw[plane + at], raw[at]};
    }
    const unsigned char* in = raw + ((bottomUp ? height - 1 - r : r) * width + c) * f.bytesPerPixel;
    if (f.family == kFamilyRGB24Packed) {  // R G B, B G R, R G B x, B G R x
        const int red = in[f.index % 2 ? 2 : 0], green = in[1], blue = in[f.index % 2 ? 0 : 2];
        Ints px = {red, green, blue, blue, green, red};
        if (f.index == 2) px.push_back(-1);    // the unused byte is not written ...
        if (f.index == 3) px.push_back(in[3]);  // ... unless whole rows go over
        return px;
    }
    const int v = in[0] | in[1] << 8;  // x rrrrr ggggg bbbbb, or rrrrr gggggg bbbbb
    const int red = f.index == 0 ? v >> 10 & 31 : v >> 11, green = v >> 5 & (f.index == 0 ? 31 : 63), blue = v & 31;
    // A 16-bit bitmap is 5-5-5: format 0's words as they are, 5-6-5 green losing its lowest bit.
    const int word = f.index == 0 ? v : red << 10 | (green >> 1) << 5 | blue;
    return {red * 8, f.index == 0 ? green * 8 : green * 4, blue * 8, word & 255, word >> 8};
}

TEST(RGBFrames, EveryFormatAndRowOrderAtOddSizesMatchesTheLayout) {
    unsigned seed = 1;
    for (const Format& f : kFormats)
        for (bool bottomUp : {false, true})
            for (int width : {1, 3, 5, 8, 13, 33})
                for (int height : {1, 2, 7, 33}) {  // 33 rows pass one strip of the column gather
                    SCOPED_TRACE(testing::Message() << "family " << f.family << " format " << f.index << " bottomUp "
                                                    << bottomUp << " " << width << "x" << height);
                    // The planar class ignores the format index and row-order bit: set them anyway.
                    const bool planar = f.family == kFamilyRGB24Planar;
                    TestFrameHandle frame(codeOf(f, bottomUp, planar && bottomUp ? 0xFF : -1), width, height);
                    ASSERT_EQ(frame->getDataSize(), width * height * f.bytesPerPixel);
                    FlushBuffer raw(static_cast<size_t>(frame->getDataSize()));
                    raw.randomise(seed++);
                    ASSERT_EQ(frame->copyData(raw.data()), static_cast<int>(raw.size));
                    const int pixelBytes = f.family == kFamilyRGB16 ? 2 : f.bytesPerPixel;  // of the bitmap
                    const int stride = (pixelBytes * width + 3) & ~3, plane = width * height;
                    Ints host(3 * static_cast<size_t>(plane)), bitmap(static_cast<size_t>(stride) * height, kSentinel);
                    for (int r = 0; r < height; ++r)
                        for (int c = 0; c < width; ++c) {
                            const Ints px = expectedPixel(f, bottomUp, width, height, raw.data(), r, c);
                            for (int p = 0; p < 3; ++p) host[p * plane + c * height + r] = px[p];
                            for (int i = 0; i < pixelBytes; ++i)
                                if (px[3 + i] >= 0) bitmap[(height - 1 - r) * stride + c * pixelBytes + i] = px[3 + i];
                        }
                    HostArray array = frame->getNativeHostArray();
                    ASSERT_NE(array, nullptr);
                    EXPECT_EQ(dimensionsOf(array), (Ints{height, width, 3}));
                    EXPECT_EQ(haGetClassID(array), haUint8Class);
                    EXPECT_EQ(hostElements<uint8_t>(array), host);
                    const Bitmap got = bitmapOf(frame.frame.get());
                    EXPECT_TRUE(isPlainHeader(got.header, width, height, 8 * pixelBytes));
                    EXPECT_EQ(Ints(got.pixels.begin(), got.pixels.end()), bitmap);
                }
}

TEST(RGBFrames, HandCheckedHostArraysAndBitmaps) {
    const unsigned char S = kSentinel;
    const Bytes rgb = {10, 20, 30, 40, 50, 60}, rgbx = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes rgb555 = words({0x001F, 0x03E0, 0x7C00, 0x8000});
    struct Case {
        Format format;
        bool bottomUp;
        int width, height;
        Bytes raw;
        Ints host;
        Bytes bitmap;
    };
    const Case cases[] = {
        {kFormats[0], false, 2, 1, rgb, {10, 40, 20, 50, 30, 60}, {30, 20, 10, 60, 50, 40, S, S}},
        {kFormats[1], false, 2, 1, rgb, {30, 60, 20, 50, 10, 40}, {10, 20, 30, 40, 50, 60, S, S}},
        {kFormats[2], false, 2, 1, rgbx, {1, 5, 2, 6, 3, 7}, {3, 2, 1, S, 7, 6, 5, S}},
        {kFormats[3], false, 2, 1, rgbx, {3, 7, 2, 6, 1, 5}, rgbx},
        // Bottom up: buffer row 0 is the image's bottom row, the host's last and the bitmap's first.
        {kFormats[0], true, 3, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19},
         {11, 1, 14, 4, 17, 7, 12, 2, 15, 5, 18, 8, 13, 3, 16, 6, 19, 9},
         {3, 2, 1, 6, 5, 4, 9, 8, 7, S, S, S, 13, 12, 11, 16, 15, 14, 19, 18, 17, S, S, S}},
        // Each field to the top of its byte; a 5-5-5 bitmap takes the words whole, bit 15 included.
        {kFormats[4], false, 4, 1, rgb555, {0, 0, 248, 0, 0, 248, 0, 0, 248, 0, 0, 0}, rgb555},
        {kFormats[5], false, 4, 1, words({0xF800, 0x07E0, 0x0020, 0xFFFF}),
         {248, 0, 0, 248, 0, 252, 4, 252, 0, 0, 0, 248}, words({0x7C00, 0x03E0, 0x0000, 0x7FFF})},
        // Planes red 1-6, green 11-16, blue 21-26.
        {kFormats[6], false, 3, 2, {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26},
         {1, 4, 2, 5, 3, 6, 11, 14, 12, 15, 13, 16, 21, 24, 22, 25, 23, 26},
         {24, 14, 4, 25, 15, 5, 26, 16, 6, S, S, S, 21, 11, 1, 22, 12, 2, 23, 13, 3, S, S, S}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "family " << c.format.family << " format " << c.format.index);
        TestFrameHandle frame(codeOf(c.format, c.bottomUp), c.width, c.height);
        ASSERT_EQ(frame->copyData(c.raw.data()), static_cast<int>(c.raw.size()));
        EXPECT_EQ(hostElements<uint8_t>(frame->getNativeHostArray()), c.host);
        EXPECT_EQ(bitmapOf(frame.frame.get()).pixels, c.bitmap);
    }
}

TEST(RGBFrames, AFrameWithoutDataWritesNothingAndGivesNoArrays) {
    for (const Format& f : kFormats) {
        std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(codeOf(f, false), 3, 2));  // no limiter: never a buffer
        const Bitmap bitmap = bitmapOf(frame.get());
        const unsigned char* header = reinterpret_cast<const unsigned char*>(&bitmap.header);
        EXPECT_EQ(Bytes(header, header + sizeof bitmap.header), Bytes(sizeof bitmap.header, kSentinel));
        EXPECT_EQ(bitmap.pixels, Bytes(bitmap.pixels.size(), kSentinel));
        EXPECT_EQ(frame->getNativeHostArray(), nullptr);
        EXPECT_EQ(frame->getHostArray(kColorSpaceYUV), nullptr);
    }
}

// Random windows, the first of each series touching the source's right and bottom edges, cut from
// sources that end where their allocation ends.
TEST(RGBWindows, AWindowHoldsTheSourceRowsInTheFramesRowOrder) {
    std::mt19937 random(99);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (const Format& f : kFormats)
        for (bool bottomUp : {false, true})
            for (int round = 0; round < 30; ++round) {
                const int width = 1 + pick(9), height = 1 + pick(9);
                const int srcWidth = width + pick(4), srcHeight = height + pick(4);
                const int x = round == 0 ? srcWidth - width : pick(srcWidth - width + 1);
                const int y = round == 0 ? srcHeight - height : pick(srcHeight - height + 1);
                FlushBuffer source(static_cast<size_t>(srcWidth) * srcHeight * f.bytesPerPixel);
                source.randomise(random());
                TestFrameHandle frame(codeOf(f, bottomUp), width, height);
                frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);
                // Image row r of the frame is image row y + r of the source, each buffer in its own
                // row order; the planar class has three top-down planes.
                const bool planar = f.family == kFamilyRGB24Planar, rowsUp = bottomUp && !planar;
                const int planes = planar ? 3 : 1, bpp = planar ? 1 : f.bytesPerPixel;
                Bytes expected;
                for (int p = 0; p < planes; ++p)
                    for (int k = 0; k < height; ++k) {
                        const int r = rowsUp ? height - 1 - k : k, srcRow = rowsUp ? srcHeight - 1 - (y + r) : y + r;
                        const unsigned char* s = source.data() + ((p * srcHeight + srcRow) * srcWidth + x) * bpp;
                        expected.insert(expected.end(), s, s + width * bpp);
                    }
                ASSERT_EQ(bufferOf(frame.frame.get()), expected)
                    << "family " << f.family << " format " << f.index << " bottomUp " << bottomUp << " " << width
                    << "x" << height << " at " << x << "," << y << " of " << srcWidth << "x" << srcHeight;
            }
}

TEST(RGBWindows, ARefusedWindowAllocatesNothingAndLeavesWhatTheFrameHeld) {
    const Bytes source(4 * 8 * 4, 1);  // an 8 x 4 source of any format
    const int refused[][4] = {{8, 4, -1, 0}, {8, 4, 0, -1}, {0, 4, 0, 0},  {8, 0, 0, 0},
                              {-8, 4, 0, 0}, {8, 4, 6, 0},  {8, 4, 0, 3},  {2, 4, 0, 0},
                              {INT32_MAX, 4, INT32_MAX - 2, 0}, {8, INT32_MAX, 0, INT32_MAX - 1}};
    for (const Format& f : kFormats)
        for (bool bottomUp : {false, true}) {
            TestFrameHandle fresh(codeOf(f, bottomUp), 3, 2), held(codeOf(f, bottomUp), 3, 2);
            const Bytes before(static_cast<size_t>(held->getDataSize()), 0x77);
            held->copyData(before.data());
            for (IFrame* frame : {fresh.frame.get(), held.frame.get()}) {
                for (const auto& w : refused) frame->copyRegion(source.data(), w[0], w[1], w[2], w[3]);
                frame->copyRegion(nullptr, 8, 4, 0, 0);
            }
            EXPECT_FALSE(fresh->hasData()) << f.family << "/" << f.index;
            EXPECT_EQ(fresh.limiter->getMemoryUsed(), 0);
            EXPECT_EQ(bufferOf(held.frame.get()), before) << f.family << "/" << f.index;
        }
}

TEST(RGBFactory, RefusesUnknownFormatIndexesAndSizesThatDoNotFitAnInt) {
    const FrameTypeCode rgb = makeFrameTypeCode(kFamilyRGB24Packed, 0, false), rgbx = rgb + 2,
                        rgb16 = makeFrameTypeCode(kFamilyRGB16, 0, false), planar = codeOf(kFormats[6], false);
    const struct {
        FrameTypeCode code;
        int width, height;
    } refused[] = {
        {rgb + 4, 4, 4}, {rgb + 0xFF, 4, 4}, {rgb16 + 2, 4, 4}, {rgb16 + 0x1FF, 4, 4},  // format indexes
        {rgb, 0, 4}, {rgb16, 4, -1}, {planar, -2, -2},
        {rgbx, 16384, 32768},                                              // 4-byte pixels: 2^31 bytes
        {rgb, 1, 600000000}, {rgb16, 1, 600000000}, {planar, 1, 600000000},  // only the 4-byte bitmap rows
        {rgb, 0x40000000, 1}, {rgb16, 0x40000000, 1}, {planar, 0x40000000, 1},  // one row alone
    };
    for (const auto& c : refused)
        EXPECT_EQ(frameFactory(c.code, c.width, c.height), nullptr) << std::hex << c.code << std::dec << " " << c.width;
    // The largest that fit are made.
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> largest(frameFactory(rgbx, 16384, 32767)), tall(frameFactory(rgb16 + 1, 1, 536870911));
    ASSERT_NE(largest, nullptr);
    ASSERT_NE(tall, nullptr);
    EXPECT_EQ(largest->getDataSize(), 2147418112);
    EXPECT_EQ(largest->getBitmapSize(), 2147418112);
    EXPECT_EQ(tall->getBitmapSize(), 2147483644);
}

// The base converts the native array: video-range YUV, and a monochrome band whose weights sum to
// 255, so that white gives 254.
TEST(RGBConversion, BlueAndWhiteReachTheHostAsYUVAndMonochrome) {
    const struct {
        Format format;
        Bytes raw;
        Ints yuv, mono;  // planes Y, U, V
    } cases[] = {
        {kFormats[1], {255, 0, 0, 255, 255, 255}, {41, 235, 240, 128, 110, 128}, {17, 254}},
        {kFormats[2], {0, 0, 255, 9, 255, 255, 255, 9}, {41, 235, 240, 128, 110, 128}, {17, 254}},
        {kFormats[6], {0, 255, 0, 255, 255, 255}, {41, 235, 240, 128, 110, 128}, {17, 254}},
        // 16-bit fields reach 248 at most; 5-6-5 green reaches 252.
        {kFormats[4], words({0x001F, 0x7FFF}), {40, 229, 237, 128, 111, 128}, {17, 247}},
        {kFormats[5], words({0x001F, 0xFFFF}), {40, 231, 237, 127, 111, 127}, {17, 249}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "family " << c.format.family << " format " << c.format.index);
        TestFrameHandle frame(codeOf(c.format, false), 2, 1);
        frame->copyData(c.raw.data());
        EXPECT_EQ(hostElements<uint8_t>(frame->getHostArray(kColorSpaceYUV)), c.yuv);
        EXPECT_EQ(hostElements<uint8_t>(frame->getHostArray(kColorSpaceMonochrome)), c.mono);
    }
}

}  // namespace
