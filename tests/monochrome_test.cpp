// Monochrome frames: raw layouts of 8 to 16 bits in either byte and row order, windows, host arrays
// and 8-bit bitmaps.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/ColumnMajor.h"
#include "frame_helpers.h"

using zorvframekit::kFamilyMonochrome;
using zorvframekit::makeFrameTypeCode;

namespace {

FrameTypeCode mono(int formatIndex, bool bottomUp) {
    return makeFrameTypeCode(kFamilyMonochrome, static_cast<uint32_t>(formatIndex), bottomUp);
}

TEST(MonochromeLayout, A3x2EightBitFrameInBothRowOrders) {
    const unsigned char raw[6] = {1, 2, 3, 4, 5, 6};
    TestFrameHandle top(mono(0, false), 3, 2), bottom(mono(0, true), 3, 2);
    top->copyData(raw);
    bottom->copyData(raw);

    HostArray array = top->getNativeHostArray();
    EXPECT_EQ(dimensionsOf(array), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(haGetClassID(array), 9);
    EXPECT_EQ(hostElements<uint8_t>(array), (std::vector<int>{1, 4, 2, 5, 3, 6}));
    EXPECT_EQ(hostElements<uint8_t>(bottom->getNativeHostArray()), (std::vector<int>{4, 1, 5, 2, 6, 3}));

    EXPECT_EQ(top->getBitmapSize(), 8);
    const Bitmap topBitmap = bitmapOf(top.frame.get());
    EXPECT_EQ(topBitmap.pixels, (std::vector<unsigned char>{4, 5, 6, kSentinel, 1, 2, 3, kSentinel}));
    const Bitmap bottomBitmap = bitmapOf(bottom.frame.get());
    EXPECT_EQ(bottomBitmap.pixels, (std::vector<unsigned char>{1, 2, 3, kSentinel, 4, 5, 6, kSentinel}));

    const BITMAPINFOHEADER& h = topBitmap.header;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biYPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
}

TEST(MonochromeLayout, TwoByteSamplesPassTheirValueToTheHostAndTheirTopBitsToTheBitmap) {
    struct Case {
        int formatIndex;
        unsigned char bytes[2];
        int hostValue;
        int bitmapByte;
    };
    const Case cases[] = {
        {5, {0x03, 0xFF}, 1023, 255},  // 10-bit, most significant byte first
        {1, {0xFF, 0x03}, 1023, 255},  // 10-bit, least significant byte first
        {4, {0x34, 0x12}, 0x1234, 0x12},
        {8, {0x12, 0x34}, 0x1234, 0x12},
        {2, {0xBC, 0x0A}, 0x0ABC, 0xAB},
        {6, {0x0A, 0xBC}, 0x0ABC, 0xAB},
        {3, {0xFF, 0x3F}, 0x3FFF, 0xFF},
        {7, {0x20, 0x00}, 0x2000, 0x80},
        {1, {0x00, 0x12}, 0x1200, 0x80},  // a stray bit above bit 9 reaches the host, not the bitmap
    };
    for (const Case& c : cases) {
        TestFrameHandle frame(mono(c.formatIndex, false), 1, 1);
        frame->copyData(c.bytes);
        HostArray array = frame->getNativeHostArray();
        EXPECT_EQ(haGetClassID(array), 11) << c.formatIndex;
        EXPECT_EQ(hostElements<uint16_t>(array), std::vector<int>{c.hostValue}) << c.formatIndex;
        EXPECT_EQ(bitmapOf(frame.frame.get()).pixels[0], c.bitmapByte) << c.formatIndex;
    }
}

TEST(MonochromeLayout, SizesDepthsAndClasses) {
    const int depths[9] = {8, 10, 12, 14, 16, 10, 12, 14, 16};
    for (int f = 0; f < 9; ++f) {
        TestFrameHandle frame(mono(f, false), 640, 480);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->getDataSize(), f == 0 ? 307200 : 614400);
        EXPECT_EQ(frame->getBitDepth(), depths[f]);
        EXPECT_EQ(frame->getHostClassID(), f == 0 ? 9 : 11);
        EXPECT_EQ(frame->getBitmapSize(), 307200);
        EXPECT_EQ(frame->getColorSpace(), 1);
        const int* dims = frame->getDimensions();
        EXPECT_EQ(dims[0], 640);
        EXPECT_EQ(dims[1], 480);
        EXPECT_EQ(dims[2], 1);
    }
}

TEST(MonochromeLayout, AFrameWithoutDataWritesNothingAndMakesNoArray) {
    IFrame* frame = frameFactory(mono(0, false), 3, 2);  // no limiter: never a buffer
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getNativeHostArray(), nullptr);
    const Bitmap bitmap = bitmapOf(frame);
    EXPECT_EQ(bitmap.pixels, std::vector<unsigned char>(8, kSentinel));
    const unsigned char* header = reinterpret_cast<const unsigned char*>(&bitmap.header);
    for (size_t i = 0; i < sizeof bitmap.header; ++i) EXPECT_EQ(header[i], kSentinel);
    frame->release();
}

