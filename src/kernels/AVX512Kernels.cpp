// AVX-512 kernels, with its byte (BW), 256-bit (VL) and byte-permute (VBMI) instructions: byte-masked
// stores, which write some bytes of a register and leave the rest of memory untouched at the speed
// of a whole store, and byte permutes across a whole register, which put 3-byte pixels together (or
// take them apart) in two instructions where lane shuffles take six. The colour arithmetic is AVX2's.
// In 64-bit code, bitmaps from YUV, 3-byte pixel swaps and splits, planar RGB bitmaps and RGB to YUV
// take a whole 512-bit register a step, which measured faster than AVX2 (given rows that start on a
// cache line: a 64-byte access across two lines costs about two). 32-bit code, with 8 vector
// registers named, keeps 256-bit registers for its pixel work; only its 8-bit transposes, which
// need few registers that way, take 512-bit ones.

// GCC 12 takes the deliberately undefined registers inside its own AVX-512 intrinsics (conversions,
// shifts, permutes) for uninitialised variables of ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "kernels/Vectors256.h"

namespace zorvframekit {

namespace {

// Three bands into 3-byte pixels, Pixels (32 or 64) at a time: each third of the output takes its
// bytes of the first two bands in one two-register permute, and those of the third band in a masked
// one.
template <int Pixels>
struct PermutedInterleave {
    uint8_t twoBands[3][Pixels];  // indices into band 0 (0 to Pixels - 1) and band 1 (from Pixels on)
    uint8_t thirdBand[3][Pixels];
    uint64_t fromThird[3];        // the output bytes the third band fills
    constexpr PermutedInterleave() : twoBands(), thirdBand(), fromThird() {
        for (int t = 0; t < 3; ++t)
            for (int k = 0; k < Pixels; ++k) {
                const int at = Pixels * t + k, pixel = at / 3, band = at % 3;
                twoBands[t][k] = static_cast<uint8_t>(band == 1 ? Pixels + pixel : pixel);
                thirdBand[t][k] = static_cast<uint8_t>(pixel);
                if (band == 2) fromThird[t] |= uint64_t(1) << k;
            }
    }
};

// Bytes 0 and 2 of 3-byte pixels exchanged a register of Bytes at a time, on the input's own grid
// of registers: output register k is input register k but for a byte or two of the pixels it shares
// with registers k - 1 and k + 1. One two-register permute with the next register and one masked
// permute of the previous make it, so each input byte is loaded once, in whole (aligned, where the
// row is) registers. `phase` is the place of a register's first byte in its pixel.
template <int Bytes>
struct SwapAcross {
    uint8_t withNext[3][Bytes];      // indices into this register (below Bytes) and the next
    uint8_t fromPrevious[3][Bytes];  // indices into the previous one, for the bytes set in `previous`
    uint64_t previous[3];
    constexpr SwapAcross() : withNext(), fromPrevious(), previous() {
        for (int phase = 0; phase < 3; ++phase)
            for (int k = 0; k < Bytes; ++k) {
                const int place = (phase + k) % 3, from = k + 2 - 2 * place;
                if (from < 0) {
                    previous[phase] |= uint64_t(1) << k;
                    fromPrevious[phase][k] = static_cast<uint8_t>(Bytes + from);
                } else {
                    withNext[phase][k] = static_cast<uint8_t>(from);
                }
            }
    }
};

template <typename Ops>
void swap3Across(const uint8_t* in, uint8_t* out, int n) {
    typedef typename Ops::V V;
    const int kBytes = Ops::kBytes, kStep = kBytes % 3;
    static constexpr SwapAcross<kBytes> swap;
    const size_t bytes = 3 * static_cast<size_t>(n);
    if (bytes == 0) return;
    V previous = Ops::zero(), current = Ops::loadFirst(in, bytes < kBytes ? bytes : kBytes);
    // The register at byte `at`, given the next one and how many of its bytes are the row's.
    const auto step = [&](size_t at, int phase, V next, size_t count) {
        const V both = Ops::permute2(current, swap.withNext[phase], next);
        const V swapped = Ops::maskPermute(both, swap.previous[phase], swap.fromPrevious[phase], previous);
        if (count == kBytes)
            Ops::store(out + at, swapped);
        else
            Ops::storeFirst(out + at, count, swapped);
        previous = current;
        current = next;
    };
    // Three registers a turn, so that each one's phase (and tables) is known here.
    size_t at = 0;
    for (; at + 4 * kBytes <= bytes; at += 3 * kBytes) {
        step(at, 0, Ops::load(in + at + kBytes), kBytes);
        step(at + kBytes, kStep, Ops::load(in + at + 2 * kBytes), kBytes);
        step(at + 2 * kBytes, (2 * kStep) % 3, Ops::load(in + at + 3 * kBytes), kBytes);
    }
    for (int phase = 0; at < bytes; at += kBytes, phase = (phase + kStep) % 3) {
        const size_t left = bytes - at;
        step(at, phase, left > kBytes ? Ops::loadFirst(in + at + kBytes, left - kBytes) : Ops::zero(),
             left < kBytes ? left : kBytes);
    }
}

inline void interleave3Permuted(__m256i b0, __m256i b1, __m256i b2, uint8_t* out) {
    static constexpr PermutedInterleave<32> masks;
    for (int t = 0; t < 3; ++t) {
        const __m256i two = _mm256_permutex2var_epi8(b0, load32(masks.twoBands[t]), b1);
        store32(out + 32 * t, _mm256_mask_permutexvar_epi8(two, static_cast<__mmask32>(masks.fromThird[t]),
                                                           load32(masks.thirdBand[t]), b2));
    }
}

// A lambda rather than the function itself, so that the interleave is inlined into the loops.
const auto interleavePermuted = [](__m256i b0, __m256i b1, __m256i b2, uint8_t* out) {
    interleave3Permuted(b0, b1, b2, out);
};

void yuvToPixelsIn256(const YUVRow& row, uint8_t* out, int n, PixelOrder order) {
    yuvToPixels32(row, out, n, order, interleavePermuted);
}
void packed422ToPixelsIn256(const Packed422Row& row, uint8_t* out, int n, PixelOrder order) {
    packed422ToPixels32(row, out, n, order, interleavePermuted);
}

// The permutes gathering byte j (0 to 2) of each of Pixels 3-byte pixels held in three registers:
// indices into the first two registers, and into the third for the pixels (set in fromThird) there.
template <int Pixels>
struct GatherTables {
    uint8_t firstTwo[3][Pixels], third[3][Pixels];
    uint64_t fromThird[3];
    constexpr GatherTables() : firstTwo(), third(), fromThird() {
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < Pixels; ++k) {
                const int at = 3 * k + j;
                firstTwo[j][k] = static_cast<uint8_t>(at % (2 * Pixels));
                third[j][k] = static_cast<uint8_t>((at + Pixels) % Pixels);
                if (at >= 2 * Pixels) fromThird[j] |= uint64_t(1) << k;
            }
    }
};

// Where each of Pixels pixels of a 4:1:1 layout (their 3 Pixels / 2 bytes from a group's start) has
// its Y, U and V: the indices of byte permutes over two registers.
template <int Pixels>
struct Gather411 {
    uint8_t y[Pixels], u[Pixels], v[Pixels];
    constexpr explicit Gather411(const Packed411Format& format) : y(), u(), v() {
        for (int k = 0; k < Pixels; ++k) {
            const int group = (k / format.pixels) * format.bytes, j = k % format.pixels;
            y[k] = static_cast<uint8_t>(group + format.y[j]);
            u[k] = static_cast<uint8_t>(group + format.u[j]);
            v[k] = static_cast<uint8_t>(group + format.v[j]);
        }
    }
};

template <int Pixels>
const Gather411<Pixels>& gather411(Packed411Layout layout) {
    static constexpr Gather411<Pixels> layouts[2] = {Gather411<Pixels>(kPacked411Formats[0]),
                                                     Gather411<Pixels>(kPacked411Formats[1])};
    return layouts[layout == Packed411Layout::Y411 ? 0 : 1];
}

// The whole groups Step pixels a step (forPacked411Steps), the row's last pixels plain.
template <int Step, typename Steps>
inline void forPacked411StepsThenPlain(const Packed411Row& row, uint8_t* pixels, int n, PixelOrder order, Steps steps) {
    forPacked411Steps<Step>(row, pixels, n, order, 0, steps, [&](const Packed411Row& rest, int i) {
        plain::packed411ToPixels(rest, pixels + 3 * static_cast<size_t>(i), n - i, order);
    });
}

#if !defined(__x86_64__)
// ---- In 32-bit code, where these take 256-bit registers (see below): packed 4:4:4 pixels to bitmap
// pixels, each of Y, U and V gathered out of the pixels' bytes by two byte permutes (one over the
// first two registers, one over the third under a mask), then the colour arithmetic and the
// interleave of the other bitmap kernels; and planar RGB bitmaps.

// Gathers byte `offset` of each of 32 3-byte pixels held in three 256-bit registers.
struct GatherBytes32 {
    __m256i fromFirstTwo, fromThird;
    __mmask32 third;
    explicit GatherBytes32(int offset) {
        static constexpr GatherTables<32> tables;
        fromFirstTwo = load32(tables.firstTwo[offset]);
        fromThird = load32(tables.third[offset]);
        third = static_cast<__mmask32>(tables.fromThird[offset]);
    }
    __m256i gather(__m256i a, __m256i b, __m256i c) const {
        return _mm256_mask_permutexvar_epi8(_mm256_permutex2var_epi8(a, fromFirstTwo, b), third, fromThird, c);
    }
};

void packed444ToPixelsIn256(const Packed444Row& row, uint8_t* out, int n, PixelOrder order) {
    const GatherBytes32 lumaBytes(row.yOffset), blueBytes(row.uOffset), redBytes(row.vOffset);
    const uint8_t* in = row.pixels;
    int i = 0;
    for (; i + 32 <= n; i += 32, in += 96) {
        prefetchSource<96>(in);
        const __m256i a = load32(in), b = load32(in + 32), c = load32(in + 64);
        const __m256i y = lumaBytes.gather(a, b, c), u = blueBytes.gather(a, b, c), v = redBytes.gather(a, b, c);
        __m256i red, green, blue;
        yuvBytesToRGB32(y, u, v, red, green, blue);
        interleaveInOrder(interleavePermuted, order, red, green, blue, out + 3 * i);
    }
    plain::packed444ToPixels(Packed444Row{in, row.yOffset, row.uOffset, row.vOffset}, out + 3 * i, n - i, order);
}

// 32 pixels a step: their 48 bytes in two registers, out of which one byte permute each gathers Y,
// U and V.
void packed411ToPixelsIn256(const Packed411Row& row, uint8_t* out, int n, PixelOrder order) {
    const Gather411<32>& at = gather411<32>(row.layout);
    forPacked411StepsThenPlain<32>(row, out, n, order, [&](const uint8_t* groups, int i) {
        const __m256i a = load32(groups), b = _mm256_castsi128_si256(load16(groups + 32));
        const __m256i y = _mm256_permutex2var_epi8(a, load32(at.y), b), u = _mm256_permutex2var_epi8(a, load32(at.u), b),
                      v = _mm256_permutex2var_epi8(a, load32(at.v), b);
        __m256i red, green, blue;
        yuvBytesToRGB32(y, u, v, red, green, blue);
        interleaveInOrder(interleavePermuted, order, red, green, blue, out + 3 * static_cast<size_t>(i));
    });
}

// 8-bit transposes, 16 rows by 16 columns a block, four rows to a 512-bit register, in two rounds of
// two-register byte permutes: in 32-bit code, with 8 vector registers named, AVX2's three rounds of
// unpacking spill and reload, where these few registers do not.
struct ByteTransposeIndices {
    uint8_t rows8[2][64];   // [h]: rows 0-7 (two registers) to columns 8h to 8h + 7, 8 bytes each
    uint8_t rows16[2][64];  // [e]: rows 0-7 and 8-15 (two such) to columns 4e to 4e + 3 of those, whole
    constexpr ByteTransposeIndices() : rows8(), rows16() {
        for (int h = 0; h < 2; ++h)
            for (int at = 0; at < 64; ++at) {
                const int c = at / 8, r = at % 8;
                rows8[h][at] = static_cast<uint8_t>((r < 4 ? 0 : 64) + (r % 4) * 16 + c + 8 * h);
            }
        for (int e = 0; e < 2; ++e)
            for (int at = 0; at < 64; ++at) {
                const int c = at / 16 + 4 * e, r = at % 16;
                rows16[e][at] = static_cast<uint8_t>((r < 8 ? 0 : 64) + c * 8 + r % 8);
            }
    }
};

inline __m512i loadRows4(const uint8_t* const* rows, int column) {
    __m512i x = _mm512_castsi128_si512(load16(rows[0] + column));
    x = _mm512_inserti32x4(x, load16(rows[1] + column), 1);
    x = _mm512_inserti32x4(x, load16(rows[2] + column), 2);
    return _mm512_inserti32x4(x, load16(rows[3] + column), 3);
}

template <int Copies>
void transpose8Permuted(const uint8_t* const* rowArray, int rowCount, int width, uint8_t* out, size_t columnStride) {
    static constexpr ByteTransposeIndices indices;
    // The row pointers are copied where the stores cannot reach them (see Bands).
    const uint8_t* rows[kMaxTransposeRows];
    for (int i = 0; i < rowCount; ++i) rows[i] = rowArray[i];
    if (rowCount < 16 || width < 16) {
        if (rowCount >= 8 && width >= 16)
            forBlocks<8, 16>(rowCount, width,
                             [&](int r, int c) { transposeBlock8x16<Copies>(rows + r, c, out + r, columnStride); });
        else
            (Copies == 1 ? plain::transpose8 : plain::transpose8Doubled)(rows, rowCount, width, out, columnStride);
        return;
    }
    forBlocks<16, 16>(rowCount, width, [&](int r, int c) {
        const uint8_t* const* block = rows + r;
        const __m512i a = loadRows4(block, c), b = loadRows4(block + 4, c), e = loadRows4(block + 8, c),
                      f = loadRows4(block + 12, c);
        uint8_t* first = out + static_cast<size_t>(c) * Copies * columnStride + r;
        for (int h = 0; h < 2; ++h) {
            const __m512i toColumns = _mm512_loadu_si512(indices.rows8[h]);
            const __m512i top = _mm512_permutex2var_epi8(a, toColumns, b), bottom = _mm512_permutex2var_epi8(e, toColumns, f);
            for (int q = 0; q < 2; ++q) {
                const __m512i four = _mm512_permutex2var_epi8(top, _mm512_loadu_si512(indices.rows16[q]), bottom);
                uint8_t* column = first + static_cast<size_t>(8 * h + 4 * q) * Copies * columnStride;
                toCopies<Copies>(column, columnStride, [&](uint8_t* at) { store16(at, _mm512_castsi512_si128(four)); });
                column += Copies * columnStride;
                toCopies<Copies>(column, columnStride, [&](uint8_t* at) { store16(at, _mm512_extracti32x4_epi32(four, 1)); });
                column += Copies * columnStride;
                toCopies<Copies>(column, columnStride, [&](uint8_t* at) { store16(at, _mm512_extracti32x4_epi32(four, 2)); });
                column += Copies * columnStride;
                toCopies<Copies>(column, columnStride, [&](uint8_t* at) { store16(at, _mm512_extracti32x4_epi32(four, 3)); });
            }
        }
    });
}

// The few register operations swap3Across takes (here for 256-bit registers, below for 512-bit
// ones); `count` bytes from the first are loaded (the rest zero) or stored, at most a register's.
struct Bytes256 : Register256 {
    static __mmask32 first(size_t count) { return count >= 32 ? ~__mmask32(0) : (__mmask32(1) << count) - 1; }
    static V zero() { return _mm256_setzero_si256(); }
    static V loadFirst(const uint8_t* p, size_t count) { return _mm256_maskz_loadu_epi8(first(count), p); }
    static void storeFirst(uint8_t* p, size_t count, V x) { _mm256_mask_storeu_epi8(p, first(count), x); }
    static V permute2(V a, const uint8_t* index, V b) { return _mm256_permutex2var_epi8(a, load32(index), b); }
    static V maskPermute(V into, uint64_t mask, const uint8_t* index, V from) {
        return _mm256_mask_permutexvar_epi8(into, static_cast<__mmask32>(mask), load32(index), from);
    }
};

void swap3In256(const uint8_t* in, uint8_t* out, int n) { swap3Across<Bytes256>(in, out, n); }

// Three bands into 3-byte pixels, 32 a step (in 64-bit code, 64 a step: below).
void merge3In256(const uint8_t* const in[3], uint8_t* out, int n) { merge3By32(in, out, n, interleavePermuted); }
#endif

// What follows takes 512-bit registers a step, in 64-bit code only: 32-bit code names 8 vector
// registers, and there these bodies (their permute tables and masks no longer held in registers)
// measured slower than the 256-bit ones.
#if defined(__x86_64__)

// The first `count` bytes of a register: none for a count below 1, all for one above 63.
inline __mmask64 firstBytes(int count) {
    if (count <= 0) return 0;
    return count >= 64 ? ~__mmask64(0) : (__mmask64(1) << count) - 1;
}

// Third t (0 to 2) of 64 pixels' 192 bytes: byte j of pixel i from bj's byte i.
inline __m512i interleaved3x64(__m512i b0, __m512i b1, __m512i b2, int t) {
    static constexpr PermutedInterleave<64> masks;
    const __m512i both = _mm512_permutex2var_epi8(b0, _mm512_loadu_si512(masks.twoBands[t]), b1);
    return _mm512_mask_permutexvar_epi8(both, masks.fromThird[t], _mm512_loadu_si512(masks.thirdBand[t]), b2);
}

// ---- Colour to bitmap pixels, 64 a step in 512-bit registers (the rest of a row in 256-bit ones)

struct Lanes512 {
    typedef __m512i V;
    static V madd(V bytes, V weights) { return _mm512_maddubs_epi16(bytes, weights); }
    static V add(V a, V b) { return _mm512_add_epi16(a, b); }
    static V shift8(V a) { return _mm512_srai_epi16(a, 8); }
    static V shiftRight8(V a) { return _mm512_srli_epi16(a, 8); }
    static V splat(int value) { return _mm512_set1_epi16(static_cast<short>(value)); }
    static V pair(int first, int second) { return _mm512_set1_epi16(pairedWeights(first, second)); }
    static V interleaveLow(V a, V b) { return _mm512_unpacklo_epi8(a, b); }
    static V interleaveHigh(V a, V b) { return _mm512_unpackhi_epi8(a, b); }
    static V packBack(V low, V high) { return _mm512_packus_epi16(low, high); }
};

inline __m512i load64(const uint8_t* p) { return _mm512_loadu_si512(p); }

// Byte i of a register: i >> shift, for loadChroma64.
template <int Shift>
struct RepeatedBytes {
    alignas(64) uint8_t index[64];
    constexpr RepeatedBytes() : index() {
        for (int i = 0; i < 64; ++i) index[i] = static_cast<uint8_t>(i >> Shift);
    }
};

// 64 pixels' chroma, a byte per pixel, from 64 >> shift samples: one byte permute repeats each
// sample for its 2 or 4 pixels (the permute reads only the bytes loaded).
template <int Shift>
inline __m512i loadChroma64(const uint8_t* c) {
    if (Shift == 0) return load64(c);
    static constexpr RepeatedBytes<Shift> repeated;
    const __m512i samples =
        Shift == 1 ? _mm512_castsi256_si512(load32(c)) : _mm512_castsi128_si512(load16(c));
    return _mm512_permutexvar_epi8(load64(repeated.index), samples);
}

// 64 pixels converted and clamped from their luma and a chroma byte per pixel. The byte pairs of
// pixels 0-7 of each 16-pixel lane and those of pixels 8-15 pack back in order.
inline void yuvBytesToRGB64(__m512i y, __m512i u, __m512i v, __m512i& r, __m512i& g, __m512i& b) {
    pairsToRGBPacked<Lanes512>(_mm512_unpacklo_epi8(y, u), _mm512_unpacklo_epi8(y, v), _mm512_unpackhi_epi8(y, u),
                               _mm512_unpackhi_epi8(y, v), r, g, b);
}

inline void storePixels64(__m512i r, __m512i g, __m512i b, uint8_t* out, PixelOrder order) {
    const __m512i first = order == PixelOrder::BGR ? b : r, last = order == PixelOrder::BGR ? r : b;
    for (int t = 0; t < 3; ++t) _mm512_storeu_si512(out + 64 * t, interleaved3x64(first, g, last, t));
}

template <int Shift>
struct YUVToPixels64 {
    static void run(const YUVRow& row, uint8_t* pixels, int n, PixelOrder order) {
        forYUVVectors<64>(
            row, n,
            [=](const YUVRow& aligned, int i, int out) {
                const __m512i y = load64(aligned.y + i);
                const __m512i u = loadChroma64<Shift>(aligned.u + (i >> Shift)),
                              v = loadChroma64<Shift>(aligned.v + (i >> Shift));
                __m512i r, g, b;
                yuvBytesToRGB64(y, u, v, r, g, b);
                storePixels64(r, g, b, pixels + 3 * out, order);
            },
            [=](const YUVRow& rest, int out, int count) { yuvToPixelsIn256(rest, pixels + 3 * out, count, order); });
    }
};

void yuvToPixels(const YUVRow& row, uint8_t* out, int n, PixelOrder order) {
    byShift<YUVToPixels64>(row.chromaShift, row, out, n, order);
}

// 64 pixels of packed 4:2:2 groups, 16 bytes (8 pixels) to a 128-bit piece: the even pieces and the
// odd ones gathered into a register each, so that their conversions pack back in order.
void packed422ToPixels(const Packed422Row& row, uint8_t* pixels, int n, PixelOrder order) {
    const Packed422Shuffles shuffles(row);
    const __m512i yu = _mm512_broadcast_i32x4(_mm256_castsi256_si128(shuffles.yu)),
                  yv = _mm512_broadcast_i32x4(_mm256_castsi256_si128(shuffles.yv));
    const __m512i evenPieces = _mm512_setr_epi64(0, 1, 4, 5, 8, 9, 12, 13), oddPieces = _mm512_setr_epi64(2, 3, 6, 7, 10, 11, 14, 15);
    forPacked422Vectors<64>(
        row, n,
        [&](const uint8_t* groups, int out) {
            const __m512i first = load64(groups), second = load64(groups + 64);
            const __m512i even = _mm512_permutex2var_epi64(first, evenPieces, second),
                          odd = _mm512_permutex2var_epi64(first, oddPieces, second);
            __m512i r, g, b;
            pairsToRGBPacked<Lanes512>(_mm512_shuffle_epi8(even, yu), _mm512_shuffle_epi8(even, yv),
                                       _mm512_shuffle_epi8(odd, yu), _mm512_shuffle_epi8(odd, yv), r, g, b);
            storePixels64(r, g, b, pixels + 3 * out, order);
        },
        [&](const Packed422Row& rest, int out, int count) {
            packed422ToPixelsIn256(rest, pixels + 3 * out, count, order);
        });
}

// Gathers byte `offset` of each of 64 3-byte pixels held in three 512-bit registers.
struct GatherBytes64 {
    __m512i fromFirstTwo, fromThird;
    __mmask64 third;
    explicit GatherBytes64(int offset) {
        static constexpr GatherTables<64> tables;
        fromFirstTwo = load64(tables.firstTwo[offset]);
        fromThird = load64(tables.third[offset]);
        third = tables.fromThird[offset];
    }
    __m512i gather(__m512i a, __m512i b, __m512i c) const {
        return _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(a, fromFirstTwo, b), third, fromThird, c);
    }
};

// 64 pixels a step: their 96 bytes in two registers, out of which one byte permute each gathers Y,
// U and V.
void packed411ToPixels(const Packed411Row& row, uint8_t* out, int n, PixelOrder order) {
    const Gather411<64>& at = gather411<64>(row.layout);
    const __m512i lumaAt = load64(at.y), blueAt = load64(at.u), redAt = load64(at.v);
    forPacked411StepsThenPlain<64>(row, out, n, order, [&](const uint8_t* groups, int i) {
        const __m512i a = load64(groups), b = _mm512_castsi256_si512(load32(groups + 64));
        const __m512i y = _mm512_permutex2var_epi8(a, lumaAt, b), u = _mm512_permutex2var_epi8(a, blueAt, b),
                      v = _mm512_permutex2var_epi8(a, redAt, b);
        __m512i r, g, blue;
        yuvBytesToRGB64(y, u, v, r, g, blue);
        storePixels64(r, g, blue, out + 3 * static_cast<size_t>(i), order);
    });
}

// 3-byte pixels into three bands, 64 a step; the last step loads and stores under masks that cover
// what is left of the row.
[[maybe_unused]] void split3(const uint8_t* in, uint8_t* const out[3], int n) {
    const Bands<uint8_t*> bands(out);
    const GatherBytes64 first(0), second(1), third(2);
    int i = 0;
    for (; i + 64 <= n; i += 64, in += 192) {
        prefetchSource<192>(in);
        const __m512i a = load64(in), b = load64(in + 64), c = load64(in + 128);
        _mm512_storeu_si512(bands.b0 + i, first.gather(a, b, c));
        _mm512_storeu_si512(bands.b1 + i, second.gather(a, b, c));
        _mm512_storeu_si512(bands.b2 + i, third.gather(a, b, c));
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split3(in, rest, n - i);
}

// 4-byte pixels into three bands (the fourth bytes unread), 64 a step: byte j of 32 pixels out of
// each pair of registers in one permute, and the two halves joined.
struct Split4Index {
    uint8_t index[3][64];  // byte j of pixel k (of each 32) is byte 4 k + j of its pair of registers
    constexpr Split4Index() : index() {
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 64; ++k) index[j][k] = static_cast<uint8_t>(4 * (k % 32) + j);
    }
};

void split4(const uint8_t* in, uint8_t* const out[3], int n) {
    static constexpr Split4Index split;
    const Bands<uint8_t*> bands(out);
    uint8_t* const band[3] = {bands.b0, bands.b1, bands.b2};
    const __mmask64 secondHalf = ~__mmask64(0) << 32;
    int i = 0;
    for (; i + 64 <= n; i += 64, in += 256) {
        prefetchSource<256>(in);
        const __m512i a = load64(in), b = load64(in + 64), c = load64(in + 128), d = load64(in + 192);
        for (int j = 0; j < 3; ++j) {
            const __m512i index = load64(split.index[j]);
            _mm512_storeu_si512(band[j] + i, _mm512_mask_blend_epi8(secondHalf, _mm512_permutex2var_epi8(a, index, b),
                                                                     _mm512_permutex2var_epi8(c, index, d)));
        }
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split4(in, rest, n - i);
}

// 64 pixels a step. Whole steps load and store plainly (under masks they took 1.2x as long); the
// last step, under masks that cover what is left of the row.
void packed444ToPixels(const Packed444Row& row, uint8_t* out, int n, PixelOrder order) {
    const GatherBytes64 lumaBytes(row.yOffset), blueBytes(row.uOffset), redBytes(row.vOffset);
    const auto step = [&](int i, int left) {
        const bool whole = left == 64;
        const uint8_t* in = row.pixels + 3 * static_cast<size_t>(i);
        prefetchSource<192>(in);
        __m512i part[3];
        for (int t = 0; t < 3; ++t)
            part[t] = whole ? load64(in + 64 * t) : _mm512_maskz_loadu_epi8(firstBytes(3 * left - 64 * t), in + 64 * t);
        const __m512i y = lumaBytes.gather(part[0], part[1], part[2]), u = blueBytes.gather(part[0], part[1], part[2]),
                      v = redBytes.gather(part[0], part[1], part[2]);
        __m512i r, g, b;
        yuvBytesToRGB64(y, u, v, r, g, b);
        uint8_t* at = out + 3 * static_cast<size_t>(i);
        if (whole) {
            storePixels64(r, g, b, at, order);
            return;
        }
        const __m512i first = order == PixelOrder::BGR ? b : r, last = order == PixelOrder::BGR ? r : b;
        for (int t = 0; t < 3; ++t)
            _mm512_mask_storeu_epi8(at + 64 * t, firstBytes(3 * left - 64 * t), interleaved3x64(first, g, last, t));
    };
    int i = 0;
    for (; i + 64 <= n; i += 64) step(i, 64);
    if (i < n) step(i, n - i);
}

// Three bands into 3-byte pixels, 64 a step; the last step loads and stores under masks that cover
// what is left of the row.
void merge3(const uint8_t* const in[3], uint8_t* out, int n) {
    const Bands<const uint8_t*> bands(in);
    for (int i = 0; i < n; i += 64) {
        const int left = n - i < 64 ? n - i : 64;
        const __mmask64 pixels = firstBytes(left);
        const __m512i b0 = _mm512_maskz_loadu_epi8(pixels, bands.b0 + i), b1 = _mm512_maskz_loadu_epi8(pixels, bands.b1 + i),
                      b2 = _mm512_maskz_loadu_epi8(pixels, bands.b2 + i);
        for (int t = 0; t < 3; ++t)
            _mm512_mask_storeu_epi8(out + 3 * i + 64 * t, firstBytes(3 * left - 64 * t), interleaved3x64(b0, b1, b2, t));
    }
}

struct Bytes512 {
    typedef __m512i V;
    static const int kBytes = 64;
    static V zero() { return _mm512_setzero_si512(); }
    static V load(const uint8_t* p) { return _mm512_loadu_si512(p); }
    static V loadFirst(const uint8_t* p, size_t count) {
        return _mm512_maskz_loadu_epi8(firstBytes(static_cast<int>(count)), p);
    }
    static void store(uint8_t* p, V x) { _mm512_storeu_si512(p, x); }
    static void storeFirst(uint8_t* p, size_t count, V x) {
        _mm512_mask_storeu_epi8(p, firstBytes(static_cast<int>(count)), x);
    }
    static V permute2(V a, const uint8_t* index, V b) {
        return _mm512_permutex2var_epi8(a, _mm512_loadu_si512(index), b);
    }
    static V maskPermute(V into, uint64_t mask, const uint8_t* index, V from) {
        return _mm512_mask_permutexvar_epi8(into, mask, _mm512_loadu_si512(index), from);
    }
};

void swap3(const uint8_t* in, uint8_t* out, int n) { swap3Across<Bytes512>(in, out, n); }

// ---- Colour from RGB bands, 64 pixels a step; the last step loads and stores under masks that
// cover what is left of the row. Loads come before stores in each step, so an output may be an input.

inline __m512i weighted64(__m512i r, __m512i g, __m512i b, int wr, int wg, int wb, int offset) {
    return weightedBytesIn<Lanes512>(r, g, b, wr, wg, wb, offset);
}

void rgbToYUV(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n) {
    const Bands<const uint8_t*> in(rgb);
    const Bands<uint8_t*> out(yuv);
    for (int i = 0; i < n; i += 64) {
        const __mmask64 pixels = firstBytes(n - i);
        const __m512i r = _mm512_maskz_loadu_epi8(pixels, in.b0 + i), g = _mm512_maskz_loadu_epi8(pixels, in.b1 + i),
                      b = _mm512_maskz_loadu_epi8(pixels, in.b2 + i);
        const __m512i y = weighted64(r, g, b, 66, 129, 25, 16 * 256 + 128);
        const __m512i u = weighted64(r, g, b, -38, -74, 112, 128 * 256 + 128);
        const __m512i v = weighted64(r, g, b, 112, -94, -18, 128 * 256 + 128);
        _mm512_mask_storeu_epi8(out.b0 + i, pixels, y);
        _mm512_mask_storeu_epi8(out.b1 + i, pixels, u);
        _mm512_mask_storeu_epi8(out.b2 + i, pixels, v);
    }
}

void rgbToMono(const uint8_t* const rgb[3], uint8_t* mono, int n) {
    const Bands<const uint8_t*> in(rgb);
    for (int i = 0; i < n; i += 64) {
        const __mmask64 pixels = firstBytes(n - i);
        const __m512i r = _mm512_maskz_loadu_epi8(pixels, in.b0 + i), g = _mm512_maskz_loadu_epi8(pixels, in.b1 + i),
                      b = _mm512_maskz_loadu_epi8(pixels, in.b2 + i);
        _mm512_mask_storeu_epi8(mono + i, pixels, weighted64(r, g, b, 54, 183, 18, 0));
    }
}

#endif  // 64-bit code

// Eight pixels a step: their bytes 0 and 2 exchanged, and only bytes 0 to 2 of each stored.
void swap4(const uint8_t* in, uint8_t* out, int n) {
    const __m256i swap = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2, 1, 0, 3, 6, 5, 4, 7,
                                          10, 9, 8, 11, 14, 13, 12, 15);
    const __mmask32 firstThree = 0x77777777u;
    int i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_mask_storeu_epi8(out + 4 * i, firstThree, _mm256_shuffle_epi8(load32(in + 4 * i), swap));
    plain::swap4(in + 4 * i, out + 4 * i, n - i);
}

}  // namespace

void addAVX512Kernels(RowKernels& table) {
#if defined(__x86_64__)
    table.yuvToPixels = yuvToPixels;
    table.packed422ToPixels = packed422ToPixels;
    table.merge3 = merge3;
    table.swap3 = swap3;
    table.rgbToYUV = rgbToYUV;
    table.rgbToMono = rgbToMono;
    table.packed444ToPixels = packed444ToPixels;
    table.packed411ToPixels = packed411ToPixels;
    table.split3 = split3;
    table.split4 = split4;
#else
    table.packed444ToPixels = packed444ToPixelsIn256;
    table.packed411ToPixels = packed411ToPixelsIn256;
    table.transpose8 = transpose8Permuted<1>;
    table.transpose8Doubled = transpose8Permuted<2>;
    table.swap3 = swap3In256;
    table.yuvToPixels = yuvToPixelsIn256;
    table.packed422ToPixels = packed422ToPixelsIn256;
    table.merge3 = merge3In256;
#endif
    table.swap4 = swap4;
}

}  // namespace zorvframekit
