// SSE2 kernels: the baseline of both builds, a kernel for every entry of the table. What byte
// shuffles do better (3-byte pixels, the 4:1:1 layouts) the level above does again.
#include "kernels/Vectors128.h"

namespace zorvframekit {

namespace {

// ---- Colour -------------------------------------------------------------------------------------

template <int Shift>
struct ExpandChroma {
    static void run(const YUVRow& row, uint8_t* u, uint8_t* v, int n) {
        forYUVVectors<16>(
            row, n,
            [u, v](const YUVRow& aligned, int i, int out) {
                store16(u + out, loadChroma<Shift>(aligned.u + (i >> Shift)));
                store16(v + out, loadChroma<Shift>(aligned.v + (i >> Shift)));
            },
            [u, v](const YUVRow& rest, int out, int count) { plain::expandChroma(rest, u + out, v + out, count); });
    }
};

// Lambdas rather than the functions themselves, so that they are inlined into the loops.
const auto widened16 = [](__m128i y, __m128i u, __m128i v, __m128i& r, __m128i& g, __m128i& b) {
    yuv16ToRGB(y, u, v, r, g, b);
};
const auto interleaveMasked = [](__m128i b0, __m128i b1, __m128i b2, uint8_t* out) { interleave3(b0, b1, b2, out); };

void yuvToPixels(const YUVRow& row, uint8_t* out, int n, PixelOrder order) {
    byShift<YUVToPixelsBy16>(row.chromaShift, row, out, n, order, widened16, interleaveMasked);
}
void yuvToRGB(const YUVRow& row, uint8_t* const rgb[3], int n) {
    byShift<YUVToRGBBy16>(row.chromaShift, row, static_cast<uint8_t* const*>(rgb), n, widened16);
}
void expandChroma(const YUVRow& row, uint8_t* u, uint8_t* v, int n) {
    byShift<ExpandChroma>(row.chromaShift, row, u, v, n);
}

// 8 pixels in 16-bit lanes: (a R + b G + c B + offset) >> 8, the sum known to fit 16 unsigned bits.
inline __m128i weighted8(__m128i r, __m128i g, __m128i b, int wr, int wg, int wb, int offset) {
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(r, weight16(wr)), _mm_mullo_epi16(g, weight16(wg))),
                                      _mm_add_epi16(_mm_mullo_epi16(b, weight16(wb)), splat16(offset)));
    return _mm_srli_epi16(sum, 8);
}

inline __m128i weighted16(__m128i r, __m128i g, __m128i b, int wr, int wg, int wb, int offset) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = weighted8(_mm_unpacklo_epi8(r, zero), _mm_unpacklo_epi8(g, zero), _mm_unpacklo_epi8(b, zero),
                                  wr, wg, wb, offset);
    const __m128i high = weighted8(_mm_unpackhi_epi8(r, zero), _mm_unpackhi_epi8(g, zero), _mm_unpackhi_epi8(b, zero),
                                   wr, wg, wb, offset);
    return _mm_packus_epi16(low, high);
}

const auto weightedWidened = [](__m128i r, __m128i g, __m128i b, int wr, int wg, int wb, int offset) {
    return weighted16(r, g, b, wr, wg, wb, offset);
};
void rgbToYUV(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n) { rgbToYUVIn<Register128>(rgb, yuv, n, weightedWidened); }
void rgbToMono(const uint8_t* const rgb[3], uint8_t* mono, int n) { rgbToMonoIn<Register128>(rgb, mono, n, weightedWidened); }

// ---- Packed layouts -----------------------------------------------------------------------------

// Bytes 0, 1 and 2 of 16 pixels held as 4-byte pixels (in four vectors) to three outputs.
inline void splitPixels4(const __m128i p[4], bool fourthIsZero, const Bands<uint8_t*>& bands, int i) {
    const __m128i byte = _mm_set1_epi32(0xFF);
    uint8_t* const out[3] = {bands.b0, bands.b1, bands.b2};
    for (int k = 0; k < 3; ++k) {
        __m128i lanes[4];
        for (int j = 0; j < 4; ++j) {
            const __m128i shifted = _mm_srli_epi32(p[j], 8 * k);
            lanes[j] = k == 2 && fourthIsZero ? shifted : _mm_and_si128(shifted, byte);
        }
        store16(out[k] + i, _mm_packus_epi16(_mm_packs_epi32(lanes[0], lanes[1]), _mm_packs_epi32(lanes[2], lanes[3])));
    }
}

