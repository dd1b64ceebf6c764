// The reference kernels: plain C++ over the per-pixel routines, a pixel at a time. They run where no
// SIMD table does, finish the pixels the SIMD kernels leave, and are what those are tested against.
#include <cstring>

#include "kernels/PixelFormulas.h"
#include "kernels/KernelSets.h"

namespace zorvframekit {
namespace plain {

namespace {

inline unsigned word(const uint8_t* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }

inline void storePixel(uint8_t* out, uint8_t r, uint8_t g, uint8_t b, PixelOrder order) {
    out[0] = order == PixelOrder::BGR ? b : r;
    out[1] = g;
    out[2] = order == PixelOrder::BGR ? r : b;
}

}  // namespace

void yuvToPixels(const YUVRow& row, uint8_t* out, int n, PixelOrder order) {
    for (int i = 0; i < n; ++i, out += 3) {
        const int k = (row.phase + i) >> row.chromaShift;
        uint8_t r, g, b;
        convertYUVPixelToRGB(row.y[i], row.u[k], row.v[k], r, g, b);
        storePixel(out, r, g, b, order);
    }
}

void yuvToRGB(const YUVRow& row, uint8_t* const rgb[3], int n) {
    for (int i = 0; i < n; ++i) {
        const int k = (row.phase + i) >> row.chromaShift;
        convertYUVPixelToRGB(row.y[i], row.u[k], row.v[k], rgb[0][i], rgb[1][i], rgb[2][i]);
    }
}

void packed422ToPixels(const Packed422Row& row, uint8_t* out, int n, PixelOrder order) {
    for (int i = 0; i < n; ++i, out += 3) {
        const int p = row.phase + i;
        const uint8_t* group = row.groups + 4 * (p >> 1);
        uint8_t r, g, b;
        convertYUVPixelToRGB(group[row.lumaOffset + 2 * (p & 1)], group[row.uOffset], group[row.vOffset], r, g, b);
        storePixel(out, r, g, b, order);
    }
}

void packed422ToRGB(const Packed422Row& row, uint8_t* const rgb[3], int n) {
    for (int i = 0; i < n; ++i) {
        const int p = row.phase + i;
        const uint8_t* group = row.groups + 4 * (p >> 1);
        convertYUVPixelToRGB(group[row.lumaOffset + 2 * (p & 1)], group[row.uOffset], group[row.vOffset], rgb[0][i],
                             rgb[1][i], rgb[2][i]);
    }
}

void expandChroma(const YUVRow& row, uint8_t* u, uint8_t* v, int n) {
    for (int i = 0; i < n; ++i) {
        const int k = (row.phase + i) >> row.chromaShift;
        u[i] = row.u[k];
        v[i] = row.v[k];
    }
}

void rgbToYUV(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n) {
    for (int i = 0; i < n; ++i) convertRGBPixelToYUV(rgb[0][i], rgb[1][i], rgb[2][i], yuv[0][i], yuv[1][i], yuv[2][i]);
}

void rgbToMono(const uint8_t* const rgb[3], uint8_t* mono, int n) {
    for (int i = 0; i < n; ++i) mono[i] = convertRGBPixelToMono(rgb[0][i], rgb[1][i], rgb[2][i]);
}

void packedRGBToMono(const uint8_t* pixels, int redOffset, uint8_t* mono, int n) {
    for (int i = 0; i < n; ++i, pixels += 3) mono[i] = convertRGBPixelToMono(pixels[redOffset], pixels[1], pixels[2 - redOffset]);
}

void packedRGBToYUV(const uint8_t* pixels, int redOffset, uint8_t* const yuv[3], int n) {
    for (int i = 0; i < n; ++i, pixels += 3)
        convertRGBPixelToYUV(pixels[redOffset], pixels[1], pixels[2 - redOffset], yuv[0][i], yuv[1][i], yuv[2][i]);
}

void split3(const uint8_t* in, uint8_t* const out[3], int n) {
    for (int i = 0; i < n; ++i, in += 3) {
        const uint8_t b0 = in[0], b1 = in[1], b2 = in[2];
        out[0][i] = b0;
        out[1][i] = b1;
        out[2][i] = b2;
    }
}

void split4(const uint8_t* in, uint8_t* const out[3], int n) {
    for (int i = 0; i < n; ++i, in += 4) {
        const uint8_t b0 = in[0], b1 = in[1], b2 = in[2];
        out[0][i] = b0;
        out[1][i] = b1;
        out[2][i] = b2;
    }
}

// Each field moved to the top of its byte, low bits 0. 5-5-5 ignores bit 15.
void rgb555ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n) {
    for (int i = 0; i < n; ++i, in += 2) {
        const unsigned v = word(in);
        rgb[0][i] = uint8_t((v >> 7) & 0xF8);
        rgb[1][i] = uint8_t((v >> 2) & 0xF8);
        rgb[2][i] = uint8_t((v << 3) & 0xFF);
    }
}

void rgb565ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n) {
    for (int i = 0; i < n; ++i, in += 2) {
        const unsigned v = word(in);
        rgb[0][i] = uint8_t((v >> 8) & 0xF8);
        rgb[1][i] = uint8_t((v >> 3) & 0xFC);
        rgb[2][i] = uint8_t((v << 3) & 0xFF);
    }
}

