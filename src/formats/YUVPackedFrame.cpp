#include "formats/YUVPackedFrame.h"

#include <algorithm>

#include "formats/PixelLayout.h"

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
    for (int k = 0; k < height; ++k, s += srcStride, dst += rowStride) std::memcpy(dst, s, rowBytes);
}

YUVPackedFrame::SampleOffsets YUVPackedFrame::sampleOffsets() const {
    const int n = pixelsPerGroup[formatIndex], b = bytesPerGroup[formatIndex];
    SampleOffsets offsets;
    offsets.y.resize(static_cast<size_t>(width));
    offsets.u.resize(static_cast<size_t>(width));
    offsets.v.resize(static_cast<size_t>(width));
    for (int c = 0; c < width; ++c) {
        const int position = firstPixelOffset + c;
        const int group = (position / n) * b, j = position % n;
        offsets.y[c] = group + yOffsets[formatIndex][j];
        offsets.u[c] = group + uOffsets[formatIndex][j];
        offsets.v[c] = group + vOffsets[formatIndex][j];
    }
    return offsets;
}

HostArray YUVPackedFrame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    const SampleOffsets offsets = sampleOffsets();  // first: if it cannot be had, no array is left behind
    HostArray array = createImageArray(height, width, 3, haUint8Class);
    if (array == nullptr) return nullptr;  // the host could not make it
    uint8_t* out = static_cast<uint8_t*>(haGetData(array));
    const size_t band = static_cast<size_t>(width) * static_cast<size_t>(height);
    const int* sampleAt[3] = {offsets.y.data(), offsets.u.data(), offsets.v.data()};
    for (int k = 0; k < 3; ++k) {
        const int* at = sampleAt[k];
        gatherColumns(out + k * band, getData(), rowStride, width, height,
                      [at](const unsigned char* row, int c) { return row[at[c]]; });
    }
    return array;
}

int YUVPackedFrame::getHostClassID() { return haUint8Class; }

int YUVPackedFrame::getBitmapSize() { return static_cast<int>(bitmapStride(int64_t(3) * width) * height); }

void YUVPackedFrame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 24);
    const ptrdiff_t stride = static_cast<ptrdiff_t>(bitmapStride(int64_t(3) * width));
    const SampleOffsets offsets = sampleOffsets();
    const int *yAt = offsets.y.data(), *uAt = offsets.u.data(), *vAt = offsets.v.data();
    std::vector<uint8_t> samples(3 * static_cast<size_t>(width));
    uint8_t *ys = samples.data(), *us = ys + width, *vs = us + width;
    const unsigned char* in = getData();
    // The bitmap's first row is the image's bottom row.
    unsigned char* out = pixels + (height - 1) * stride;
    for (int r = 0; r < height; ++r, in += rowStride, out -= stride) {
        for (int c = 0; c < width; ++c) {
            ys[c] = in[yAt[c]];
            us[c] = in[uAt[c]];
            vs[c] = in[vAt[c]];
        }
        convertYUVRowToBitmap(ys, us, vs, out, width);
    }
}

}  // namespace zorvframekit
