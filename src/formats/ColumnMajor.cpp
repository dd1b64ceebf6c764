#include "formats/ColumnMajor.h"

namespace zorvframekit {

namespace {

// The rows of a plane need no scratch: each strip's row pointers go to transpose(rows, count, n,
// out) as they are, a band of columns at a time (see kPlaneBandColumns).
template <typename Sample, typename Transpose>
void transposePlaneBy(Sample* out, const uint8_t* top, ptrdiff_t pitch, int width, int height, Transpose transpose) {
    const uint8_t* rows[kStripRows];
    forEachPiece(width, kPlaneBandColumns, [&](int c0, int n) {
        forEachPiece(height, kStripRows, [&](int r0, int count) {
            for (int i = 0; i < count; ++i) rows[i] = top + (r0 + i) * pitch + sizeof(Sample) * c0;
            transpose(rows, count, n, out + static_cast<size_t>(c0) * height + r0);
        });
    });
}

}  // namespace

void transposePlane(uint8_t* out, const uint8_t* top, ptrdiff_t pitch, int width, int height) {
    const RowKernels& kernels = rowKernels();
    transposePlaneBy(out, top, pitch, width, height, [&](const uint8_t* const* rows, int count, int n, uint8_t* at) {
        kernels.transpose8(rows, count, n, at, static_cast<size_t>(height));
    });
}

void transposePlane16(uint16_t* out, const uint8_t* top, ptrdiff_t pitch, int width, int height, bool swapped) {
    const RowKernels& kernels = rowKernels();
    transposePlaneBy(out, top, pitch, width, height, [&](const uint8_t* const* rows, int count, int n, uint16_t* at) {
        kernels.transpose16(rows, count, n, at, static_cast<size_t>(height), swapped);
    });
}

void transposePairedBand(const RowKernels& kernels, const uint8_t* const* rows, int rowCount, int n, int phase,
                         uint8_t* out, size_t columnStride) {
    if (n <= 0) return;
    // Pixel 0 the second of its pair: its column alone, from sample 0. The pairs then start at
    // sample `phase`, and an odd column left at the end takes the sample after them.
    if (phase == 1) kernels.transpose8(rows, rowCount, 1, out, columnStride);
    const uint8_t* from[kStripRows];
    const int pairs = (n - phase) / 2, last = phase + 2 * pairs;
    for (int i = 0; i < rowCount; ++i) from[i] = rows[i] + phase;
    kernels.transpose8Doubled(from, rowCount, pairs, out + phase * columnStride, columnStride);
    if (last < n) {
        for (int i = 0; i < rowCount; ++i) from[i] = rows[i] + phase + pairs;
        kernels.transpose8(from, rowCount, 1, out + last * columnStride, columnStride);
    }
}

}  // namespace zorvframekit
