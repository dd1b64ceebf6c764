// The RGB frame classes: packed RGB24/32 (family 0x01), RGB16 5-5-5 and 5-6-5 (0x05) and planar
// RGB24 (0x02): what the factory makes and refuses, host arrays, bitmaps (and the bytes they leave
// alone), copyRegion and its window rules, and a randomised cross-check of every format against an
// oracle written from the data model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "frame_helpers.h"

using zorvframekit::kFamilyRGB16;
using zorvframekit::kFamilyRGB24Packed;
using zorvframekit::kFamilyRGB24Planar;
using zorvframekit::makeFrameTypeCode;

namespace {

typedef std::vector<unsigned char> Bytes;

// A factory frame with a limiter of its own, optionally filled with raw bytes.
struct Frame : TestFrameHandle {
    Frame(uint32_t family, int formatIndex, bool bottomUp, int width, int height)
        : TestFrameHandle(makeFrameTypeCode(family, static_cast<uint32_t>(formatIndex), bottomUp), width, height) {}
    Frame(uint32_t family, int formatIndex, bool bottomUp, int width, int height, const Bytes& raw)
        : Frame(family, formatIndex, bottomUp, width, height) {
        EXPECT_EQ(raw.size(), static_cast<size_t>(frame->getDataSize()));
        frame->copyData(raw.data());
    }
    Bytes data() const { return Bytes(frame->getData(), frame->getData() + frame->getDataSize()); }
};

// The native host array's data block, after checking its shape {height, width, 3} and class uint8.
Bytes hostData(IFrame* frame) {
    HostArray array = frame->getNativeHostArray();
    if (array == nullptr) {
        ADD_FAILURE() << "no host array";
        return Bytes();
    }
    const int* dims = frame->getDimensions();
    EXPECT_EQ(haGetNumberOfDimensions(array), 3);
    EXPECT_EQ(haGetDimensions(array)[0], dims[1]);
    EXPECT_EQ(haGetDimensions(array)[1], dims[0]);
    EXPECT_EQ(haGetDimensions(array)[2], 3);
    EXPECT_EQ(haGetClassID(array), haUint8Class);
    const auto* begin = static_cast<const unsigned char*>(haGetData(array));
    Bytes out(begin, begin + haGetNumberOfElements(array));
    haFree(array);
    return out;
}

// A bitmap rendered into areas that held `sentinel` in every byte, exactly getBitmapSize() long so
// that a write past the end is caught by the sanitizer.
struct Bitmap {
    BITMAPINFOHEADER header;
    Bytes pixels;

    Bitmap(IFrame* frame, unsigned char sentinel = kSentinel) {
        std::memset(&header, sentinel, sizeof header);
        pixels.assign(static_cast<size_t>(frame->getBitmapSize()), sentinel);
        frame->fillBitmap(&header, pixels.data());
    }
    Bytes row(int k, int stride) const { return Bytes(pixels.begin() + k * stride, pixels.begin() + (k + 1) * stride); }
};

void expectHeader(const BITMAPINFOHEADER& header, int width, int height, int bitsPerPixel) {
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, width);
    EXPECT_EQ(header.biHeight, height);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, bitsPerPixel);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 0u);
    EXPECT_EQ(header.biXPelsPerMeter, 0);
    EXPECT_EQ(header.biYPelsPerMeter, 0);
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_EQ(header.biClrImportant, 0u);
}

Bytes words(std::initializer_list<unsigned> values) {  // little-endian 16-bit words
    Bytes out;
    for (unsigned v : values) {
        out.push_back(static_cast<unsigned char>(v));
        out.push_back(static_cast<unsigned char>(v >> 8));
    }
    return out;
}

const unsigned char S = kSentinel;

// ---- The factory ----------------------------------------------------------------------------------

TEST(RGBFactory, MakesEachFamilyWithItsCodeColourSpaceAndDimensions) {
    struct Case {
        FrameTypeCode code;
        int dataSize;
    } cases[] = {
        {0x01000000, 921600}, {0x01000001, 921600}, {0x01000102, 1228800}, {0x01000003, 1228800},
        {0x05000000, 614400}, {0x05000101, 614400}, {0x02000000, 921600},
        {0x020001FF, 921600},  // the planar class ignores the low byte and bit 8
        {0x017FFE00, 921600},  // bits 9-23 are kept in the code and mean nothing
    };
    for (const Case& c : cases) {
        std::unique_ptr<IFrame> frame(frameFactory(c.code, 640, 480));
        ASSERT_NE(frame, nullptr) << std::hex << c.code;
        EXPECT_EQ(frame->getFrameType(), c.code);
        EXPECT_EQ(frame->getColorSpace(), 2);
        EXPECT_EQ(getFrameTypeColorSpace(c.code), 2);
        EXPECT_EQ(frame->getDataSize(), c.dataSize) << std::hex << c.code;
        const int* dims = frame->getDimensions();
        EXPECT_EQ(dims[0], 640);
        EXPECT_EQ(dims[1], 480);
        EXPECT_EQ(dims[2], 3);
        EXPECT_EQ(frame->getHostClassID(), 9);
        EXPECT_EQ(frame->getBitDepth(), 8);
        EXPECT_EQ(frame->getData(), nullptr);  // no limiter from the factory
        EXPECT_FALSE(frame->hasData());
    }
}

