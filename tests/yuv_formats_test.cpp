// Packed and planar YUV frames: sizes and layouts, host arrays and 24-bit bitmaps, windows copied out
// of larger images (including windows that start inside a pixel group, and padded windows that reach
// past the source), and their buffers under the memory limiter.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

using zorvframekit::kColorSpaceMonochrome;
using zorvframekit::kColorSpaceRGB;
using zorvframekit::kColorSpaceYUV;
using zorvframekit::kFamilyYUVPacked;
using zorvframekit::kFamilyYUVPlanar;
using zorvframekit::makeFrameTypeCode;
using zorvframekit::MemoryLimiter;

namespace {

typedef std::vector<unsigned char> Bytes;

struct Pixel {
    int y, u, v;
};
typedef std::vector<Pixel> Image;  // row-major, top row first

// Group sizes of the packed layouts, by format index.
const int packedBytes[7] = {4, 4, 4, 6, 3, 12, 3};
const int packedPixels[7] = {2, 2, 2, 4, 1, 8, 1};
// Chroma subsampling of the planar layouts, by format index.
const int planarFactor[3] = {4, 2, 2};

// The YUV samples of pixel position p of a packed row, read off each layout's byte order.
Pixel packedPixel(int format, const unsigned char* row, int p) {
    const unsigned char* g = row + (p / packedPixels[format]) * packedBytes[format];
    const int j = p % packedPixels[format];
    switch (format) {
    case 0: return {g[j ? 2 : 0], g[1], g[3]};  // Y0 U Y1 V
    case 1: return {g[j ? 3 : 1], g[0], g[2]};  // U Y0 V Y1
    case 2: return {g[j ? 2 : 0], g[3], g[1]};  // Y0 V Y1 U
    case 3: {                                   // U Y0 Y1 V Y2 Y3
        const int y[4] = {1, 2, 4, 5};
        return {g[y[j]], g[0], g[3]};
    }
    case 4: return {g[1], g[0], g[2]};  // U Y V
    case 5:                             // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
        return j < 4 ? Pixel{g[1 + 2 * j], g[0], g[2]} : Pixel{g[4 + j], g[4], g[6]};
    default: return {g[2], g[0], g[1]};  // U V Y
    }
}

int clampByte(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

Pixel toRGB(const Pixel& p) {
    const int c = p.y - 16, d = p.u - 128, e = p.v - 128;
    return {clampByte((298 * c + 409 * e + 128) >> 8), clampByte((298 * c - 100 * d - 208 * e + 128) >> 8),
            clampByte((298 * c + 516 * d + 128) >> 8)};
}

Bytes randomBytes(std::mt19937& random, size_t size) {
    Bytes bytes(size);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
    return bytes;
}

::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.size() << ", expected " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure()
                   << "byte " << i << " is " << int(actual[i]) << ", expected " << int(expected[i]);
    return ::testing::AssertionSuccess();
}

// Takes the array's data block and frees the array.
Bytes takeBytes(HostArray array) {
    if (array == nullptr) return Bytes();
    const unsigned char* data = static_cast<const unsigned char*>(haGetData(array));
    Bytes bytes(data, data + haGetNumberOfElements(array));
    haFree(array);
    return bytes;
}

Bytes bufferOf(IFrame* frame) {
    const unsigned char* data = frame->getData();
    return data ? Bytes(data, data + frame->getDataSize()) : Bytes();
}

// Three column-major band planes of the image, each pixel mapped through `map`.
template <typename Map>
Bytes bandsOf(const Image& image, int width, int height, Map map) {
    const size_t n = size_t(width) * height;
    Bytes bands(3 * n);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const Pixel p = map(image[size_t(r) * width + c]);
            const size_t at = size_t(c) * height + r;
            bands[at] = static_cast<unsigned char>(p.y);
            bands[n + at] = static_cast<unsigned char>(p.u);
            bands[2 * n + at] = static_cast<unsigned char>(p.v);
        }
    return bands;
}

