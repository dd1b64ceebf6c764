// 128-bit building blocks shared by the SSE2 and SSSE3 kernel files (each includes this header and
// gets copies of its own, compiled with its own flags: everything here is static).
//
// The colour arithmetic works in 16-bit lanes and is exact. With C = Y - 16, D = U - 128, E = V - 128,
// each of R = (298 C + 409 E + 128) >> 8, G = (298 C - 100 D - 208 E + 128) >> 8 and
// B = (298 C + 516 D + 128) >> 8 is split into a multiple of 256 taken out of the shift and a
// remainder that fits 16 bits:
//   R = (C + E)  + ((42 C + 153 E + 128) >> 8)              remainder in [-20128, 29597]
//   G = (C - E)  + ((42 C - 100 D + 48 E + 128) >> 8)       remainder in [-19388, 29062]
//   B = (C + 2D) + ((42 C + 4 D + 128) >> 8)                remainder in [-1056, 10674]
// (floor((256 k + t) / 256) = k + floor(t / 256) for integers), and the signed-to-unsigned
// saturating pack to bytes is exactly the clamp: 0 or less gives 0, 256 or more 255.
// The other way, every sum fits 16 unsigned bits once offset to be positive, so a logical shift
// gives the arithmetic one: Y = (66 R + 129 G + 25 B + 4224) >> 8, U = (-38 R - 74 G + 112 B + 32896)
// >> 8, V = (112 R - 94 G - 18 B + 32896) >> 8, the 16 and 128 added inside the shift as 16 * 256
// and 128 * 256.
#ifndef ZORVFRAMEKIT_KERNELS_VECTORS128_H
#define ZORVFRAMEKIT_KERNELS_VECTORS128_H

#include <emmintrin.h>
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif

#include "kernels/KernelSets.h"

namespace zorvframekit {
namespace {

inline __m128i load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(uint8_t* p, __m128i x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x); }
inline __m128i load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void store8(uint8_t* p, __m128i x) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), x); }
inline void storeHigh8(uint8_t* p, __m128i x) { store8(p, _mm_unpackhi_epi64(x, x)); }
inline __m128i load4(const uint8_t* p) {
    int word;
    __builtin_memcpy(&word, p, 4);
    return _mm_cvtsi32_si128(word);
}

// The kernels that read a frame's own rows (larger than the caches, and read once) ask for the bytes
// of a step this far ahead: left to the processor's prefetching, the loads of a strip's rows waited
// on memory. A prefetch never faults, so asking past the end of the source is harmless.
const int kPrefetchAhead = 1024;
template <int StepBytes>
inline void prefetchSource(const uint8_t* step) {
    for (int k = 0; k < StepBytes; k += 64) _mm_prefetch(reinterpret_cast<const char*>(step) + kPrefetchAhead + k, _MM_HINT_T0);
}

// A kernel that stores as fast as it loads (a copy's pace) asks for the lines it will write a little
// ahead: in a busy machine's slower spells its stores waited on their lines, and such a loop took 1.5x
// its usual time where the C library's copy took 1.1x; asked for 256 bytes ahead, it took 1.1x too.
const int kStoreAhead = 256;
template <int StepBytes>
inline void prefetchDestination(uint8_t* step) {
    for (int k = 0; k < StepBytes; k += 64) __builtin_prefetch(step + kStoreAhead + k, 1);
}

inline __m128i splat16(int value) { return _mm_set1_epi16(static_cast<short>(value)); }
// A multiplier kept as one: left visible, the compiler turns a multiply by a constant into runs of
// shifts and adds, several instructions for one.
inline __m128i weight16(int value) {
    __m128i weight = splat16(value);
    __asm__("" : "+x"(weight));
    return weight;
}

// A kernel's three band pointers, taken out of the caller's array before its loop: left there, they
// are read again after every store (the compiler cannot tell that the stores leave the array alone),
// and each read waits on the stores before it.
template <typename Pointer>
struct Bands {
    Pointer b0, b1, b2;
    explicit Bands(Pointer const* bands) : b0(bands[0]), b1(bands[1]), b2(bands[2]) {}
};

// 16 pixels' chroma, a byte per pixel, from 16 >> shift samples.
template <int Shift>
inline __m128i loadChroma(const uint8_t* c) {
    if (Shift == 0) return load16(c);
    if (Shift == 1) {
        const __m128i x = load8(c);
        return _mm_unpacklo_epi8(x, x);
    }
    __m128i x = load4(c);
    x = _mm_unpacklo_epi8(x, x);
    return _mm_unpacklo_epi8(x, x);
}

// 8 pixels in 16-bit lanes: Y, U, V to R, G, B (unclamped).
inline void yuv8ToRGB(__m128i y, __m128i u, __m128i v, __m128i& r, __m128i& g, __m128i& b) {
    const __m128i c = _mm_sub_epi16(y, splat16(16));
    const __m128i d = _mm_sub_epi16(u, splat16(128));
    const __m128i e = _mm_sub_epi16(v, splat16(128));
    const __m128i l = _mm_add_epi16(_mm_mullo_epi16(c, weight16(42)), splat16(128));
    const __m128i rt = _mm_add_epi16(l, _mm_mullo_epi16(e, weight16(153)));
    const __m128i gt = _mm_add_epi16(l, _mm_add_epi16(_mm_mullo_epi16(d, weight16(-100)), _mm_mullo_epi16(e, weight16(48))));
    const __m128i bt = _mm_add_epi16(l, _mm_slli_epi16(d, 2));
    r = _mm_add_epi16(_mm_add_epi16(c, e), _mm_srai_epi16(rt, 8));
    g = _mm_add_epi16(_mm_sub_epi16(c, e), _mm_srai_epi16(gt, 8));
    b = _mm_add_epi16(_mm_add_epi16(c, _mm_add_epi16(d, d)), _mm_srai_epi16(bt, 8));
}

