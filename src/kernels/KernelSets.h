// Inside the kernels: the plain C++ kernels, which every instruction-set file calls for the pixels
// its vectors do not cover, and how each instruction-set file adds its kernels to a table.
//
// The instruction-set files are compiled with their own -m flags. Nothing compiled there may be an
// inline function the linker could merge with another file's copy (the kept copy could then hold
// AVX2 instructions that an SSE2 caller runs): every function, template and object that the headers
// they include define at namespace scope (this one, RowKernels.h, Vectors128.h, Vectors256.h) is
// static or in an unnamed namespace, as are their own helpers, and shared code is reached through
// the plain functions declared here. The build checks it: tests/check_kernel_symbols.sh fails on
// any function an instruction-set object defines that another object defines too.
#ifndef ZORVFRAMEKIT_KERNELS_KERNELSETS_H
#define ZORVFRAMEKIT_KERNELS_KERNELSETS_H

#include "kernels/RowKernels.h"

namespace zorvframekit {
namespace plain {

void yuvToPixels(const YUVRow& row, uint8_t* out, int n, PixelOrder order);
void yuvToRGB(const YUVRow& row, uint8_t* const rgb[3], int n);
void packed422ToPixels(const Packed422Row& row, uint8_t* out, int n, PixelOrder order);
void packed422ToRGB(const Packed422Row& row, uint8_t* const rgb[3], int n);
void expandChroma(const YUVRow& row, uint8_t* u, uint8_t* v, int n);
void rgbToYUV(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n);
void rgbToMono(const uint8_t* const rgb[3], uint8_t* mono, int n);
void packedRGBToMono(const uint8_t* pixels, int redOffset, uint8_t* mono, int n);
void packedRGBToYUV(const uint8_t* pixels, int redOffset, uint8_t* const yuv[3], int n);
void split3(const uint8_t* in, uint8_t* const out[3], int n);
void split4(const uint8_t* in, uint8_t* const out[3], int n);
void rgb555ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n);
void rgb565ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n);
void unpackYUYV(const uint8_t* in, uint8_t* y, uint8_t* c1, uint8_t* c3, int groups);
void unpackUYVY(const uint8_t* in, uint8_t* y, uint8_t* c0, uint8_t* c2, int groups);
void unpackY411(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups);
void unpackY41P(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups);
void packed444ToPixels(const Packed444Row& row, uint8_t* out, int n, PixelOrder order);
void packed411ToPixels(const Packed411Row& row, uint8_t* out, int n, PixelOrder order);
void swap3(const uint8_t* in, uint8_t* out, int n);
void swap4(const uint8_t* in, uint8_t* out, int n);
void merge3(const uint8_t* const in[3], uint8_t* out, int n);
void rgb565To555(const uint8_t* in, uint8_t* out, int n);
void wordsToBytes(const uint8_t* in, uint8_t* out, int n, int shift, bool swapped);
void transpose8(const uint8_t* const* rows, int rowCount, int width, uint8_t* out, size_t columnStride);
void transpose8Doubled(const uint8_t* const* rows, int rowCount, int width, uint8_t* out, size_t columnStride);
void transpose16(const uint8_t* const* rows, int rowCount, int width, uint16_t* out, size_t columnStride,
                 bool swapped);
void swapBytes16(const uint8_t* in, uint8_t* out, int n);
void copy(const uint8_t* in, uint8_t* out, size_t n);

// The whole plain table.
void setKernels(RowKernels& table);

}  // namespace plain

// The SSSE3 4:1:1 unpacking, with which the AVX2 one finishes a row.
namespace ssse3 {
void unpackY411(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups);
void unpackY41P(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups);
}  // namespace ssse3

// Each instruction-set file replaces the entries it does better than the table it is given (the
// table of the level below).
void addSSE2Kernels(RowKernels& table);
void addSSSE3Kernels(RowKernels& table);
void addAVX2Kernels(RowKernels& table);
void addAVX512Kernels(RowKernels& table);

// The row of a YUVRow `count` pixels on: the luma and chroma pointers moved and the phase kept in
// range. For the instruction-set files, which split rows between vectors and the plain tail; static,
// so that each keeps a copy of its own.
static inline YUVRow advanceRow(const YUVRow& row, int count) {
    const int position = row.phase + count;
    YUVRow next = row;
    next.y = row.y + count;
    next.u = row.u + (position >> row.chromaShift);
    next.v = row.v + (position >> row.chromaShift);
    next.phase = position & ((1 << row.chromaShift) - 1);
    return next;
}

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_KERNELS_KERNELSETS_H