// The value of image row r, column c of a raw monochrome buffer, straight from the layout's
// description.
int expectedSample(const unsigned char* raw, int width, int height, int formatIndex, bool bottomUp, int r, int c) {
    const int row = bottomUp ? height - 1 - r : r;
    if (formatIndex == 0) return raw[row * width + c];
    const unsigned char* p = raw + 2 * (row * width + c);
    return formatIndex >= 5 ? p[0] * 256 + p[1] : p[1] * 256 + p[0];
}

TEST(MonochromeLayout, EveryFormatAndRowOrderAtOddSizesMatchesTheLayout) {
    const int depths[9] = {8, 10, 12, 14, 16, 10, 12, 14, 16};
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {5, 3}, {13, 9}, {33, 35}, {66, 5}};
    unsigned seed = 1;
    for (int f = 0; f < 9; ++f) {
        for (bool bottomUp : {false, true}) {
            for (const auto& size : sizes) {
                const int width = size[0], height = size[1];
                TestFrameHandle frame(mono(f, bottomUp), width, height);
                FlushBuffer raw(static_cast<size_t>(frame->getDataSize()));
                raw.randomise(seed++);
                ASSERT_EQ(frame->copyData(raw.data()), static_cast<int>(raw.size));

                std::vector<int> expectedHost, expectedBitmap;
                const int stride = (width + 3) & ~3;
                expectedBitmap.assign(static_cast<size_t>(stride) * height, kSentinel);
                for (int c = 0; c < width; ++c)
                    for (int r = 0; r < height; ++r)
                        expectedHost.push_back(expectedSample(raw.data(), width, height, f, bottomUp, r, c));
                for (int r = 0; r < height; ++r)
                    for (int c = 0; c < width; ++c) {
                        const int value = expectedSample(raw.data(), width, height, f, bottomUp, r, c);
                        expectedBitmap[(height - 1 - r) * stride + c] = (value >> (depths[f] - 8)) & 0xFF;
                    }

                HostArray array = frame->getNativeHostArray();
                const std::vector<int> host = f == 0 ? hostElements<uint8_t>(array) : hostElements<uint16_t>(array);
                EXPECT_EQ(host, expectedHost) << "format " << f << " bottomUp " << bottomUp << " " << width << "x" << height;
                const Bitmap bitmap = bitmapOf(frame.frame.get());
                EXPECT_EQ(std::vector<int>(bitmap.pixels.begin(), bitmap.pixels.end()), expectedBitmap)
                    << "format " << f << " bottomUp " << bottomUp << " " << width << "x" << height;
            }
        }
    }
}

TEST(MonochromeWindows, AWindowIsCutFromTheRightRowsInEitherRowOrder) {
    // A 6 x 10 source whose byte at (row, column) is 10 * row + column, stored in each row order.
    const int srcWidth = 6, srcHeight = 10;
    std::vector<unsigned char> topDown, bottomUp;
    for (int r = 0; r < srcHeight; ++r)
        for (int c = 0; c < srcWidth; ++c) topDown.push_back(static_cast<unsigned char>(10 * r + c));
    for (int r = srcHeight - 1; r >= 0; --r)
        for (int c = 0; c < srcWidth; ++c) bottomUp.push_back(static_cast<unsigned char>(10 * r + c));

    TestFrameHandle top(mono(0, false), 2, 4), bottom(mono(0, true), 2, 4);
    top->copyRegion(topDown.data(), srcWidth, srcHeight, 3, 1);
    bottom->copyRegion(bottomUp.data(), srcWidth, srcHeight, 3, 1);
    // Image rows 1..4, columns 3..4; the bottom-up frame stores them last row first, starting at
    // source buffer row 10 - 4 - 1 = 5.
    EXPECT_EQ(std::vector<unsigned char>(top->getData(), top->getData() + 8),
              (std::vector<unsigned char>{13, 14, 23, 24, 33, 34, 43, 44}));
    EXPECT_EQ(std::vector<unsigned char>(bottom->getData(), bottom->getData() + 8),
              (std::vector<unsigned char>{43, 44, 33, 34, 23, 24, 13, 14}));
    // Both give the same image.
    EXPECT_EQ(hostElements<uint8_t>(top->getNativeHostArray()), hostElements<uint8_t>(bottom->getNativeHostArray()));
}