TEST(RGBFactory, RefusesFormatIndexesOutsideTheTables) {
    for (int index : {4, 5, 0x7F, 0xFF}) EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB24Packed, index, false), 4, 4), nullptr);
    for (int index : {2, 3, 0xFF}) EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB16, index, true), 4, 4), nullptr);
    // ... while the colour space of the code is still the family's.
    EXPECT_EQ(getFrameTypeColorSpace(makeFrameTypeCode(kFamilyRGB24Packed, 9, false)), 2);
}

TEST(RGBFactory, RefusesSizesWhoseDataOrBitmapDoNotFitAnInt) {
    for (uint32_t family : {kFamilyRGB24Packed, kFamilyRGB16, kFamilyRGB24Planar}) {
        for (int size : {0, -1}) {
            EXPECT_EQ(frameFactory(makeFrameTypeCode(family, 0, false), size, 4), nullptr);
            EXPECT_EQ(frameFactory(makeFrameTypeCode(family, 0, false), 4, size), nullptr);
        }
        EXPECT_EQ(frameFactory(makeFrameTypeCode(family, 0, false), -2, -2), nullptr);
    }
    // 32-bit pixels: 4 x 16384 x 32768 is 2^31; one row fewer fits.
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB24Packed, 2, false), 16384, 32768), nullptr);
    std::unique_ptr<IFrame> largest(frameFactory(makeFrameTypeCode(kFamilyRGB24Packed, 2, false), 16384, 32767));
    ASSERT_NE(largest, nullptr);
    EXPECT_EQ(largest->getDataSize(), 2147418112);
    EXPECT_EQ(largest->getBitmapSize(), 2147418112);
    // A one-pixel column: the data fits (3 or 2 bytes a row) but the 4-byte bitmap rows do not.
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB24Packed, 0, false), 1, 600000000), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB24Planar, 0, false), 1, 600000000), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB16, 0, false), 1, 600000000), nullptr);
    std::unique_ptr<IFrame> tall(frameFactory(makeFrameTypeCode(kFamilyRGB16, 1, false), 1, 536870911));
    ASSERT_NE(tall, nullptr);
    EXPECT_EQ(tall->getBitmapSize(), 2147483644);
    // Width so large that the row alone overflows an int.
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB24Packed, 0, false), 0x40000000, 1), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB16, 0, false), 0x40000000, 1), nullptr);
    EXPECT_EQ(frameFactory(makeFrameTypeCode(kFamilyRGB24Planar, 0, false), 0x40000000, 1), nullptr);
}

// ---- Packed RGB24 ---------------------------------------------------------------------------------

TEST(RGB24Frame, HostArrayTakesEachComponentFromItsOffset) {
    const Bytes raw3 = {10, 20, 30, 40, 50, 60};
    EXPECT_EQ(hostData(Frame(kFamilyRGB24Packed, 0, false, 2, 1, raw3).frame.get()), (Bytes{10, 40, 20, 50, 30, 60}));
    EXPECT_EQ(hostData(Frame(kFamilyRGB24Packed, 1, false, 2, 1, raw3).frame.get()), (Bytes{30, 60, 20, 50, 10, 40}));
    const Bytes raw4 = {1, 2, 3, 4, 5, 6, 7, 8};  // the fourth bytes never reach the host
    EXPECT_EQ(hostData(Frame(kFamilyRGB24Packed, 2, false, 2, 1, raw4).frame.get()), (Bytes{1, 5, 2, 6, 3, 7}));
    EXPECT_EQ(hostData(Frame(kFamilyRGB24Packed, 3, false, 2, 1, raw4).frame.get()), (Bytes{3, 7, 2, 6, 1, 5}));
}