void unpackYUYV(const uint8_t* in, uint8_t* y, uint8_t* c1, uint8_t* c3, int groups) {
    for (int g = 0; g < groups; ++g, in += 4) {
        y[2 * g] = in[0];
        c1[g] = in[1];
        y[2 * g + 1] = in[2];
        c3[g] = in[3];
    }
}

void unpackUYVY(const uint8_t* in, uint8_t* y, uint8_t* c0, uint8_t* c2, int groups) {
    for (int g = 0; g < groups; ++g, in += 4) {
        c0[g] = in[0];
        y[2 * g] = in[1];
        c2[g] = in[2];
        y[2 * g + 1] = in[3];
    }
}

void unpackY411(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    for (int g = 0; g < groups; ++g, in += 6, y += 4) {
        u[g] = in[0];
        y[0] = in[1];
        y[1] = in[2];
        v[g] = in[3];
        y[2] = in[4];
        y[3] = in[5];
    }
}

void unpackY41P(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    for (int g = 0; g < groups; ++g, in += 12, y += 8) {
        u[2 * g] = in[0];
        v[2 * g] = in[2];
        u[2 * g + 1] = in[4];
        v[2 * g + 1] = in[6];
        y[0] = in[1];
        y[1] = in[3];
        y[2] = in[5];
        y[3] = in[7];
        y[4] = in[8];
        y[5] = in[9];
        y[6] = in[10];
        y[7] = in[11];
    }
}

// Each pixel is loaded before any store, so that the compiler need not fear that the caller's area
// overlaps the frame's.
void packed444ToPixels(const Packed444Row& row, uint8_t* out, int n, PixelOrder order) {
    const uint8_t* pixel = row.pixels;
    for (int i = 0; i < n; ++i, pixel += 3, out += 3) {
        uint8_t r, g, b;
        convertYUVPixelToRGB(pixel[row.yOffset], pixel[row.uOffset], pixel[row.vOffset], r, g, b);
        storePixel(out, r, g, b, order);
    }
}

void packed411ToPixels(const Packed411Row& row, uint8_t* out, int n, PixelOrder order) {
    const Packed411Format& format = packed411Format(row.layout);
    for (int i = 0; i < n; ++i, out += 3) {
        const int position = row.phase + i, j = position % format.pixels;
        const uint8_t* group = row.groups + (position / format.pixels) * format.bytes;
        uint8_t r, g, b;
        convertYUVPixelToRGB(group[format.y[j]], group[format.u[j]], group[format.v[j]], r, g, b);
        storePixel(out, r, g, b, order);
    }
}

void swap3(const uint8_t* in, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i, in += 3, out += 3) {
        const uint8_t b0 = in[0], b1 = in[1], b2 = in[2];
        out[0] = b2;
        out[1] = b1;
        out[2] = b0;
    }
}

// Bytes 2 and 1 go in one 16-bit store (little-endian, as both targets are), byte 0 in a byte store:
// the fourth byte is never touched.
void swap4(const uint8_t* in, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i, in += 4, out += 4) {
        const uint16_t first = static_cast<uint16_t>(in[2] | in[1] << 8);
        const uint8_t third = in[0];
        std::memcpy(out, &first, 2);
        out[2] = third;
    }
}

