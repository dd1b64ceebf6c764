#include "formats/PixelLayout.h"

#include <initializer_list>

#include "frame/ColorConversion.h"

namespace zorvframekit {

void copyWindowRows(unsigned char* dst, const unsigned char* src, int srcWidth, int srcHeight, int x, int y,
                    int width, int height, int bytesPerPixel, bool bottomUp) {
    const int64_t first = bottomUp ? static_cast<int64_t>(srcHeight) - height - y : y;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    const size_t srcRowBytes = static_cast<size_t>(srcWidth) * static_cast<size_t>(bytesPerPixel);
    const unsigned char* s = src + (static_cast<size_t>(first) * srcRowBytes + static_cast<size_t>(x) * bytesPerPixel);
    for (int row = 0; row < height; ++row) {
        std::memcpy(dst, s, rowBytes);
        dst += rowBytes;
        s += srcRowBytes;
    }
}

void convertYUVRowToBitmap(uint8_t* y, uint8_t* u, uint8_t* v, unsigned char* bgr, int width) {
    for (int c = 0; c < width; ++c) convertYUVPixelToRGB(y[c], u[c], v[c], y[c], u[c], v[c]);
    for (int c = 0; c < width; ++c, bgr += 3) {
        bgr[0] = v[c];
        bgr[1] = u[c];
        bgr[2] = y[c];
    }
}

namespace {

// Transposes an 8 x 8 byte block held as eight little-endian words (word i = row i, byte j =
// column j): afterwards word j holds column j, byte i of it being row i. Three rounds swap 4 x 4,
// 2 x 2 and 1 x 1 sub-blocks across the diagonal.
inline void transpose8x8(uint64_t m[8]) {
    for (int i = 0; i < 4; ++i) {
        const uint64_t a = m[i], b = m[i + 4];
        m[i] = (a & 0x00000000FFFFFFFFull) | (b << 32);
        m[i + 4] = (a >> 32) | (b & 0xFFFFFFFF00000000ull);
    }
    for (int i : {0, 1, 4, 5}) {
        const uint64_t a = m[i], b = m[i + 2];
        m[i] = (a & 0x0000FFFF0000FFFFull) | ((b << 16) & 0xFFFF0000FFFF0000ull);
        m[i + 2] = ((a >> 16) & 0x0000FFFF0000FFFFull) | (b & 0xFFFF0000FFFF0000ull);
    }
    for (int i : {0, 2, 4, 6}) {
        const uint64_t a = m[i], b = m[i + 1];
        m[i] = (a & 0x00FF00FF00FF00FFull) | ((b << 8) & 0xFF00FF00FF00FF00ull);
        m[i + 1] = ((a >> 8) & 0x00FF00FF00FF00FFull) | (b & 0xFF00FF00FF00FF00ull);
    }
}

inline uint64_t loadWord(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

}  // namespace

void transposeBytes(uint8_t* out, const unsigned char* topRow, ptrdiff_t rowPitch, int width, int height) {
    const int fullRows = height & ~7, fullColumns = width & ~7;
    const size_t columnStride = static_cast<size_t>(height);
    for (int r0 = 0; r0 < fullRows; r0 += 8) {
        const unsigned char* block = topRow + r0 * rowPitch;
        for (int c0 = 0; c0 < fullColumns; c0 += 8) {
            uint64_t m[8];
            for (int i = 0; i < 8; ++i) m[i] = loadWord(block + i * rowPitch + c0);
            transpose8x8(m);
            uint8_t* column = out + static_cast<size_t>(c0) * columnStride + r0;
            for (int j = 0; j < 8; ++j) std::memcpy(column + j * columnStride, &m[j], 8);
        }
    }
    // The columns right of the last whole block, and the rows below the last, a byte at a time.
    for (int c = fullColumns; c < width; ++c)
        for (int r = 0; r < fullRows; ++r) out[static_cast<size_t>(c) * columnStride + r] = topRow[r * rowPitch + c];
    for (int r = fullRows; r < height; ++r) {
        const unsigned char* row = topRow + r * rowPitch;
        for (int c = 0; c < width; ++c) out[static_cast<size_t>(c) * columnStride + r] = row[c];
    }
}

HostArray createImageArray(int height, int width, int bands, int classID) {
    const int dimensions[3] = {height, width, bands};
    return haCreateNumericArray(3, dimensions, classID, 0);
}

void fillBitmapHeader(BITMAPINFOHEADER* header, int width, int height, int bitsPerPixel) {
    header->biSize = 40;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<uint16_t>(bitsPerPixel);
    header->biCompression = 0;
    header->biSizeImage = 0;
    header->biXPelsPerMeter = 0;
    header->biYPelsPerMeter = 0;
    header->biClrUsed = 0;
    header->biClrImportant = 0;
}

}  // namespace zorvframekit
