#include "formats/RGB24Planar.h"

#include "formats/PixelLayout.h"

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
        transposeBytes(out + size_t(p) * planeSize, data + size_t(p) * planeSize, width, width, height);
    return array;
}

int RGB24Planar::getHostClassID() { return haUint8Class; }

int RGB24Planar::getBitmapSize() { return static_cast<int>(bitmapStride(int64_t(bands) * width) * height); }

void RGB24Planar::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 8 * bands);
    const int64_t stride = bitmapStride(int64_t(bands) * width);
    const unsigned char* data = getData();
    for (int r = 0; r < height; ++r) {
        const unsigned char* red = data + ptrdiff_t(r) * width;
        const unsigned char* green = red + planeSize;
        const unsigned char* blue = green + planeSize;
        unsigned char* out = pixels + (height - 1 - r) * stride;
        for (int c = 0; c < width; ++c) {
            // All three loaded before any store: the caller's area cannot then be taken for ours.
            const unsigned char b = blue[c], g = green[c], r8 = red[c];
            out[3 * c] = b;
            out[3 * c + 1] = g;
            out[3 * c + 2] = r8;
        }
    }
}

}  // namespace zorvframekit
