// AVX2 kernels, 32 pixels a step: the colour arithmetic (see Vectors256.h), the packed layouts'
// splits and unpacking, the 16-bit pixels and samples; 16-row transposes; and block copies. 4-byte
// pixel swaps are the SSE2 table's (see there).
#include "kernels/Vectors256.h"

namespace zorvframekit {

namespace {

// 16 pixels of three bytes against their three bands, the pixels' 48 bytes held as three thirds of
// 16 (a lane of three registers). Byte k of third t is of band (16 t + k) % 3 = (t + k) % 3, 16
// being 1 more than a multiple of 3: the third's first band, but where the second or third mask is
// set (k % 3 = 1 or 2), the band one or two after it. spread[band] puts byte (16 t + k) / 3 of the
// band at byte k, t being the one third whose byte k is of that band ((t + k) % 3 = band); gather[band]
// undoes it, putting the band's byte at k back at (16 t + k) / 3.
struct ThirdsOfLane {
    uint8_t spread[3][16], gather[3][16], second[16], third[16];
    constexpr ThirdsOfLane() : spread(), gather(), second(), third() {
        for (int k = 0; k < 16; ++k) {
            for (int band = 0; band < 3; ++band) {
                const int t = ((band - k) % 3 + 3) % 3;
                spread[band][k] = static_cast<uint8_t>((16 * t + k) / 3);
                gather[band][(16 * t + k) / 3] = static_cast<uint8_t>(k);
            }
            second[k] = k % 3 == 1 ? 0x80 : 0;
            third[k] = k % 3 == 2 ? 0x80 : 0;
        }
    }
};
static constexpr ThirdsOfLane kThirds;

inline __m256i inBothLanes(const uint8_t* bytes) { return _mm256_broadcastsi128_si256(load16(bytes)); }

// 32 pixels of three bytes, byte j of pixel i from bj's byte i, as 96 bytes at out: one byte shuffle
// per band puts each of its bytes where every third of a lane wants it (see ThirdsOfLane), and two
// blends per third pick the bands: three shuffles where one per band and third took nine, the
// shuffle ports being the colour kernels' busiest (their packs and shifts go there too, and on
// Intel's processors before Ice Lake there is one). The lanes' thirds are then stored in order.
inline void interleave3x32(__m256i b0, __m256i b1, __m256i b2, uint8_t* out) {
    const auto spread = [](__m256i band, int index) {
        return _mm256_shuffle_epi8(band, inBothLanes(kThirds.spread[index]));
    };
    const __m256i s0 = spread(b0, 0), s1 = spread(b1, 1), s2 = spread(b2, 2);
    const __m256i second = inBothLanes(kThirds.second), third = inBothLanes(kThirds.third);
    const __m256i t0 = _mm256_blendv_epi8(_mm256_blendv_epi8(s0, s1, second), s2, third),
                  t1 = _mm256_blendv_epi8(_mm256_blendv_epi8(s1, s2, second), s0, third),
                  t2 = _mm256_blendv_epi8(_mm256_blendv_epi8(s2, s0, second), s1, third);
    store32(out, _mm256_permute2x128_si256(t0, t1, 0x20));
    store32(out + 32, _mm256_permute2x128_si256(t2, t0, 0x30));
    store32(out + 64, _mm256_permute2x128_si256(t1, t2, 0x31));
}

// ---- Colour -------------------------------------------------------------------------------------

template <int Shift>
struct YUVToRGB {
    static void run(const YUVRow& row, uint8_t* const* rgb, int n) {
        const Bands<uint8_t*> o(rgb);
        forYUVVectors<32>(
            row, n,
            [o](const YUVRow& aligned, int i, int out) {
                __m256i r, g, b;
                yuvRow32<Shift>(aligned, i, r, g, b);
                store32(o.b0 + out, r);
                store32(o.b1 + out, g);
                store32(o.b2 + out, b);
            },
            [o](const YUVRow& rest, int out, int count) {
                uint8_t* const at[3] = {o.b0 + out, o.b1 + out, o.b2 + out};
                plain::yuvToRGB(rest, at, count);
            });
    }
};

template <int Shift>
struct ExpandChroma {
    static void run(const YUVRow& row, uint8_t* u, uint8_t* v, int n) {
        forYUVVectors<32>(
            row, n,
            [u, v](const YUVRow& aligned, int i, int out) {
                store32(u + out, loadChroma32<Shift>(aligned.u + (i >> Shift)));
                store32(v + out, loadChroma32<Shift>(aligned.v + (i >> Shift)));
            },
            [u, v](const YUVRow& rest, int out, int count) { plain::expandChroma(rest, u + out, v + out, count); });
    }
};

// Lambdas rather than the function itself, so that the interleave is inlined into the loops.
const auto interleaveLanes = [](__m256i b0, __m256i b1, __m256i b2, uint8_t* out) { interleave3x32(b0, b1, b2, out); };

void yuvToPixels(const YUVRow& row, uint8_t* out, int n, PixelOrder order) {
    yuvToPixels32(row, out, n, order, interleaveLanes);
}
void yuvToRGB(const YUVRow& row, uint8_t* const rgb[3], int n) {
    byShift<YUVToRGB>(row.chromaShift, row, static_cast<uint8_t* const*>(rgb), n);
}
void expandChroma(const YUVRow& row, uint8_t* u, uint8_t* v, int n) {
    byShift<ExpandChroma>(row.chromaShift, row, u, v, n);
}

void packed422ToPixels(const Packed422Row& row, uint8_t* out, int n, PixelOrder order) {
    packed422ToPixels32(row, out, n, order, interleaveLanes);
}

void packed422ToRGB(const Packed422Row& row, uint8_t* const rgb[3], int n) {
    const Packed422Shuffles shuffles(row);
    const Bands<uint8_t*> o(rgb);
    forPacked422Vectors<32>(
        row, n,
        [&](const uint8_t* groups, int out) {
            __m256i r, g, b;
            packed422Row32(groups, shuffles, r, g, b);
            store32(o.b0 + out, r);
            store32(o.b1 + out, g);
            store32(o.b2 + out, b);
        },
        [&](const Packed422Row& rest, int out, int count) {
            uint8_t* const at[3] = {o.b0 + out, o.b1 + out, o.b2 + out};
            plain::packed422ToRGB(rest, at, count);
        });
}

const auto weightedPairs = [](__m256i r, __m256i g, __m256i b, int wr, int wg, int wb, int offset) {
    return weightedBytesIn<Lanes256>(r, g, b, wr, wg, wb, offset);
};
void rgbToYUV(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n) { rgbToYUVIn<Register256>(rgb, yuv, n, weightedPairs); }
void rgbToMono(const uint8_t* const rgb[3], uint8_t* mono, int n) { rgbToMonoIn<Register256>(rgb, mono, n, weightedPairs); }

// Bytes 0 and 2 of 3-byte pixels exchanged 32 pixels (96 bytes, three registers) a step, on the
// input's grid of registers as swap3By48 does it: byte j of each output register is byte j + 2, j or
// j - 2 of the input (see swap3Offset). Lane permutes put each register's neighbouring lanes beside
// its own (the next register's low lane above its high lane, the last's nothing), byte aligns shift
// the bytes two places either way across them, and two blends pick each byte. Each step loads its
// 96 bytes before it stores them and stores those alone: out may be in, and no byte of out ever
// holds anything but its final value. The rest goes 16 pixels a step in 128-bit registers, then
// plain.
struct Swap3Blends {
    uint8_t later[3][32], earlier[3][32];  // the top bit set where byte j takes byte j + 2, or j - 2
    constexpr Swap3Blends() : later(), earlier() {
        for (int phase = 0; phase < 3; ++phase)
            for (int j = 0; j < 32; ++j) {
                const int offset = swap3Offset(phase, j);
                later[phase][j] = offset > 0 ? 0x80 : 0;
                earlier[phase][j] = offset < 0 ? 0x80 : 0;
            }
    }
};

// A register of phase Phase from its bytes, those two places on (later) and two places back (earlier).
template <int Phase>
inline __m256i swapped32(__m256i current, __m256i later, __m256i earlier) {
    static constexpr Swap3Blends blends;
    return _mm256_blendv_epi8(_mm256_blendv_epi8(current, later, load32(blends.later[Phase])), earlier,
                              load32(blends.earlier[Phase]));
}

void swap3(const uint8_t* in, uint8_t* out, int n) {
    int i = 0;
    for (; i + 32 <= n; i += 32, in += 96, out += 96) {
        const __m256i a = load32(in), b = load32(in + 32), c = load32(in + 64);
        // Register k starts at byte 32 k, at place 2 k mod 3 of its pixel.
        const __m256i highAlowB = _mm256_permute2x128_si256(a, b, 0x21), highBlowC = _mm256_permute2x128_si256(b, c, 0x21);
        const __m256i nothingLowA = _mm256_permute2x128_si256(a, a, 0x08), highCnothing = _mm256_permute2x128_si256(c, c, 0x81);
        const __m256i first = swapped32<0>(a, _mm256_alignr_epi8(highAlowB, a, 2), _mm256_alignr_epi8(a, nothingLowA, 14));
        const __m256i second = swapped32<2>(b, _mm256_alignr_epi8(highBlowC, b, 2), _mm256_alignr_epi8(b, highAlowB, 14));
        const __m256i third = swapped32<1>(c, _mm256_alignr_epi8(highCnothing, c, 2), _mm256_alignr_epi8(c, highBlowC, 14));
        store32(out, first);
        store32(out + 32, second);
        store32(out + 64, third);
    }
    swap3By48<Swap3Shuffled>(in, out, n - i);
}

void merge3(const uint8_t* const in[3], uint8_t* out, int n) { merge3By32(in, out, n, interleaveLanes); }

void rgb565To555(const uint8_t* in, uint8_t* out, int n) {
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i v = load32(in + 2 * i);
        store32(out + 2 * i, _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(v, 1), splat16x2(0x7FE0)),
                                             _mm256_and_si256(v, splat16x2(0x1F))));
    }
    plain::rgb565To555(in + 2 * i, out + 2 * i, n - i);
}