TEST(RGB24Frame, BitmapIsBlueFirstAndLeavesPadAndFourthBytesOfFormat2Alone) {
    const Bytes raw3 = {10, 20, 30, 40, 50, 60};
    Frame rgb(kFamilyRGB24Packed, 0, false, 2, 1, raw3);
    EXPECT_EQ(rgb->getBitmapSize(), 8);
    Bitmap fromRGB(rgb.frame.get());
    expectHeader(fromRGB.header, 2, 1, 24);
    EXPECT_EQ(fromRGB.pixels, (Bytes{30, 20, 10, 60, 50, 40, S, S}));
    Bitmap fromBGR(Frame(kFamilyRGB24Packed, 1, false, 2, 1, raw3).frame.get());
    expectHeader(fromBGR.header, 2, 1, 24);
    EXPECT_EQ(fromBGR.pixels, (Bytes{10, 20, 30, 40, 50, 60, S, S}));

    const Bytes raw4 = {1, 2, 3, 4, 5, 6, 7, 8};
    Frame rgbx(kFamilyRGB24Packed, 2, false, 2, 1, raw4);
    EXPECT_EQ(rgbx->getBitmapSize(), 8);
    Bitmap fromRGBX(rgbx.frame.get());
    expectHeader(fromRGBX.header, 2, 1, 32);
    EXPECT_EQ(fromRGBX.pixels, (Bytes{3, 2, 1, S, 7, 6, 5, S}));
    Bitmap fromBGRX(Frame(kFamilyRGB24Packed, 3, false, 2, 1, raw4).frame.get());
    expectHeader(fromBGRX.header, 2, 1, 32);
    EXPECT_EQ(fromBGRX.pixels, raw4);  // the fourth bytes go over with the block
}

TEST(RGB24Frame, BottomUpRowsReachTheHostReversedAndTheBitmapInBufferOrder) {
    // 3 x 2, format 0: buffer row 0 holds 1..9, buffer row 1 holds 11..19.
    const Bytes raw = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    // Host row 0 (the top) is buffer row 1 when bottom up.
    EXPECT_EQ(hostData(Frame(kFamilyRGB24Packed, 0, true, 3, 2, raw).frame.get()),
              (Bytes{11, 1, 14, 4, 17, 7, 12, 2, 15, 5, 18, 8, 13, 3, 16, 6, 19, 9}));
    EXPECT_EQ(hostData(Frame(kFamilyRGB24Packed, 0, false, 3, 2, raw).frame.get()),
              (Bytes{1, 11, 4, 14, 7, 17, 2, 12, 5, 15, 8, 18, 3, 13, 6, 16, 9, 19}));
    // Bitmap row 0 (the bottom) is buffer row 0 when bottom up; stride 12, three pad bytes.
    Bitmap up(Frame(kFamilyRGB24Packed, 0, true, 3, 2, raw).frame.get());
    EXPECT_EQ(up.pixels, (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, S, S, S, 13, 12, 11, 16, 15, 14, 19, 18, 17, S, S, S}));
    Bitmap down(Frame(kFamilyRGB24Packed, 0, false, 3, 2, raw).frame.get());
    EXPECT_EQ(down.pixels, (Bytes{13, 12, 11, 16, 15, 14, 19, 18, 17, S, S, S, 3, 2, 1, 6, 5, 4, 9, 8, 7, S, S, S}));
}

TEST(RGB24Frame, BitmapSizesFollowTheRowBytes) {
    for (int format = 0; format < 4; ++format) {
        const int bpp = format < 2 ? 3 : 4;
        for (int width : {1, 2, 3, 4, 5, 640}) {
            std::unique_ptr<IFrame> frame(frameFactory(makeFrameTypeCode(kFamilyRGB24Packed, format, false), width, 3));
            EXPECT_EQ(frame->getBitmapSize(), ((bpp * width + 3) & ~3) * 3) << format << " " << width;
        }
    }
}

// ---- RGB16 ----------------------------------------------------------------------------------------

TEST(RGB16Frame, Format555ExpandsFieldsAndItsBitmapCopiesWordsUnchanged) {
    const Bytes raw = words({0x001F, 0x03E0, 0x7C00, 0x8000});
    Frame frame(kFamilyRGB16, 0, false, 4, 1, raw);
    // One row: each plane holds the four pixels in order.
    EXPECT_EQ(hostData(frame.frame.get()), (Bytes{0, 0, 248, 0, /**/ 0, 248, 0, 0, /**/ 248, 0, 0, 0}));
    Bitmap bitmap(frame.frame.get());
    expectHeader(bitmap.header, 4, 1, 16);
    EXPECT_EQ(bitmap.pixels, raw);  // bit 15 of 0x8000 included
}