// 16 pixels: luma and per-pixel chroma bytes to R, G, B bytes, clamped.
inline void yuv16ToRGB(__m128i y, __m128i u, __m128i v, __m128i& r, __m128i& g, __m128i& b) {
    const __m128i zero = _mm_setzero_si128();
    __m128i rl, gl, bl, rh, gh, bh;
    yuv8ToRGB(_mm_unpacklo_epi8(y, zero), _mm_unpacklo_epi8(u, zero), _mm_unpacklo_epi8(v, zero), rl, gl, bl);
    yuv8ToRGB(_mm_unpackhi_epi8(y, zero), _mm_unpackhi_epi8(u, zero), _mm_unpackhi_epi8(v, zero), rh, gh, bh);
    r = _mm_packus_epi16(rl, rh);
    g = _mm_packus_epi16(gl, gh);
    b = _mm_packus_epi16(bl, bh);
}

// Runs `vectors(aligned, i, out)` over the pixels of a YUV row `Step` at a time, for pixel i of the
// row advanced to its first whole chroma group, which is pixel `out` of the row. The pixels before
// that group, and those after the last whole step, go to `rest(row, out, count)` (the plain kernel),
// with the row advanced to them.
template <int Step, typename Vectors, typename Rest>
inline void forYUVVectors(const YUVRow& row, int n, Vectors vectors, Rest rest) {
    int lead = row.phase == 0 ? 0 : (1 << row.chromaShift) - row.phase;
    if (lead > n) lead = n;
    if (lead > 0) rest(row, 0, lead);
    const YUVRow aligned = advanceRow(row, lead);
    const int count = n - lead, whole = count - count % Step;
    for (int i = 0; i < whole; i += Step) vectors(aligned, i, lead + i);
    if (whole < count) rest(advanceRow(aligned, whole), lead + whole, count - whole);
}

// Packed 4:4:4 pixels to 3-byte pixels through a level's own split into bands and conversion of
// them, a chunk of the row at a time in bands on the stack.
template <typename Split, typename Convert>
inline void packed444ToPixelsInChunks(const Packed444Row& row, uint8_t* out, int n, PixelOrder order, Split split,
                                      Convert convert) {
    const int kChunk = 256;
    alignas(32) uint8_t y[kChunk], u[kChunk], v[kChunk];
    uint8_t* bands[3];
    bands[row.yOffset] = y;
    bands[row.uOffset] = u;
    bands[row.vOffset] = v;
    for (int i = 0; i < n; i += kChunk) {
        const int count = n - i < kChunk ? n - i : kChunk;
        split(row.pixels + 3 * static_cast<size_t>(i), bands, count);
        convert(YUVRow{y, u, v, 0, 0}, out + 3 * static_cast<size_t>(i), count, order);
    }
}

// 3-byte RGB pixels to what weigh(rgb, i, count) makes of pixels i to i + count - 1 from their R, G,
// B bands, through a level's own split into bands, a chunk of the row at a time on the stack.
template <typename Split, typename Weigh>
inline void packedRGBInChunks(const uint8_t* pixels, int redOffset, int n, Split split, Weigh weigh) {
    const int kChunk = 256;
    alignas(32) uint8_t r[kChunk], g[kChunk], b[kChunk];
    uint8_t* const bytes[3] = {redOffset == 0 ? r : b, g, redOffset == 0 ? b : r};  // byte j of a pixel
    const uint8_t* const rgb[3] = {r, g, b};
    for (int i = 0; i < n; i += kChunk) {
        const int count = n - i < kChunk ? n - i : kChunk;
        split(pixels + 3 * static_cast<size_t>(i), bytes, count);
        weigh(rgb, i, count);
    }
}

template <typename Split, typename ToMono>
inline void packedRGBToMonoInChunks(const uint8_t* pixels, int redOffset, uint8_t* mono, int n, Split split,
                                    ToMono toMono) {
    packedRGBInChunks(pixels, redOffset, n, split,
                      [&](const uint8_t* const rgb[3], int i, int count) { toMono(rgb, mono + i, count); });
}

template <typename Split, typename ToYUV>
inline void packedRGBToYUVInChunks(const uint8_t* pixels, int redOffset, uint8_t* const yuv[3], int n, Split split,
                                   ToYUV toYUV) {
    packedRGBInChunks(pixels, redOffset, n, split, [&](const uint8_t* const rgb[3], int i, int count) {
        uint8_t* const at[3] = {yuv[0] + i, yuv[1] + i, yuv[2] + i};
        toYUV(rgb, at, count);
    });
}

// Packed 4:1:1 groups to 3-byte pixels through a level's own unpacking and conversion, a chunk of
// the row at a time in rows on the stack.
template <typename Unpack, typename Convert>
inline void packed411ToPixelsInChunks(const Packed411Row& row, uint8_t* out, int n, PixelOrder order,
                                      Unpack unpackY411, Unpack unpackY41P, Convert convert) {
    const Packed411Format& format = packed411Format(row.layout);
    const Unpack unpack = row.layout == Packed411Layout::Y411 ? unpackY411 : unpackY41P;
    const int kChunk = 256;
    alignas(32) uint8_t y[kChunk + 16], u[kChunk / 4 + 4], v[kChunk / 4 + 4];
    for (int i = 0; i < n; i += kChunk) {
        const int count = n - i < kChunk ? n - i : kChunk;
        const int position = row.phase + i, first = position % format.pixels;
        unpack(row.groups + (position / format.pixels) * format.bytes, y, u, v,
               (first + count + format.pixels - 1) / format.pixels);
        convert(YUVRow{y + first, u + first / 4, v + first / 4, 2, first % 4}, out + 3 * static_cast<size_t>(i), count,
                order);
    }
}

// Runs steps(groups, i) over the row's whole groups Step pixels (3 Step / 2 bytes) at a time while
// `beyond` more of the row's pixels follow a step (for loads reaching past it); a first pixel inside
// its group goes plain, and the pixels left to rest(their row, i).
template <int Step, typename Steps, typename Rest>
inline void forPacked411Steps(const Packed411Row& row, uint8_t* pixels, int n, PixelOrder order, int beyond,
                              Steps steps, Rest rest) {
    const Packed411Format& format = packed411Format(row.layout);
    int lead = row.phase == 0 ? 0 : format.pixels - row.phase;
    if (lead > n) lead = n;
    plain::packed411ToPixels(row, pixels, lead, order);
    const uint8_t* groups = row.groups + (row.phase == 0 ? 0 : format.bytes);
    int i = lead;
    for (; i + Step + beyond <= n; i += Step, groups += 3 * Step / 2) {
        prefetchSource<3 * Step / 2>(groups);
        steps(groups, i);
    }
    rest(Packed411Row{groups, row.layout, 0}, i);
}

// Converted pixels' bytes laid out in `order` by a file's interleave(b0, b1, b2, out).
template <typename V, typename Interleave>
inline void interleaveInOrder(Interleave interleave, PixelOrder order, V r, V g, V b, uint8_t* out) {
    if (order == PixelOrder::BGR)
        interleave(b, g, r, out);
    else
        interleave(r, g, b, out);
}

// Two signed byte weights, for the first and the second byte of each 16-bit lane.
inline short pairedWeights(int first, int second) { return static_cast<short>((second & 0xFF) << 8 | (first & 0xFF)); }

// Pixels from pairs of bytes in 16-bit lanes, (Y, U) and (Y, V), to R, G, B (unclamped). Here a
// multiply-add of unsigned bytes by signed byte weights gives two terms in one instruction, so the
// split of 409 E is taken as 512 E - 103 E (all weights then fit a signed byte):
//   R = (Y + 2V - 272) + ((42 Y - 103 V + 12640) >> 8)
//   G = (Y - V + 112)  + ((42 Y - 100 U + 48 V + 6112) >> 8)
//   B = (Y + 2U - 272) + ((42 Y + 4 U - 1056) >> 8)
// the same as the forms above with C, D and E written out; no pair sum comes near the multiply-
// add's saturation, and every remainder fits 16 signed bits.
// Written once for any register width W (the SSSE3 file's 128-bit lanes, Lanes256 in Vectors256.h,
// the AVX-512 file's 512-bit lanes).
template <typename W>
struct PairsToRGB {
    typedef typename W::V V;
    static V red(V yv) {
        return W::add(W::add(W::madd(yv, W::pair(1, 2)), W::splat(-272)),
                      W::shift8(W::add(W::madd(yv, W::pair(42, -103)), W::splat(12640))));
    }
    static V green(V yu, V yv) {
        return W::add(W::add(W::madd(yv, W::pair(1, -1)), W::splat(112)),
                      W::shift8(W::add(W::add(W::madd(yu, W::pair(42, -100)), W::madd(yv, W::pair(0, 48))),
                                       W::splat(6112))));
    }
    static V blue(V yu) {
        return W::add(W::add(W::madd(yu, W::pair(1, 2)), W::splat(-272)),
                      W::shift8(W::add(W::madd(yu, W::pair(42, 4)), W::splat(-1056))));
    }
};

// Two sets of pairs (the low and high halves of each 128-bit lane, which pack back in order)
// converted, clamped and packed, one colour at a time: blue (of the (Y, U) pairs alone), green, then
// red (of the (Y, V) pairs alone). No more than the four pair registers and one colour's terms are
// then live at once, which 32-bit code's eight vector registers nearly hold. Converting both
// halves' three colours first spilled terms to the stack there: the AVX2 4:2:2 kernel to bands took
// 1.17x this order's time in 32-bit code, and 1.06x in 64-bit code.
template <typename W>
inline void pairsToRGBPacked(typename W::V yuLow, typename W::V yvLow, typename W::V yuHigh, typename W::V yvHigh,
                             typename W::V& r, typename W::V& g, typename W::V& b) {
    typedef PairsToRGB<W> P;
    b = W::packBack(P::blue(yuLow), P::blue(yuHigh));
    g = W::packBack(P::green(yuLow, yvLow), P::green(yuHigh, yvHigh));
    r = W::packBack(P::red(yvLow), P::red(yvHigh));
}

// (wr R + wg G + wb B + offset) >> 8, the sum known to fit 16 unsigned bits: in each 16-bit lane of
// byte pairs (R, G) and (B, G) (weightedPairsIn), and per byte of three registers of bytes R, G and
// B (weightedBytesIn, which pairs them). Each pair takes two weights in one multiply-add of
// unsigned bytes by signed ones, which must not saturate: where wr R + wg G
// could pass 16 signed bits (luma's 66 and 129, monochrome's 54 and 183), it is taken as twice
// (wr / 2 R + (wg >> 1) G), wr being even there, and the odd part of wg goes to the (B, G) pair.
// The 16-bit sums may wrap on the way and end where the whole sum does. Pairs are made and packed
// back within each 128-bit lane, which keeps the bytes in order. Written once for any register
// width W, as PairsToRGB.
template <typename W>
inline typename W::V weightedPairsIn(typename W::V rg, typename W::V bg, int wr, int wg, int wb, int offset) {
    typedef typename W::V V;
    const bool doubled = 255 * ((wr > 0 ? wr : 0) + (wg > 0 ? wg : 0)) > 32767 ||
                         255 * ((wr < 0 ? wr : 0) + (wg < 0 ? wg : 0)) < -32768;
    const V redGreen = doubled ? W::pair(wr / 2, wg >> 1) : W::pair(wr, wg);
    const V blueGreen = W::pair(wb, doubled ? wg & 1 : 0);
    V sum = W::madd(rg, redGreen);
    if (doubled) sum = W::add(sum, sum);
    return W::shiftRight8(W::add(W::add(sum, W::madd(bg, blueGreen)), W::splat(offset)));
}

template <typename W>
inline typename W::V weightedBytesIn(typename W::V r, typename W::V g, typename W::V b, int wr, int wg, int wb,
                                     int offset) {
    return W::packBack(weightedPairsIn<W>(W::interleaveLow(r, g), W::interleaveLow(b, g), wr, wg, wb, offset),
                       weightedPairsIn<W>(W::interleaveHigh(r, g), W::interleaveHigh(b, g), wr, wg, wb, offset));
}

// Runs vectors(groups, out) over the row Step pixels at a time; a pixel starting the row inside its
// group, and the last n % Step, go to rest(row advanced to them, out, count).
template <int Step, typename Vectors, typename Rest>
inline void forPacked422Vectors(const Packed422Row& row, int n, Vectors vectors, Rest rest) {
    const int lead = row.phase != 0 && n > 0 ? 1 : 0;
    if (lead) rest(row, 0, 1);
    const uint8_t* groups = row.groups + 4 * lead;
    const int count = n - lead, whole = count - count % Step;
    for (int i = 0; i < whole; i += Step) {
        prefetchSource<2 * Step>(groups + 2 * i);
        vectors(groups + 2 * i, lead + i);
    }
    if (whole < count) {
        Packed422Row tail = row;
        tail.groups = groups + 2 * whole;
        tail.phase = 0;
        rest(tail, lead + whole, count - whole);
    }
}

// A register of bytes, for the loops written once for every register width (Register256 in
// Vectors256.h).
struct Register128 {
    typedef __m128i V;
    static const int kBytes = 16;
    static V load(const uint8_t* p) { return load16(p); }
    static void store(uint8_t* p, V x) { store16(p, x); }
    static V splat16(int value) { return zorvframekit::splat16(value); }
    static V shiftRight16(V x, int bits) { return _mm_srli_epi16(x, bits); }
    static V shiftLeft16(V x, int bits) { return _mm_slli_epi16(x, bits); }
    static V bitAnd(V a, V b) { return _mm_and_si128(a, b); }
    // The 16-bit lanes of low, then those of high, saturated to bytes, in order.
    static V packBytes(V low, V high) { return _mm_packus_epi16(low, high); }
};

// 16-bit little-endian pixels of three fields to R, G, B bands, a register R of pixels a step, each
// field moved to the top of its byte: red and green shifted right and masked, blue shifted left by 3.
// The pixels left after the last whole step go to rest(in, bands, count), the plain kernel.
template <typename R, int RedShift, int RedMask, int GreenShift, int GreenMask, typename Rest>
inline void splitWordsIn(const uint8_t* in, uint8_t* const rgb[3], int n, Rest rest) {
    typedef typename R::V V;
    const Bands<uint8_t*> out(rgb);
    const V red = R::splat16(RedMask), green = R::splat16(GreenMask), blue = R::splat16(0xF8);
    int i = 0;
    for (; i + R::kBytes <= n; i += R::kBytes, in += 2 * R::kBytes) {
        prefetchSource<2 * R::kBytes>(in);
        const V a = R::load(in), b = R::load(in + R::kBytes);
        R::store(out.b0 + i, R::packBytes(R::bitAnd(R::shiftRight16(a, RedShift), red),
                                          R::bitAnd(R::shiftRight16(b, RedShift), red)));
        R::store(out.b1 + i, R::packBytes(R::bitAnd(R::shiftRight16(a, GreenShift), green),
                                          R::bitAnd(R::shiftRight16(b, GreenShift), green)));
        R::store(out.b2 + i,
                 R::packBytes(R::bitAnd(R::shiftLeft16(a, 3), blue), R::bitAnd(R::shiftLeft16(b, 3), blue)));
    }
    uint8_t* const restBands[3] = {out.b0 + i, out.b1 + i, out.b2 + i};
    rest(in, restBands, n - i);
}

// RGB to YUV and to monochrome a register R of pixels a step, with a level's weighted(r, g, b, wr,
// wg, wb, offset) of a register each. Loads come before stores in each step, so an output may be an
// input.
template <typename R, typename Weighted>
inline void rgbToYUVIn(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n, Weighted weighted) {
    const Bands<const uint8_t*> in(rgb);
    const Bands<uint8_t*> out(yuv);
    int i = 0;
    for (; i + R::kBytes <= n; i += R::kBytes) {
        const typename R::V r = R::load(in.b0 + i), g = R::load(in.b1 + i), b = R::load(in.b2 + i);
        const typename R::V y = weighted(r, g, b, 66, 129, 25, 16 * 256 + 128);
        const typename R::V u = weighted(r, g, b, -38, -74, 112, 128 * 256 + 128);
        const typename R::V v = weighted(r, g, b, 112, -94, -18, 128 * 256 + 128);
        R::store(out.b0 + i, y);
        R::store(out.b1 + i, u);
        R::store(out.b2 + i, v);
    }
    const uint8_t* const restIn[3] = {in.b0 + i, in.b1 + i, in.b2 + i};
    uint8_t* const restOut[3] = {out.b0 + i, out.b1 + i, out.b2 + i};
    plain::rgbToYUV(restIn, restOut, n - i);
}

template <typename R, typename Weighted>
inline void rgbToMonoIn(const uint8_t* const rgb[3], uint8_t* mono, int n, Weighted weighted) {
    const Bands<const uint8_t*> in(rgb);
    int i = 0;
    for (; i + R::kBytes <= n; i += R::kBytes)
        R::store(mono + i, weighted(R::load(in.b0 + i), R::load(in.b1 + i), R::load(in.b2 + i), 54, 183, 18, 0));
    const uint8_t* const rest[3] = {in.b0 + i, in.b1 + i, in.b2 + i};
    plain::rgbToMono(rest, mono + i, n - i);
}

// The byte shuffles making each of 8 pixels' (Y, U) and (Y, V) pairs out of 16 bytes of packed 4:2:2
// groups (phase 0), for the levels with byte shuffles.
struct Packed422Pairs {
    alignas(16) uint8_t yu[16];
    alignas(16) uint8_t yv[16];
    explicit Packed422Pairs(const Packed422Row& row) {
        for (int pixel = 0; pixel < 8; ++pixel) {
            const int group = 4 * (pixel >> 1);
            yu[2 * pixel] = yv[2 * pixel] = static_cast<uint8_t>(group + row.lumaOffset + 2 * (pixel & 1));
            yu[2 * pixel + 1] = static_cast<uint8_t>(group + row.uOffset);
            yv[2 * pixel + 1] = static_cast<uint8_t>(group + row.vOffset);
        }
    }
};

// The same for 8 pixels of a 4:1:1 layout out of their 12 bytes (two Y411 groups, one Y41P group).
struct Packed411Pairs {
    alignas(16) uint8_t yu[16];
    alignas(16) uint8_t yv[16];
    explicit Packed411Pairs(const Packed411Format& format) {
        for (int pixel = 0; pixel < 8; ++pixel) {
            const int group = (pixel / format.pixels) * format.bytes, j = pixel % format.pixels;
            yu[2 * pixel] = yv[2 * pixel] = static_cast<uint8_t>(group + format.y[j]);
            yu[2 * pixel + 1] = static_cast<uint8_t>(group + format.u[j]);
            yv[2 * pixel + 1] = static_cast<uint8_t>(group + format.v[j]);
        }
    }
};

// The byte shuffles making the (Y, U) and (Y, V) pairs of 8 packed 4:4:4 pixels out of their 24
// bytes, held as bytes 0-15 (`first`) and bytes 8-23 (`second`): each pair byte is taken from the
// one that holds it, the other shuffle giving zero there.
struct Packed444Pairs {
    // Any two pairs of a pixel's bytes: pair k of pixel j is its bytes offsets[k][0] and [k][1].
    struct PairBytes {
        int offsets[2][2];
    };
    static PairBytes yuv(const Packed444Row& row) {
        return PairBytes{{{row.yOffset, row.uOffset}, {row.yOffset, row.vOffset}}};
    }
    alignas(16) uint8_t first[2][16];  // [0]: (Y, U) pairs, [1]: (Y, V)
    alignas(16) uint8_t second[2][16];
    explicit Packed444Pairs(const PairBytes& pairBytes) {
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 8; ++j)
                for (int half = 0; half < 2; ++half) {
                    const int at = 3 * j + pairBytes.offsets[k][half];
                    first[k][2 * j + half] = static_cast<uint8_t>(at < 16 ? at : 0x80);
                    second[k][2 * j + half] = static_cast<uint8_t>(at < 16 ? 0x80 : at - 8);
                }
    }
};

// YUV rows to R, G, B bands and to bitmap pixels 16 at a time, with a level's convert(y, u, v, r, g,
// b) of 16 pixels (luma and a chroma byte per pixel to clamped colour bytes) and its interleave(b0,
// b1, b2, out) of three bands into 3-byte pixels.
template <int Shift, typename Convert>
inline void yuvRow16(const YUVRow& row, int i, Convert convert, __m128i& r, __m128i& g, __m128i& b) {
    convert(load16(row.y + i), loadChroma<Shift>(row.u + (i >> Shift)), loadChroma<Shift>(row.v + (i >> Shift)), r, g,
            b);
}

template <int Shift>
struct YUVToRGBBy16 {
    template <typename Convert>
    static void run(const YUVRow& row, uint8_t* const* rgb, int n, Convert convert) {
        const Bands<uint8_t*> o(rgb);
        forYUVVectors<16>(
            row, n,
            [o, convert](const YUVRow& aligned, int i, int out) {
                __m128i r, g, b;
                yuvRow16<Shift>(aligned, i, convert, r, g, b);
                store16(o.b0 + out, r);
                store16(o.b1 + out, g);
                store16(o.b2 + out, b);
            },
            [o](const YUVRow& rest, int out, int count) {
                uint8_t* const at[3] = {o.b0 + out, o.b1 + out, o.b2 + out};
                plain::yuvToRGB(rest, at, count);
            });
    }
};

template <int Shift>
struct YUVToPixelsBy16 {
    template <typename Convert, typename Interleave>
    static void run(const YUVRow& row, uint8_t* pixels, int n, PixelOrder order, Convert convert,
                    Interleave interleave) {
        forYUVVectors<16>(
            row, n,
            [=](const YUVRow& aligned, int i, int out) {
                __m128i r, g, b;
                yuvRow16<Shift>(aligned, i, convert, r, g, b);
                interleaveInOrder(interleave, order, r, g, b, pixels + 3 * out);
            },
            [=](const YUVRow& rest, int out, int count) { plain::yuvToPixels(rest, pixels + 3 * out, count, order); });
    }
};

// The per-chroma-subsampling instances of a kernel body `Body<Shift>`.
template <template <int> class Body, typename... Args>
inline void byShift(int shift, Args... args) {
    if (shift == 0)
        Body<0>::run(args...);
    else if (shift == 1)
        Body<1>::run(args...);
    else
        Body<2>::run(args...);
}

// 4 pixels of 4 bytes each, the fourth zero, to 12 bytes at the bottom of the result (the top 4 zero).
inline __m128i packPixels4To3(__m128i p) {
    const __m128i low3 = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i next3 = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000), 0x0000FFFF, static_cast<int>(0xFF000000));
    const __m128i six = _mm_or_si128(_mm_and_si128(p, low3), _mm_and_si128(_mm_srli_epi64(p, 8), next3));
    const __m128i upper6 = _mm_set_epi32(0, -1, static_cast<int>(0xFFFF0000), 0);
    return _mm_or_si128(_mm_move_epi64(six), _mm_and_si128(_mm_srli_si128(six, 2), upper6));
}

// 16 pixels of three bytes each, byte j of pixel i from in[j] byte i, as 48 bytes at out (SSE2: the
// bytes are spread to 4-byte pixels and packed back).
inline void interleave3(__m128i b0, __m128i b1, __m128i b2, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo01 = _mm_unpacklo_epi8(b0, b1), hi01 = _mm_unpackhi_epi8(b0, b1);
    const __m128i lo2 = _mm_unpacklo_epi8(b2, zero), hi2 = _mm_unpackhi_epi8(b2, zero);
    const __m128i p0 = packPixels4To3(_mm_unpacklo_epi16(lo01, lo2));
    const __m128i p1 = packPixels4To3(_mm_unpackhi_epi16(lo01, lo2));
    const __m128i p2 = packPixels4To3(_mm_unpacklo_epi16(hi01, hi2));
    const __m128i p3 = packPixels4To3(_mm_unpackhi_epi16(hi01, hi2));
    store16(out, _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
    store16(out + 16, _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
    store16(out + 32, _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
}

// Byte shuffles that interleave three 16-byte bands into 48 bytes: byte k of third t takes byte
// (16 t + k) / 3 of band (16 t + k) % 3, and is left zero by the other two bands' masks (-1).
struct Interleave3Masks {
    uint8_t bytes[3][3][16];  // [third][band][byte]
};
constexpr Interleave3Masks makeInterleave3Masks() {
    Interleave3Masks masks = {};
    for (int t = 0; t < 3; ++t)
        for (int band = 0; band < 3; ++band)
            for (int k = 0; k < 16; ++k) {
                const int at = 16 * t + k;
                masks.bytes[t][band][k] = static_cast<uint8_t>(at % 3 == band ? at / 3 : 0x80);
            }
    return masks;
}
constexpr Interleave3Masks kInterleave3 = makeInterleave3Masks();

// Bytes 0 and 2 of 3-byte pixels exchanged: byte j of a register whose first byte lies at place
// `phase` of its pixel (0, 1 or 2) takes byte j + 2, j or j - 2 of the input (place 0, 1 or 2 of
// its own pixel), given here as the offset 2, 0 or -2.
constexpr int swap3Offset(int phase, int j) { return 2 - 2 * ((phase + j) % 3); }

// 16 pixels (48 bytes, three registers) a step, on the input's own grid of registers: output
// register k is input register k but for the bytes whose partner lies in register k - 1 or k + 1.
// Swap::swapped<phase>(previous, current, next) makes a register of phase 0, 1 or 2 (register k of
// the step is of phase k, 16 being 1 more than a multiple of 3); the first register takes nothing
// from before it and the last nothing after it, the step being whole pixels. Each step loads its 48
// bytes before it stores them and stores those alone: out may be in, and no byte of out ever holds
// anything but its final value (a display reading the bitmap meanwhile sees each pixel as it was or
// as it becomes). The last n % 16 pixels go plain.
template <typename Swap>
inline void swap3By48(const uint8_t* in, uint8_t* out, int n) {
    int i = 0;
    for (; i + 16 <= n; i += 16, in += 48, out += 48) {
        const __m128i a = load16(in), b = load16(in + 16), c = load16(in + 32);
        const __m128i first = Swap::template swapped<0>(a, a, b), second = Swap::template swapped<1>(a, b, c),
                      third = Swap::template swapped<2>(b, c, c);
        store16(out, first);
        store16(out + 16, second);
        store16(out + 32, third);
    }
    plain::swap3(in, out, n - i);
}

// SSE2's: the bytes either side of a register shifted in, and each byte picked by masks.
struct Swap3Shifted {
    struct Masks {
        uint8_t later[3][16], own[3][16], earlier[3][16];  // where byte j takes byte j + 2, j or j - 2
        constexpr Masks() : later(), own(), earlier() {
            for (int phase = 0; phase < 3; ++phase)
                for (int j = 0; j < 16; ++j) {
                    const int offset = swap3Offset(phase, j);
                    if (offset > 0)
                        later[phase][j] = 0xFF;
                    else if (offset == 0)
                        own[phase][j] = 0xFF;
                    else
                        earlier[phase][j] = 0xFF;
                }
        }
    };
    template <int Phase>
    static __m128i swapped(__m128i previous, __m128i current, __m128i next) {
        static constexpr Masks masks;
        __m128i later = _mm_srli_si128(current, 2), earlier = _mm_slli_si128(current, 2);
        if (Phase != 2) later = _mm_or_si128(later, _mm_slli_si128(next, 14));
        if (Phase != 0) earlier = _mm_or_si128(earlier, _mm_srli_si128(previous, 14));
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(later, load16(masks.later[Phase])),
                                         _mm_and_si128(current, load16(masks.own[Phase]))),
                            _mm_and_si128(earlier, load16(masks.earlier[Phase])));
    }
};

#if defined(__SSSE3__)
// The levels with byte shuffles: each register's own bytes in one shuffle, and those from the
// registers either side in one each.
struct Swap3Shuffled {
    struct Shuffles {
        uint8_t own[3][16], fromPrevious[3][16], fromNext[3][16];
        constexpr Shuffles() : own(), fromPrevious(), fromNext() {
            for (int phase = 0; phase < 3; ++phase)
                for (int j = 0; j < 16; ++j) {
                    const int from = j + swap3Offset(phase, j);
                    own[phase][j] = static_cast<uint8_t>(from >= 0 && from < 16 ? from : 0x80);
                    fromPrevious[phase][j] = static_cast<uint8_t>(from < 0 ? from + 16 : 0x80);
                    fromNext[phase][j] = static_cast<uint8_t>(from >= 16 ? from - 16 : 0x80);
                }
        }
    };
    template <int Phase>
    static __m128i swapped(__m128i previous, __m128i current, __m128i next) {
        static constexpr Shuffles shuffles;
        __m128i x = _mm_shuffle_epi8(current, load16(shuffles.own[Phase]));
        if (Phase != 0) x = _mm_or_si128(x, _mm_shuffle_epi8(previous, load16(shuffles.fromPrevious[Phase])));
        if (Phase != 2) x = _mm_or_si128(x, _mm_shuffle_epi8(next, load16(shuffles.fromNext[Phase])));
        return x;
    }
};

// The 4:1:1 unpacking of the levels with byte shuffles (SSSE3's, and AVX2's lane by lane).
// Byte shuffles that gather 16 bytes out of 48 (three vectors): mask[s] picks, from vector s, the
// output bytes whose source lies in it, and zeroes the rest.
struct Gather48 {
    uint8_t mask[3][16];
};
constexpr Gather48 gatherFrom(const int (&source)[16]) {
    Gather48 gather = {};
    for (int s = 0; s < 3; ++s)
        for (int k = 0; k < 16; ++k) {
            const int at = source[k] - 16 * s;
            gather.mask[s][k] = static_cast<uint8_t>(at >= 0 && at < 16 ? at : 0x80);
        }
    return gather;
}
inline __m128i gather48(__m128i a, __m128i b, __m128i c, const Gather48& gather) {
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, load16(gather.mask[0])), _mm_shuffle_epi8(b, load16(gather.mask[1]))),
                        _mm_shuffle_epi8(c, load16(gather.mask[2])));
}

// Where the samples of 48 bytes of a 4:1:1 layout lie: `group` bytes a group, luma at `luma` within
// it, and `chromaPerGroup` U then V samples per group at `u` and `v`. Luma k of the 48 bytes'
// first (half 0) or second (half 1) 16 luma samples; chroma: the 8 U samples then the 8 V ones.
struct Layout411 {
    int group, lumaPerGroup, chromaPerGroup;
    int luma[8], u[2], v[2];
};
constexpr Gather48 lumaOf(const Layout411& layout, int half) {
    int source[16] = {};
    for (int k = 0; k < 16; ++k) {
        const int index = 16 * half + k;
        source[k] = layout.group * (index / layout.lumaPerGroup) + layout.luma[index % layout.lumaPerGroup];
    }
    return gatherFrom(source);
}
constexpr Gather48 chromaOf(const Layout411& layout) {
    int source[16] = {};
    for (int k = 0; k < 8; ++k) {
        const int group = k / layout.chromaPerGroup, sample = k % layout.chromaPerGroup;
        source[k] = layout.group * group + layout.u[sample];
        source[8 + k] = layout.group * group + layout.v[sample];
    }
    return gatherFrom(source);
}

constexpr Layout411 kY411 = {6, 4, 1, {1, 2, 4, 5}, {0}, {3}};                        // U Y0 Y1 V Y2 Y3
constexpr Layout411 kY41P = {12, 8, 2, {1, 3, 5, 7, 8, 9, 10, 11}, {0, 4}, {2, 6}};  // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4..Y7
constexpr Gather48 kY411Luma[2] = {lumaOf(kY411, 0), lumaOf(kY411, 1)}, kY411Chroma = chromaOf(kY411);
constexpr Gather48 kY41PLuma[2] = {lumaOf(kY41P, 0), lumaOf(kY41P, 1)}, kY41PChroma = chromaOf(kY41P);
#endif

// Transposes of blocks into columns: out[c * stride + i] = rows[i][c]. Blocks past the last whole
// one are placed flush with the end instead, rewriting a few bytes with their own values.

// Stores a column's bytes to each of its Copies output columns (2 for doubled transposes), which
// follow each other `stride` bytes apart.
template <int Copies, typename Store>
inline void toCopies(uint8_t* column, size_t stride, Store store) {
    store(column);
    if (Copies == 2) store(column + stride);
}

// 8 rows by 16 columns, starting at column c; each column written to Copies output columns.
template <int Copies = 1>
inline void transposeBlock8x16(const uint8_t* const* rows, int c, uint8_t* out, size_t stride) {
    const __m128i a0 = load16(rows[0] + c), a1 = load16(rows[1] + c), a2 = load16(rows[2] + c),
                  a3 = load16(rows[3] + c), a4 = load16(rows[4] + c), a5 = load16(rows[5] + c),
                  a6 = load16(rows[6] + c), a7 = load16(rows[7] + c);
    // Pairs of rows, then quads, then all eight: each step doubles the run of one column's bytes.
    const __m128i b0 = _mm_unpacklo_epi8(a0, a1), b1 = _mm_unpackhi_epi8(a0, a1), b2 = _mm_unpacklo_epi8(a2, a3),
                  b3 = _mm_unpackhi_epi8(a2, a3), b4 = _mm_unpacklo_epi8(a4, a5), b5 = _mm_unpackhi_epi8(a4, a5),
                  b6 = _mm_unpacklo_epi8(a6, a7), b7 = _mm_unpackhi_epi8(a6, a7);
    const __m128i c0 = _mm_unpacklo_epi16(b0, b2), c1 = _mm_unpackhi_epi16(b0, b2), c2 = _mm_unpacklo_epi16(b1, b3),
                  c3 = _mm_unpackhi_epi16(b1, b3), c4 = _mm_unpacklo_epi16(b4, b6), c5 = _mm_unpackhi_epi16(b4, b6),
                  c6 = _mm_unpacklo_epi16(b5, b7), c7 = _mm_unpackhi_epi16(b5, b7);
    const __m128i columns[8] = {_mm_unpacklo_epi32(c0, c4), _mm_unpackhi_epi32(c0, c4), _mm_unpacklo_epi32(c1, c5),
                                _mm_unpackhi_epi32(c1, c5), _mm_unpacklo_epi32(c2, c6), _mm_unpackhi_epi32(c2, c6),
                                _mm_unpacklo_epi32(c3, c7), _mm_unpackhi_epi32(c3, c7)};
    uint8_t* column = out + static_cast<size_t>(c) * Copies * stride;
    for (int k = 0; k < 8; ++k, column += 2 * Copies * stride) {
        toCopies<Copies>(column, stride, [&](uint8_t* at) { store8(at, columns[k]); });
        toCopies<Copies>(column + Copies * stride, stride, [&](uint8_t* at) { storeHigh8(at, columns[k]); });
    }
}

// 16-bit samples, most significant byte first, to the machine's order.
inline __m128i swapBytes16(__m128i x) { return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8)); }

// 8 rows by 8 16-bit columns, starting at column c.
inline void transposeBlock8x8Words(const uint8_t* const* rows, int c, uint16_t* out, size_t stride, bool swapped) {
    __m128i a[8];
    for (int i = 0; i < 8; ++i) {
        a[i] = load16(rows[i] + 2 * c);
        if (swapped) a[i] = swapBytes16(a[i]);
    }
    const __m128i b0 = _mm_unpacklo_epi16(a[0], a[1]), b1 = _mm_unpackhi_epi16(a[0], a[1]),
                  b2 = _mm_unpacklo_epi16(a[2], a[3]), b3 = _mm_unpackhi_epi16(a[2], a[3]),
                  b4 = _mm_unpacklo_epi16(a[4], a[5]), b5 = _mm_unpackhi_epi16(a[4], a[5]),
                  b6 = _mm_unpacklo_epi16(a[6], a[7]), b7 = _mm_unpackhi_epi16(a[6], a[7]);
    const __m128i c0 = _mm_unpacklo_epi32(b0, b2), c1 = _mm_unpackhi_epi32(b0, b2), c2 = _mm_unpacklo_epi32(b1, b3),
                  c3 = _mm_unpackhi_epi32(b1, b3), c4 = _mm_unpacklo_epi32(b4, b6), c5 = _mm_unpackhi_epi32(b4, b6),
                  c6 = _mm_unpacklo_epi32(b5, b7), c7 = _mm_unpackhi_epi32(b5, b7);
    const __m128i columns[8] = {_mm_unpacklo_epi64(c0, c4), _mm_unpackhi_epi64(c0, c4), _mm_unpacklo_epi64(c1, c5),
                                _mm_unpackhi_epi64(c1, c5), _mm_unpacklo_epi64(c2, c6), _mm_unpackhi_epi64(c2, c6),
                                _mm_unpacklo_epi64(c3, c7), _mm_unpackhi_epi64(c3, c7)};
    uint16_t* column = out + static_cast<size_t>(c) * stride;
    for (int k = 0; k < 8; ++k, column += stride) store16(reinterpret_cast<uint8_t*>(column), columns[k]);
}

// Runs block(firstRow, firstColumn) over a rowCount x width area in blocks of Rows x Columns, a
// column of blocks after another, the last row and column of blocks placed flush with the area's
// end. The area must hold one block.
template <int Rows, int Columns, typename Block>
inline void forBlocks(int rowCount, int width, Block block) {
    for (int c0 = 0; c0 < width; c0 += Columns) {
        const int c = c0 + Columns <= width ? c0 : width - Columns;
        for (int r0 = 0; r0 < rowCount; r0 += Rows) block(r0 + Rows <= rowCount ? r0 : rowCount - Rows, c);
    }
}

}  // namespace
}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_KERNELS_VECTORS128_H