// 32 samples a step; the byte order fixed outside the loop.
template <bool Swapped>
void wordsToBytesIn(const uint8_t* in, uint8_t* out, int n, int shift) {
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m256i low = splat16x2(0xFF);
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7, 6,
                                          9, 8, 11, 10, 13, 12, 15, 14);
    const auto sample = [&](const uint8_t* at) {
        const __m256i words = Swapped ? _mm256_shuffle_epi8(load32(at), swap) : load32(at);
        return _mm256_and_si256(_mm256_srl_epi16(words, count), low);
    };
    int i = 0;
    for (; i + 32 <= n; i += 32) store32(out + i, packInOrder(sample(in + 2 * i), sample(in + 2 * i + 32)));
    plain::wordsToBytes(in + 2 * i, out + i, n - i, shift, Swapped);
}

void wordsToBytes(const uint8_t* in, uint8_t* out, int n, int shift, bool swapped) {
    (swapped ? wordsToBytesIn<true> : wordsToBytesIn<false>)(in, out, n, shift);
}

// ---- Packed layouts -----------------------------------------------------------------------------

// Bytes 0, 1 and 2 of 32 pixels, held as four registers of two runs of four (runs 0-3 and 4-7 in the
// first, 8-11 and 12-15 in the second, ...) each shuffled to its runs' byte 0s, 1s and 2s, to three
// outputs. The unpacks leave each output's runs of four lane by lane; a dword permute puts them in
// order.
inline void storeSplit32(__m256i s0, __m256i s1, __m256i s2, __m256i s3, const Bands<uint8_t*>& out, int i) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i first01 = _mm256_unpacklo_epi32(s0, s1), first23 = _mm256_unpacklo_epi32(s2, s3);
    const __m256i third01 = _mm256_unpackhi_epi32(s0, s1), third23 = _mm256_unpackhi_epi32(s2, s3);
    store32(out.b0 + i, _mm256_permutevar8x32_epi32(_mm256_unpacklo_epi64(first01, first23), order));
    store32(out.b1 + i, _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi64(first01, first23), order));
    store32(out.b2 + i, _mm256_permutevar8x32_epi32(_mm256_unpacklo_epi64(third01, third23), order));
}