TEST(RGB16Frame, Format565ExpandsFieldsAndItsBitmapIsConvertedTo555) {
    Frame frame(kFamilyRGB16, 1, false, 4, 1, words({0xF800, 0x07E0, 0x0020, 0xFFFF}));
    EXPECT_EQ(hostData(frame.frame.get()), (Bytes{248, 0, 0, 248, /**/ 0, 252, 4, 252, /**/ 0, 0, 0, 248}));
    Bitmap bitmap(frame.frame.get());
    expectHeader(bitmap.header, 4, 1, 16);
    EXPECT_EQ(bitmap.pixels, words({0x7C00, 0x03E0, 0x0000, 0x7FFF}));
}

TEST(RGB16Frame, RowOrderOfAOneColumnFrame) {
    const Bytes raw = words({0x7C00, 0x001F});
    EXPECT_EQ(hostData(Frame(kFamilyRGB16, 0, false, 1, 2, raw).frame.get()), (Bytes{248, 0, 0, 0, 0, 248}));
    EXPECT_EQ(hostData(Frame(kFamilyRGB16, 0, true, 1, 2, raw).frame.get()), (Bytes{0, 248, 0, 0, 248, 0}));
    // Stride 4 with two pad bytes; bitmap row 0 is the bottom of the image.
    EXPECT_EQ(Bitmap(Frame(kFamilyRGB16, 0, false, 1, 2, raw).frame.get()).pixels,
              (Bytes{0x1F, 0x00, S, S, 0x00, 0x7C, S, S}));
    EXPECT_EQ(Bitmap(Frame(kFamilyRGB16, 0, true, 1, 2, raw).frame.get()).pixels,
              (Bytes{0x00, 0x7C, S, S, 0x1F, 0x00, S, S}));
}