void merge3(const uint8_t* const in[3], uint8_t* out, int n) {
    const uint8_t *b0 = in[0], *b1 = in[1], *b2 = in[2];
    for (int i = 0; i < n; ++i, out += 3) {
        const uint8_t s0 = b0[i], s1 = b1[i], s2 = b2[i];
        out[0] = s0;
        out[1] = s1;
        out[2] = s2;
    }
}

void rgb565To555(const uint8_t* in, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i, in += 2, out += 2) {
        const unsigned v = word(in);
        const uint16_t w = static_cast<uint16_t>(((v >> 1) & 0x7FE0) | (v & 0x1F));
        std::memcpy(out, &w, 2);
    }
}

void wordsToBytes(const uint8_t* in, uint8_t* out, int n, int shift, bool swapped) {
    for (int i = 0; i < n; ++i, in += 2) {
        const unsigned v = swapped ? (unsigned(in[0]) << 8 | in[1]) : word(in);
        out[i] = static_cast<uint8_t>(v >> shift);
    }
}

void transpose8(const uint8_t* const* rows, int rowCount, int width, uint8_t* out, size_t columnStride) {
    for (int i = 0; i < rowCount; ++i) {
        const uint8_t* row = rows[i];
        uint8_t* column = out + i;
        for (int c = 0; c < width; ++c, column += columnStride) *column = row[c];
    }
}

void transpose8Doubled(const uint8_t* const* rows, int rowCount, int width, uint8_t* out, size_t columnStride) {
    for (int i = 0; i < rowCount; ++i) {
        const uint8_t* row = rows[i];
        uint8_t* column = out + i;
        for (int c = 0; c < width; ++c, column += 2 * columnStride) column[0] = column[columnStride] = row[c];
    }
}

void transpose16(const uint8_t* const* rows, int rowCount, int width, uint16_t* out, size_t columnStride,
                 bool swapped) {
    for (int i = 0; i < rowCount; ++i) {
        const uint8_t* row = rows[i];
        uint16_t* column = out + i;
        for (int c = 0; c < width; ++c, column += columnStride, row += 2)
            *column = static_cast<uint16_t>(swapped ? (unsigned(row[0]) << 8 | row[1]) : word(row));
    }
}

// A byte rotation of each word: a loop that an optimising compiler makes into vector shifts.
void swapBytes16(const uint8_t* in, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i, in += 2, out += 2) {
        const uint16_t w = static_cast<uint16_t>(in[0] << 8 | in[1]);
        std::memcpy(out, &w, 2);
    }
}

void copy(const uint8_t* in, uint8_t* out, size_t n) {
    if (n > 0) std::memcpy(out, in, n);
}

void setKernels(RowKernels& table) {
    table.level = KernelLevel::Plain;
    table.yuvToPixels = yuvToPixels;
    table.yuvToRGB = yuvToRGB;
    table.packed422ToPixels = packed422ToPixels;
    table.packed422ToRGB = packed422ToRGB;
    table.expandChroma = expandChroma;
    table.rgbToYUV = rgbToYUV;
    table.rgbToMono = rgbToMono;
    table.packedRGBToMono = packedRGBToMono;
    table.packedRGBToYUV = packedRGBToYUV;
    table.split3 = split3;
    table.split4 = split4;
    table.rgb555ToRGB = rgb555ToRGB;
    table.rgb565ToRGB = rgb565ToRGB;
    table.unpackYUYV = unpackYUYV;
    table.unpackUYVY = unpackUYVY;
    table.unpackY411 = unpackY411;
    table.unpackY41P = unpackY41P;
    table.packed444ToPixels = packed444ToPixels;
    table.packed411ToPixels = packed411ToPixels;
    table.swap3 = swap3;
    table.swap4 = swap4;
    table.merge3 = merge3;
    table.rgb565To555 = rgb565To555;
    table.wordsToBytes = wordsToBytes;
    table.transpose8 = transpose8;
    table.transpose8Doubled = transpose8Doubled;
    table.transpose16 = transpose16;
    table.swapBytes16 = swapBytes16;
    table.copy = copy;
}

}  // namespace plain
}  // namespace zorvframekit