// Checks everything the frame hands out for the image: its native host array, the array converted
// to RGB, and its bitmap, written into areas of exactly the announced size filled with a sentinel so
// that every byte left alone is checked too.
void expectImage(IFrame* frame, int width, int height, const Image& image) {
    HostArray native = frame->getNativeHostArray();
    ASSERT_NE(native, nullptr);
    ASSERT_EQ(haGetNumberOfDimensions(native), 3);
    EXPECT_EQ(haGetDimensions(native)[0], height);
    EXPECT_EQ(haGetDimensions(native)[1], width);
    EXPECT_EQ(haGetDimensions(native)[2], 3);
    EXPECT_EQ(haGetClassID(native), haUint8Class);
    EXPECT_TRUE(sameBytes(takeBytes(native), bandsOf(image, width, height, [](const Pixel& p) { return p; })))
        << "native host array";

    HostArray rgb = frame->getHostArray(kColorSpaceRGB);
    ASSERT_NE(rgb, nullptr);
    EXPECT_TRUE(sameBytes(takeBytes(rgb), bandsOf(image, width, height, toRGB))) << "host array as RGB";

    const int stride = (3 * width + 3) & ~3;
    ASSERT_EQ(frame->getBitmapSize(), stride * height);
    for (unsigned char sentinel : {0xA5, 0x5A}) {
        Bytes pixels(size_t(stride) * height, sentinel);
        BITMAPINFOHEADER header;
        std::memset(&header, sentinel, sizeof header);
        frame->fillBitmap(&header, pixels.data());
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biWidth, width);
        EXPECT_EQ(header.biHeight, height);
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biCompression, 0u);
        EXPECT_EQ(header.biClrUsed, 0u);
        Bytes expected(pixels.size(), sentinel);
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                const Pixel p = toRGB(image[size_t(r) * width + c]);
                unsigned char* out = &expected[size_t(height - 1 - r) * stride + 3 * c];
                out[0] = static_cast<unsigned char>(p.v);  // blue
                out[1] = static_cast<unsigned char>(p.u);  // green
                out[2] = static_cast<unsigned char>(p.y);  // red
            }
        EXPECT_TRUE(sameBytes(pixels, expected)) << "bitmap, sentinel " << int(sentinel);
    }
}

struct TestFrame {
    std::unique_ptr<IFrame> frame;
    TestFrame(uint32_t family, int format, int width, int height, MemoryLimiter* limiter) {
        frame.reset(frameFactory(makeFrameTypeCode(family, format, false), width, height));
        if (frame && limiter) frame->setMemoryLimiter(limiter);
    }
    IFrame* operator->() const { return frame.get(); }
    IFrame* get() const { return frame.get(); }
};

MemoryLimiter roomyLimiter() {
    MemoryLimiter limiter;
    limiter.setMemoryLimit(200000000);
    return limiter;
}

// ---- factory ---------------------------------------------------------------------------------

TEST(YUVFactory, BuildsEveryListedFormatAndRefusesTheRest) {
    for (int format = 0; format < 7; ++format) {
        std::unique_ptr<IFrame> frame(frameFactory(makeFrameTypeCode(kFamilyYUVPacked, format, false), 6, 2));
        ASSERT_NE(frame, nullptr) << format;
        EXPECT_EQ(frame->getColorSpace(), kColorSpaceYUV);
        EXPECT_EQ(frame->getHostClassID(), haUint8Class);
        EXPECT_EQ(frame->getBitDepth(), 8);
        EXPECT_EQ(frame->getDimensions()[2], 3);
    }
    for (int format = 0; format < 3; ++format)
        EXPECT_NE(std::unique_ptr<IFrame>(frameFactory(makeFrameTypeCode(kFamilyYUVPlanar, format, false), 6, 2)),
                  nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyYUVPacked, 7, false), 6, 2), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyYUVPacked, 0xFF, false), 6, 2), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyYUVPlanar, 3, false), 6, 2), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyYUVPlanar, 1, false), 0, 2), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyYUVPacked, 1, false), 2, -1), nullptr);

    // Bits 9-23 and the row-order bit are kept in the type code and do not change the layout.
    const FrameTypeCode code = 0x04ABCD01u;
    std::unique_ptr<IFrame> planar(frameFactory(code, 3, 3));
    ASSERT_NE(planar, nullptr);
    EXPECT_EQ(planar->getFrameType(), code);
    EXPECT_EQ(planar->getDataSize(), 24);  // format 1: 4 x 4 luma, two 2 x 2 chroma planes
}