// The four pixels of `Bytes` bytes at the bottom of each lane as their byte 0s, then 1s, then 2s.
template <int Bytes>
inline __m256i splitMask() {
    alignas(32) uint8_t mask[32];
    for (int k = 0; k < 32; ++k) {
        const int at = k % 16;
        mask[k] = static_cast<uint8_t>(at < 12 ? Bytes * (at % 4) + at / 4 : 0x80);
    }
    return load32(mask);
}

// 32 pixels of three bytes a step, the reverse of interleave3x32: the thirds loaded into their lanes
// (pixels 0-15 in the low ones, 16-31 in the high), two blends per band picking its bytes out of the
// thirds, and one byte shuffle per band putting them in order. Three shuffles and three loads into
// a high lane a step, where shuffling runs of four pixels and gathering them by unpacks and permutes
// took eighteen (1080p RGB24 rows, Zen 4: 0.77-0.80x the time).
void split3(const uint8_t* in, uint8_t* const out[3], int n) {
    const Bands<uint8_t*> bands(out);
    const __m256i second = inBothLanes(kThirds.second), third = inBothLanes(kThirds.third);
    const __m256i gather[3] = {inBothLanes(kThirds.gather[0]), inBothLanes(kThirds.gather[1]),
                               inBothLanes(kThirds.gather[2])};
    // Band b's byte k lies in third (b - k) % 3: the band's own where neither mask is set.
    const auto band = [&](int b, __m256i own, __m256i before, __m256i twoBefore) {
        return _mm256_shuffle_epi8(_mm256_blendv_epi8(_mm256_blendv_epi8(own, before, second), twoBefore, third),
                                   gather[b]);
    };
    int i = 0;
    for (; i + 32 <= n; i += 32, in += 96) {
        prefetchSource<96>(in);
        const __m256i t0 = loadHalves(in, in + 48), t1 = loadHalves(in + 16, in + 64), t2 = loadHalves(in + 32, in + 80);
        store32(bands.b0 + i, band(0, t0, t2, t1));
        store32(bands.b1 + i, band(1, t1, t0, t2));
        store32(bands.b2 + i, band(2, t2, t1, t0));
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split3(in, rest, n - i);
}

void split4(const uint8_t* in, uint8_t* const out[3], int n) {
    const Bands<uint8_t*> bands(out);
    const __m256i mask = splitMask<4>();
    int i = 0;
    for (; i + 32 <= n; i += 32, in += 128) {
        prefetchSource<128>(in);
        storeSplit32(_mm256_shuffle_epi8(load32(in), mask), _mm256_shuffle_epi8(load32(in + 32), mask),
                     _mm256_shuffle_epi8(load32(in + 64), mask), _mm256_shuffle_epi8(load32(in + 96), mask), bands, i);
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split4(in, rest, n - i);
}

void rgb555ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n) {
    splitWordsIn<Register256, 7, 0xF8, 2, 0xF8>(in, rgb, n, plain::rgb555ToRGB);
}
void rgb565ToRGB(const uint8_t* in, uint8_t* const rgb[3], int n) {
    splitWordsIn<Register256, 8, 0xF8, 3, 0xFC>(in, rgb, n, plain::rgb565ToRGB);
}

// Packed 4:2:2 groups, 32 (128 bytes) a step: a byte shuffle makes each lane's 4 groups their 8
// luma bytes, then 4 of the first chroma and 4 of the second; unpacks and permutes put the lanes'
// pieces in order.
template <bool LumaOdd>
struct Split422 {
    uint8_t bytes[32];
    constexpr Split422() : bytes() {
        for (int k = 0; k < 32; ++k) {
            const int at = k % 16, lumaAt = LumaOdd ? 1 : 0, chromaAt = LumaOdd ? 0 : 1;
            bytes[k] = static_cast<uint8_t>(at < 8 ? 2 * at + lumaAt : at < 12 ? 4 * (at - 8) + chromaAt
                                                                              : 4 * (at - 12) + chromaAt + 2);
        }
    }
};

template <bool LumaOdd>
inline void unpackGroups32(const uint8_t* in, uint8_t* y, uint8_t* first, uint8_t* second) {
    static constexpr Split422<LumaOdd> split;
    prefetchSource<128>(in);
    const __m256i mask = load32(split.bytes);
    __m256i s[4];
    for (int k = 0; k < 4; ++k) s[k] = _mm256_shuffle_epi8(load32(in + 32 * k), mask);
    // 64-bit pieces of s[k]: luma and chroma of groups 8k to 8k + 3, then of 8k + 4 to 8k + 7.
    store32(y, _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(s[0], s[1]), 0xD8));
    store32(y + 32, _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(s[2], s[3]), 0xD8));
    const __m256i order = _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7);
    const __m256i chroma01 = _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi64(s[0], s[1]), order);
    const __m256i chroma23 = _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi64(s[2], s[3]), order);
    store32(first, _mm256_permute2x128_si256(chroma01, chroma23, 0x20));
    store32(second, _mm256_permute2x128_si256(chroma01, chroma23, 0x31));
}

