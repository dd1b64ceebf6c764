#include "formats/RGB16Frame.h"

#include "formats/PixelLayout.h"

namespace zorvframekit {

namespace {

// Pixel words are little-endian, as both targets are: a plain 16-bit load or store moves one.
inline unsigned pixelWord(const unsigned char* row, int c) {
    uint16_t v;
    std::memcpy(&v, row + 2 * c, 2);
    return v;
}

// Each field moved to the top of its byte, low bits 0. Format 0 is 5-5-5 (bit 15 ignored);
// format 1 is 5-6-5.
struct Fields555 {
    static uint8_t red(unsigned v) { return uint8_t((v >> 7) & 0xF8); }
    static uint8_t green(unsigned v) { return uint8_t((v >> 2) & 0xF8); }
    static uint8_t blue(unsigned v) { return uint8_t((v << 3) & 0xFF); }
};
struct Fields565 {
    static uint8_t red(unsigned v) { return uint8_t((v >> 8) & 0xF8); }
    static uint8_t green(unsigned v) { return uint8_t((v >> 3) & 0xFC); }
    static uint8_t blue(unsigned v) { return uint8_t((v << 3) & 0xFF); }
};

template <typename Fields>
void gatherWordPlanes(uint8_t* out, const unsigned char* topRow, ptrdiff_t rowPitch, int width, int height) {
    gatherColumnPlanes(out, topRow, rowPitch, width, height, [](const unsigned char* row, int c) {
        const unsigned v = pixelWord(row, c);
        return PixelSamples{{Fields::red(v), Fields::green(v), Fields::blue(v)}};
    });
}

// 5-6-5 to the bitmap's 5-5-5: red and the upper five green bits down one place, green's lowest
// bit dropped, blue kept, bit 15 clear.
void convert565To555Row(unsigned char* out, const unsigned char* in, int width) {
    for (int c = 0; c < width; ++c) {
        const unsigned v = pixelWord(in, c);
        const uint16_t w = static_cast<uint16_t>(((v >> 1) & 0x7FE0) | (v & 0x1F));
        std::memcpy(out + 2 * c, &w, 2);
    }
}

}  // namespace

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

HostArray RGB16Frame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    HostArray array = createImageArray(height, width, bands, getHostClassID());
    if (array == nullptr) return nullptr;  // the host could not make it
    uint8_t* out = static_cast<uint8_t*>(haGetData(array));
    const ptrdiff_t rowBytes = ptrdiff_t(2) * width;
    const unsigned char* top = getData() + (bottomUp ? (height - 1) * rowBytes : 0);
    const ptrdiff_t pitch = bottomUp ? -rowBytes : rowBytes;
    if (formatIndex == 0)
        gatherWordPlanes<Fields555>(out, top, pitch, width, height);
    else
        gatherWordPlanes<Fields565>(out, top, pitch, width, height);
    return array;
}

int RGB16Frame::getHostClassID() { return haUint8Class; }

int RGB16Frame::getBitmapSize() { return static_cast<int>(bitmapStride(int64_t(2) * width) * height); }

void RGB16Frame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    fillBitmapHeader(header, width, height, 16);
    const int64_t rowBytes = int64_t(2) * width;
    const int64_t stride = bitmapStride(rowBytes);
    const unsigned char* data = getData();
    for (int k = 0; k < height; ++k) {
        const unsigned char* in = data + bufferRowOfBitmapRow(k, height, bottomUp != 0) * rowBytes;
        unsigned char* out = pixels + k * stride;
        // A 16-bit bitmap holds 5-5-5 pixels: format 0 goes over as it is, bit 15 included.
        if (formatIndex == 1)
            convert565To555Row(out, in, width);
        else
            std::memcpy(out, in, static_cast<size_t>(rowBytes));
    }
}

}  // namespace zorvframekit
