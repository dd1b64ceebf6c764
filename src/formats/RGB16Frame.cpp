#include "formats/RGB16Frame.h"

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "formats/RowMajor.h"

namespace zorvframekit {

IFrame* RGB16Frame::create(int width, int height, int formatIndex, int bottomUp) {
    if (formatIndex < 0 || formatIndex >= formatCount || width <= 0 || height <= 0) return nullptr;
    const int64_t rowBytes = int64_t(2) * width;
    if (!productFitsInt(rowBytes, height) || !productFitsInt(bitmapStride(rowBytes), height)) return nullptr;
    return new RGB16Frame(width, height, formatIndex, bottomUp);
}

RGB16Frame::RGB16Frame(int width, int height, int formatIndex, int bottomUp)
    : ZORVFrame(2 * width * height),
      width(width),
      height(height),
      bands(3),
      bottomUp(bottomUp),
      formatIndex(formatIndex) {
    setColorSpace(kColorSpaceRGB);
}

void RGB16Frame::copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) {
    if (src == nullptr || !windowInside(srcWidth, srcHeight, x, y, width, height)) return;
    unsigned char* dst = getData();
    if (dst == nullptr) return;
    copyWindowRows(dst, src, srcWidth, srcHeight, x, y, width, height, 2, bottomUp != 0);
}

// The red, green and blue bands of a chunk of a row, each field moved to the top of its byte.
struct RGB16Frame::Rows {
    const unsigned char* top;  // image row 0
    ptrdiff_t pitch;           // from one image row to the next (negative for a bottom-up buffer)
    bool is565;

    void operator()(int r, int c0, int n, const RowScratch& room, StripRow&) const {
        const unsigned char* in = top + r * pitch + ptrdiff_t(2) * c0;
        const RowKernels& kernels = rowKernels();
        (is565 ? kernels.rgb565ToRGB : kernels.rgb555ToRGB)(in, room.band, n);
    }
};

RGB16Frame::Rows RGB16Frame::rows() {
    const ptrdiff_t rowBytes = ptrdiff_t(2) * width;
    const unsigned char* top = getData() + (bottomUp ? (height - 1) * rowBytes : 0);
    // Format 0 is 5-5-5; the host array takes every other index as 5-6-5.
    return Rows{top, bottomUp ? -rowBytes : rowBytes, formatIndex != 0};
}

HostArray RGB16Frame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    return columnMajorArray(width, height, bands, getHostClassID(), rows());
}

HostArray RGB16Frame::getHostArray(int colorSpaceMask) {
    const HostConversion conversion = chooseHostConversion(getColorSpace(), colorSpaceMask);
    if (!isConvertedFromRGBRows(conversion) || !hasData()) return ZORVFrame::getHostArray(colorSpaceMask);
    return convertedRGBArray(conversion, width, height, convertedFromRGBBands(conversion, rows()));
}

int RGB16Frame::getHostClassID() { return haUint8Class; }

int RGB16Frame::getBitmapSize() { return static_cast<int>(bitmapStride(int64_t(2) * width) * height); }

void RGB16Frame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 16);
    const int64_t rowBytes = int64_t(2) * width;
    const int64_t stride = bitmapStride(rowBytes);
    const RowKernels& kernels = rowKernels();
    const unsigned char* data = getData();
    forBitmapRowsInBufferOrder(height, bottomUp != 0, [&](int b, int k) {
        const unsigned char* in = data + b * rowBytes;
        unsigned char* out = pixels + k * stride;
        // A 16-bit bitmap holds 5-5-5 pixels: format 0 goes over as it is, bit 15 included.
        if (formatIndex == 1)
            kernels.rgb565To555(in, out, width);
        else
            copyBytes(in, out, static_cast<size_t>(rowBytes));
    });
}

bool RGB16Frame::fillRowMajor(int colorSpaceMask, void* out) {
    if (!hasData()) return false;
    return rgbRowMajor(chooseHostConversion(getColorSpace(), colorSpaceMask), static_cast<uint8_t*>(out), width, height,
                       rows(), bottomUp != 0);
}

}  // namespace zorvframekit