TEST(MonochromeWindows, WindowsTouchingTheEdgesAreCopiedAndTheSourceIsNeverOverread) {
    for (int f : {0, 4, 8}) {
        for (bool bottomUp : {false, true}) {
            const int bpp = f == 0 ? 1 : 2, srcWidth = 7, srcHeight = 5, width = 3, height = 2;
            FlushBuffer source(static_cast<size_t>(bpp) * srcWidth * srcHeight);
            source.randomise(static_cast<unsigned>(f + 10 * bottomUp));
            for (int y = 0; y + height <= srcHeight; ++y) {
                for (int x = 0; x + width <= srcWidth; ++x) {
                    TestFrameHandle frame(mono(f, bottomUp), width, height);
                    frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);
                    const int first = bottomUp ? srcHeight - height - y : y;
                    for (int k = 0; k < height; ++k)
                        EXPECT_EQ(std::memcmp(frame->getData() + k * width * bpp,
                                              source.data() + ((first + k) * srcWidth + x) * bpp, width * bpp),
                                  0);
                }
            }
            TestFrameHandle whole(mono(f, bottomUp), srcWidth, srcHeight);
            whole->copyRegion(source.data(), srcWidth, srcHeight, 0, 0);
            EXPECT_EQ(std::memcmp(whole->getData(), source.data(), source.size), 0);
        }
    }
}

TEST(MonochromeWindows, AWindowOutsideTheSourceCopiesAndAllocatesNothing) {
    std::vector<unsigned char> source(7 * 5, 1);
    struct Window {
        int srcWidth, srcHeight, x, y;
    };
    const Window refused[] = {
        {7, 5, -1, 0}, {7, 5, 0, -1}, {7, 5, 5, 0}, {7, 5, 0, 4}, {0, 5, 0, 0}, {7, 0, 0, 0},
        {-7, 5, 0, 0}, {7, 5, 2147483647, 0}, {7, 5, 0, 2147483647}, {2, 5, 0, 0},
    };
    for (bool bottomUp : {false, true}) {
        for (const Window& w : refused) {
            TestFrameHandle frame(mono(0, bottomUp), 3, 2);
            frame->copyRegion(source.data(), w.srcWidth, w.srcHeight, w.x, w.y);
            EXPECT_FALSE(frame->hasData()) << w.srcWidth << " " << w.srcHeight << " " << w.x << " " << w.y;
            EXPECT_EQ(frame.limiter->getMemoryUsed(), 0);
        }
        TestFrameHandle frame(mono(0, bottomUp), 3, 2);
        frame->copyRegion(nullptr, 7, 5, 0, 0);
        EXPECT_FALSE(frame->hasData());
    }
}

TEST(MonochromeWindows, ARefusedBufferCopiesNothing) {
    TestFrameHandle frame(mono(0, false), 3, 2);
    frame.limiter->setMemoryLimit(5);
    std::vector<unsigned char> source(6, 9);
    frame->copyRegion(source.data(), 3, 2, 0, 0);
    EXPECT_FALSE(frame->hasData());
}

// The column-major writers' bands, chunks and strips, for widths and heights up to INT_MAX: a 64-bit
// engine can make a Mono8 frame of 1100000000 x 1, wider than one band of 2^30 columns.
TEST(ColumnMajorPieces, EveryTotalUpToIntMaxIsCutIntoWholePiecesWithoutOverflow) {
    const int steps[] = {1 << 30, zorvframekit::kPlaneBandColumns, zorvframekit::kChunkColumns,
                         zorvframekit::kStripRows};
    for (int step : steps) {
        std::vector<int> totals = {0, 1, step - 1, step, step + 1, INT_MAX - step + 1, INT_MAX};
        if (step > 1 << 16) totals.insert(totals.end(), {(1 << 30) + 1, 1100000000, INT_MAX - step, INT_MAX - 1});
        for (int total : totals) {
            SCOPED_TRACE(std::to_string(total) + " in pieces of " + std::to_string(step));
            const int64_t pieces = (int64_t(total) + step - 1) / step;
            int64_t next = 0, seen = 0;
            try {
                zorvframekit::forEachPiece(total, step, [&](int first, int count) {
                    // A piece out of place ends the loop, which might otherwise not end.
                    if (first != next || count <= 0 || count > step || ++seen > pieces)
                        throw std::runtime_error("piece " + std::to_string(seen) + " at " + std::to_string(first) +
                                                 " of " + std::to_string(count));
                    next = int64_t(first) + count;
                });
            } catch (const std::runtime_error& wrong) {
                ADD_FAILURE() << wrong.what();
                continue;
            }
            EXPECT_EQ(next, total);
            EXPECT_EQ(seen, pieces);
        }
    }
}

// The plane transposes and the strip writer on such sizes with no rows (or no columns) to write: the
// loops over the other dimension run through all of it and touch nothing.
TEST(ColumnMajorPieces, PlanesAsWideOrAsTallAsIntMaxAreWalkedToTheirEnd) {
    for (int width : {(1 << 30) + 1, 1100000000, INT_MAX}) {
        zorvframekit::transposePlane(nullptr, nullptr, 0, width, 0);
        zorvframekit::transposePlane16(nullptr, nullptr, 0, width, 0, false);
    }
    const zorvframekit::StripScratch scratch;
    ASSERT_TRUE(scratch.made());
    int64_t rows = 0;
    zorvframekit::fillColumnMajor(scratch, nullptr, 0, INT_MAX, 1,
                                  [&](int, int, int, const zorvframekit::RowScratch&, zorvframekit::StripRow&) { ++rows; });
    EXPECT_EQ(rows, 0);  // no columns to make
}

}  // namespace
