// Column-major host arrays written a strip of rows at a time. A frame class produces the samples of
// a strip's rows, band by band, into scratch that stays in the processor's caches (or points straight
// at its own buffer); a transpose kernel then writes each band's strip into the array's columns.
// No whole-frame intermediate is ever made, and conversions happen on the strip's rows on the way.
#ifndef ZORVFRAMEKIT_FORMATS_COLUMNMAJOR_H
#define ZORVFRAMEKIT_FORMATS_COLUMNMAJOR_H

#include <cstddef>
#include <cstdint>

#include "formats/PixelLayout.h"
#include "frame/ColorConversion.h"
#include "ha.h"
#include "kernels/RowKernels.h"
#include "platform/platform.h"

namespace zorvframekit {

// A strip's rows fill whole cache lines of each column they are transposed into.
const int kStripRows = kMaxTransposeRows;
// Rows are produced a chunk of columns at a time: long chunks, so that the strip's source rows are
// each read in long runs (which the processor's prefetching follows); a whole number of groups of
// every packed layout (1, 2, 4 and 8 pixels), so that every chunk of a row starts at the same place
// inside its group.
const int kChunkColumns = 2048;
// A plane transposed straight from a frame's rows goes a band of columns at a time, every strip of
// a band before the next, where a new host array arrives as fresh pages: each page is then filled
// soon after it is first touched (and zeroed). Where the heap reuses memory, strips across the whole
// width measured faster; and rows that are made, not just read, measured faster so everywhere.
const int kPlaneBandColumns = platform::kLargeBlocksAreFreshPages ? 256 : 1 << 30;
// Usable bytes before and after each scratch row: a producer may unpack whole groups from before
// the chunk's first pixel. A whole cache line, so that rows start on one: a 64-byte access to a row
// then never straddles two lines.
const int kRowSlack = 64;

// Where a producer puts one row's chunk: its three band rows, which hold until the strip is
// transposed, and three work rows, which the next row's producer reuses.
struct RowScratch {
    uint8_t* band[3];
    uint8_t* work[3];
};

// The scratch of one strip (some 400 KB: on the heap, since an engine's threads may have small
// stacks). Made before any host array, so that failing to get it leaves none behind. A refusal is
// std::bad_alloc where the caller can catch it, and otherwise made() false (see platform.h).
class StripScratch {
public:
    static const size_t kRowBytes = kChunkColumns + 2 * kRowSlack;
    static const size_t kBytes = (3 * kStripRows + 3) * kRowBytes + 64;

