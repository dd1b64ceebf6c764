#include "formats/YUVPackedFrame.h"

#include <algorithm>

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "formats/RowMajor.h"

namespace zorvframekit {

namespace {

// yuvPackedFormats, by format index. Entry j of an offsets row is the byte, within the group, of
// pixel j's sample; entries from pixelsPerGroup on are unused.
const int bytesPerGroup[YUVPackedFrame::formatCount] = {4, 4, 4, 6, 3, 12, 3};
const int pixelsPerGroup[YUVPackedFrame::formatCount] = {2, 2, 2, 4, 1, 8, 1};
const int yOffsets[YUVPackedFrame::formatCount][8] = {
    {0, 2},                       // Y0 U Y1 V
    {1, 3},                       // U Y0 V Y1
    {0, 2},                       // Y0 V Y1 U
    {1, 2, 4, 5},                 // U Y0 Y1 V Y2 Y3
    {1},                          // U Y V
    {1, 3, 5, 7, 8, 9, 10, 11},   // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
    {2},                          // U V Y
};
const int uOffsets[YUVPackedFrame::formatCount][8] = {
    {1, 1}, {0, 0}, {3, 3}, {0, 0, 0, 0}, {0}, {0, 0, 0, 0, 4, 4, 4, 4}, {0},
};
const int vOffsets[YUVPackedFrame::formatCount][8] = {
    {3, 3}, {2, 2}, {1, 1}, {3, 3, 3, 3}, {2}, {2, 2, 2, 2, 6, 6, 6, 6}, {1},
};

inline int64_t groupsFor(int64_t pixels, int n) { return (pixels + n - 1) / n; }

}  // namespace

IFrame* YUVPackedFrame::create(int width, int height, int formatIndex, int /*bottomUp*/) {
    if (formatIndex < 0 || formatIndex >= formatCount || width <= 0 || height <= 0) return nullptr;
    const int n = pixelsPerGroup[formatIndex], b = bytesPerGroup[formatIndex];
    // A window starting inside a group takes one group more per row; that size must fit too, since
    // copyRegion may switch to it at any time.
    const int64_t groups = groupsFor(width, n) + (n > 1 ? 1 : 0);
    if (!productFitsInt(groups * b, height) || !productFitsInt(bitmapStride(int64_t(3) * width), height)) return nullptr;
    return new YUVPackedFrame(width, height, formatIndex);
}

YUVPackedFrame::YUVPackedFrame(int width, int height, int formatIndex)
    : ZORVFrame(0),
      formatIndex(formatIndex),
      width(width),
      height(height),
      bands(3),
      groupsPerRow(static_cast<int>(groupsFor(width, pixelsPerGroup[formatIndex]))),
      rowStride(groupsPerRow * bytesPerGroup[formatIndex]),
      firstPixelOffset(0),
      trailingPixels((groupsPerRow * pixelsPerGroup[formatIndex] - width) % pixelsPerGroup[formatIndex]) {
    setDataSize(height * rowStride);
    setColorSpace(kColorSpaceYUV);
}

void YUVPackedFrame::setFirstPixelOffset(int offset) {
    if (offset == firstPixelOffset) return;
    firstPixelOffset = offset;
    const int n = pixelsPerGroup[formatIndex];
    const int groups = static_cast<int>(groupsFor(width, n)) + (offset != 0 ? 1 : 0);
    if (groups == groupsPerRow) return;  // same row size: the buffer stays
    groupsPerRow = groups;
    freeData();
    rowStride = groups * bytesPerGroup[formatIndex];
    setDataSize(height * rowStride);
    trailingPixels = (groups * n - width) % n;
}

void YUVPackedFrame::copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) {
    // A refused window must leave the frame as it was, layout and buffer included.
    if (src == nullptr || !windowInside(srcWidth, srcHeight, x, y, width, height)) return;
    const int n = pixelsPerGroup[formatIndex], b = bytesPerGroup[formatIndex];
    if (x == 0 && y == 0 && srcWidth == width && srcHeight == height) {
        setFirstPixelOffset(0);
        copyData(src);
        return;
    }
    setFirstPixelOffset(x % n);
    unsigned char* dst = getData();
    if (dst == nullptr) return;

    const int64_t srcGroups = groupsFor(srcWidth, n);
    const int64_t firstGroup = x / n;
    // A shifted window at the source's right edge would take one group past the end of the row (and,
    // on the last row, past the end of the source). That group holds none of the window's pixels, so
    // only the groups the row has are copied and the rest of the destination row is left as it was.
    const size_t rowBytes = static_cast<size_t>(std::min<int64_t>(groupsPerRow, srcGroups - firstGroup) * b);
    const ptrdiff_t srcStride = static_cast<ptrdiff_t>(srcGroups * b);
    const unsigned char* s = src + static_cast<ptrdiff_t>((int64_t(y) * srcGroups + firstGroup) * b);
    for (int k = 0; k < height; ++k, s += srcStride, dst += rowStride) copyBytes(s, dst, rowBytes);
}

YUVRow YUVPackedFrame::unpackRow(const unsigned char* data, int r, int c0, int n, const RowScratch& room) const {
    const int pixels = pixelsPerGroup[formatIndex];
    const int position = firstPixelOffset + c0;  // of the chunk's first pixel, across the row's groups
    const int phase = position % pixels;          // inside its group, where unpacking starts
    const int groups = (phase + n + pixels - 1) / pixels;
    const unsigned char* in = data + ptrdiff_t(r) * rowStride + ptrdiff_t(position / pixels) * bytesPerGroup[formatIndex];
    // Luma goes to the first band row, the group's pixels before the chunk's first into its slack.
    uint8_t *y = room.band[0] - phase, *u = room.work[1], *v = room.work[2];
    const RowKernels& kernels = rowKernels();
    const int* yAt = yOffsets[formatIndex];
    const int uAt = uOffsets[formatIndex][0], vAt = vOffsets[formatIndex][0];
    int chromaShift = 0;
    switch (pixels) {
    case 1: {  // a pixel a group: every sample straight to its band row
        u = room.band[1];
        v = room.band[2];
        uint8_t* out[3];
        out[yAt[0]] = y;
        out[uAt] = u;
        out[vAt] = v;
        kernels.split3(in, out, groups);
        break;
    }
    case 2: {  // 4:2:2, luma at the even or the odd bytes, chroma at the others in either order
        // The chroma goes to band rows too: a host array transposes it as it is, a sample to two
        // columns, once the strip's rows are all made (conversions to colour go straight from the
        // groups and never come here).
        u = room.band[1];
        v = room.band[2];
        uint8_t* first = uAt < vAt ? u : v;
        uint8_t* second = uAt < vAt ? v : u;
        (yAt[0] == 0 ? kernels.unpackYUYV : kernels.unpackUYVY)(in, y, first, second, groups);
        chromaShift = 1;
        break;
    }
    case 4:  // U Y0 Y1 V Y2 Y3
        kernels.unpackY411(in, y, u, v, groups);
        chromaShift = 2;
        break;
    default:  // two chroma samples a group, each for four pixels
        kernels.unpackY41P(in, y, u, v, groups);
        chromaShift = 2;
        break;
    }
    const int chroma = phase >> chromaShift;
    return YUVRow{room.band[0], u + chroma, v + chroma, chromaShift, phase & ((1 << chromaShift) - 1)};
}

Packed422Row YUVPackedFrame::packed422Row(const unsigned char* data, int r, int c0) const {
    const int position = firstPixelOffset + c0;
    return Packed422Row{data + ptrdiff_t(r) * rowStride + ptrdiff_t(position / 2) * 4, yOffsets[formatIndex][0],
                        uOffsets[formatIndex][0], vOffsets[formatIndex][0], position % 2};
}

HostArray YUVPackedFrame::hostArrayOfRows(HostConversion conversion) {
    const unsigned char* data = getData();
    if (conversion == HostConversion::YUVToRGB && pixelsPerGroup[formatIndex] == 2) {
        // Straight from the groups to colour, with no unpacked rows between.
        const RowKernels& kernels = rowKernels();
        return columnMajorArray(width, height, 3, haUint8Class,
                                [&](int r, int c0, int n, const RowScratch& room, StripRow&) {
                                    kernels.packed422ToRGB(packed422Row(data, r, c0), room.band, n);
                                });
    }
    return yuvRowsArray(conversion, width, height, [&](int r, int c0, int n, const RowScratch& room) {
        return unpackRow(data, r, c0, n, room);
    });
}

HostArray YUVPackedFrame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    return hostArrayOfRows(HostConversion::Native);
}

HostArray YUVPackedFrame::getHostArray(int colorSpaceMask) {
    if (chooseHostConversion(getColorSpace(), colorSpaceMask) != HostConversion::YUVToRGB || !hasData())
        return ZORVFrame::getHostArray(colorSpaceMask);
    return hostArrayOfRows(HostConversion::YUVToRGB);
}

int YUVPackedFrame::getHostClassID() { return haUint8Class; }

int YUVPackedFrame::getBitmapSize() { return static_cast<int>(bitmapStride(int64_t(3) * width) * height); }

void YUVPackedFrame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 24);
    const ptrdiff_t stride = static_cast<ptrdiff_t>(bitmapStride(int64_t(3) * width));
    const unsigned char* data = getData();
    // The bitmap's first row is the image's bottom row.
    unsigned char* out = pixels + (height - 1) * stride;
    for (int r = 0; r < height; ++r, out -= stride) convertToPixels(data, r, 0, width, out, PixelOrder::BGR);
}

void YUVPackedFrame::convertToPixels(const unsigned char* data, int r, int c0, int n, uint8_t* out,
                                     PixelOrder order) const {
    // Every layout converts straight from its groups, the chunk's first pixel `phase` into its group.
    const int inGroup = pixelsPerGroup[formatIndex];
    const int position = firstPixelOffset + c0, phase = position % inGroup;
    const unsigned char* groups =
        data + ptrdiff_t(r) * rowStride + ptrdiff_t(position / inGroup) * bytesPerGroup[formatIndex];
    const int yAt = yOffsets[formatIndex][0], uAt = uOffsets[formatIndex][0], vAt = vOffsets[formatIndex][0];
    const RowKernels& kernels = rowKernels();
    switch (inGroup) {
    case 1:
        kernels.packed444ToPixels(Packed444Row{groups, yAt, uAt, vAt}, out, n, order);
        break;
    case 2:
        kernels.packed422ToPixels(Packed422Row{groups, yAt, uAt, vAt, phase}, out, n, order);
        break;
    default:
        kernels.packed411ToPixels(
            Packed411Row{groups, inGroup == 4 ? Packed411Layout::Y411 : Packed411Layout::Y41P, phase}, out, n, order);
        break;
    }
}

bool YUVPackedFrame::fillRowMajor(int colorSpaceMask, void* out) {
    if (!hasData()) return false;
    const unsigned char* data = getData();
    return yuvRowMajor(
        chooseHostConversion(getColorSpace(), colorSpaceMask), static_cast<uint8_t*>(out), width, height,
        [&](int r, int c0, int n, const RowScratch& room) { return unpackRow(data, r, c0, n, room); },
        [&](int r, int c0, int n, uint8_t* at) { convertToPixels(data, r, c0, n, at, PixelOrder::RGB); });
}

}  // namespace zorvframekit
