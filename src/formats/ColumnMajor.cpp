#include "formats/ColumnMajor.h"

namespace zorvframekit {

// The rows of a plane need no scratch: each strip's row pointers go to the transpose as they are.
void transposePlane(uint8_t* out, const uint8_t* top, ptrdiff_t pitch, int width, int height) {
    const RowKernels& kernels = rowKernels();
    const uint8_t* rows[kStripRows];
    for (int r0 = 0; r0 < height; r0 += kStripRows) {
        const int count = height - r0 < kStripRows ? height - r0 : kStripRows;
        for (int i = 0; i < count; ++i) rows[i] = top + (r0 + i) * pitch;
        kernels.transpose8(rows, count, width, out + r0, static_cast<size_t>(height));
    }
}

void transposePlane16(uint16_t* out, const uint8_t* top, ptrdiff_t pitch, int width, int height, bool swapped) {
    const RowKernels& kernels = rowKernels();
    const uint8_t* rows[kStripRows];
    for (int r0 = 0; r0 < height; r0 += kStripRows) {
        const int count = height - r0 < kStripRows ? height - r0 : kStripRows;
        for (int i = 0; i < count; ++i) rows[i] = top + (r0 + i) * pitch;
        kernels.transpose16(rows, count, width, out + r0, static_cast<size_t>(height), swapped);
    }
}

}  // namespace zorvframekit