TEST(RGB16Frame, AnOddWidthLeavesTheTwoPadBytesOfEachRowAlone) {
    for (int format : {0, 1}) {
        Frame frame(kFamilyRGB16, format, false, 3, 2, words({1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(frame->getBitmapSize(), 16);
        Bitmap bitmap(frame.frame.get());
        EXPECT_EQ(bitmap.row(0, 8), (Bytes{4, 0, 5, 0, 6, 0, S, S}));
        EXPECT_EQ(bitmap.row(1, 8), (Bytes{1, 0, 2, 0, 3, 0, S, S}));
    }
}

// ---- Planar RGB24 ---------------------------------------------------------------------------------

TEST(RGB24Planar, SizesOfA640x480Frame) {
    std::unique_ptr<IFrame> frame(frameFactory(makeFrameTypeCode(kFamilyRGB24Planar, 0, false), 640, 480));
    EXPECT_EQ(frame->getDataSize(), 921600);
    EXPECT_EQ(frame->getBitmapSize(), 921600);
}

TEST(RGB24Planar, HostArrayIsThePlanesTransposedAndTheBitmapInterleavesThemBlueFirst) {
    const Bytes raw = {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26};
    Frame frame(kFamilyRGB24Planar, 0, false, 3, 2, raw);
    EXPECT_EQ(hostData(frame.frame.get()), (Bytes{1, 4, 2, 5, 3, 6, 11, 14, 12, 15, 13, 16, 21, 24, 22, 25, 23, 26}));
    Bitmap bitmap(frame.frame.get());
    expectHeader(bitmap.header, 3, 2, 24);
    EXPECT_EQ(bitmap.row(0, 12), (Bytes{24, 14, 4, 25, 15, 5, 26, 16, 6, S, S, S}));
    EXPECT_EQ(bitmap.row(1, 12), (Bytes{21, 11, 1, 22, 12, 2, 23, 13, 3, S, S, S}));
}

Bytes countingBytes(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(i);
    return out;
}

TEST(RGB24Planar, CopyRegionCutsTheWindowFromEachPlane) {
    const Bytes source = countingBytes(48);  // 4 x 4, three planes of 16
    Frame frame(kFamilyRGB24Planar, 0, false, 2, 2);
    frame->copyRegion(source.data(), 4, 4, 1, 2);
    EXPECT_EQ(frame.data(), (Bytes{9, 10, 13, 14, 16 + 9, 16 + 10, 16 + 13, 16 + 14, 32 + 9, 32 + 10, 32 + 13, 32 + 14}));

    Frame whole(kFamilyRGB24Planar, 0, false, 4, 4);
    whole->copyRegion(source.data(), 4, 4, 0, 0);
    EXPECT_EQ(whole.data(), source);
}

// ---- Every class ------------------------------------------------------------------------------------

struct Format {
    uint32_t family;
    int formatIndex;
    int bytesPerPixel;  // of the raw buffer; planar counts its three planes
};
const Format kFormats[] = {
    {kFamilyRGB24Packed, 0, 3}, {kFamilyRGB24Packed, 1, 3}, {kFamilyRGB24Packed, 2, 4},
    {kFamilyRGB24Packed, 3, 4}, {kFamilyRGB16, 0, 2},       {kFamilyRGB16, 1, 2},
    {kFamilyRGB24Planar, 0, 3},
};

TEST(RGBFrames, AFrameWithoutDataWritesNoBitmapAndGivesNoHostArray) {
    for (const Format& format : kFormats) {
        std::unique_ptr<IFrame> frame(frameFactory(makeFrameTypeCode(format.family, format.formatIndex, false), 3, 2));
        Bitmap bitmap(frame.get());
        EXPECT_EQ(Bytes(bitmap.pixels), Bytes(bitmap.pixels.size(), S));
        const auto* header = reinterpret_cast<const unsigned char*>(&bitmap.header);
        EXPECT_EQ(Bytes(header, header + 40), Bytes(40, S));
        EXPECT_EQ(frame->getNativeHostArray(), nullptr);
        EXPECT_EQ(frame->getHostArray(2), nullptr);
    }
}

// The sources hold each byte's own (wrapped) offset, so that any misplaced copy shows.
TEST(RGBFrames, CopyRegionOfAPackedFrameStartsAtTheWindowsFirstRowInTheSourcesRowOrder) {
    for (const Format& format : kFormats) {
        if (format.family == kFamilyRGB24Planar) continue;
        const int bpp = format.bytesPerPixel;
        const int srcWidth = 5, srcHeight = 10, width = 2, height = 4, x = 3, y = 1;
        const Bytes source = countingBytes(size_t(srcWidth) * srcHeight * bpp);
        for (bool bottomUp : {false, true}) {
            Frame frame(format.family, format.formatIndex, bottomUp, width, height);
            frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);
            // A bottom-up source holds image row 1 at buffer row 10 - 1 - 1; the window's four rows
            // are buffer rows 5 to 8, and they keep that order in the bottom-up frame.
            const int first = bottomUp ? 5 : 1;
            Bytes expected;
            for (int k = 0; k < height; ++k) {
                const size_t at = (size_t(first + k) * srcWidth + x) * bpp;
                expected.insert(expected.end(), source.begin() + at, source.begin() + at + width * bpp);
            }
            EXPECT_EQ(frame.data(), expected) << format.family << "/" << format.formatIndex << " " << bottomUp;
        }
    }
}

TEST(RGBFrames, CopyRegionRefusesWindowsOutsideTheSourceWithoutAllocating) {
    const int width = 3, height = 2;
    const Bytes source = countingBytes(3 * 4 * 8 * 4);  // enough for an 8 x 4 source of any format
    struct Window {
        int srcWidth, srcHeight, x, y;
    } refused[] = {
        {8, 4, -1, 0},       {8, 4, 0, -1},         {0, 4, 0, 0},          {8, 0, 0, 0},
        {-8, 4, 0, 0},       {8, -4, 0, 0},         {8, 4, 6, 0},          {8, 4, 0, 3},
        {2, 4, 0, 0},        {8, 1, 0, 0},          {8, 4, INT32_MAX, 0},  {8, 4, 0, INT32_MAX},
        {INT32_MAX, 4, INT32_MAX - 2, 0},  // x + width passes INT32_MAX: only 64-bit sums see it
        {8, INT32_MAX, 0, INT32_MAX - 1},
    };
    for (const Format& format : kFormats) {
        for (bool bottomUp : {false, true}) {
            for (const Window& w : refused) {
                Frame frame(format.family, format.formatIndex, bottomUp, width, height);
                frame->copyRegion(source.data(), w.srcWidth, w.srcHeight, w.x, w.y);
                EXPECT_FALSE(frame->hasData()) << format.family << "/" << format.formatIndex << " window "
                                               << w.srcWidth << "x" << w.srcHeight << " at " << w.x << "," << w.y;
                EXPECT_EQ(frame.limiter->getMemoryUsed(), 0);
            }
            Frame frame(format.family, format.formatIndex, bottomUp, width, height);
            frame->copyRegion(nullptr, 8, 4, 0, 0);
            EXPECT_FALSE(frame->hasData());
            // A refused window leaves what the frame held.
            const Bytes held(static_cast<size_t>(frame->getDataSize()), 0x77);
            frame->copyData(held.data());
            frame->copyRegion(source.data(), 8, 4, 6, 0);
            frame->copyRegion(nullptr, 8, 4, 0, 0);
            EXPECT_EQ(frame.data(), held);
        }
    }
}

TEST(RGBFrames, AWindowTouchingTheRightAndBottomEdgesIsCopied) {
    for (const Format& format : kFormats) {
        for (bool bottomUp : {false, true}) {
            // The source is exactly as large as it must be, so a read past it is caught.
            const int srcWidth = 5, srcHeight = 4, width = 2, height = 3;
            FlushBuffer source(size_t(srcWidth) * srcHeight * format.bytesPerPixel);
            std::memset(source.data(), 0x42, source.size);
            Frame frame(format.family, format.formatIndex, bottomUp, width, height);
            frame->copyRegion(source.data(), srcWidth, srcHeight, srcWidth - width, srcHeight - height);
            ASSERT_TRUE(frame->hasData());
            EXPECT_EQ(frame.data(), Bytes(static_cast<size_t>(frame->getDataSize()), 0x42));
        }
    }
}

// ---- Conversion through getHostArray ---------------------------------------------------------------
//
// The common base converts the native RGB array: BT.601 video-range YUV, and a monochrome band of
// BT.709 weights that sum to 255 (so white gives 254).

// A 2 x 1 frame of each packed and planar format holding pure blue, then white, in either row order.
Bytes blueThenWhite(const Format& format) {
    if (format.family == kFamilyRGB24Planar) return {0, 255, 0, 255, 255, 255};
    const bool redFirst = format.formatIndex == 0 || format.formatIndex == 2;
    Bytes raw;
    for (int pixel = 0; pixel < 2; ++pixel) {
        const unsigned char level = pixel ? 255 : 0;
        const unsigned char rgb[3] = {level, level, 255};
        raw.push_back(rgb[redFirst ? 0 : 2]);
        raw.push_back(rgb[1]);
        raw.push_back(rgb[redFirst ? 2 : 0]);
        if (format.bytesPerPixel == 4) raw.push_back(0x99);
    }
    return raw;
}

TEST(RGBConversion, BlueAndWhiteReachTheHostAsYUVAndMonochrome) {
    for (const Format& format : kFormats) {
        if (format.family == kFamilyRGB16) continue;
        for (bool bottomUp : {false, true}) {
            SCOPED_TRACE(testing::Message() << format.family << "/" << format.formatIndex << " " << bottomUp);
            Frame frame(format.family, format.formatIndex, bottomUp, 2, 1, blueThenWhite(format));
            HostArray yuv = frame->getHostArray(zorvframekit::kColorSpaceYUV);
            ASSERT_NE(yuv, nullptr);
            EXPECT_EQ(dimensionsOf(yuv), (std::vector<int>{1, 2, 3}));
            // Y, U, V planes: blue (41, 240, 110), white (235, 128, 128).
            EXPECT_EQ(hostElements<uint8_t>(yuv), (std::vector<int>{41, 235, 240, 128, 110, 128}));
            HostArray mono = frame->getHostArray(zorvframekit::kColorSpaceMonochrome);
            ASSERT_NE(mono, nullptr);
            EXPECT_EQ(dimensionsOf(mono), (std::vector<int>{1, 2}));
            EXPECT_EQ(hostElements<uint8_t>(mono), (std::vector<int>{17, 254}));
            // YUV is preferred to monochrome; a mask with RGB takes the native array.
            EXPECT_EQ(hostElements<uint8_t>(frame->getHostArray(zorvframekit::kColorSpaceYUV | zorvframekit::kColorSpaceMonochrome)),
                      (std::vector<int>{41, 235, 240, 128, 110, 128}));
            EXPECT_EQ(hostElements<uint8_t>(frame->getHostArray(zorvframekit::kColorSpaceRGB | zorvframekit::kColorSpaceYUV)),
                      (std::vector<int>{0, 255, 0, 255, 255, 255}));
        }
    }
}

TEST(RGBConversion, RGB16ConvertsItsExpandedValues) {
    // 5-5-5 blue 0x001F is (0, 0, 248) and white 0x7FFF is (248, 248, 248); 5-6-5 white 0xFFFF is
    // (248, 252, 248).
    for (bool bottomUp : {false, true}) {
        Frame rgb555(kFamilyRGB16, 0, bottomUp, 2, 1, words({0x001F, 0x7FFF}));
        EXPECT_EQ(hostElements<uint8_t>(rgb555->getHostArray(zorvframekit::kColorSpaceYUV)),
                  (std::vector<int>{40, 229, 237, 128, 111, 128}));
        EXPECT_EQ(hostElements<uint8_t>(rgb555->getHostArray(zorvframekit::kColorSpaceMonochrome)), (std::vector<int>{17, 247}));
        Frame rgb565(kFamilyRGB16, 1, bottomUp, 2, 1, words({0x001F, 0xFFFF}));
        EXPECT_EQ(hostElements<uint8_t>(rgb565->getHostArray(zorvframekit::kColorSpaceYUV)),
                  (std::vector<int>{40, 231, 237, 127, 111, 127}));
        EXPECT_EQ(hostElements<uint8_t>(rgb565->getHostArray(zorvframekit::kColorSpaceMonochrome)), (std::vector<int>{17, 249}));
    }
}

TEST(RGBConversion, AFrameWithoutDataConvertsToNothing) {
    for (const Format& format : kFormats) {
        Frame frame(format.family, format.formatIndex, false, 2, 1);
        EXPECT_EQ(frame->getHostArray(zorvframekit::kColorSpaceYUV), nullptr);
        EXPECT_EQ(frame->getHostArray(zorvframekit::kColorSpaceMonochrome), nullptr);
        EXPECT_FALSE(frame->hasData());
    }
}

// ---- Randomised cross-check -------------------------------------------------------------------------
//
// An oracle written from the data model, pixel by pixel, without the classes' row walking: the
// colour of image pixel (r, c), and the bytes of its bitmap pixel (with -1 for "left as it was").

struct Oracle {
    Format format;
    bool bottomUp;
    int width, height;
    const Bytes& raw;

    int bufferRow(int r) const { return bottomUp && format.family != kFamilyRGB24Planar ? height - 1 - r : r; }

    void colour(int r, int c, int rgb[3]) const {
        if (format.family == kFamilyRGB24Planar) {
            for (int p = 0; p < 3; ++p) rgb[p] = raw[size_t(p) * width * height + size_t(r) * width + c];
            return;
        }
        const size_t at = (size_t(bufferRow(r)) * width + c) * format.bytesPerPixel;
        if (format.family == kFamilyRGB24Packed) {
            const bool redFirst = format.formatIndex == 0 || format.formatIndex == 2;  // RGB, RGBX; else BGR, BGRX
            rgb[0] = raw[at + (redFirst ? 0 : 2)];
            rgb[1] = raw[at + 1];
            rgb[2] = raw[at + (redFirst ? 2 : 0)];
            return;
        }
        const unsigned v = raw[at] + 256u * raw[at + 1];
        if (format.formatIndex == 0) {  // x rrrrr ggggg bbbbb
            rgb[0] = int((v >> 10) % 32) * 8;
            rgb[1] = int((v >> 5) % 32) * 8;
            rgb[2] = int(v % 32) * 8;
        } else {  // rrrrr gggggg bbbbb
            rgb[0] = int(v >> 11) * 8;
            rgb[1] = int((v >> 5) % 64) * 4;
            rgb[2] = int(v % 32) * 8;
        }
    }

    // The bitmap bytes of pixel (r, c); -1 where the frame must not write.
    std::vector<int> bitmapPixel(int r, int c) const {
        if (format.family == kFamilyRGB24Planar) {
            int rgb[3];
            colour(r, c, rgb);
            return {rgb[2], rgb[1], rgb[0]};
        }
        const size_t at = (size_t(bufferRow(r)) * width + c) * format.bytesPerPixel;
        if (format.family == kFamilyRGB16) {
            unsigned v = raw[at] + 256u * raw[at + 1];
            if (format.formatIndex == 1) v = (v >> 11) << 10 | ((v >> 6) % 32) << 5 | v % 32;
            return {int(v % 256), int(v / 256)};
        }
        switch (format.formatIndex) {
            case 0: return {raw[at + 2], raw[at + 1], raw[at]};
            case 1: return {raw[at], raw[at + 1], raw[at + 2]};
            case 2: return {raw[at + 2], raw[at + 1], raw[at], -1};
            default: return {raw[at], raw[at + 1], raw[at + 2], raw[at + 3]};
        }
    }

    Bytes hostArray() const {
        Bytes out(size_t(3) * width * height);
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                int rgb[3];
                colour(r, c, rgb);
                for (int p = 0; p < 3; ++p) out[size_t(p) * width * height + size_t(c) * height + r] = static_cast<unsigned char>(rgb[p]);
            }
        return out;
    }

    Bytes bitmap(unsigned char sentinel) const {
        const int bitmapPixelBytes = format.family == kFamilyRGB16 ? 2 : format.family == kFamilyRGB24Planar ? 3 : format.bytesPerPixel;
        const int stride = (bitmapPixelBytes * width + 3) / 4 * 4;
        Bytes out(size_t(stride) * height, sentinel);
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                const std::vector<int> bytes = bitmapPixel(r, c);
                for (size_t i = 0; i < bytes.size(); ++i)
                    if (bytes[i] >= 0) out[size_t(height - 1 - r) * stride + size_t(c) * bitmapPixelBytes + i] = static_cast<unsigned char>(bytes[i]);
            }
        return out;
    }
};

