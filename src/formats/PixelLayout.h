// What every pixel-format class shares: size arithmetic that refuses what does not fit an int,
// the window rules of copyRegion, row order, column-major host arrays and the bitmap header.
#ifndef ZORVFRAMEKIT_FORMATS_PIXELLAYOUT_H
#define ZORVFRAMEKIT_FORMATS_PIXELLAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace zorvframekit {

// Sizes are computed in 64 bits; a frame whose data or bitmap size does not fit a signed 32-bit int
// is refused by the factory.
inline bool fitsInt(int64_t size) { return size >= 0 && size <= INT32_MAX; }

// a * b fits a signed 32-bit int, decided without forming a product that could overflow 64 bits.
inline bool productFitsInt(int64_t a, int64_t b) { return a >= 0 && b >= 0 && (a == 0 || b <= INT32_MAX / a); }

// Bytes of one bitmap row: the pixel bytes rounded up to a multiple of 4.
inline int64_t bitmapStride(int64_t rowBytes) { return (rowBytes + 3) & ~static_cast<int64_t>(3); }

// The window (x, y, width, height) lies inside a srcWidth x srcHeight source. Touching the right or
// bottom edge is inside.
inline bool windowInside(int srcWidth, int srcHeight, int x, int y, int width, int height) {
    return x >= 0 && y >= 0 && srcWidth > 0 && srcHeight > 0 &&
           static_cast<int64_t>(x) + width <= srcWidth && static_cast<int64_t>(y) + height <= srcHeight;
}

// The buffer row that holds image row r (0 is the top row).
inline int bufferRowOfImageRow(int r, int height, bool bottomUp) { return bottomUp ? height - 1 - r : r; }

// The buffer row that feeds bitmap row k (0 is the bitmap's first row, the image's bottom row).
inline int bufferRowOfBitmapRow(int k, int height, bool bottomUp) { return bottomUp ? k : height - 1 - k; }

// Copies a width x height window at (x, y) out of a source in the same row-based raw layout
// (rows of srcWidth pixels of bytesPerPixel bytes, in the same row order) into dst, one block
// copy a row. A bottom-up source holds the window's top row nearer its end.
void copyWindowRows(unsigned char* dst, const unsigned char* src, int srcWidth, int srcHeight, int x, int y,
                    int width, int height, int bytesPerPixel, bool bottomUp);

// Fills one column-major band plane: out[c * height + r] = sample(row r, c), where row r starts at
// topRow + r * rowPitch (a negative pitch walks a bottom-up buffer). Rows are taken in strips, so
// that the strip's rows stay in cache while every column of the strip is gathered.
template <typename Sample, typename ReadSample>
inline void gatherColumns(Sample* out, const unsigned char* topRow, ptrdiff_t rowPitch, int width, int height,
                          ReadSample sample) {
    const int strip = 32;
    for (int r0 = 0; r0 < height; r0 += strip) {
        const int rows = height - r0 < strip ? height - r0 : strip;
        const unsigned char* stripTop = topRow + r0 * rowPitch;
        for (int c = 0; c < width; ++c) {
            Sample* column = out + static_cast<size_t>(c) * height + r0;
            const unsigned char* row = stripTop;
            for (int r = 0; r < rows; ++r, row += rowPitch) column[r] = sample(row, c);
        }
    }
}

// gatherColumns for plain 8-bit samples (sample(row, c) = row[c]): the column-major copy of a
// byte plane, done in 8 x 8 blocks moved with 64-bit loads and stores, several times faster than
// a byte at a time.
void transposeBytes(uint8_t* out, const unsigned char* topRow, ptrdiff_t rowPitch, int width, int height);

// Three colour samples of one pixel, as a gatherColumnPlanes reader returns them.
struct PixelSamples {
    uint8_t band[3];
};

// gatherColumns for a three-band 8-bit image in one pass over the buffer: pixel(row, c) returns
// the three samples of column c, written to planes out, out + plane and out + 2 * plane, where
// plane = width * height. Reading each pixel once beats three passes of gatherColumns.
template <typename ReadPixel>
inline void gatherColumnPlanes(uint8_t* out, const unsigned char* topRow, ptrdiff_t rowPitch, int width, int height,
                               ReadPixel pixel) {
    const size_t plane = static_cast<size_t>(width) * static_cast<size_t>(height);
    const int strip = 32;
    for (int r0 = 0; r0 < height; r0 += strip) {
        const int rows = height - r0 < strip ? height - r0 : strip;
        const unsigned char* stripTop = topRow + r0 * rowPitch;
        for (int c = 0; c < width; ++c) {
            uint8_t* first = out + static_cast<size_t>(c) * height + r0;
            uint8_t* second = first + plane;
            uint8_t* third = second + plane;
            const unsigned char* row = stripTop;
            for (int r = 0; r < rows; ++r, row += rowPitch) {
                const PixelSamples samples = pixel(row, c);
                first[r] = samples.band[0];
                second[r] = samples.band[1];
                third[r] = samples.band[2];
            }
        }
    }
}

// Turns one row of Y, U, V samples into 24-bit bitmap pixels (blue, green, red). The samples are
// scratch: they are converted in place first, a plain pass over contiguous bytes that the compiler
// vectorises, and then interleaved.
void convertYUVRowToBitmap(uint8_t* y, uint8_t* u, uint8_t* v, unsigned char* bgr, int width);

// A new {height, width, bands} host array of the given class, for the caller to fill completely; null
// when the host cannot make it.
HostArray createImageArray(int height, int width, int bands, int classID);

// The 40-byte header of an uncompressed bottom-up device-independent bitmap.
void fillBitmapHeader(BITMAPINFOHEADER* header, int width, int height, int bitsPerPixel);

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_PIXELLAYOUT_H