// Four 3-byte pixels at the bottom of x to 4-byte pixels whose fourth byte is zero.
inline __m128i spreadPixels3To4(__m128i x) {
    const __m128i y = _mm_unpacklo_epi64(x, _mm_srli_si128(x, 6));
    const __m128i low3 = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i high3 = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
    return _mm_or_si128(_mm_and_si128(y, low3), _mm_and_si128(_mm_slli_epi64(y, 8), high3));
}

void split3(const uint8_t* in, uint8_t* const out[3], int n) {
    const Bands<uint8_t*> bands(out);
    int i = 0;
    for (; i + 16 <= n; i += 16, in += 48) {
        prefetchSource<48>(in);
        // The last four pixels are read as the top of the 16 bytes ending the 48, not past them.
        const __m128i p[4] = {spreadPixels3To4(load16(in)), spreadPixels3To4(load16(in + 12)),
                              spreadPixels3To4(load16(in + 24)), spreadPixels3To4(_mm_srli_si128(load16(in + 32), 4))};
        splitPixels4(p, true, bands, i);
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split3(in, rest, n - i);
}

void split4(const uint8_t* in, uint8_t* const out[3], int n) {
    const Bands<uint8_t*> bands(out);
    int i = 0;
    for (; i + 16 <= n; i += 16, in += 64) {
        prefetchSource<64>(in);
        const __m128i p[4] = {load16(in), load16(in + 16), load16(in + 32), load16(in + 48)};
        splitPixels4(p, false, bands, i);
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split4(in, rest, n - i);
}

void rgb555ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n) {
    splitWordsIn<Register128, 7, 0xF8, 2, 0xF8>(in, rgb, n, plain::rgb555ToRGB);
}
void rgb565ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n) {
    splitWordsIn<Register128, 8, 0xF8, 3, 0xFC>(in, rgb, n, plain::rgb565ToRGB);
}

// The even and the odd bytes of 32 bytes, 16 each.
inline __m128i evenBytes(__m128i a, __m128i b) {
    const __m128i low = splat16(0xFF);
    return _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low));
}
inline __m128i oddBytes(__m128i a, __m128i b) { return _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)); }

// 16 groups of 4 bytes: luma at the even (LumaOdd false) or odd bytes, two chroma samples at the
// others.
template <bool LumaOdd>
inline void unpackGroups16(const uint8_t* in, uint8_t* y, uint8_t* first, uint8_t* second) {
    prefetchSource<64>(in);
    const __m128i a0 = load16(in), a1 = load16(in + 16), a2 = load16(in + 32), a3 = load16(in + 48);
    store16(y, LumaOdd ? oddBytes(a0, a1) : evenBytes(a0, a1));
    store16(y + 16, LumaOdd ? oddBytes(a2, a3) : evenBytes(a2, a3));
    const __m128i c01 = LumaOdd ? evenBytes(a0, a1) : oddBytes(a0, a1);
    const __m128i c23 = LumaOdd ? evenBytes(a2, a3) : oddBytes(a2, a3);
    store16(first, evenBytes(c01, c23));
    store16(second, oddBytes(c01, c23));
}

void unpackYUYV(const uint8_t* in, uint8_t* y, uint8_t* c1, uint8_t* c3, int groups) {
    int g = 0;
    for (; g + 16 <= groups; g += 16) unpackGroups16<false>(in + 4 * g, y + 2 * g, c1 + g, c3 + g);
    plain::unpackYUYV(in + 4 * g, y + 2 * g, c1 + g, c3 + g, groups - g);
}

void unpackUYVY(const uint8_t* in, uint8_t* y, uint8_t* c0, uint8_t* c2, int groups) {
    int g = 0;
    for (; g + 16 <= groups; g += 16) unpackGroups16<true>(in + 4 * g, y + 2 * g, c0 + g, c2 + g);
    plain::unpackUYVY(in + 4 * g, y + 2 * g, c0 + g, c2 + g, groups - g);
}

// The 4:1:1 layouts without byte shuffles: their groups read as 16-bit words (Y411) or 32-bit
// ones (Y41P), gathered by unpacks and split by shifts and packs. 48 bytes a step; the last group of
// the step is read from the 16 bytes ending the 48 and shifted down, so nothing past them is read.