TEST(YUVFactory, RefusesSizesWhoseBuffersOrBitmapsDoNotFitAnInt) {
    const auto make = [](uint32_t family, int format, int width, int height) {
        return std::unique_ptr<IFrame>(frameFactory(makeFrameTypeCode(family, format, false), width, height));
    };
    // One pixel wide: 4 bytes a row, 8 once a window starting inside a group adds its extra group.
    EXPECT_NE(make(kFamilyYUVPacked, 0, 1, 250000000), nullptr);
    EXPECT_EQ(make(kFamilyYUVPacked, 0, 1, 300000000), nullptr);
    EXPECT_EQ(make(kFamilyYUVPacked, 5, 1, 100000000), nullptr);
    // One-pixel groups never shift; here the bitmap (4 bytes a row) is what does not fit.
    EXPECT_NE(make(kFamilyYUVPacked, 4, 1, 500000000), nullptr);
    EXPECT_EQ(make(kFamilyYUVPacked, 4, 1, 700000000), nullptr);
    EXPECT_EQ(make(kFamilyYUVPacked, 0, 100000, 100000), nullptr);
    // Planar: the padded planes, or the bitmap.
    EXPECT_EQ(make(kFamilyYUVPlanar, 0, 46341, 46341), nullptr);
    EXPECT_NE(make(kFamilyYUVPlanar, 0, 3, 100000000), nullptr);
    EXPECT_EQ(make(kFamilyYUVPlanar, 0, 3, 200000000), nullptr);
}

// ---- packed frames ---------------------------------------------------------------------------

TEST(YUVPackedFrame, RowsHoldWholeGroups) {
    TestFrame yuy2(kFamilyYUVPacked, 0, 640, 480, nullptr);
    EXPECT_EQ(yuy2->getDataSize(), 614400);
    EXPECT_EQ(yuy2->getBitmapSize(), 921600);
    EXPECT_EQ(yuy2->getDimensions()[0], 640);
    EXPECT_EQ(yuy2->getDimensions()[1], 480);
    EXPECT_EQ(TestFrame(kFamilyYUVPacked, 3, 5, 3, nullptr)->getDataSize(), 2 * 6 * 3);
    EXPECT_EQ(TestFrame(kFamilyYUVPacked, 3, 5, 3, nullptr)->getBitmapSize(), 16 * 3);
    EXPECT_EQ(TestFrame(kFamilyYUVPacked, 5, 7, 2, nullptr)->getDataSize(), 12 * 2);
    EXPECT_EQ(TestFrame(kFamilyYUVPacked, 6, 5, 2, nullptr)->getDataSize(), 15 * 2);
}

TEST(YUVPackedFrame, HandsOutSamplesAndBitmapsOfOneGroup) {
    MemoryLimiter limiter = roomyLimiter();
    TestFrame uyvy(kFamilyYUVPacked, 1, 2, 1, &limiter);
    const unsigned char group[4] = {0x80, 0x10, 0x80, 0xEB};
    ASSERT_EQ(uyvy->copyData(group), 4);
    EXPECT_TRUE(sameBytes(takeBytes(uyvy->getNativeHostArray()), Bytes{16, 235, 128, 128, 128, 128}));
    EXPECT_TRUE(sameBytes(takeBytes(uyvy->getHostArray(kColorSpaceYUV | kColorSpaceRGB)),
                          Bytes{16, 235, 128, 128, 128, 128}));
    EXPECT_TRUE(sameBytes(takeBytes(uyvy->getHostArray(kColorSpaceRGB)), Bytes{0, 255, 0, 255, 0, 255}));
    HostArray mono = uyvy->getHostArray(kColorSpaceMonochrome);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(haGetNumberOfDimensions(mono), 2);
    EXPECT_TRUE(sameBytes(takeBytes(mono), Bytes{16, 235}));

    Bytes pixels(8, 0xA5);
    BITMAPINFOHEADER header;
    uyvy->fillBitmap(&header, pixels.data());
    EXPECT_TRUE(sameBytes(pixels, Bytes{0, 0, 0, 255, 255, 255, 0xA5, 0xA5}));
    EXPECT_EQ(header.biBitCount, 24);
}

TEST(YUVPackedFrame, EightPixelGroupsShareChromaByHalves) {
    MemoryLimiter limiter = roomyLimiter();
    TestFrame frame(kFamilyYUVPacked, 5, 8, 1, &limiter);
    Bytes group(12);
    for (int i = 0; i < 12; ++i) group[i] = static_cast<unsigned char>(10 + i);
    frame->copyData(group.data());
    EXPECT_TRUE(sameBytes(takeBytes(frame->getNativeHostArray()),
                          Bytes{11, 13, 15, 17, 18, 19, 20, 21,    // Y
                                10, 10, 10, 10, 14, 14, 14, 14,    // U
                                12, 12, 12, 12, 16, 16, 16, 16})); // V
}

TEST(YUVFrames, WithoutDataHandOutNothingAndWriteNothing) {
    TestFrame packed(kFamilyYUVPacked, 0, 4, 2, nullptr), planar(kFamilyYUVPlanar, 1, 3, 3, nullptr);
    const Bytes source(64, 7);
    packed->copyRegion(source.data(), 8, 4, 1, 1);  // no limiter: no buffer
    planar->copyRegion(source.data(), 5, 5, 1, 1);
    for (IFrame* frame : {packed.get(), planar.get()}) {
        EXPECT_FALSE(frame->hasData());
        EXPECT_EQ(frame->getNativeHostArray(), nullptr);
        EXPECT_EQ(frame->getHostArray(kColorSpaceRGB), nullptr);
        EXPECT_EQ(frame->getHostArray(kColorSpaceMonochrome), nullptr);
        Bytes pixels(size_t(frame->getBitmapSize()), 0xA5);
        BITMAPINFOHEADER header;
        std::memset(&header, 0xA5, sizeof header);
        frame->fillBitmap(&header, pixels.data());
        EXPECT_TRUE(sameBytes(pixels, Bytes(pixels.size(), 0xA5)));
        EXPECT_EQ(header.biSize, 0xA5A5A5A5u);
    }
}

// ---- packed region copies --------------------------------------------------------------------

TEST(YUVPackedCopyRegion, AWindowStartingInsideAGroupShiftsTheRowsAndBack) {
    MemoryLimiter limiter = roomyLimiter();
    TestFrame frame(kFamilyYUVPacked, 0, 4, 2, &limiter);
    Bytes source(64);  // 8 x 4 pixels, 16 bytes a row
    for (int i = 0; i < 64; ++i) source[i] = static_cast<unsigned char>(i);

    // Pixel 3 of row 2 is the second pixel of the group at byte 36: three groups a row from there.
    frame->copyRegion(source.data(), 8, 4, 3, 2);
    EXPECT_EQ(frame->getDataSize(), 24);
    EXPECT_EQ(limiter.getMemoryUsed(), 24);
    Bytes expected(source.begin() + 36, source.begin() + 48);
    expected.insert(expected.end(), source.begin() + 52, source.end());
    EXPECT_TRUE(sameBytes(bufferOf(frame.get()), expected));
    EXPECT_TRUE(sameBytes(takeBytes(frame->getNativeHostArray()),
                          Bytes{38, 54, 40, 56, 42, 58, 44, 60,     // Y: Y1 of the first group .. Y0 of the third
                                37, 53, 41, 57, 41, 57, 45, 61,     // U
                                39, 55, 43, 59, 43, 59, 47, 63}));  // V

    // Back on a group boundary: two groups a row again, in a new buffer.
    frame->copyRegion(source.data(), 8, 4, 4, 2);
    EXPECT_EQ(frame->getDataSize(), 16);
    EXPECT_EQ(limiter.getMemoryUsed(), 16);
    expected.assign(source.begin() + 40, source.begin() + 48);
    expected.insert(expected.end(), source.begin() + 56, source.end());
    EXPECT_TRUE(sameBytes(bufferOf(frame.get()), expected));

    // A whole-frame copy after a shifted one returns to the plain rows and copies them in one block.
    frame->copyRegion(source.data(), 8, 4, 1, 0);
    EXPECT_EQ(frame->getDataSize(), 24);
    const Bytes whole(source.begin(), source.begin() + 16);
    frame->copyRegion(whole.data(), 4, 2, 0, 0);
    EXPECT_EQ(frame->getDataSize(), 16);
    EXPECT_EQ(limiter.getMemoryUsed(), 16);
    EXPECT_TRUE(sameBytes(bufferOf(frame.get()), whole));
}