void unpackYUYV(const uint8_t* in, uint8_t* y, uint8_t* c1, uint8_t* c3, int groups) {
    int g = 0;
    for (; g + 32 <= groups; g += 32) unpackGroups32<false>(in + 4 * g, y + 2 * g, c1 + g, c3 + g);
    plain::unpackYUYV(in + 4 * g, y + 2 * g, c1 + g, c3 + g, groups - g);
}

void unpackUYVY(const uint8_t* in, uint8_t* y, uint8_t* c0, uint8_t* c2, int groups) {
    int g = 0;
    for (; g + 32 <= groups; g += 32) unpackGroups32<true>(in + 4 * g, y + 2 * g, c0 + g, c2 + g);
    plain::unpackUYVY(in + 4 * g, y + 2 * g, c0 + g, c2 + g, groups - g);
}

// The 4:1:1 layouts 96 bytes a step: each lane gathers from its own 48 bytes as the SSSE3 kernels
// do (see Gather48), and the lanes' pieces are put in order.
inline __m256i gather96(__m256i a, __m256i b, __m256i c, const Gather48& gather) {
    const auto mask = [&](int s) { return _mm256_broadcastsi128_si256(load16(gather.mask[s])); };
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, mask(0)), _mm256_shuffle_epi8(b, mask(1))),
                           _mm256_shuffle_epi8(c, mask(2)));
}

inline void unpack96(const uint8_t* in, const Gather48 (&luma)[2], const Gather48& chroma, uint8_t* y, uint8_t* u,
                     uint8_t* v) {
    prefetchSource<96>(in);
    const __m256i a = loadHalves(in, in + 48), b = loadHalves(in + 16, in + 64), c = loadHalves(in + 32, in + 80);
    const __m256i first = gather96(a, b, c, luma[0]), second = gather96(a, b, c, luma[1]);
    store32(y, _mm256_permute2x128_si256(first, second, 0x20));
    store32(y + 32, _mm256_permute2x128_si256(first, second, 0x31));
    const __m256i uv = _mm256_permute4x64_epi64(gather96(a, b, c, chroma), 0xD8);
    store16(u, _mm256_castsi256_si128(uv));
    store16(v, _mm256_extracti128_si256(uv, 1));
}

void unpackY411(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    int g = 0;
    for (; g + 16 <= groups; g += 16) unpack96(in + 6 * g, kY411Luma, kY411Chroma, y + 4 * g, u + g, v + g);
    ssse3::unpackY411(in + 6 * g, y + 4 * g, u + g, v + g, groups - g);
}

void unpackY41P(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    int g = 0;
    for (; g + 8 <= groups; g += 8) unpack96(in + 12 * g, kY41PLuma, kY41PChroma, y + 8 * g, u + 2 * g, v + 2 * g);
    ssse3::unpackY41P(in + 12 * g, y + 8 * g, u + 2 * g, v + 2 * g, groups - g);
}

// ---- Transposes ---------------------------------------------------------------------------------

// 16 rows by 16 columns from column c: rows i and i + 8 share a register, one in each lane, so the
// three rounds of the 8-row transpose leave each column's 8 + 8 bytes in the two lanes. Each column
// goes to Copies output columns.
template <int Copies>
inline void transposeBlock16x16(const uint8_t* const* rows, int c, uint8_t* out, size_t stride) {
    __m256i a[8];
    for (int i = 0; i < 8; ++i) a[i] = loadHalves(rows[i] + c, rows[i + 8] + c);
    const __m256i b0 = _mm256_unpacklo_epi8(a[0], a[1]), b1 = _mm256_unpackhi_epi8(a[0], a[1]),
                  b2 = _mm256_unpacklo_epi8(a[2], a[3]), b3 = _mm256_unpackhi_epi8(a[2], a[3]),
                  b4 = _mm256_unpacklo_epi8(a[4], a[5]), b5 = _mm256_unpackhi_epi8(a[4], a[5]),
                  b6 = _mm256_unpacklo_epi8(a[6], a[7]), b7 = _mm256_unpackhi_epi8(a[6], a[7]);
    const __m256i c0 = _mm256_unpacklo_epi16(b0, b2), c1 = _mm256_unpackhi_epi16(b0, b2),
                  c2 = _mm256_unpacklo_epi16(b1, b3), c3 = _mm256_unpackhi_epi16(b1, b3),
                  c4 = _mm256_unpacklo_epi16(b4, b6), c5 = _mm256_unpackhi_epi16(b4, b6),
                  c6 = _mm256_unpacklo_epi16(b5, b7), c7 = _mm256_unpackhi_epi16(b5, b7);
    const __m256i pairs[8] = {_mm256_unpacklo_epi32(c0, c4), _mm256_unpackhi_epi32(c0, c4),
                              _mm256_unpacklo_epi32(c1, c5), _mm256_unpackhi_epi32(c1, c5),
                              _mm256_unpacklo_epi32(c2, c6), _mm256_unpackhi_epi32(c2, c6),
                              _mm256_unpacklo_epi32(c3, c7), _mm256_unpackhi_epi32(c3, c7)};
    uint8_t* column = out + static_cast<size_t>(c) * Copies * stride;
    for (int k = 0; k < 8; ++k, column += 2 * Copies * stride) {
        // Lane 0 holds columns 2k and 2k + 1 of rows 0-7, lane 1 those of rows 8-15.
        const __m256i both = _mm256_permute4x64_epi64(pairs[k], 0xD8);
        toCopies<Copies>(column, stride, [&](uint8_t* at) { store16(at, _mm256_castsi256_si128(both)); });
        toCopies<Copies>(column + Copies * stride, stride,
                         [&](uint8_t* at) { store16(at, _mm256_extracti128_si256(both, 1)); });
    }
}

template <int Copies>
void transpose8Copies(const uint8_t* const* rowArray, int rowCount, int width, uint8_t* out, size_t columnStride) {
    // The row pointers are copied where the stores cannot reach them (see Bands).
    const uint8_t* rows[kMaxTransposeRows];
    for (int i = 0; i < rowCount; ++i) rows[i] = rowArray[i];
    if (rowCount >= 16 && width >= 16) {
        forBlocks<16, 16>(rowCount, width,
                          [&](int r, int c) { transposeBlock16x16<Copies>(rows + r, c, out + r, columnStride); });
    } else if (rowCount >= 8 && width >= 16) {
        forBlocks<8, 16>(rowCount, width,
                         [&](int r, int c) { transposeBlock8x16<Copies>(rows + r, c, out + r, columnStride); });
    } else {
        (Copies == 1 ? plain::transpose8 : plain::transpose8Doubled)(rows, rowCount, width, out, columnStride);
    }
}

// 16 rows by 8 16-bit columns from column c: rows i and i + 8 share a register, so each column ends
// up whole, rows 0-7 in the low lane and 8-15 in the high one, and goes out in one store.
inline void transposeBlock16x8Words(const uint8_t* const* rows, int c, uint16_t* out, size_t stride, bool swapped) {
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7, 6,
                                          9, 8, 11, 10, 13, 12, 15, 14);
    __m256i a[8];
    for (int i = 0; i < 8; ++i) {
        a[i] = loadHalves(rows[i] + 2 * c, rows[i + 8] + 2 * c);
        if (swapped) a[i] = _mm256_shuffle_epi8(a[i], swap);
    }
    const __m256i b0 = _mm256_unpacklo_epi16(a[0], a[1]), b1 = _mm256_unpackhi_epi16(a[0], a[1]),
                  b2 = _mm256_unpacklo_epi16(a[2], a[3]), b3 = _mm256_unpackhi_epi16(a[2], a[3]),
                  b4 = _mm256_unpacklo_epi16(a[4], a[5]), b5 = _mm256_unpackhi_epi16(a[4], a[5]),
                  b6 = _mm256_unpacklo_epi16(a[6], a[7]), b7 = _mm256_unpackhi_epi16(a[6], a[7]);
    const __m256i c0 = _mm256_unpacklo_epi32(b0, b2), c1 = _mm256_unpackhi_epi32(b0, b2),
                  c2 = _mm256_unpacklo_epi32(b1, b3), c3 = _mm256_unpackhi_epi32(b1, b3),
                  c4 = _mm256_unpacklo_epi32(b4, b6), c5 = _mm256_unpackhi_epi32(b4, b6),
                  c6 = _mm256_unpacklo_epi32(b5, b7), c7 = _mm256_unpackhi_epi32(b5, b7);
    const __m256i columns[8] = {_mm256_unpacklo_epi64(c0, c4), _mm256_unpackhi_epi64(c0, c4),
                                _mm256_unpacklo_epi64(c1, c5), _mm256_unpackhi_epi64(c1, c5),
                                _mm256_unpacklo_epi64(c2, c6), _mm256_unpackhi_epi64(c2, c6),
                                _mm256_unpacklo_epi64(c3, c7), _mm256_unpackhi_epi64(c3, c7)};
    uint16_t* column = out + static_cast<size_t>(c) * stride;
    for (int k = 0; k < 8; ++k, column += stride) store32(reinterpret_cast<uint8_t*>(column), columns[k]);
}

void transpose16(const uint8_t* const* rowArray, int rowCount, int width, uint16_t* out, size_t columnStride,
                 bool swapped) {
    // The row pointers are copied where the stores cannot reach them (see Bands).
    const uint8_t* rows[kMaxTransposeRows];
    for (int i = 0; i < rowCount; ++i) rows[i] = rowArray[i];
    if (rowCount >= 16 && width >= 8) {
        forBlocks<16, 8>(rowCount, width,
                         [&](int r, int c) { transposeBlock16x8Words(rows + r, c, out + r, columnStride, swapped); });
    } else if (rowCount >= 8 && width >= 8) {
        forBlocks<8, 8>(rowCount, width,
                        [&](int r, int c) { transposeBlock8x8Words(rows + r, c, out + r, columnStride, swapped); });
    } else {
        plain::transpose16(rows, rowCount, width, out, columnStride, swapped);
    }
}

// Packed444Pairs in each lane.
struct Packed444Shuffles {
    typedef Packed444Pairs::PairBytes PairBytes;
    __m256i first[2], second[2];  // [0]: (Y, U) pairs, [1]: (Y, V)
    explicit Packed444Shuffles(const Packed444Row& row) : Packed444Shuffles(Packed444Pairs::yuv(row)) {}
    explicit Packed444Shuffles(const PairBytes& pairBytes) {
        const Packed444Pairs masks(pairBytes);
        for (int k = 0; k < 2; ++k) {
            first[k] = _mm256_broadcastsi128_si256(load16(masks.first[k]));
            second[k] = _mm256_broadcastsi128_si256(load16(masks.second[k]));
        }
    }
    __m256i pairs(int k, __m256i a, __m256i b) const {
        return _mm256_or_si256(_mm256_shuffle_epi8(a, first[k]), _mm256_shuffle_epi8(b, second[k]));
    }
    // Both pairs of half `half` of the 32 pixels at `step` (as convertPairs32 takes them: pixels 0-7
    // and 16-23, or 8-15 and 24-31). No load reaches past the step's 96 bytes.
    void pairsOf(const uint8_t* step, int half, __m256i& pairs0, __m256i& pairs1) const {
        const uint8_t* low = step + 24 * half;
        const __m256i a = loadHalves(low, low + 48), b = loadHalves(low + 8, low + 56);
        pairs0 = pairs(0, a, b);
        pairs1 = pairs(1, a, b);
    }
};

// Straight from the pixels, 32 a step as the packed 4:2:2 kernel goes (pixels 0-7 and 16-23 in one
// pair of registers, 8-15 and 24-31 in the other), where splitting them into bands first and
// converting those measured 1.4x the YUY2 bitmap's time at 1080p. No load reaches past a step's
// 96 bytes.
void packed444ToPixels(const Packed444Row& row, uint8_t* out, int n, PixelOrder order) {
    const Packed444Shuffles shuffles(row);
    const uint8_t* in = row.pixels;
    int i = 0;
    for (; i + 32 <= n; i += 32, in += 96) {
        prefetchSource<96>(in);
        __m256i r, g, b;
        convertPairs32([&](int half, __m256i& yu, __m256i& yv) { shuffles.pairsOf(in, half, yu, yv); }, r, g, b);
        interleaveInOrder(interleaveLanes, order, r, g, b, out + 3 * static_cast<size_t>(i));
    }
    plain::packed444ToPixels(Packed444Row{in, row.yOffset, row.uOffset, row.vOffset}, out + 3 * static_cast<size_t>(i),
                             n - i, order);
}

// 3-byte RGB pixels to luma, or to Y, U and V, straight from the pixels, 32 a step: the (R, G) and
// (B, G) pairs made as the packed 4:4:4 kernel makes its (Y, U) and (Y, V) ones, and weighted as
// rgbToMono and rgbToYUV weigh their bands' pairs, where splitting the pixels into bands first and
// weighting those took 1.4 times as long (a 1080p monochrome image in NumPy's order, at AVX2).
// forRGBPairs32 runs weigh(i, half, rg, bg) over the steps, the pairs in 16-bit lanes: half 0 pairs
// pixels 0-7 and 16-23, half 1 pixels 8-15 and 24-31, which pack back in order. It returns the
// pixels done.
template <typename Weigh>
inline int forRGBPairs32(const uint8_t* pixels, int redOffset, int n, Weigh weigh) {
    const Packed444Shuffles shuffles(Packed444Shuffles::PairBytes{{{redOffset, 1}, {2 - redOffset, 1}}});
    int i = 0;
    for (; i + 32 <= n; i += 32, pixels += 96) {
        prefetchSource<96>(pixels);
        for (int half = 0; half < 2; ++half) {
            __m256i rg, bg;
            shuffles.pairsOf(pixels, half, rg, bg);
            weigh(i, half, rg, bg);
        }
    }
    return i;
}

void packedRGBToMono(const uint8_t* pixels, int redOffset, uint8_t* mono, int n) {
    __m256i luma[2];
    const int done = forRGBPairs32(pixels, redOffset, n, [&](int i, int half, __m256i rg, __m256i bg) {
        luma[half] = weightedPairsIn<Lanes256>(rg, bg, 54, 183, 18, 0);
        if (half == 1) store32(mono + i, _mm256_packus_epi16(luma[0], luma[1]));
    });
    plain::packedRGBToMono(pixels + 3 * static_cast<size_t>(done), redOffset, mono + done, n - done);
}

void packedRGBToYUV(const uint8_t* pixels, int redOffset, uint8_t* const yuv[3], int n) {
    const Bands<uint8_t*> out(yuv);
    __m256i y[2], u[2], v[2];
    const int done = forRGBPairs32(pixels, redOffset, n, [&](int i, int half, __m256i rg, __m256i bg) {
        y[half] = weightedPairsIn<Lanes256>(rg, bg, 66, 129, 25, 16 * 256 + 128);
        u[half] = weightedPairsIn<Lanes256>(rg, bg, -38, -74, 112, 128 * 256 + 128);
        v[half] = weightedPairsIn<Lanes256>(rg, bg, 112, -94, -18, 128 * 256 + 128);
        if (half == 0) return;
        store32(out.b0 + i, _mm256_packus_epi16(y[0], y[1]));
        store32(out.b1 + i, _mm256_packus_epi16(u[0], u[1]));
        store32(out.b2 + i, _mm256_packus_epi16(v[0], v[1]));
    });
    uint8_t* const rest[3] = {out.b0 + done, out.b1 + done, out.b2 + done};
    plain::packedRGBToYUV(pixels + 3 * static_cast<size_t>(done), redOffset, rest, n - done);
}

// The pairs of 8 pixels of a 4:1:1 layout in each lane.
struct Packed411Shuffles {
    __m256i yu, yv;
    explicit Packed411Shuffles(const Packed411Format& format) {
        const Packed411Pairs pairs(format);
        yu = _mm256_broadcastsi128_si256(load16(pairs.yu));
        yv = _mm256_broadcastsi128_si256(load16(pairs.yv));
    }
};

// Straight from the groups, 32 pixels a step as the packed 4:2:2 kernel goes, each 128-bit half
// holding 8 pixels' 12 bytes (a step's last load reaches 4 bytes into the next group, which must be
// the row's). A first pixel inside its group goes plain, the row's end through the unpacking kernels.
void packed411ToPixels(const Packed411Row& row, uint8_t* out, int n, PixelOrder order) {
    const Packed411Format& format = packed411Format(row.layout);
    const Packed411Shuffles shuffles(format);
    forPacked411Steps<32>(
        row, out, n, order, format.pixels,
        [&](const uint8_t* groups, int i) {
            __m256i r, g, b;
            shuffledPairs32(groups, 12, shuffles, r, g, b);
            interleaveInOrder(interleaveLanes, order, r, g, b, out + 3 * static_cast<size_t>(i));
        },
        [&](const Packed411Row& rest, int i) {
            packed411ToPixelsInChunks(rest, out + 3 * static_cast<size_t>(i), n - i, order, unpackY411, unpackY41P,
                                      yuvToPixels);
        });
}

// 32 words a step, their bytes exchanged by one shuffle: as fast as a copy where the plain loop's
// shifts of 8 words a step were not (big-endian monochrome images measured 1.4x a little-endian one's
// copy at 640x480, whose rows stay in cache).
void swapBytes16(const uint8_t* in, uint8_t* out, int n) {
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7, 6,
                                          9, 8, 11, 10, 13, 12, 15, 14);
    // The first words plainly, up to where the stores are aligned (when out is word-aligned): into
    // a NumPy array, 16-byte aligned, every other store crossed two cache lines, 1.15x a copy's time.
    const uintptr_t at = reinterpret_cast<uintptr_t>(out);
    int i = at % 2 == 0 ? static_cast<int>((32 - at % 32) % 32 / 2) : 0;
    if (i > n) i = n;
    plain::swapBytes16(in, out, i);
    for (; i + 32 <= n; i += 32) {
        prefetchDestination<64>(out + 2 * i);
        store32(out + 2 * i, _mm256_shuffle_epi8(load32(in + 2 * i), swap));
        store32(out + 2 * i + 32, _mm256_shuffle_epi8(load32(in + 2 * i + 32), swap));
    }
    for (; i + 16 <= n; i += 16) store32(out + 2 * i, _mm256_shuffle_epi8(load32(in + 2 * i), swap));
    plain::swapBytes16(in + 2 * i, out + 2 * i, n - i);
}

// 128 bytes a step, every store but the first and the last aligned (those two overlap their
// neighbours, storing the same bytes again). On the AMD Zen 4 we measured, against the C library's
// copy (a string move from 2112 bytes to 1 MB, loops of 64-byte stores either side) over placements
// modulo 4096, this loop took 0.63-0.94 of its time for 2560 and 7680 bytes in the first-level
// cache, 0.8-1.0 for 307200 and 921600 bytes, 0.94-1.07 from 2 MB on; and a 640x480 BGRX bitmap, a
// copy a row, went from 1.19 to 1.06 times one copy of the whole bitmap. 64-byte stores took up to
// 6 % longer, so the AVX-512 table keeps this loop.
void copy(const uint8_t* in, uint8_t* out, size_t n) {
    if (n < 32) {
        plain::copy(in, out, n);
        return;
    }
    store32(out, load32(in));
    size_t i = 32 - reinterpret_cast<uintptr_t>(out) % 32;
    for (; i + 128 <= n; i += 128) {
        const __m256i a = load32(in + i), b = load32(in + i + 32), c = load32(in + i + 64), d = load32(in + i + 96);
        storeAligned32(out + i, a);
        storeAligned32(out + i + 32, b);
        storeAligned32(out + i + 64, c);
        storeAligned32(out + i + 96, d);
    }
    for (; i + 32 <= n; i += 32) storeAligned32(out + i, load32(in + i));
    if (i < n) store32(out + n - 32, load32(in + n - 32));
}

}  // namespace

void addAVX2Kernels(RowKernels& table) {
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
    table.merge3 = merge3;
    table.swap3 = swap3;
    table.rgb565To555 = rgb565To555;
    table.wordsToBytes = wordsToBytes;
    table.transpose8 = transpose8Copies<1>;
    table.transpose8Doubled = transpose8Copies<2>;
    table.transpose16 = transpose16;
    table.swapBytes16 = swapBytes16;
    table.copy = copy;
}

}  // namespace zorvframekit
