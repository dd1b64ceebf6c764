#include "formats/RGB24Planar.h"

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "formats/RowMajor.h"

namespace zorvframekit {

IFrame* RGB24Planar::create(int width, int height, int /*formatIndex*/, int /*bottomUp*/) {
    if (width <= 0 || height <= 0) return nullptr;
    const int64_t rowBytes = int64_t(3) * width;
    if (!productFitsInt(rowBytes, height) || !productFitsInt(bitmapStride(rowBytes), height)) return nullptr;
    return new RGB24Planar(width, height);
}

RGB24Planar::RGB24Planar(int width, int height)
    : ZORVFrame(3 * width * height), width(width), height(height), bands(3), planeSize(width * height) {
    setColorSpace(kColorSpaceRGB);
}

void RGB24Planar::copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) {
    if (src == nullptr || !windowInside(srcWidth, srcHeight, x, y, width, height)) return;
    unsigned char* dst = getData();
    if (dst == nullptr) return;
    // Each source plane is an image of one byte a pixel, top row first: the window is cut from
    // each plane in turn.
    const size_t srcPlane = static_cast<size_t>(srcWidth) * static_cast<size_t>(srcHeight);
    for (int p = 0; p < bands; ++p)
        copyWindowRows(dst + size_t(p) * planeSize, src + p * srcPlane, srcWidth, srcHeight, x, y, width, height, 1,
                       false);
}

HostArray RGB24Planar::getNativeHostArray() {
    if (!hasData()) return nullptr;
    HostArray array = createImageArray(height, width, bands, getHostClassID());
    if (array == nullptr) return nullptr;  // the host could not make it
    uint8_t* out = static_cast<uint8_t*>(haGetData(array));
    const unsigned char* data = getData();
    // Bands in buffer order, red, green, blue, unconverted: each plane is transposed into its band.
    for (int p = 0; p < bands; ++p)
        transposePlane(out + size_t(p) * planeSize, data + size_t(p) * planeSize, width, width, height);
    return array;
}

// The bands of a chunk of a row are where they lie in the planes.
struct RGB24Planar::Rows {
    const unsigned char* data;
    int width;
    size_t planeSize;

    void operator()(int r, int c0, int, const RowScratch&, StripRow& row) const {
        const unsigned char* red = data + ptrdiff_t(r) * width + c0;
        for (int p = 0; p < 3; ++p) row.band[p] = red + p * planeSize;
    }
};

HostArray RGB24Planar::getHostArray(int colorSpaceMask) {
    const HostConversion conversion = chooseHostConversion(getColorSpace(), colorSpaceMask);
    if (!isConvertedFromRGBRows(conversion) || !hasData()) return ZORVFrame::getHostArray(colorSpaceMask);
    return convertedRGBArray(conversion, width, height,
                             convertedFromRGBBands(conversion, Rows{getData(), width, size_t(planeSize)}));
}

int RGB24Planar::getHostClassID() { return haUint8Class; }

int RGB24Planar::getBitmapSize() { return static_cast<int>(bitmapStride(int64_t(bands) * width) * height); }

void RGB24Planar::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 8 * bands);
    const int64_t stride = bitmapStride(int64_t(bands) * width);
    const RowKernels& kernels = rowKernels();
    const unsigned char* data = getData();
    for (int r = 0; r < height; ++r) {
        const unsigned char* red = data + ptrdiff_t(r) * width;
        // Blue, green, red: the bitmap's byte order.
        const uint8_t* const planes[3] = {red + 2 * size_t(planeSize), red + planeSize, red};
        kernels.merge3(planes, pixels + (height - 1 - r) * stride, width);
    }
}

bool RGB24Planar::fillRowMajor(int colorSpaceMask, void* out) {
    if (!hasData()) return false;
    return rgbRowMajor(chooseHostConversion(getColorSpace(), colorSpaceMask), static_cast<uint8_t*>(out), width, height,
                       Rows{getData(), width, size_t(planeSize)});
}

}  // namespace zorvframekit
