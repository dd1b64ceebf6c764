// Row kernels: the loops the frame classes run over rows of samples, one table of them per
// instruction set. Every kernel of every table gives exactly the bytes of the plain C++ one, which
// is the reference; the SIMD tables only go faster. The frame classes call whatever table
// rowKernels() gives and own everything else: strides, row order, windows, strips.
//
// Unless a kernel says otherwise, n is a count of pixels (n >= 0), no pointer need be aligned, a
// kernel reads and writes exactly the bytes its n pixels need (nothing past them, which the tests
// check with buffers ending where the data does), and an output may be the very same pointer as an
// input with one sample per pixel (every pixel is read before it is written).
#ifndef ZORVFRAMEKIT_KERNELS_ROWKERNELS_H
#define ZORVFRAMEKIT_KERNELS_ROWKERNELS_H

#include <cstddef>
#include <cstdint>

#include "kernels/KernelLevel.h"

namespace zorvframekit {

// A row of luma with its chroma. Pixel i has luma y[i] and chroma u[k], v[k] with
// k = (phase + i) >> chromaShift: one chroma sample per pixel (shift 0), per two (1) or per four (2);
// phase is where pixel 0 lies inside its chroma group (0 when the row starts on a group).
struct YUVRow {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int chromaShift;
    int phase;
};

// A row of packed 4:2:2 groups, two pixels in 4 bytes: their luma at bytes lumaOffset and
// lumaOffset + 2, their chroma at uOffset and vOffset. Pixel i is pixel phase + i (phase 0 or 1) of
// the groups from `groups` on.
struct Packed422Row {
    const uint8_t* groups;
    int lumaOffset, uOffset, vOffset;
    int phase;
};

// A row of 3-byte 4:4:4 pixels, their Y, U and V at byte offsets yOffset, uOffset and vOffset.
struct Packed444Row {
    const uint8_t* pixels;
    int yOffset, uOffset, vOffset;
};

// The two packed 4:1:1 layouts, four pixels to a chroma pair: Y411 (U Y0 Y1 V Y2 Y3) and Y41P
// (U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7). Pixel j of a group of `pixels` in `bytes` bytes has its
// luma at byte y[j] and its chroma at u[j] and v[j].
// Static, as everything with code or storage this header defines (the instruction-set kernel files
// include it, each compiled with its own flags: an inline function of external linkage would be
// emitted in each of them, where not inlined, and linked once from any; see KernelSets.h).
enum class Packed411Layout { Y411, Y41P };
struct Packed411Format {
    int pixels, bytes;
    int y[8], u[8], v[8];
};
static constexpr Packed411Format kPacked411Formats[2] = {
    {4, 6, {1, 2, 4, 5}, {0, 0, 0, 0}, {3, 3, 3, 3}},
    {8, 12, {1, 3, 5, 7, 8, 9, 10, 11}, {0, 0, 0, 0, 4, 4, 4, 4}, {2, 2, 2, 2, 6, 6, 6, 6}},
};
static constexpr const Packed411Format& packed411Format(Packed411Layout layout) {
    return kPacked411Formats[layout == Packed411Layout::Y411 ? 0 : 1];
}

// A row of packed 4:1:1 groups: pixel i is pixel phase + i of the groups from `groups` on.
struct Packed411Row {
    const uint8_t* groups;
    Packed411Layout layout;
    int phase;
};

// The byte order of 3-byte colour pixels: a bitmap's (blue, green, red) or an image's (red, green,
// blue).
enum class PixelOrder { BGR, RGB };

struct RowKernels {
    KernelLevel level;

    // --- Colour, bit-exact to convertYUVPixelToRGB / convertRGBPixelToYUV.
    // To 3-byte pixels in the given order.
    void (*yuvToPixels)(const YUVRow& row, uint8_t* out, int n, PixelOrder order);
    // To three bands, red, green, blue.
    void (*yuvToRGB)(const YUVRow& row, uint8_t* const rgb[3], int n);
    // The same straight from packed 4:2:2 groups.
    void (*packed422ToPixels)(const Packed422Row& row, uint8_t* out, int n, PixelOrder order);
    void (*packed422ToRGB)(const Packed422Row& row, uint8_t* const rgb[3], int n);
    // And from packed 4:4:4 pixels, and from packed 4:1:1 groups.
    void (*packed444ToPixels)(const Packed444Row& row, uint8_t* out, int n, PixelOrder order);
    void (*packed411ToPixels)(const Packed411Row& row, uint8_t* out, int n, PixelOrder order);
    // The row's chroma, a sample per pixel: u[i] and v[i] of pixel i.
    void (*expandChroma)(const YUVRow& row, uint8_t* u, uint8_t* v, int n);
    // Three bands R, G, B to Y, U, V.
    void (*rgbToYUV)(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n);
    // Luma (54 R + 183 G + 18 B) >> 8, as a monochrome host array takes it from RGB.
    void (*rgbToMono)(const uint8_t* const rgb[3], uint8_t* mono, int n);
    // The same luma from 3-byte pixels, red at byte redOffset (0 or 2) and blue at the other end.
    void (*packedRGBToMono)(const uint8_t* pixels, int redOffset, uint8_t* mono, int n);
    // And to Y, U, V bands, as rgbToYUV.
    void (*packedRGBToYUV)(const uint8_t* pixels, int redOffset, uint8_t* const yuv[3], int n);

