// Row-major images (frame/RowMajorImage.h) written a row at a time, a chunk of columns at a time:
// a frame class produces a chunk's samples into scratch rows that stay in the processor's first-level
// cache (or points straight at its own buffer), and row kernels convert them and lay them side by side
// in the image's pixels. The producers are those of the column-major host arrays (ColumnMajor.h);
// nothing is transposed and no whole-frame intermediate is made.
#ifndef ZORVFRAMEKIT_FORMATS_ROWMAJOR_H
#define ZORVFRAMEKIT_FORMATS_ROWMAJOR_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "formats/ColumnMajor.h"
#include "formats/PixelLayout.h"
#include "frame/ColorConversion.h"
#include "kernels/RowKernels.h"
#include "platform/platform.h"

namespace zorvframekit {

// The scratch of one chunk: a producer's RowScratch (band and work rows, with the slack around each
// that StripScratch's rows have) and two rows more, for chroma expanded to a sample a pixel. Some
// 17 KB, on the heap as StripScratch is; a refusal is std::bad_alloc where the caller can catch it,
// and otherwise made() false.
class ChunkScratch {
public:
    static const size_t kRowBytes = StripScratch::kRowBytes;
    static const int kRows = 8;

    ChunkScratch() : bytes(static_cast<uint8_t*>(platform::allocateMemory(kRows * kRowBytes + 64))) {
        if (bytes == nullptr) platform::outOfMemory();
    }
    ~ChunkScratch() { platform::freeMemory(bytes); }
    bool made() const { return bytes != nullptr; }
    RowScratch room() const {
        RowScratch scratch;
        for (int k = 0; k < 3; ++k) {
            scratch.band[k] = row(k);
            scratch.work[k] = row(3 + k);
        }
        return scratch;
    }
    uint8_t* extra(int k) const { return row(6 + k); }

private:
    uint8_t* row(int k) const {
        uint8_t* aligned = bytes + ((64 - reinterpret_cast<uintptr_t>(bytes) % 64) % 64);
        return aligned + kRowSlack + static_cast<size_t>(k) * kRowBytes;
    }
    ChunkScratch(const ChunkScratch&);
    ChunkScratch& operator=(const ChunkScratch&);
    uint8_t* bytes;
};

// Runs produce(r, c0, n, at) over the image's rows r, in the order of the rows of a buffer that is
// bottomUp or not, and their chunks of columns c0 to c0 + n - 1; `at` is where the chunk's pixels
// go, pixelBytes each, in the image at out.
template <typename Produce>
void forEachRowChunk(uint8_t* out, int width, int height, size_t pixelBytes, Produce produce, bool bottomUp = false) {
    const size_t rowBytes = static_cast<size_t>(width) * pixelBytes;
    forImageRowsInBufferOrder(height, bottomUp, [&](int r) {
        uint8_t* row = out + static_cast<size_t>(r) * rowBytes;
        forEachPiece(width, kChunkColumns,
                     [&](int c0, int n) { produce(r, c0, n, row + static_cast<size_t>(c0) * pixelBytes); });
    });
}

// The image of an RGB frame whose chunks produce(r, c0, n, room, row) makes as bands R, G, B (a
// producer of fillColumnMajor's kind, row.band preset to the band rows): natively, as YUV or as
// monochrome, in the row order of a buffer that is bottomUp or not. False for any other conversion,
// or when there is no scratch.
template <typename Produce>
bool rgbRowMajor(HostConversion conversion, uint8_t* out, int width, int height, Produce produce,
                 bool bottomUp = false) {
    const ChunkScratch scratch;
    if (!scratch.made()) return false;
    const RowScratch room = scratch.room();
    const RowKernels& kernels = rowKernels();
    const auto bands = [&](int r, int c0, int n) {
        StripRow row = {{room.band[0], room.band[1], room.band[2]}, false, 0};
        produce(r, c0, n, room, row);
        return row;
    };
    switch (conversion) {
    case HostConversion::Native:
        forEachRowChunk(
            out, width, height, 3,
            [&](int r, int c0, int n, uint8_t* at) { kernels.merge3(bands(r, c0, n).band, at, n); }, bottomUp);
        return true;
    case HostConversion::RGBToYUV:
        forEachRowChunk(out, width, height, 3, [&](int r, int c0, int n, uint8_t* at) {
            // In place where the producer made the bands in the band rows.
            kernels.rgbToYUV(bands(r, c0, n).band, room.band, n);
            kernels.merge3(room.band, at, n);
        }, bottomUp);
        return true;
    case HostConversion::RGBToMono:
        forEachRowChunk(
            out, width, height, 1,
            [&](int r, int c0, int n, uint8_t* at) { kernels.rgbToMono(bands(r, c0, n).band, at, n); }, bottomUp);
        return true;
    default:
        return false;
    }
}

// The image of a YUV frame whose chunks produceRow(r, c0, n, room) gives as a YUVRow (as for
// yuvRowsArray) and toRGB(r, c0, n, at) converts to RGB pixels (red, green, blue) at `at`:
// natively, as RGB or as monochrome. False for any other conversion, or when there is no scratch.
template <typename ProduceRow, typename ToRGB>
bool yuvRowMajor(HostConversion conversion, uint8_t* out, int width, int height, ProduceRow produceRow, ToRGB toRGB) {
    const RowKernels& kernels = rowKernels();
    if (conversion == HostConversion::YUVToRGB) {
        // The bitmap's conversions, straight from the frame's rows, with red first.
        forEachRowChunk(out, width, height, 3, [&](int r, int c0, int n, uint8_t* at) { toRGB(r, c0, n, at); });
        return true;
    }
    if (conversion != HostConversion::Native && conversion != HostConversion::YUVToMono) return false;
    const ChunkScratch scratch;
    if (!scratch.made()) return false;
    const RowScratch room = scratch.room();
    if (conversion == HostConversion::YUVToMono) {
        // The Y band as it stands, as getHostArray gives it.
        forEachRowChunk(out, width, height, 1, [&](int r, int c0, int n, uint8_t* at) {
            std::memcpy(at, produceRow(r, c0, n, room).y, static_cast<size_t>(n));
        });
        return true;
    }
    uint8_t* const u = scratch.extra(0);
    uint8_t* const v = scratch.extra(1);
    forEachRowChunk(out, width, height, 3, [&](int r, int c0, int n, uint8_t* at) {
        const YUVRow row = produceRow(r, c0, n, room);
        if (row.chromaShift == 0) {
            const uint8_t* const bands[3] = {row.y, row.u, row.v};
            kernels.merge3(bands, at, n);
        } else {
            kernels.expandChroma(row, u, v, n);
            const uint8_t* const bands[3] = {row.y, u, v};
            kernels.merge3(bands, at, n);
        }
    });
    return true;
}

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_FORMATS_ROWMAJOR_H
