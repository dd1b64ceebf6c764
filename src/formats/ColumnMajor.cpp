#include "formats/ColumnMajor.h"

namespace zorvframekit {

// The rows of a plane need no scratch: each strip's row pointers go to the transpose as they are.
// Tiles of kTileRows rows by kTileColumns columns: the strips of a tile write the same cache lines of
// its columns, which stay in the first-level cache until the tile's last strip completes them.
void transposePlane(uint8_t* out, const uint8_t* top, ptrdiff_t pitch, int width, int height) {
    const RowKernels& kernels = rowKernels();
    const size_t stride = static_cast<size_t>(height);
    const uint8_t* rows[kStripRows];
    for (int t0 = 0; t0 < height; t0 += kTileRows) {
        const int tileEnd = height - t0 < kTileRows ? height : t0 + kTileRows;
        for (int c0 = 0; c0 < width; c0 += kTileColumns) {
            const int n = width - c0 < kTileColumns ? width - c0 : kTileColumns;
            for (int r0 = t0; r0 < tileEnd; r0 += kStripRows) {
                const int count = tileEnd - r0 < kStripRows ? tileEnd - r0 : kStripRows;
                for (int i = 0; i < count; ++i) rows[i] = top + (r0 + i) * pitch + c0;
                kernels.transpose8(rows, count, n, out + static_cast<size_t>(c0) * stride + r0, stride);
            }
        }
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
