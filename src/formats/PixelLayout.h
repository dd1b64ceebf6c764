// What every pixel-format class shares: size arithmetic that refuses what does not fit an int,
// the window rules of copyRegion, row order, column-major host arrays and the bitmap header.
#ifndef ZORVFRAMEKIT_FORMATS_PIXELLAYOUT_H
#define ZORVFRAMEKIT_FORMATS_PIXELLAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ha.h"
#include "kernels/CopyBytes.h"
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

// Calls row(b, k) for every buffer row b in the buffer's own order, k being the bitmap row it feeds.
// Reading the buffer forwards lets the processor's prefetchers follow it from row to row; read from
// its last row back (a top-down buffer in bitmap order), a 1920x1080 RGB24 bitmap took 1.3-1.4
// times as long, and row copies 1.1-1.6 times.
template <typename Row>
inline void forBitmapRowsInBufferOrder(int height, bool bottomUp, Row row) {
    for (int b = 0; b < height; ++b) row(b, bufferRowOfBitmapRow(b, height, bottomUp));
}

// Calls row(r) for every image row r in the buffer's own order: top row first for a top-down
// buffer, bottom row first for a bottom-up one, for the same reason (a 1920x1080 bottom-up frame's
// images in row order took 1.15-1.4 times as long, read top row first).
template <typename Row>
inline void forImageRowsInBufferOrder(int height, bool bottomUp, Row row) {
    for (int b = 0; b < height; ++b) row(bufferRowOfImageRow(b, height, bottomUp));
}

// Copies a width x height window at (x, y) out of a source in the same row-based raw layout
// (rows of srcWidth pixels of bytesPerPixel bytes, in the same row order) into dst, one block
// copy a row. A bottom-up source holds the window's top row nearer its end.
void copyWindowRows(unsigned char* dst, const unsigned char* src, int srcWidth, int srcHeight, int x, int y,
                    int width, int height, int bytesPerPixel, bool bottomUp);

// A new {height, width, bands} host array of the given class, for the caller to fill completely.
HostArray createImageArray(int height, int width, int bands, int classID);

// The 40-byte header of an uncompressed bottom-up device-independent bitmap.
void fillBitmapHeader(BITMAPINFOHEADER* header, int width, int height, int bitsPerPixel);

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_PIXELLAYOUT_H