TEST(YUVPackedCopyRegion, AShiftedWindowAtTheRightEdgeReadsOnlyTheSource) {
    MemoryLimiter limiter = roomyLimiter();
    TestFrame frame(kFamilyYUVPacked, 0, 3, 2, &limiter);
    Bytes source(16);  // 4 x 2 pixels: two groups a row, and nothing after the last row
    for (int i = 0; i < 16; ++i) source[i] = static_cast<unsigned char>(100 + i);
    frame->copyRegion(source.data(), 4, 2, 1, 0);
    ASSERT_EQ(frame->getDataSize(), 24);  // three groups a row, the third beyond the source
    std::memset(frame->getData(), 0xEE, 24);
    frame->copyRegion(source.data(), 4, 2, 1, 0);  // same layout: the buffer and its third groups stay
    Bytes expected(source.begin(), source.begin() + 8);
    expected.insert(expected.end(), 4, 0xEE);
    expected.insert(expected.end(), source.begin() + 8, source.end());
    expected.insert(expected.end(), 4, 0xEE);
    EXPECT_TRUE(sameBytes(bufferOf(frame.get()), expected));
    EXPECT_TRUE(sameBytes(takeBytes(frame->getNativeHostArray()),
                          Bytes{102, 110, 104, 112, 106, 114, 101, 109, 105, 113, 105, 113, 103, 111, 107, 115,
                                107, 115}));
}

TEST(YUVPackedCopyRegion, ARefusedWindowChangesNeitherLayoutNorBuffer) {
    MemoryLimiter limiter = roomyLimiter();
    TestFrame frame(kFamilyYUVPacked, 0, 4, 2, &limiter);
    const Bytes first(16, 1), source(64, 2);
    frame->copyData(first.data());
    unsigned char* buffer = frame->getData();
    const int refused[][4] = {
        {8, 4, 5, 0},   // right edge crossed, and a shifted layout would have been needed
        {8, 4, -1, 0},  // negative offset
        {8, 4, 4, 3},   // bottom edge crossed
        {8, 0, 0, 0},   // empty source
    };
    for (const auto& w : refused) {
        frame->copyRegion(source.data(), w[0], w[1], w[2], w[3]);
        EXPECT_EQ(frame->getDataSize(), 16);
        EXPECT_EQ(frame->getData(), buffer);
        EXPECT_TRUE(sameBytes(bufferOf(frame.get()), first));
    }
    frame->copyRegion(nullptr, 8, 4, 1, 0);
    EXPECT_EQ(frame->getDataSize(), 16);
    EXPECT_EQ(limiter.getMemoryUsed(), 16);
}

