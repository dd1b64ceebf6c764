#include "formats/MonochromeFrame.h"

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "formats/RowMajor.h"
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
    forBitmapRowsInBufferOrder(height, bottomUp != 0, [&](int b, int k) {
        const unsigned char* in = data + int64_t(b) * width * bpp;
        unsigned char* out = pixels + k * stride;
        // The eight most significant of the depth bits; anything above depth falls off the byte.
        if (bpp == 1)
            copyBytes(in, out, static_cast<size_t>(width));
        else
            kernels.wordsToBytes(in, out, width, shift, swapped);
    });
}

int MonochromeFrame::getBitDepth() { return bitDepth[formatIndex]; }

bool MonochromeFrame::fillRowMajor(int colorSpaceMask, void* out) {
    if (!hasData() || rowMajorLayout(colorSpaceMask).colorSpace == 0) return false;
    const size_t rowBytes = size_t(width) * bytesPerPixel[formatIndex];
    const unsigned char* data = getData();
    const auto imageRow = [&](int r) {
        return data + size_t(bufferRowOfImageRow(r, height, bottomUp != 0)) * rowBytes;
    };
    uint8_t* image = static_cast<uint8_t*>(out);
    const RowKernels& kernels = rowKernels();
    switch (chooseHostConversion(getColorSpace(), colorSpaceMask)) {
    case HostConversion::Native:
        // Samples as they stand, in the machine's byte order.
        if (byteSwapped[formatIndex])
            forImageRowsInBufferOrder(height, bottomUp != 0,
                                      [&](int r) { kernels.swapBytes16(imageRow(r), image + r * rowBytes, width); });
        else if (!bottomUp)
            copyBytes(data, image, rowBytes * height);
        else
            forImageRowsInBufferOrder(height, true,
                                      [&](int r) { copyBytes(imageRow(r), image + r * rowBytes, rowBytes); });
        return true;
    case HostConversion::MonoToRGB:
        forEachRowChunk(image, width, height, 3, [&](int r, int c0, int n, uint8_t* at) {
            const uint8_t* grey = imageRow(r) + c0;
            const uint8_t* const bands[3] = {grey, grey, grey};
            kernels.merge3(bands, at, n);
        }, bottomUp != 0);
        return true;
    case HostConversion::MonoToYUV: {
        // The RGB to YUV formulas with R = G = B give exactly the monochrome ones: Y from 220 s, U
        // and V 128.
        const ChunkScratch scratch;
        if (!scratch.made()) return false;
        const RowScratch room = scratch.room();
        forEachRowChunk(image, width, height, 3, [&](int r, int c0, int n, uint8_t* at) {
            const uint8_t* grey = imageRow(r) + c0;
            const uint8_t* const bands[3] = {grey, grey, grey};
            kernels.rgbToYUV(bands, room.band, n);
            kernels.merge3(room.band, at, n);
        }, bottomUp != 0);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace zorvframekit