    // --- Packed layouts to bands. Output j of a split receives byte j of every pixel.
    void (*split3)(const uint8_t* in, uint8_t* const out[3], int n);  // 3-byte pixels
    void (*split4)(const uint8_t* in, uint8_t* const out[3], int n);  // 4-byte pixels, 4th byte unread
    void (*rgb555ToRGB)(const uint8_t* in, uint8_t* const rgb[3], int n);  // little-endian words
    void (*rgb565ToRGB)(const uint8_t* in, uint8_t* const rgb[3], int n);
    // Packed YUV groups (counted in groups, not pixels) to a luma row and chroma at the layout's own
    // subsampling. YUYV: Y0 C1 Y1 C3, chroma bytes 1 and 3 to c1 and c3. UYVY: C0 Y0 C2 Y1.
    void (*unpackYUYV)(const uint8_t* in, uint8_t* y, uint8_t* c1, uint8_t* c3, int groups);
    void (*unpackUYVY)(const uint8_t* in, uint8_t* y, uint8_t* c0, uint8_t* c2, int groups);
    // U Y0 Y1 V Y2 Y3: a chroma sample per 4 pixels.
    void (*unpackY411)(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups);
    // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7: two chroma samples per group, each for 4 pixels.
    void (*unpackY41P)(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups);

    // --- Bitmap rows. These, and the colour kernels to bitmap pixels above, store nothing but the
    // final value of each byte of their pixels, not even for a moment (a display may read a bitmap
    // while its rows are converted into it), and those of the same bytes a pixel each way may
    // convert in place.
    // Bytes 0 and 2 of each 3-byte pixel exchanged.
    void (*swap3)(const uint8_t* in, uint8_t* out, int n);
    // Bytes 0 and 2 of each 4-byte pixel exchanged; the 4th byte of out is never written.
    void (*swap4)(const uint8_t* in, uint8_t* out, int n);
    // Three bands into 3-byte pixels: byte j of pixel i is in[j][i].
    void (*merge3)(const uint8_t* const in[3], uint8_t* out, int n);
    // 5-6-5 words to 5-5-5: red and green's upper five bits down one place, blue kept, bit 15 clear.
    void (*rgb565To555)(const uint8_t* in, uint8_t* out, int n);
    // 16-bit samples (most significant byte first when swapped) to (value >> shift) & 0xFF.
    void (*wordsToBytes)(const uint8_t* in, uint8_t* out, int n, int shift, bool swapped);

    // --- Column-major writers: out[c * columnStride + i] = rows[i][c] for i < rowCount, c < width.
    // rowCount is at most kMaxTransposeRows. Columns are written one after the other, each whole
    // before the next, so that a column's bytes arrive together. Rewriting an output byte with the
    // same value is allowed (the output is a host array being filled, never a caller's bitmap).
    void (*transpose8)(const uint8_t* const* rows, int rowCount, int width, uint8_t* out, size_t columnStride);
    // The same with each row sample going to two neighbouring columns, as 4:2:2 chroma serves a pixel
    // pair: out[(2 c + k) * columnStride + i] = rows[i][c] for k = 0, 1 (2 width columns written).
    void (*transpose8Doubled)(const uint8_t* const* rows, int rowCount, int width, uint8_t* out,
                              size_t columnStride);
    // The same for 16-bit samples (rows given as bytes; most significant byte first when swapped).
    void (*transpose16)(const uint8_t* const* rows, int rowCount, int width, uint16_t* out, size_t columnStride,
                        bool swapped);

    // --- Row-major images.
    // 16-bit samples with their two bytes exchanged: big-endian words to the machine's order.
    void (*swapBytes16)(const uint8_t* in, uint8_t* out, int n);

    // --- Block copies: n bytes (not pixels) from in to out, as memcpy copies them (the two do not
    // overlap). Nothing but the copied values is stored, so a bitmap's rows may go this way too.
    void (*copy)(const uint8_t* in, uint8_t* out, size_t n);
};

const int kMaxTransposeRows = 64;

// The table for this machine: the best level it runs, chosen once, on first use.
const RowKernels& rowKernels();

// The table of a level, or null when this build or this machine cannot run it.
const RowKernels* kernelsAt(KernelLevel level);
KernelLevel bestKernelLevel();

// Test hook: makes rowKernels() give the table of `level` from now on (false, and nothing changes,
// when the machine cannot run it).
bool forceKernelLevel(KernelLevel level);

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_KERNELS_ROWKERNELS_H