TEST(YUVPackedMemory, TheLimiterIsChargedExactlyWhatTheBufferHoldsAcrossLayoutSwitches) {
    MemoryLimiter limiter;
    limiter.setMemoryLimit(1000);
    auto* frame = frameFactory(makeFrameTypeCode(kFamilyYUVPacked, 3, false), 5, 2);  // 4 pixels in 6 bytes
    frame->setMemoryLimiter(&limiter);
    const Bytes source(6 * 5 * 3, 9);  // 17 x 3 pixels: five groups a row
    const auto held = [&] { return frame->hasData() ? frame->getDataSize() : 0; };

    frame->copyRegion(source.data(), 17, 3, 0, 1);
    EXPECT_EQ(frame->getDataSize(), 24);
    EXPECT_EQ(limiter.getMemoryUsed(), held());
    frame->copyRegion(source.data(), 17, 3, 1, 1);
    EXPECT_EQ(frame->getDataSize(), 36);
    EXPECT_EQ(limiter.getMemoryUsed(), 36);
    // Another offset inside the group keeps the row size, and with it the buffer.
    unsigned char* shifted = frame->getData();
    frame->copyRegion(source.data(), 17, 3, 7, 0);
    EXPECT_EQ(frame->getData(), shifted);
    EXPECT_EQ(limiter.getMemoryUsed(), 36);
    frame->copyRegion(source.data(), 17, 3, 8, 0);
    EXPECT_EQ(limiter.getMemoryUsed(), 24);

    // The limit refuses the wider rows: the layout switch stays, the frame holds nothing.
    limiter.setMemoryLimit(30);
    frame->copyRegion(source.data(), 17, 3, 2, 0);
    EXPECT_FALSE(frame->hasData());
    EXPECT_EQ(frame->getDataSize(), 36);
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
    frame->copyRegion(source.data(), 5, 2, 0, 0);  // whole frame: plain rows fit
    EXPECT_TRUE(frame->hasData());
    EXPECT_EQ(limiter.getMemoryUsed(), 24);
    EXPECT_EQ(limiter.getMemoryUsed(), held());
    frame->release();
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

// Every packed layout, odd widths, every offset inside a group, windows flush against the source's
// right and bottom edges, sources flush against the end of their allocation; one frame per size
// goes through all the offsets in turn, switching layouts as it goes.
TEST(YUVPackedCopyRegion, MatchesAnIndependentDecodingOfTheSource) {
    std::mt19937 random(2024);
    MemoryLimiter limiter = roomyLimiter();
    for (int format = 0; format < 7; ++format) {
        const int n = packedPixels[format], b = packedBytes[format];
        for (int width : {1, 2, 3, 5, 7, 9, 13, 17}) {
            for (int height : {1, 2, 3}) {
                TestFrame frame(kFamilyYUVPacked, format, width, height, &limiter);
                for (int s = 0; s < n; ++s) {
                    const int x = n * int(random() % 3) + s, y = int(random() % 3);
                    const int srcWidth = x + width + (random() % 2 ? 0 : int(random() % (n + 1)));
                    const int srcHeight = y + height + int(random() % 2);
                    const int srcStride = (srcWidth + n - 1) / n * b;
                    const Bytes source = randomBytes(random, size_t(srcStride) * srcHeight);
                    SCOPED_TRACE(::testing::Message() << "format " << format << ", " << width << " x " << height
                                                      << " at (" << x << ", " << y << ") of " << srcWidth
                                                      << " x " << srcHeight);
                    frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);
                    ASSERT_TRUE(frame->hasData());
                    EXPECT_EQ(limiter.getMemoryUsed(), frame->getDataSize());
                    Image image;
                    for (int r = 0; r < height; ++r)
                        for (int c = 0; c < width; ++c)
                            image.push_back(packedPixel(format, &source[size_t(y + r) * srcStride], x + c));
                    expectImage(frame.get(), width, height, image);
                }
                // And the whole frame, from a source of exactly its size.
                const int stride = (width + n - 1) / n * b;
                const Bytes whole = randomBytes(random, size_t(stride) * height);
                frame->copyRegion(whole.data(), width, height, 0, 0);
                EXPECT_EQ(frame->getDataSize(), stride * height);
                EXPECT_EQ(limiter.getMemoryUsed(), stride * height);
                Image image;
                for (int r = 0; r < height; ++r)
                    for (int c = 0; c < width; ++c) image.push_back(packedPixel(format, &whole[size_t(r) * stride], c));
                expectImage(frame.get(), width, height, image);
            }
        }
    }
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

// ---- planar frames ---------------------------------------------------------------------------

TEST(YUVPlanarFrame, PadsToWholeChromaBlocks) {
    TestFrame i420(kFamilyYUVPlanar, 2, 640, 480, nullptr);
    EXPECT_EQ(i420->getDataSize(), 460800);
    EXPECT_EQ(i420->getBitmapSize(), 921600);
    TestFrame sub4(kFamilyYUVPlanar, 0, 10, 6, nullptr);
    EXPECT_EQ(sub4->getDataSize(), 96 + 2 * 6);
    EXPECT_EQ(sub4->getDimensions()[0], 10);
    EXPECT_EQ(sub4->getDimensions()[1], 6);
    EXPECT_EQ(sub4->getDimensions()[2], 3);
    EXPECT_EQ(TestFrame(kFamilyYUVPlanar, 1, 3, 3, nullptr)->getDataSize(), 24);
}

TEST(YUVPlanarFrame, RepeatsEachChromaSampleOverItsBlockWhateverThePlaneOrder) {
    MemoryLimiter limiter = roomyLimiter();
    const unsigned char planes[6] = {50, 60, 70, 80, 90, 100};
    TestFrame yuv(kFamilyYUVPlanar, 2, 2, 2, &limiter), yvu(kFamilyYUVPlanar, 1, 2, 2, &limiter);
    yuv->copyData(planes);
    yvu->copyData(planes);
    EXPECT_TRUE(sameBytes(takeBytes(yuv->getNativeHostArray()),
                          Bytes{50, 70, 60, 80, 90, 90, 90, 90, 100, 100, 100, 100}));
    EXPECT_TRUE(sameBytes(takeBytes(yvu->getNativeHostArray()),
                          Bytes{50, 70, 60, 80, 100, 100, 100, 100, 90, 90, 90, 90}));

    // 4 x 4 blocks: pixel (5, 9) of a 12 x 8 frame takes byte 5 of each chroma plane (V, then U).
    TestFrame sub4(kFamilyYUVPlanar, 0, 12, 8, &limiter);
    Bytes buffer(108);
    for (int i = 0; i < 108; ++i) buffer[i] = static_cast<unsigned char>(i);
    sub4->copyData(buffer.data());
    const Bytes bands = takeBytes(sub4->getNativeHostArray());
    const size_t at = 9 * 8 + 5;
    EXPECT_EQ(bands[at], 5 * 12 + 9);
    EXPECT_EQ(bands[96 + at], 96 + 6 + 5);
    EXPECT_EQ(bands[2 * 96 + at], 96 + 5);
}

// ---- planar region copies --------------------------------------------------------------------

TEST(YUVPlanarCopyRegion, ASourceOfTheUnpaddedSizeFillsOnlyWhatItHolds) {
    MemoryLimiter limiter = roomyLimiter();
    TestFrame frame(kFamilyYUVPlanar, 1, 3, 3, &limiter);  // padded to 4 x 4, chroma 2 x 2
    frame->copyData(Bytes(24, 0xEE).data());
    // 3 x 3 luma, then two chroma planes of 9 / 4 = 2 bytes in rows of 3 / 2 = 1 byte.
    const Bytes source = {1, 2, 3, 4, 5, 6, 7, 8, 9, 20, 21, 30, 31};
    frame->copyRegion(source.data(), 3, 3, 0, 0);
    EXPECT_TRUE(sameBytes(bufferOf(frame.get()),
                          Bytes{1, 2, 3, 0xEE, 4, 5, 6, 0xEE, 7, 8, 9, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,  // Y
                                20, 0xEE, 21, 0xEE,                                                   // V
                                30, 0xEE, 31, 0xEE}));                                                // U

    // A source of the padded size at the origin is the whole frame, copied as one block.
    Bytes padded(24);
    for (int i = 0; i < 24; ++i) padded[i] = static_cast<unsigned char>(i);
    frame->copyRegion(padded.data(), 4, 4, 0, 0);
    EXPECT_TRUE(sameBytes(bufferOf(frame.get()), padded));

    // The window rules look at the image, not its padding.
    frame->copyRegion(source.data(), 3, 3, 1, 0);
    frame->copyRegion(source.data(), 3, 2, 0, 0);
    frame->copyRegion(nullptr, 4, 4, 0, 0);
    EXPECT_TRUE(sameBytes(bufferOf(frame.get()), padded));
}

// Every planar layout at odd sizes, every offset inside a chroma block, sources of the padded and the
// unpadded size (and larger), flush against the end of their allocation. The frame starts with known
// bytes, so that what the copy must leave alone is checked too.
TEST(YUVPlanarCopyRegion, MatchesAnIndependentReadingOfTheSource) {
    std::mt19937 random(1997);
    MemoryLimiter limiter = roomyLimiter();
    for (int format = 0; format < 3; ++format) {
        const int f = planarFactor[format];
        const bool uFirst = format == 2;
        for (int width : {1, 2, 3, 5, 7, 9, 13}) {
            for (int height : {1, 2, 3, 5, 7}) {
                const int pw = (width + f - 1) / f * f, ph = (height + f - 1) / f * f;
                const int luma = pw * ph, chroma = luma / (f * f);
                TestFrame frame(kFamilyYUVPlanar, format, width, height, &limiter);
                ASSERT_EQ(frame->getDataSize(), luma + 2 * chroma);
                for (int s = 0; s <= f; ++s) {
                    // s == f: the origin, with a source of the padded size (the one-block copy).
                    const bool origin = s == f;
                    const int x = origin ? 0 : f * int(random() % 2) + s;
                    const int y = origin ? 0 : int(random() % (2 * f));
                    const int choice = int(random() % 3);  // window of the image, of the padding, or more
                    const int srcWidth = origin ? pw : x + (choice == 0 ? width : choice == 1 ? pw : pw + 1);
                    const int srcHeight = origin ? ph : y + (choice == 0 ? height : int(random() % 2) ? ph : ph + 2);
                    const int srcLuma = srcWidth * srcHeight, srcPlane = srcLuma / (f * f), srcRow = srcWidth / f;
                    const Bytes source = randomBytes(random, size_t(srcLuma) + 2 * size_t(srcPlane));
                    const Bytes before = randomBytes(random, size_t(luma + 2 * chroma));
                    frame->copyData(before.data());
                    SCOPED_TRACE(::testing::Message() << "format " << format << ", " << width << " x " << height
                                                      << " at (" << x << ", " << y << ") of " << srcWidth
                                                      << " x " << srcHeight);
                    frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);

                    Bytes expected = before;
                    for (int k = 0; k < ph; ++k)
                        for (int j = 0; j < pw; ++j)
                            if (y + k < srcHeight && x + j < srcWidth)
                                expected[k * pw + j] = source[(y + k) * srcWidth + x + j];
                    for (int m = 0; m < ph / f; ++m)
                        for (int j = 0; j < pw / f; ++j) {
                            const int at = (y / f + m) * srcRow + x / f + j;
                            if (x / f + j >= srcRow || at >= srcPlane) continue;
                            expected[luma + m * (pw / f) + j] = source[srcLuma + at];
                            expected[luma + chroma + m * (pw / f) + j] = source[srcLuma + srcPlane + at];
                        }
                    ASSERT_TRUE(sameBytes(bufferOf(frame.get()), expected));

                    const unsigned char* u = &expected[luma + (uFirst ? 0 : chroma)];
                    const unsigned char* v = &expected[luma + (uFirst ? chroma : 0)];
                    Image image;
                    for (int r = 0; r < height; ++r)
                        for (int c = 0; c < width; ++c) {
                            const int block = (r / f) * (pw / f) + c / f;
                            image.push_back({expected[r * pw + c], u[block], v[block]});
                        }
                    expectImage(frame.get(), width, height, image);
                }
            }
        }
    }
    EXPECT_EQ(limiter.getMemoryUsed(), 0);
}

}  // namespace