TEST(RGBFrames, RandomisedCrossCheckOfEveryFormatInBothRowOrdersAtOddSizes) {
    std::mt19937 random(20240613);
    const int widths[] = {1, 3, 5, 7, 13, 31, 33, 65};
    const int heights[] = {1, 2, 3, 7, 33, 34};  // past one strip of the column gather
    for (const Format& format : kFormats) {
        for (bool bottomUp : {false, true}) {
            for (int width : widths) {
                for (int height : heights) {
                    SCOPED_TRACE(testing::Message() << "family " << format.family << " format " << format.formatIndex
                                                    << (bottomUp ? " bottom-up " : " top-down ") << width << "x" << height);
                    Bytes raw(size_t(width) * height * format.bytesPerPixel);
                    for (unsigned char& byte : raw) byte = static_cast<unsigned char>(random());
                    // The planar class ignores the row-order bit and the low byte: set them anyway.
                    const int formatIndex = format.family == kFamilyRGB24Planar && bottomUp ? 0x7F : format.formatIndex;
                    Frame frame(format.family, formatIndex, bottomUp, width, height, raw);
                    const Oracle oracle{format, bottomUp, width, height, raw};
                    EXPECT_EQ(hostData(frame.frame.get()), oracle.hostArray());
                    ASSERT_EQ(frame->getBitmapSize(), int(oracle.bitmap(0).size()));
                    for (unsigned char sentinel : {0x00, 0xFF, 0x5A}) {
                        Bitmap bitmap(frame.frame.get(), sentinel);
                        EXPECT_EQ(bitmap.pixels, oracle.bitmap(sentinel)) << "sentinel " << int(sentinel);
                        const int bits = format.family == kFamilyRGB16 ? 16 : format.family == kFamilyRGB24Planar ? 24 : 8 * format.bytesPerPixel;
                        expectHeader(bitmap.header, width, height, bits);
                    }
                }
            }
        }
    }
}

