#include "formats/RGB24Frame.h"

#include "formats/PixelLayout.h"

namespace zorvframekit {

namespace {

// rgb24Formats, by format index: bytes of one raw pixel, and where red, green and blue lie in it.
// The fourth byte of formats 2 and 3 is unused.
const int bytesPerPixel[RGB24Frame::formatCount] = {3, 3, 4, 4};
const int channelOffsets[RGB24Frame::formatCount][3] = {{0, 1, 2}, {2, 1, 0}, {0, 1, 2}, {2, 1, 0}};

// The three colour planes in one pass. The pixel size is a constant here so that the addressing
// is plain.
template <int Bpp>
void gatherPackedPlanes(uint8_t* out, const unsigned char* topRow, ptrdiff_t rowPitch, int width, int height,
                        const int* offsets) {
    const int offR = offsets[0], offG = offsets[1], offB = offsets[2];
    gatherColumnPlanes(out, topRow, rowPitch, width, height, [=](const unsigned char* row, int c) {
        const unsigned char* p = row + Bpp * c;
        return PixelSamples{{p[offR], p[offG], p[offB]}};
    });
}

// Red-first pixels to the bitmap's blue-first order. Each pixel is loaded before any store, so that
// the compiler need not fear that the caller's area overlaps the frame's.
void swapRedBlueRow3(unsigned char* out, const unsigned char* in, int width) {
    for (int c = 0; c < width; ++c, in += 3, out += 3) {
        const unsigned char red = in[0], green = in[1], blue = in[2];
        out[0] = blue;
        out[1] = green;
        out[2] = red;
    }
}

// The same for 4-byte pixels, whose fourth byte is not written: blue and green go in one 16-bit
// store (little-endian, as both targets are), red in a byte store.
void swapRedBlueRow4(unsigned char* out, const unsigned char* in, int width) {
    for (int c = 0; c < width; ++c, in += 4, out += 4) {
        const uint16_t blueGreen = static_cast<uint16_t>(in[2] | in[1] << 8);
        const unsigned char red = in[0];
        std::memcpy(out, &blueGreen, 2);
        out[2] = red;
    }
}

}  // namespace

IFrame* RGB24Frame::create(int width, int height, int formatIndex, int bottomUp) {
    if (formatIndex < 0 || formatIndex >= formatCount || width <= 0 || height <= 0) return nullptr;
    const int64_t rowBytes = int64_t(bytesPerPixel[formatIndex]) * width;
    if (!productFitsInt(rowBytes, height) || !productFitsInt(bitmapStride(rowBytes), height)) return nullptr;
    return new RGB24Frame(width, height, formatIndex, bottomUp);
}

RGB24Frame::RGB24Frame(int width, int height, int formatIndex, int bottomUp)
    : ZORVFrame(bytesPerPixel[formatIndex] * width * height),
      width(width),
      height(height),
      bands(3),
      rowBytes(width * bytesPerPixel[formatIndex]),
      bottomUp(bottomUp),
      formatIndex(formatIndex) {
    setColorSpace(kColorSpaceRGB);
}

void RGB24Frame::copyRegion(const unsigned char* src, int srcWidth, int srcHeight, int x, int y) {
    if (src == nullptr || !windowInside(srcWidth, srcHeight, x, y, width, height)) return;
    unsigned char* dst = getData();
    if (dst == nullptr) return;
    copyWindowRows(dst, src, srcWidth, srcHeight, x, y, width, height, bytesPerPixel[formatIndex], bottomUp != 0);
}

HostArray RGB24Frame::getNativeHostArray() {
    if (!hasData()) return nullptr;
    HostArray array = createImageArray(height, width, bands, getHostClassID());
    if (array == nullptr) return nullptr;  // the host could not make it
    uint8_t* out = static_cast<uint8_t*>(haGetData(array));
    // A bottom-up buffer is read from its last row upward, so the host gets the top row first.
    const unsigned char* top = getData() + (bottomUp ? ptrdiff_t(height - 1) * rowBytes : 0);
    const ptrdiff_t pitch = bottomUp ? -ptrdiff_t(rowBytes) : ptrdiff_t(rowBytes);
    if (bytesPerPixel[formatIndex] == 3)
        gatherPackedPlanes<3>(out, top, pitch, width, height, channelOffsets[formatIndex]);
    else
        gatherPackedPlanes<4>(out, top, pitch, width, height, channelOffsets[formatIndex]);
    return array;
}

int RGB24Frame::getHostClassID() { return haUint8Class; }

int RGB24Frame::getBitmapSize() { return static_cast<int>(bitmapStride(rowBytes) * height); }

void RGB24Frame::fillBitmap(BITMAPINFOHEADER* header, unsigned char* pixels) {
    if (!hasData()) return;
    const int bpp = bytesPerPixel[formatIndex];
    fillBitmapHeader(header, width, height, 8 * bpp);
    const int64_t stride = bitmapStride(rowBytes);
    // Formats 1 and 3 are blue first already: their rows go over whole, fourth bytes included.
    const bool blueFirst = formatIndex == 1 || formatIndex == 3;
    const unsigned char* data = getData();
    for (int k = 0; k < height; ++k) {
        const unsigned char* in = data + int64_t(bufferRowOfBitmapRow(k, height, bottomUp != 0)) * rowBytes;
        unsigned char* out = pixels + k * stride;
        if (blueFirst)
            std::memcpy(out, in, static_cast<size_t>(rowBytes));
        else if (bpp == 3)
            swapRedBlueRow3(out, in, width);
        else
            swapRedBlueRow4(out, in, width);
    }
}

}  // namespace zorvframekit
