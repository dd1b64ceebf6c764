#include "formats/YUVPlanarFrame.h"

#include <algorithm>

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "formats/RowMajor.h"

namespace zorvframekit {

namespace {

// yuvPlanarFormats, by format index: the component of the buffer's first, second and third plane
// (0 Y, 1 U, 2 V), and the chroma subsampling factor in both directions.
const int planeOrder[YUVPlanarFrame::formatCount][3] = {{0, 2, 1}, {0, 2, 1}, {0, 1, 2}};
const int subsampling[YUVPlanarFrame::formatCount] = {4, 2, 2};

inline int64_t padTo(int64_t size, int f) { return (size + f - 1) / f * f; }

inline int log2OfFactor(int f) { return f == 4 ? 2 : 1; }

}  // namespace

IFrame* YUVPlanarFrame::create(int width, int height, int formatIndex, int /*bottomUp*/) {
    if (formatIndex < 0 || formatIndex >= formatCount || width <= 0 || height <= 0) return nullptr;
    const int f = subsampling[formatIndex];
    const int64_t luma = padTo(width, f) * padTo(height, f);
    if (!fitsInt(luma + 2 * (luma / f / f)) || !productFitsInt(bitmapStride(int64_t(3) * width), height)) return nullptr;
    return new YUVPlanarFrame(width, height, formatIndex);
}

YUVPlanarFrame::YUVPlanarFrame(int width, int height, int formatIndex)
    : ZORVFrame(0),
      formatIndex(formatIndex),
      width(width),
      height(height),
      bands(3),
      paddedWidth(static_cast<int>(padTo(width, subsampling[formatIndex]))),
      paddedHeight(static_cast<int>(padTo(height, subsampling[formatIndex]))),
      lumaSize(paddedWidth * paddedHeight),
      chromaSize(lumaSize / subsampling[formatIndex] / subsampling[formatIndex]) {
    setDataSize(lumaSize + 2 * chromaSize);
    setColorSpace(kColorSpaceYUV);
}

YUVPlanarFrame::Planes YUVPlanarFrame::findPlanes(const unsigned char* data) const {
    const unsigned char* component[3] = {nullptr, nullptr, nullptr};
    for (int plane : planeOrder[formatIndex]) {
        component[plane] = data;
        data += plane == 0 ? lumaSize : chromaSize;
    }
    return Planes{component[0], component[1], component[2]};
}

void YUVPlanarFrame::copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) {
    // The window rules apply to the image, not to its padding.
    if (src == nullptr || !windowInside(srcWidth, srcHeight, x, y, width, height)) return;
    if (x == 0 && y == 0 && srcWidth == paddedWidth && srcHeight == paddedHeight) {
        copyData(src);
        return;
    }
    unsigned char* dst = getData();
    if (dst == nullptr) return;
    const int f = subsampling[formatIndex];

    // The padded window may reach past the source's right or bottom edge (a source of exactly the
    // image's size); only what lies in the source is copied, and the padding keeps its bytes.
    const int lumaRows = static_cast<int>(std::min<int64_t>(paddedHeight, int64_t(srcHeight) - y));
    const size_t lumaBytes = static_cast<size_t>(std::min<int64_t>(paddedWidth, int64_t(srcWidth) - x));
    const unsigned char* s = src + static_cast<ptrdiff_t>(int64_t(y) * srcWidth + x);
    unsigned char* d = dst;
    for (int k = 0; k < lumaRows; ++k, s += srcWidth, d += paddedWidth) copyBytes(s, d, lumaBytes);

    // The source's chroma planes follow its luma in the frame's plane order, with rows of
    // srcWidth / f bytes. The window's chroma starts at the block holding pixel (x, y): no resampling.
    const int64_t srcLuma = int64_t(srcWidth) * srcHeight;
    const int64_t srcPlane = srcLuma / (f * f);
    const int64_t srcChromaWidth = srcWidth / f;
    const int64_t firstColumn = x / f;
    const int chromaWidth = paddedWidth / f;
    const int64_t columns = std::min<int64_t>(chromaWidth, srcChromaWidth - firstColumn);
    if (columns <= 0) return;
    const unsigned char* second = src + static_cast<ptrdiff_t>(srcLuma);
    const unsigned char* third = second + static_cast<ptrdiff_t>(srcPlane);
    unsigned char* dstSecond = dst + lumaSize;
    unsigned char* dstThird = dstSecond + chromaSize;
    for (int m = 0; m < paddedHeight / f; ++m) {
        const int64_t at = (int64_t(y / f) + m) * srcChromaWidth + firstColumn;
        const int64_t bytes = std::min(columns, srcPlane - at);
        if (bytes <= 0) break;
        copyBytes(second + at, dstSecond + m * chromaWidth, static_cast<size_t>(bytes));
        copyBytes(third + at, dstThird + m * chromaWidth, static_cast<size_t>(bytes));
    }
}

YUVRow YUVPlanarFrame::rowAt(const Planes& planes, int r, int c0) const {
    const int f = subsampling[formatIndex];
    const ptrdiff_t chroma = ptrdiff_t(r / f) * (paddedWidth / f) + c0 / f;
    return YUVRow{planes.y + ptrdiff_t(r) * paddedWidth + c0, planes.u + chroma, planes.v + chroma,
                  log2OfFactor(f), 0};
}

HostArray YUVPlanarFrame::hostArrayOfRows(HostConversion conversion) {
    const Planes planes = findPlanes(getData());
    return yuvRowsArray(conversion, width, height,
                        [&](int r, int c0, int, const RowScratch&) { return rowAt(planes, r, c0); });
}

HostArray YUVPlanarFrame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    return hostArrayOfRows(HostConversion::Native);
}

HostArray YUVPlanarFrame::getHostArray(int colorSpaceMask) {
    if (chooseHostConversion(getColorSpace(), colorSpaceMask) != HostConversion::YUVToRGB || !hasData())
        return ZORVFrame::getHostArray(colorSpaceMask);
    return hostArrayOfRows(HostConversion::YUVToRGB);
}

int YUVPlanarFrame::getHostClassID() { return haUint8Class; }

int YUVPlanarFrame::getBitmapSize() { return static_cast<int>(bitmapStride(int64_t(3) * width) * height); }

void YUVPlanarFrame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 24);
    const ptrdiff_t stride = static_cast<ptrdiff_t>(bitmapStride(int64_t(3) * width));
    const RowKernels& kernels = rowKernels();
    const Planes planes = findPlanes(getData());
    // The bitmap's first row is the image's bottom row.
    unsigned char* out = pixels + (height - 1) * stride;
    for (int r = 0; r < height; ++r, out -= stride)
        kernels.yuvToPixels(rowAt(planes, r, 0), out, width, PixelOrder::BGR);
}

bool YUVPlanarFrame::fillRowMajor(int colorSpaceMask, void* out) {
    if (!hasData()) return false;
    const Planes planes = findPlanes(getData());
    const RowKernels& kernels = rowKernels();
    return yuvRowMajor(
        chooseHostConversion(getColorSpace(), colorSpaceMask), static_cast<uint8_t*>(out), width, height,
        [&](int r, int c0, int, const RowScratch&) { return rowAt(planes, r, c0); },
        [&](int r, int c0, int n, uint8_t* at) { kernels.yuvToPixels(rowAt(planes, r, c0), at, n, PixelOrder::RGB); });
}

}  // namespace zorvframekit
