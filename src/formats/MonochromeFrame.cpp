#include "formats/MonochromeFrame.h"

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "kernels/RowKernels.h"

namespace zorvframekit {

namespace {

// monochromeFormats, by format index. A two-byte sample holds a bitDepth-bit value, least
// significant byte first unless byteSwapped; bits above bitDepth are passed on, not masked.
const int bytesPerPixel[MonochromeFrame::formatCount] = {1, 2, 2, 2, 2, 2, 2, 2, 2};
const int bitDepth[MonochromeFrame::formatCount] = {8, 10, 12, 14, 16, 10, 12, 14, 16};
const int byteSwapped[MonochromeFrame::formatCount] = {0, 0, 0, 0, 0, 1, 1, 1, 1};

}  // namespace

IFrame* MonochromeFrame::create(int width, int height, int formatIndex, int bottomUp) {
    if (formatIndex < 0 || formatIndex >= formatCount) return nullptr;
    if (!productFitsInt(int64_t(bytesPerPixel[formatIndex]) * width, height) ||
        !productFitsInt(bitmapStride(width), height))
        return nullptr;
    return new MonochromeFrame(width, height, formatIndex, bottomUp);
}

MonochromeFrame::MonochromeFrame(int width, int height, int formatIndex, int bottomUp)
    : ZORVFrame(bytesPerPixel[formatIndex] * width * height),
      width(width),
      height(height),
      bands(1),
      bottomUp(bottomUp),
      formatIndex(formatIndex) {
    setColorSpace(kColorSpaceMonochrome);
}

void MonochromeFrame::copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) {
    if (src == nullptr || !windowInside(srcWidth, srcHeight, x, y, width, height)) return;
    unsigned char* dst = getData();
    if (dst == nullptr) return;
    copyWindowRows(dst, src, srcWidth, srcHeight, x, y, width, height, bytesPerPixel[formatIndex], bottomUp != 0);
}

HostArray MonochromeFrame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    HostArray array = createImageArray(height, width, 1, getHostClassID());
    if (array == nullptr) return nullptr;  // the host could not make it
    const int bpp = bytesPerPixel[formatIndex];
    const ptrdiff_t rowBytes = ptrdiff_t(width) * bpp;
    const unsigned char* top = getData() + (bottomUp ? (height - 1) * rowBytes : 0);
    const ptrdiff_t pitch = bottomUp ? -rowBytes : rowBytes;
    if (bpp == 1)
        transposePlane(static_cast<uint8_t*>(haGetData(array)), top, pitch, width, height);
    else
        transposePlane16(static_cast<uint16_t*>(haGetData(array)), top, pitch, width, height, byteSwapped[formatIndex] != 0);
    return array;
}

int MonochromeFrame::getHostClassID() {
    const int depth = bitDepth[formatIndex];
    if (depth <= 8) return haUint8Class;
    if (depth <= 16) return haUint16Class;
    return haUint32Class;
}

int MonochromeFrame::getBitmapSize() { return static_cast<int>(bitmapStride(width) * height); }

void MonochromeFrame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 8);
    const int64_t stride = bitmapStride(width);
    const int bpp = bytesPerPixel[formatIndex];
    const int shift = bitDepth[formatIndex] - 8;
    const bool swapped = byteSwapped[formatIndex] != 0;
    const RowKernels& kernels = rowKernels();
    const unsigned char* data = getData();
    for (int k = 0; k < height; ++k) {
        const unsigned char* in = data + int64_t(bufferRowOfBitmapRow(k, height, bottomUp != 0)) * width * bpp;
        unsigned char* out = pixels + k * stride;
        // The eight most significant of the depth bits; anything above depth falls off the byte.
        if (bpp == 1)
            std::memcpy(out, in, static_cast<size_t>(width));
        else
            kernels.wordsToBytes(in, out, width, shift, swapped);
    }
}

int MonochromeFrame::getBitDepth() { return bitDepth[formatIndex]; }

}  // namespace zorvframekit