TEST(RGBFrames, RandomisedWindowsMatchTheSourceImageRows) {
    std::mt19937 random(99);
    for (const Format& format : kFormats) {
        for (bool bottomUp : {false, true}) {
            for (int round = 0; round < 40; ++round) {
                const int width = 1 + int(random() % 9), height = 1 + int(random() % 9);
                const int srcWidth = width + int(random() % 7), srcHeight = height + int(random() % 7);
                const int x = int(random() % unsigned(srcWidth - width + 1)), y = int(random() % unsigned(srcHeight - height + 1));
                Bytes source(size_t(srcWidth) * srcHeight * format.bytesPerPixel);
                for (unsigned char& byte : source) byte = static_cast<unsigned char>(random());
                Frame frame(format.family, format.formatIndex, bottomUp, width, height);
                frame->copyRegion(source.data(), srcWidth, srcHeight, x, y);
                // Expected: image row r of the frame is image row y + r of the source, each stored
                // in its own image's row order (planes top down for the planar class).
                const bool planar = format.family == kFamilyRGB24Planar;
                const bool rowsBottomUp = bottomUp && !planar;
                const int planes = planar ? 3 : 1, pixelBytes = planar ? 1 : format.bytesPerPixel;
                Bytes expected(source.size() / (size_t(srcWidth) * srcHeight) * width * height);
                for (int p = 0; p < planes; ++p)
                    for (int r = 0; r < height; ++r) {
                        const int srcRow = rowsBottomUp ? srcHeight - 1 - (y + r) : y + r;
                        const int dstRow = rowsBottomUp ? height - 1 - r : r;
                        for (int b = 0; b < width * pixelBytes; ++b)
                            expected[size_t(p) * width * height + size_t(dstRow) * width * pixelBytes + b] =
                                source[size_t(p) * srcWidth * srcHeight + size_t(srcRow) * srcWidth * pixelBytes + size_t(x) * pixelBytes + b];
                    }
                ASSERT_EQ(frame.data(), expected) << format.family << "/" << format.formatIndex << " " << bottomUp << " "
                                                  << width << "x" << height << " in " << srcWidth << "x" << srcHeight
                                                  << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace
