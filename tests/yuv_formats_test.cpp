// Packed (family 0x03) and planar (0x04) YUV frames: small hand-checked layouts, randomised
// cross-checks of every layout against its description, windows (inside a group or chroma block, at
// the source's edges, padded past the source) and their rules, and what the factory refuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "formats/ColumnMajor.h"
#include "frame_helpers.h"
#include "failing_allocation.h"

using zorvframekit::kColorSpaceRGB;
using zorvframekit::kFamilyYUVPacked;
using zorvframekit::kFamilyYUVPlanar;
using zorvframekit::makeFrameTypeCode;

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<int> Ints;

FrameTypeCode packed(int format) { return makeFrameTypeCode(kFamilyYUVPacked, static_cast<uint32_t>(format), false); }
FrameTypeCode planar(int format) { return makeFrameTypeCode(kFamilyYUVPlanar, static_cast<uint32_t>(format), false); }

// `size` bytes counting up from each start in turn: rows cut from a source whose bytes count up.
Bytes runs(std::initializer_list<int> starts, int size) {
    Bytes out;
    for (int start : starts)
        for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(start + i));
    return out;
}

// Group sizes of the packed layouts, by format index.
const int groupBytes[7] = {4, 4, 4, 6, 3, 12, 3};
const int groupPixels[7] = {2, 2, 2, 4, 1, 8, 1};

struct Pixel { int y, u, v; };

// The samples of pixel position p of a packed row, read off each layout's byte order.
Pixel packedPixel(int format, const unsigned char* row, int p) {
    const unsigned char* g = row + (p / groupPixels[format]) * groupBytes[format];
    const int j = p % groupPixels[format];
    switch (format) {
    case 0: return {g[j ? 2 : 0], g[1], g[3]};      // Y0 U Y1 V
    case 1: return {g[j ? 3 : 1], g[0], g[2]};      // U Y0 V Y1
    case 2: return {g[j ? 2 : 0], g[3], g[1]};      // Y0 V Y1 U
    case 3: return {g[1 + j + j / 2], g[0], g[3]};  // U Y0 Y1 V Y2 Y3
    case 4: return {g[1], g[0], g[2]};              // U Y V
    // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
    case 5: return {g[j < 4 ? 1 + 2 * j : 4 + j], g[j < 4 ? 0 : 4], g[j < 4 ? 2 : 6]};
    default: return {g[2], g[0], g[1]};             // U V Y
    }
}

int clampByte(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// Checks the native host array and the bitmap (video-range BT.601 to RGB, written blue first, bottom
// row first, into areas holding a sentinel) against the image whose pixel (r, c) is pixelAt(r, c).
template <typename PixelAt>
void expectImage(IFrame* frame, int width, int height, PixelAt pixelAt) {
    const int n = width * height, stride = (3 * width + 3) & ~3;
    Ints host(3 * static_cast<size_t>(n)), bitmap(static_cast<size_t>(stride) * height, kSentinel);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const Pixel p = pixelAt(r, c);
            host[c * height + r] = p.y, host[n + c * height + r] = p.u, host[2 * n + c * height + r] = p.v;
            const int l = 298 * (p.y - 16) + 128, d = p.u - 128, e = p.v - 128;
            int* out = &bitmap[(height - 1 - r) * stride + 3 * c];
            out[0] = clampByte((l + 516 * d) >> 8), out[1] = clampByte((l - 100 * d - 208 * e) >> 8);
            out[2] = clampByte((l + 409 * e) >> 8);
        }
    HostArray native = frame->getNativeHostArray();
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(dimensionsOf(native), (Ints{height, width, 3}));
    EXPECT_EQ(haGetClassID(native), haUint8Class);
    EXPECT_EQ(hostElements<uint8_t>(native), host);
    const Bitmap got = bitmapOf(frame);
    EXPECT_TRUE(isPlainHeader(got.header, width, height, 24));
    EXPECT_EQ(Ints(got.pixels.begin(), got.pixels.end()), bitmap);
}

TEST(YUVFrames, HandCheckedLayouts) {
    // Format 1, one group of black and white: host array, bitmap and the conversions.
    TestFrameHandle uyvy(packed(1), 2, 1);
    ASSERT_EQ(uyvy->copyData(Bytes{0x80, 0x10, 0x80, 0xEB}.data()), 4);
    EXPECT_EQ(hostElements<uint8_t>(uyvy->getNativeHostArray()), (Ints{16, 235, 128, 128, 128, 128}));
    EXPECT_EQ(bitmapOf(uyvy.frame.get()).pixels, (Bytes{0, 0, 0, 255, 255, 255, kSentinel, kSentinel}));
    EXPECT_EQ(hostElements<uint8_t>(uyvy->getHostArray(kColorSpaceRGB)), (Ints{0, 255, 0, 255, 0, 255}));
    EXPECT_EQ(hostElements<uint8_t>(uyvy->getHostArray(zorvframekit::kColorSpaceMonochrome)), (Ints{16, 235}));
    // Format 5: pixels 0-3 share U and V at bytes 0 and 2, pixels 4-7 those at bytes 4 and 6.
    TestFrameHandle eight(packed(5), 8, 1);
    ASSERT_EQ(eight->copyData(runs({10}, 12).data()), 12);
    EXPECT_EQ(hostElements<uint8_t>(eight->getNativeHostArray()),
              (Ints{11, 13, 15, 17, 18, 19, 20, 21, 10, 10, 10, 10, 14, 14, 14, 14, 12, 12, 12, 12, 16, 16, 16, 16}));
    // A 10 x 6 frame with 4 x 4 chroma blocks pads to 12 x 8: 96 luma and twice 6 chroma bytes.
    TestFrameHandle padded(planar(0), 10, 6);
    EXPECT_EQ(padded->getDataSize(), 108);
}

// A 4 x 2 frame cut from an 8 x 4 source, 16 bytes a row: the rows switch to three groups for a
// window starting inside a group and back, the limiter charged exactly what the buffer holds.
TEST(YUVPackedFrames, AWindowStartingInsideAGroupShiftsTheRowsAndBack) {
    TestFrameHandle frame(packed(0), 4, 2);
    const Bytes source = runs({0}, 64);
    // Pixel 3 of row 2 is the second pixel of the group at byte 36.
    frame->copyRegion(source.data(), 8, 4, 3, 2);
    EXPECT_EQ(bufferOf(frame.frame.get()), runs({36, 52}, 12));
    EXPECT_EQ(frame.limiter->getMemoryUsed(), 24);
    EXPECT_EQ(hostElements<uint8_t>(frame->getNativeHostArray()),
              (Ints{38, 54, 40, 56, 42, 58, 44, 60, 37, 53, 41, 57, 41, 57, 45, 61, 39, 55, 43, 59, 43, 59, 47, 63}));
    // Another window inside a group keeps the row size, and with it the buffer.
    const unsigned char* shifted = frame->getData();
    frame->copyRegion(source.data(), 8, 4, 1, 0);
    EXPECT_EQ(frame->getData(), shifted);
    EXPECT_EQ(bufferOf(frame.frame.get()), runs({0, 16}, 12));
    // Back on a group boundary: two groups a row again.
    frame->copyRegion(source.data(), 8, 4, 4, 2);
    EXPECT_EQ(bufferOf(frame.frame.get()), runs({40, 56}, 8));
    EXPECT_EQ(frame.limiter->getMemoryUsed(), 16);
    // The limit refuses the wider rows: the layout switches, the frame holds nothing.
    frame.limiter->setMemoryLimit(20);
    frame->copyRegion(source.data(), 8, 4, 3, 1);
    EXPECT_FALSE(frame->hasData());
    EXPECT_EQ(frame.limiter->getMemoryUsed(), 0);
    // A whole-frame copy returns to the plain rows, which fit.
    frame->copyRegion(source.data(), 4, 2, 0, 0);
    EXPECT_EQ(bufferOf(frame.frame.get()), runs({0}, 16));
    EXPECT_EQ(frame.limiter->getMemoryUsed(), 16);
}

// Every packed layout at odd widths, every offset inside a group, windows flush against the source's
// edges or not, sources ending where their allocation ends; each frame switches layouts as it goes.
TEST(YUVPackedFrames, EveryLayoutOffsetAndEdgeMatchesAnIndependentDecoding) {
    std::mt19937 random(2024);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int format = 0; format < 7; ++format) {
        const int n = groupPixels[format], b = groupBytes[format];
        for (int width : {1, 2, 3, 5, 7, 9, 13, 17})
            for (int height : {1, 2, 3}) {
                TestFrameHandle frame(packed(format), width, height);
                for (int round = 0; round <= 2 * n; ++round) {  // offset round / 2; last the whole frame
                    const bool whole = round == 2 * n, flush = round % 2 == 0;
                    const int x = whole ? 0 : n * pick(3) + round / 2, y = whole ? 0 : pick(3);
                    const int srcWidth = x + width + (flush ? 0 : 1 + pick(n)), srcHeight = y + height + !flush;
                    const int srcStride = (srcWidth + n - 1) / n * b;
                    FlushBuffer source(static_cast<size_t>(srcStride) * srcHeight);
                    source.randomise(random());
                    SCOPED_TRACE(testing::Message() << "format " << format << ", " << width << "x" << height << " at "
                                                    << x << "," << y << " of " << srcWidth << "x" << srcHeight);
                    frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);
                    EXPECT_EQ(frame->getDataSize(), ((width + n - 1) / n + (x % n != 0)) * b * height);
                    EXPECT_EQ(frame.limiter->getMemoryUsed(), frame->getDataSize());
                    expectImage(frame.frame.get(), width, height, [&](int r, int c) {
                        return packedPixel(format, source.data() + (y + r) * srcStride, x + c);
                    });
                }
            }
    }
}

// Every planar layout at odd sizes, every offset inside a chroma block, sources ending at the image's
// edge, at the padding's or beyond, and a source of the padded size at the origin (one block copy).
TEST(YUVPlanarFrames, EveryLayoutOffsetAndSourceSizeMatchesAnIndependentReading) {
    std::mt19937 random(1997);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int format = 0; format < 3; ++format) {
        const int f = format == 0 ? 4 : 2;
        for (int width : {1, 2, 3, 5, 7, 9, 13})
            for (int height : {1, 2, 3, 5, 7}) {
                const int pw = (width + f - 1) / f * f, ph = (height + f - 1) / f * f, cw = pw / f;
                const int luma = pw * ph, chroma = luma / (f * f);
                TestFrameHandle frame(planar(format), width, height);
                ASSERT_EQ(frame->getDataSize(), luma + 2 * chroma);
                FlushBuffer start(static_cast<size_t>(luma + 2 * chroma));  // known bytes to be left alone
                start.randomise(random());
                frame->copyData(start.data());
                for (int s = 0; s <= f; ++s) {  // s == f: the origin
                    const int x = s == f ? 0 : f * pick(2) + s, y = s == f ? 0 : pick(2 * f);
                    const int end = s == f ? 1 : pick(3);
                    const int srcWidth = x + (end == 0 ? width : end == 1 ? pw : pw + 1);
                    const int srcHeight = y + (end == 0 ? height : end == 1 ? ph : ph + 2);
                    const int srcLuma = srcWidth * srcHeight, srcPlane = srcLuma / (f * f), srcRow = srcWidth / f;
                    FlushBuffer source(static_cast<size_t>(srcLuma + 2 * srcPlane));
                    source.randomise(random());
                    Bytes expected = bufferOf(frame.frame.get());
                    SCOPED_TRACE(testing::Message() << "format " << format << ", " << width << "x" << height << " at "
                                                    << x << "," << y << " of " << srcWidth << "x" << srcHeight);
                    frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);
                    // The padded window takes what the source holds; chroma from the block holding (x, y).
                    const unsigned char* src = source.data();
                    for (int k = 0; k < ph && y + k < srcHeight; ++k)
                        for (int j = 0; j < pw && x + j < srcWidth; ++j)
                            expected[k * pw + j] = src[(y + k) * srcWidth + x + j];
                    for (int m = 0; m < ph / f; ++m)
                        for (int j = x / f; j < x / f + cw && j < srcRow && (y / f + m) * srcRow + j < srcPlane; ++j) {
                            const int at = (y / f + m) * srcRow + j, to = luma + m * cw + j - x / f;
                            expected[to] = src[srcLuma + at];
                            expected[to + chroma] = src[srcLuma + srcPlane + at];
                        }
                    ASSERT_EQ(bufferOf(frame.frame.get()), expected);
                    // Planes Y, V, U; format 2 has U before V.
                    const unsigned char* u = &expected[luma + (format == 2 ? 0 : chroma)];
                    const unsigned char* v = &expected[luma + (format == 2 ? chroma : 0)];
                    expectImage(frame.frame.get(), width, height, [&](int r, int c) {
                        return Pixel{expected[r * pw + c], u[r / f * cw + c / f], v[r / f * cw + c / f]};
                    });
                }
            }
    }
}

TEST(YUVWindows, ARefusedWindowAllocatesNothingAndChangesNeitherLayoutNorData) {
    const Bytes source(64, 2);
    const struct { FrameTypeCode code; int width, height, srcWidth, srcHeight, x, y; } cases[] = {
        {packed(0), 4, 2, 8, 4, 5, 0},  // right edge crossed where shifted rows would be needed
        {packed(0), 4, 2, 8, 4, -1, 0}, {packed(0), 4, 2, 8, 4, 4, 3}, {packed(5), 3, 1, INT32_MAX, 1, INT32_MAX - 1, 0},
        {planar(1), 3, 3, 3, 3, 1, 0}, {planar(1), 3, 3, 3, 2, 0, 0},  // the image, not its padding, must fit
    };
    for (const auto& c : cases) {
        TestFrameHandle fresh(c.code, c.width, c.height), held(c.code, c.width, c.height);
        const Bytes before(static_cast<size_t>(held->getDataSize()), 1);
        held->copyData(before.data());
        const unsigned char* buffer = held->getData();
        for (IFrame* frame : {fresh.frame.get(), held.frame.get()}) {
            frame->copyRegion(source.data(), c.srcWidth, c.srcHeight, c.x, c.y);
            frame->copyRegion(nullptr, 8, 4, 1, 0);
        }
        SCOPED_TRACE(testing::Message() << std::hex << c.code << std::dec << " window at " << c.x << "," << c.y);
        EXPECT_FALSE(fresh->hasData());
        EXPECT_EQ(fresh.limiter->getMemoryUsed(), 0);
        EXPECT_EQ(fresh->getDataSize(), static_cast<int>(before.size()));
        EXPECT_EQ(held->getData(), buffer);
        EXPECT_EQ(bufferOf(held.frame.get()), before);
    }
}

TEST(YUVFrames, WithoutDataHandOutNothingAndWriteNothing) {
    for (FrameTypeCode code : {packed(0), planar(1)}) {
        std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(code, 3, 3));  // no limiter: never a buffer
        frame->copyRegion(Bytes(64, 7).data(), 8, 4, 1, 1);
        EXPECT_EQ(frame->getNativeHostArray(), nullptr);
        EXPECT_EQ(frame->getHostArray(kColorSpaceRGB), nullptr);
        const Bitmap bitmap = bitmapOf(frame.get());
        const unsigned char* header = reinterpret_cast<const unsigned char*>(&bitmap.header);
        EXPECT_EQ(Bytes(header, header + sizeof bitmap.header), Bytes(sizeof bitmap.header, kSentinel));
        EXPECT_EQ(bitmap.pixels, Bytes(bitmap.pixels.size(), kSentinel));
    }
}

TEST(YUVFactory, RefusesUnknownFormatIndexesAndSizesThatDoNotFitAnInt) {
    const struct { FrameTypeCode code; int width, height; bool made; } cases[] = {
        {packed(7), 6, 2, false}, {packed(0xFF), 6, 2, false}, {planar(3), 6, 2, false},
        {planar(1), 0, 2, false}, {packed(1), 2, -1, false},
        // One pixel wide: 4 bytes a row, 8 once a window starting inside a group adds its group.
        {packed(0), 1, 250000000, true}, {packed(0), 1, 300000000, false}, {packed(5), 1, 100000000, false},
        // One-pixel groups never shift; here the bitmap's 4-byte rows are what does not fit.
        {packed(4), 1, 500000000, true}, {packed(4), 1, 700000000, false},
        // Planar: the padded planes (4 x 500000000 luma bytes, with chroma), or the bitmap.
        {planar(0), 1, 500000000, false}, {planar(0), 3, 100000000, true}, {planar(0), 3, 200000000, false},
    };
    for (const auto& c : cases) {
        std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(c.code, c.width, c.height));
        EXPECT_EQ(frame != nullptr, c.made) << std::hex << c.code << std::dec << " " << c.width << "x" << c.height;
    }
}

TEST(YUVPackedLayout, AHostArrayIsNotLeftBehindWhenItsScratchCannotBeMade) {
    TestFrameHandle frame(0x03000000, 5, 2);  // YUY2
    ASSERT_TRUE(frame);
    std::vector<unsigned char> raw(static_cast<size_t>(frame->getDataSize()), 7);
    frame->copyData(raw.data());
    // A refusal is an exception where the caller can catch one, a null array where it cannot.
    testhook::failNextAllocation();  // the scratch, made before the array
    if (zorvframekit::platform::kExceptionsReachCallers)
        EXPECT_THROW(frame->getNativeHostArray(), std::bad_alloc);
    else
        EXPECT_EQ(frame->getNativeHostArray(), nullptr);
    EXPECT_TRUE(testhook::allocationFailed());
    EXPECT_EQ(haTestLiveArrays(), 0);
    HostArray array = frame->getNativeHostArray();  // and the next call works
    EXPECT_NE(array, nullptr);
    haFree(array);
}

}  // namespace