// 8 groups of U Y0 Y1 V Y2 Y3, taken as the words (U, Y0), (Y1, V), (Y2, Y3).
inline void unpackY411By8(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v) {
    prefetchSource<48>(in);
    // Two groups to a register, one in each 64-bit half (its top word unused).
    const auto two = [](__m128i x) { return _mm_unpacklo_epi64(x, _mm_srli_si128(x, 6)); };
    const __m128i p0 = two(load16(in)), p1 = two(load16(in + 12)), p2 = two(load16(in + 24)),
                  p3 = two(_mm_srli_si128(load16(in + 32), 4));
    // Words 0 and 1 of four groups, then word 2 of the four.
    const __m128i t0 = _mm_unpacklo_epi16(p0, p1), t1 = _mm_unpackhi_epi16(p0, p1);
    const __m128i t2 = _mm_unpacklo_epi16(p2, p3), t3 = _mm_unpackhi_epi16(p2, p3);
    const __m128i first01 = _mm_unpacklo_epi16(t0, t1), first2 = _mm_unpackhi_epi16(t0, t1);
    const __m128i last01 = _mm_unpacklo_epi16(t2, t3), last2 = _mm_unpackhi_epi16(t2, t3);
    const __m128i w0 = _mm_unpacklo_epi64(first01, last01), w1 = _mm_unpackhi_epi64(first01, last01),
                  w2 = _mm_unpacklo_epi64(first2, last2);
    const __m128i y01 = _mm_or_si128(_mm_srli_epi16(w0, 8), _mm_slli_epi16(w1, 8));
    store16(y, _mm_unpacklo_epi16(y01, w2));
    store16(y + 16, _mm_unpackhi_epi16(y01, w2));
    const __m128i uv = _mm_packus_epi16(_mm_and_si128(w0, splat16(0xFF)), _mm_srli_epi16(w1, 8));
    store8(u, uv);
    storeHigh8(v, uv);
}

// 4 groups of U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7: chroma at the even bytes of the first 8, luma at
// the odd ones and the last 4.
inline void unpackY41PBy4(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v) {
    prefetchSource<48>(in);
    const __m128i g0 = load16(in), g1 = load16(in + 12), g2 = load16(in + 24),
                  g3 = _mm_srli_si128(load16(in + 32), 4);
    const __m128i first01 = _mm_unpacklo_epi64(g0, g1), first23 = _mm_unpacklo_epi64(g2, g3);
    const __m128i last = _mm_unpacklo_epi64(_mm_unpackhi_epi32(g0, g1), _mm_unpackhi_epi32(g2, g3));
    const __m128i low = splat16(0xFF);
    const __m128i luma = _mm_packus_epi16(_mm_srli_epi16(first01, 8), _mm_srli_epi16(first23, 8));
    const __m128i chroma = _mm_packus_epi16(_mm_and_si128(first01, low), _mm_and_si128(first23, low));
    store16(y, _mm_unpacklo_epi32(luma, last));
    store16(y + 16, _mm_unpackhi_epi32(luma, last));
    const __m128i uv = _mm_packus_epi16(_mm_and_si128(chroma, low), _mm_srli_epi16(chroma, 8));
    store8(u, uv);
    storeHigh8(v, uv);
}

void unpackY411(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    int g = 0;
    for (; g + 8 <= groups; g += 8) unpackY411By8(in + 6 * g, y + 4 * g, u + g, v + g);
    plain::unpackY411(in + 6 * g, y + 4 * g, u + g, v + g, groups - g);
}

void unpackY41P(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    int g = 0;
    for (; g + 4 <= groups; g += 4) unpackY41PBy4(in + 12 * g, y + 8 * g, u + 2 * g, v + 2 * g);
    plain::unpackY41P(in + 12 * g, y + 8 * g, u + 2 * g, v + 2 * g, groups - g);
}

// Packed 4:2:2 rows through the two kernels above, a chunk of pixels at a time through the stack.
template <typename Convert>
inline void convertPacked422(const Packed422Row& row, int n, Convert convert) {
    const int chunk = 256;
    alignas(16) uint8_t y[chunk + 2], u[chunk / 2 + 1], v[chunk / 2 + 1];
    // Chroma at byte 1 or 3 when luma is at the even bytes, at 0 or 2 when it is at the odd ones.
    const bool uFirst = row.uOffset < row.vOffset;
    for (int c0 = 0; c0 < n; c0 += chunk) {
        const int count = n - c0 < chunk ? n - c0 : chunk;
        const int position = row.phase + c0, phase = position & 1;
        const uint8_t* in = row.groups + 4 * (position >> 1);
        const int groups = (phase + count + 1) >> 1;
        if (row.lumaOffset == 0)
            unpackYUYV(in, y, uFirst ? u : v, uFirst ? v : u, groups);
        else
            unpackUYVY(in, y, uFirst ? u : v, uFirst ? v : u, groups);
        convert(YUVRow{y + phase, u, v, 1, phase}, c0, count);
    }
}

void packed422ToPixels(const Packed422Row& row, uint8_t* out, int n, PixelOrder order) {
    convertPacked422(row, n,
                     [=](const YUVRow& yuv, int c0, int count) { yuvToPixels(yuv, out + 3 * c0, count, order); });
}

void packed422ToRGB(const Packed422Row& row, uint8_t* const rgb[3], int n) {
    convertPacked422(row, n, [rgb](const YUVRow& yuv, int c0, int count) {
        uint8_t* const at[3] = {rgb[0] + c0, rgb[1] + c0, rgb[2] + c0};
        yuvToRGB(yuv, at, count);
    });
}

// ---- Bitmap rows --------------------------------------------------------------------------------

// On the input's grid of registers, 16 pixels a step (see swap3By48): only the bytes of the pixels
// converted are stored, each with its final value.
void swap3(const uint8_t* in, uint8_t* out, int n) { swap3By48<Swap3Shifted>(in, out, n); }

// Bytes 0 and 2 of 4-byte pixels exchanged, the fourth byte never written. Below AVX-512 the one
// store that leaves bytes of a register out (maskmovdqu) bypasses the caches and measured many times
// slower than plain, so each pixel takes a 16-bit store and a byte store, which bound the kernel:
// the bytes are swapped in general registers, which measured faster, in 64-bit and 32-bit code, than
// swapping them by shuffles and taking each pixel out of a vector register (SSSE3 and AVX2 included).
inline uint32_t pixel4(const uint8_t* p) {
    uint32_t pixel;
    __builtin_memcpy(&pixel, p, 4);
    return pixel;
}
inline void storeSwapped4(uint8_t* out, uint32_t pixel) {
    const uint16_t first = static_cast<uint16_t>(__builtin_bswap32(pixel) >> 8);  // bytes 2 and 1
    __builtin_memcpy(out, &first, 2);
    out[2] = static_cast<uint8_t>(pixel);
}

void swap4(const uint8_t* in, uint8_t* out, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4, in += 16, out += 16) {
        // All four read before any is written: out may be in.
        const uint32_t a = pixel4(in), b = pixel4(in + 4), c = pixel4(in + 8), d = pixel4(in + 12);
        storeSwapped4(out, a);
        storeSwapped4(out + 4, b);
        storeSwapped4(out + 8, c);
        storeSwapped4(out + 12, d);
    }
    plain::swap4(in, out, n - i);
}

void merge3(const uint8_t* const in[3], uint8_t* out, int n) {
    const Bands<const uint8_t*> bands(in);
    int i = 0;
    for (; i + 16 <= n; i += 16) interleave3(load16(bands.b0 + i), load16(bands.b1 + i), load16(bands.b2 + i), out + 3 * i);
    const uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::merge3(rest, out + 3 * i, n - i);
}

void rgb565To555(const uint8_t* in, uint8_t* out, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = load16(in + 2 * i);
        store16(out + 2 * i,
                _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 1), splat16(0x7FE0)), _mm_and_si128(v, splat16(0x1F))));
    }
    plain::rgb565To555(in + 2 * i, out + 2 * i, n - i);
}

void swapBytes16Row(const uint8_t* in, uint8_t* out, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) store16(out + 2 * i, swapBytes16(load16(in + 2 * i)));
    plain::swapBytes16(in + 2 * i, out + 2 * i, n - i);
}

// From 2112 bytes to the second-level cache's size (1 MB), the C library's copy is a string move,
// and on the AMD Zen 4 we measured that ran 11-15x slower when out lay 1 to 15 bytes past in modulo
// 4096, and up to 1.6x at 16 to 63; a loop of vector loads and stores does not care (307200 bytes
// took 7.1 us at 8 bytes past, where the C library's best placement takes 5.5). A frame's buffer and
// the caller's array or bitmap can lie so, so those copies take the loop, and every other the C
// library's copy (with the data in the first-level cache, up to 1.9x as fast as 16-byte stores).
// From 1 MB on, the C library copies otherwise, at every placement as fast as the loop or faster.
void copy(const uint8_t* in, uint8_t* out, size_t n) {
    size_t i = 0;
    const size_t past = (reinterpret_cast<uintptr_t>(out) - reinterpret_cast<uintptr_t>(in)) % 4096;
    if (past > 0 && past < 64 && n < (size_t(1) << 20))
        for (; i + 64 <= n; i += 64) {
            const __m128i a = load16(in + i), b = load16(in + i + 16), c = load16(in + i + 32), d = load16(in + i + 48);
            store16(out + i, a);
            store16(out + i + 16, b);
            store16(out + i + 32, c);
            store16(out + i + 48, d);
        }
    plain::copy(in + i, out + i, n - i);
}

void wordsToBytes(const uint8_t* in, uint8_t* out, int n, int shift, bool swapped) {
    const __m128i count = _mm_cvtsi32_si128(shift), low = splat16(0xFF);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i a = load16(in + 2 * i), b = load16(in + 2 * i + 16);
        if (swapped) {
            a = swapBytes16(a);
            b = swapBytes16(b);
        }
        store16(out + i, _mm_packus_epi16(_mm_and_si128(_mm_srl_epi16(a, count), low),
                                          _mm_and_si128(_mm_srl_epi16(b, count), low)));
    }
    plain::wordsToBytes(in + 2 * i, out + i, n - i, shift, swapped);
}

// ---- Transposes ---------------------------------------------------------------------------------

template <int Copies>
void transpose8Copies(const uint8_t* const* rowArray, int rowCount, int width, uint8_t* out, size_t columnStride) {
    // The row pointers are copied where the stores cannot reach them (see Bands).
    const uint8_t* rows[kMaxTransposeRows];
    for (int i = 0; i < rowCount; ++i) rows[i] = rowArray[i];
    if (rowCount < 8 || width < 16) {
        (Copies == 1 ? plain::transpose8 : plain::transpose8Doubled)(rows, rowCount, width, out, columnStride);
        return;
    }
    forBlocks<8, 16>(rowCount, width,
                     [&](int r, int c) { transposeBlock8x16<Copies>(rows + r, c, out + r, columnStride); });
}

void transpose16(const uint8_t* const* rowArray, int rowCount, int width, uint16_t* out, size_t columnStride,
                 bool swapped) {
    // The row pointers are copied where the stores cannot reach them (see Bands).
    const uint8_t* rows[kMaxTransposeRows];
    for (int i = 0; i < rowCount; ++i) rows[i] = rowArray[i];
    if (rowCount < 8 || width < 8) {
        plain::transpose16(rows, rowCount, width, out, columnStride, swapped);
        return;
    }
    forBlocks<8, 8>(rowCount, width,
                    [&](int r, int c) { transposeBlock8x8Words(rows + r, c, out + r, columnStride, swapped); });
}

void packedRGBToMono(const uint8_t* pixels, int redOffset, uint8_t* mono, int n) {
    packedRGBToMonoInChunks(pixels, redOffset, mono, n, split3, rgbToMono);
}
void packedRGBToYUV(const uint8_t* pixels, int redOffset, uint8_t* const yuv[3], int n) {
    packedRGBToYUVInChunks(pixels, redOffset, yuv, n, split3, rgbToYUV);
}

void packed444ToPixels(const Packed444Row& row, uint8_t* out, int n, PixelOrder order) {
    packed444ToPixelsInChunks(row, out, n, order, split3, yuvToPixels);
}

void packed411ToPixels(const Packed411Row& row, uint8_t* out, int n, PixelOrder order) {
    packed411ToPixelsInChunks(row, out, n, order, unpackY411, unpackY41P, yuvToPixels);
}

}  // namespace

void addSSE2Kernels(RowKernels& table) {
    table.yuvToPixels = yuvToPixels;
    table.packed444ToPixels = packed444ToPixels;
    table.packed411ToPixels = packed411ToPixels;
    table.yuvToRGB = yuvToRGB;
    table.packed422ToPixels = packed422ToPixels;
    table.packed422ToRGB = packed422ToRGB;
    table.expandChroma = expandChroma;
    table.rgbToYUV = rgbToYUV;
    table.rgbToMono = rgbToMono;
    table.packedRGBToMono = packedRGBToMono;
    table.packedRGBToYUV = packedRGBToYUV;
    table.split3 = split3;
    table.split4 = split4;
    table.rgb555ToRGB = rgb555ToRGB;
    table.rgb565ToRGB = rgb565ToRGB;
    table.unpackYUYV = unpackYUYV;
    table.unpackUYVY = unpackUYVY;
    table.unpackY411 = unpackY411;
    table.unpackY41P = unpackY41P;
    table.swap3 = swap3;
    table.swap4 = swap4;
    table.merge3 = merge3;
    table.rgb565To555 = rgb565To555;
    table.wordsToBytes = wordsToBytes;
    table.swapBytes16 = swapBytes16Row;
    table.copy = copy;
    table.transpose8 = transpose8Copies<1>;
    table.transpose8Doubled = transpose8Copies<2>;
    table.transpose16 = transpose16;
}

}  // namespace zorvframekit
