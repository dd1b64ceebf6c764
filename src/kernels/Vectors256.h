// 256-bit building blocks shared by the AVX2 and AVX-512 kernel files (each gets copies of its own,
// compiled with its own flags: everything here is static). Bytes are widened and packed back within
// each 128-bit lane, which leaves them in order.
#ifndef ZORVFRAMEKIT_KERNELS_VECTORS256_H
#define ZORVFRAMEKIT_KERNELS_VECTORS256_H

#include <immintrin.h>

#include "kernels/Vectors128.h"

namespace zorvframekit {
namespace {

inline __m256i load32(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void store32(uint8_t* p, __m256i x) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x); }
inline void storeAligned32(uint8_t* p, __m256i x) { _mm256_store_si256(reinterpret_cast<__m256i*>(p), x); }
inline __m256i splat16x2(int value) { return _mm256_set1_epi16(static_cast<short>(value)); }
// Two 16-byte halves: `low` in the low lane, `high` in the high one.
inline __m256i loadHalves(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(load16(low)), load16(high), 1);
}

// Packs of 256-bit registers work lane by lane: packing a's and b's 16-bit lanes to bytes leaves
// a's low half, b's low half, a's high half, b's high half, which a 64-bit permute puts in order.
inline __m256i packInOrder(__m256i a, __m256i b) { return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8); }

struct Register256 {
    typedef __m256i V;
    static const int kBytes = 32;
    static V load(const uint8_t* p) { return load32(p); }
    static void store(uint8_t* p, V x) { store32(p, x); }
    static V splat16(int value) { return splat16x2(value); }
    static V shiftRight16(V x, int bits) { return _mm256_srli_epi16(x, bits); }
    static V shiftLeft16(V x, int bits) { return _mm256_slli_epi16(x, bits); }
    static V bitAnd(V a, V b) { return _mm256_and_si256(a, b); }
    static V packBytes(V low, V high) { return packInOrder(low, high); }
};

// 32 pixels' chroma, a byte per pixel, from 32 >> shift samples: the samples in both lanes, and a
// byte shuffle repeating each for its 2 or 4 pixels.
template <int Shift>
inline __m256i loadChroma32(const uint8_t* c) {
    if (Shift == 0) return load32(c);
    if (Shift == 1)
        return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(load16(c)),
                                   _mm256_setr_epi8(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10,
                                                    11, 11, 12, 12, 13, 13, 14, 14, 15, 15));
    return _mm256_shuffle_epi8(_mm256_broadcastq_epi64(load8(c)),
                               _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 6,
                                                6, 6, 6, 7, 7, 7, 7));
}

inline __m256i pairWeights(int first, int second) { return _mm256_set1_epi16(pairedWeights(first, second)); }

// The 16-bit lane operations of PairsToRGB and weightedBytesIn in 256-bit registers.
struct Lanes256 {
    typedef __m256i V;
    static V madd(V bytes, V weights) { return _mm256_maddubs_epi16(bytes, weights); }
    static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V shift8(V a) { return _mm256_srai_epi16(a, 8); }
    static V shiftRight8(V a) { return _mm256_srli_epi16(a, 8); }
    static V splat(int value) { return splat16x2(value); }
    static V pair(int first, int second) { return pairWeights(first, second); }
    static V interleaveLow(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
    static V interleaveHigh(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
    static V packBack(V low, V high) { return _mm256_packus_epi16(low, high); }
};

// 32 pixels converted and clamped from their luma and a chroma byte per pixel. The byte pairs of
// pixels 0-7 and 16-23 and those of 8-15 and 24-31 pack back in order.
inline void yuvBytesToRGB32(__m256i y, __m256i u, __m256i v, __m256i& r, __m256i& g, __m256i& b) {
    pairsToRGBPacked<Lanes256>(_mm256_unpacklo_epi8(y, u), _mm256_unpacklo_epi8(y, v), _mm256_unpackhi_epi8(y, u),
                               _mm256_unpackhi_epi8(y, v), r, g, b);
}

// 32 pixels of a phase-0 row from pixel i on, converted and clamped.
template <int Shift>
inline void yuvRow32(const YUVRow& row, int i, __m256i& r, __m256i& g, __m256i& b) {
    const __m256i y = load32(row.y + i);
    yuvBytesToRGB32(y, loadChroma32<Shift>(row.u + (i >> Shift)), loadChroma32<Shift>(row.v + (i >> Shift)), r, g, b);
}

// Packed 4:2:2 groups straight to colour: a byte shuffle per chroma makes each pixel's (Y, U) and
// (Y, V) pairs.
struct Packed422Shuffles {
    __m256i yu, yv;
    explicit Packed422Shuffles(const Packed422Row& row) {
        const Packed422Pairs pairs(row);
        yu = _mm256_broadcastsi128_si256(load16(pairs.yu));
        yv = _mm256_broadcastsi128_si256(load16(pairs.yv));
    }
};

// 32 pixels converted and clamped from the (Y, U) and (Y, V) pairs that pairs(half, yu, yv) makes:
// half 0 of pixels 0-7 (low lane) and 16-23 (high lane), half 1 of 8-15 and 24-31, so that they pack
// back in order.
template <typename Pairs>
inline void convertPairs32(Pairs pairs, __m256i& r, __m256i& g, __m256i& b) {
    __m256i yuLow, yvLow, yuHigh, yvHigh;
    pairs(0, yuLow, yvLow);
    pairs(1, yuHigh, yvHigh);
    pairsToRGBPacked<Lanes256>(yuLow, yvLow, yuHigh, yvHigh, r, g, b);
}

// 32 pixels converted and clamped from groups whose 8 pixels of a half lie in `halfBytes` bytes
// (pixels 0-7 first, then 8-15, 16-23, 24-31), shuffles.yu and shuffles.yv making each half's pairs.
template <typename Shuffles>
inline void shuffledPairs32(const uint8_t* groups, int halfBytes, const Shuffles& shuffles, __m256i& r, __m256i& g,
                            __m256i& b) {
    convertPairs32(
        [&](int half, __m256i& yu, __m256i& yv) {
            const uint8_t* low = groups + halfBytes * half;
            const __m256i x = loadHalves(low, low + 2 * halfBytes);
            yu = _mm256_shuffle_epi8(x, shuffles.yu);
            yv = _mm256_shuffle_epi8(x, shuffles.yv);
        },
        r, g, b);
}

// 32 pixels from groups (phase 0), converted and clamped.
inline void packed422Row32(const uint8_t* groups, const Packed422Shuffles& shuffles, __m256i& r, __m256i& g,
                           __m256i& b) {
    shuffledPairs32(groups, 16, shuffles, r, g, b);
}

// The 32-pixel bodies of the kernels to 3-byte pixels, with the interleave(b0, b1, b2, out) of the
// file that uses them.
template <int Shift, typename Interleave>
inline void yuvToPixelsVectors(const YUVRow& row, uint8_t* pixels, int n, PixelOrder order, Interleave interleave) {
    forYUVVectors<32>(
        row, n,
        [&](const YUVRow& aligned, int i, int out) {
            __m256i r, g, b;
            yuvRow32<Shift>(aligned, i, r, g, b);
            interleaveInOrder(interleave, order, r, g, b, pixels + 3 * out);
        },
        [&](const YUVRow& rest, int out, int count) { plain::yuvToPixels(rest, pixels + 3 * out, count, order); });
}

template <typename Interleave>
inline void yuvToPixels32(const YUVRow& row, uint8_t* pixels, int n, PixelOrder order, Interleave interleave) {
    if (row.chromaShift == 0)
        yuvToPixelsVectors<0>(row, pixels, n, order, interleave);
    else if (row.chromaShift == 1)
        yuvToPixelsVectors<1>(row, pixels, n, order, interleave);
    else
        yuvToPixelsVectors<2>(row, pixels, n, order, interleave);
}

template <typename Interleave>
inline void packed422ToPixels32(const Packed422Row& row, uint8_t* pixels, int n, PixelOrder order,
                               Interleave interleave) {
    const Packed422Shuffles shuffles(row);
    forPacked422Vectors<32>(
        row, n,
        [&](const uint8_t* groups, int out) {
            __m256i r, g, b;
            packed422Row32(groups, shuffles, r, g, b);
            interleaveInOrder(interleave, order, r, g, b, pixels + 3 * out);
        },
        [&](const Packed422Row& rest, int out, int count) {
            plain::packed422ToPixels(rest, pixels + 3 * out, count, order);
        });
}

// Three bands into 3-byte pixels, 32 a step, with the interleave(b0, b1, b2, out) of the file that
// uses it.
template <typename Interleave>
inline void merge3By32(const uint8_t* const in[3], uint8_t* out, int n, Interleave interleave) {
    const Bands<const uint8_t*> bands(in);
    int i = 0;
    for (; i + 32 <= n; i += 32) interleave(load32(bands.b0 + i), load32(bands.b1 + i), load32(bands.b2 + i), out + 3 * i);
    const uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::merge3(rest, out + 3 * i, n - i);
}

}  // namespace
}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_KERNELS_VECTORS256_H