    StripScratch() : bytes(static_cast<uint8_t*>(platform::allocateMemory(kBytes))) {
        if (bytes == nullptr) platform::outOfMemory();
    }
    ~StripScratch() { platform::freeMemory(bytes); }
    bool made() const { return bytes != nullptr; }
    RowScratch row(int i) const {
        uint8_t* first = aligned() + kRowSlack;
        RowScratch scratch;
        for (int k = 0; k < 3; ++k) {
            scratch.band[k] = first + (static_cast<size_t>(k) * kStripRows + i) * kRowBytes;
            scratch.work[k] = first + (3 * static_cast<size_t>(kStripRows) + k) * kRowBytes;
        }
        return scratch;
    }

private:
    uint8_t* aligned() const {
        return bytes + ((64 - reinterpret_cast<uintptr_t>(bytes) % 64) % 64);
    }
    StripScratch(const StripScratch&);
    StripScratch& operator=(const StripScratch&);
    uint8_t* bytes;
};

// Where a producer says one row's chunk of samples is: band[b] points at band b's n samples (its
// band rows, or the frame's own buffer). 4:2:2 chroma may be given as it is, a sample per pair of
// pixels (pairedChroma, bands 1 and 2), pixel 0 being the second of its pair when phase is 1: each
// sample then goes to two columns, which spares expanding it and transposing the copies.
struct StripRow {
    const uint8_t* band[3];
    bool pairedChroma;
    int phase;
};

// Columns 0 to n - 1 of a band whose rows hold a sample per pair of pixels: column j takes sample
// (phase + j) >> 1.
void transposePairedBand(const RowKernels& kernels, const uint8_t* const* rows, int rowCount, int n, int phase,
                         uint8_t* out, size_t columnStride);

// Runs visit(first, count) over 0 to total - 1 in consecutive pieces of `step` (step > 0), the last
// one shorter: the bands, chunks and strips of the loops below. `first` moves on by the count just
// visited and so never passes total: no sum passes INT_MAX, for a total anywhere up to it (stepping
// `first += step` overflows int past the last piece of a total within `step` of INT_MAX, as for
// any width above 2^30 in bands of 2^30 columns).
template <typename Visit>
void forEachPiece(int total, int step, Visit visit) {
    for (int first = 0; first < total;) {
        const int count = total - first < step ? total - first : step;
        visit(first, count);
        first += count;
    }
}

// Fills `bands` column-major planes of a {height, width, bands} 8-bit array: out[b * width * height +
// c * height + r] is band b of pixel (r, c). produce(r, c0, n, scratch, row) makes columns c0 to
// c0 + n - 1 of image row r and says where they are in `row` (a StripRow, its bands preset to the
// band rows).
template <typename Produce>
void fillColumnMajor(const StripScratch& scratch, uint8_t* out, int width, int height, int bands, Produce produce) {
    const RowKernels& kernels = rowKernels();
    const size_t plane = static_cast<size_t>(width) * static_cast<size_t>(height);
    const uint8_t* rowsOfBand[3][kStripRows];
    forEachPiece(height, kStripRows, [&](int r0, int rows) {
        forEachPiece(width, kChunkColumns, [&](int c0, int n) {
            StripRow made{};
            for (int i = 0; i < rows; ++i) {
                const RowScratch room = scratch.row(i);
                made = StripRow{{room.band[0], room.band[1], room.band[2]}, false, 0};
                produce(r0 + i, c0, n, room, made);
                for (int b = 0; b < bands; ++b) rowsOfBand[b][i] = made.band[b];
            }
            // Every row of a chunk lays its chroma out alike, so the last row's layout stands for all.
            uint8_t* first = out + static_cast<size_t>(c0) * height + r0;
            for (int b = 0; b < bands; ++b) {
                if (b > 0 && made.pairedChroma)
                    transposePairedBand(kernels, rowsOfBand[b], rows, n, made.phase, first + b * plane,
                                        static_cast<size_t>(height));
                else
                    kernels.transpose8(rowsOfBand[b], rows, n, first + b * plane, static_cast<size_t>(height));
            }
        });
    });
}

// The column-major copy of a plane of 8-bit samples whose image row r starts at top + r * pitch (a
// negative pitch walks a bottom-up buffer).
void transposePlane(uint8_t* out, const uint8_t* top, ptrdiff_t pitch, int width, int height);

// The same for 16-bit samples, most significant byte first when swapped.
void transposePlane16(uint16_t* out, const uint8_t* top, ptrdiff_t pitch, int width, int height, bool swapped);

// A new {height, width, bands} array of class classID (8-bit samples) filled by fillColumnMajor with
// produce; null when the scratch or the array cannot be had.
template <typename Produce>
HostArray columnMajorArray(int width, int height, int bands, int classID, Produce produce) {
    const StripScratch scratch;
    if (!scratch.made()) return nullptr;
    HostArray array = createImageArray(height, width, bands, classID);
    if (array == nullptr) return nullptr;  // the host could not make it
    fillColumnMajor(scratch, static_cast<uint8_t*>(haGetData(array)), width, height, bands, produce);
    return array;
}

// getHostArray of a frame whose native bands are R, G, B, for the conversions that are made straight
// from the rows: to YUV, and to monochrome. convert(r, c0, n, room, row) makes a chunk's Y, U and V
// bands, or its luma in band 0 (a producer of fillColumnMajor's kind, row.band preset to the band
// rows). For monochrome the native {height, width, 3} array is still created first and given up
// after the matrix is made, as the host sees it happen when the native array is converted.
template <typename Convert>
HostArray convertedRGBArray(HostConversion conversion, int width, int height, Convert convert) {
    if (conversion == HostConversion::RGBToYUV) return columnMajorArray(width, height, 3, haUint8Class, convert);
    const StripScratch scratch;
    if (!scratch.made()) return nullptr;
    HostArray native = createImageArray(height, width, 3, haUint8Class);
    if (native == nullptr) return nullptr;  // the host could not make it
    HostArray matrix = haCreateNumericMatrix(height, width, haUint8Class, 0);
    if (matrix == nullptr) {
        haFree(native);
        return nullptr;
    }
    fillColumnMajor(scratch, static_cast<uint8_t*>(haGetData(matrix)), width, height, 1, convert);
    haFree(native);
    return matrix;
}

// convertedRGBArray's convert from the R, G, B bands that produce makes (as for fillColumnMajor).
template <typename Produce>
auto convertedFromRGBBands(HostConversion conversion, Produce produce) {
    return [conversion, produce](int r, int c0, int n, const RowScratch& room, StripRow& row) {
        produce(r, c0, n, room, row);
        const RowKernels& kernels = rowKernels();
        if (conversion == HostConversion::RGBToYUV)
            kernels.rgbToYUV(row.band, room.band, n);
        else
            kernels.rgbToMono(row.band, room.band[0], n);
        for (int b = 0; b < 3; ++b) row.band[b] = room.band[b];
    };
}

// Whether convertedRGBArray makes the array a frame of colour space RGB is asked for.
inline bool isConvertedFromRGBRows(HostConversion conversion) {
    return conversion == HostConversion::RGBToYUV || conversion == HostConversion::RGBToMono;
}

// getNativeHostArray (conversion Native) or getHostArray as RGB (YUVToRGB) of a YUV frame whose rows
// produceRow(r, c0, n, scratch) gives as a YUVRow: its luma in the frame's buffer or in the row's
// first band row, its chroma in the frame's buffer, in work rows, or (a sample per pixel) in the
// row's other band rows.
template <typename ProduceRow>
HostArray yuvRowsArray(HostConversion conversion, int width, int height, ProduceRow produceRow) {
    const RowKernels& kernels = rowKernels();
    const bool toRGB = conversion == HostConversion::YUVToRGB;
    return columnMajorArray(width, height, 3, haUint8Class,
                            [&](int r, int c0, int n, const RowScratch& room, StripRow& made) {
                                const YUVRow row = produceRow(r, c0, n, room);
                                if (toRGB) {
                                    kernels.yuvToRGB(row, room.band, n);
                                    return;
                                }
                                made.band[0] = row.y;
                                if (row.chromaShift <= 1) {
                                    made.band[1] = row.u;
                                    made.band[2] = row.v;
                                    made.pairedChroma = row.chromaShift == 1;
                                    made.phase = row.phase;
                                } else {
                                    kernels.expandChroma(row, room.band[1], room.band[2], n);
                                }
                            });
}

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_COLUMNMAJOR_H
