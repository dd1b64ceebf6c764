// SSSE3 kernels: byte shuffles take 3-byte pixels apart and put them back together, and unpack the
// 4:1:1 layouts; the colour arithmetic takes byte pairs in multiply-adds of bytes (as the wider
// levels do; see Vectors128.h), which SSE2 lacks.
#include <tmmintrin.h>

#include "kernels/Vectors128.h"

namespace zorvframekit {

namespace {

inline __m128i shuffle(__m128i x, const uint8_t (&mask)[16]) { return _mm_shuffle_epi8(x, load16(mask)); }

// 48 bytes of a 4:1:1 layout: 32 luma samples and 8 of each chroma.
inline void unpack48(const uint8_t* in, const Gather48 (&luma)[2], const Gather48& chroma, uint8_t* y, uint8_t* u,
                     uint8_t* v) {
    prefetchSource<48>(in);
    const __m128i a = load16(in), b = load16(in + 16), c = load16(in + 32);
    store16(y, gather48(a, b, c, luma[0]));
    store16(y + 16, gather48(a, b, c, luma[1]));
    const __m128i uv = gather48(a, b, c, chroma);
    store8(u, uv);
    storeHigh8(v, uv);
}


// Four pixels of `Bytes` bytes each, starting at byte `Skip` of a vector, as bytes 0 of the four,
// then bytes 1, then bytes 2 (the top four bytes zero).
template <int Bytes, int Skip>
struct SplitMask {
    uint8_t bytes[16];
    constexpr SplitMask() : bytes() {
        for (int k = 0; k < 16; ++k) bytes[k] = static_cast<uint8_t>(k < 12 ? Skip + Bytes * (k % 4) + k / 4 : 0x80);
    }
};
constexpr SplitMask<3, 0> kSplit3;
constexpr SplitMask<3, 4> kSplit3Last;
constexpr SplitMask<4, 0> kSplit4;

// Four vectors of four pixels, each as byte 0s, 1s, 2s, to 16 bytes of each of the three outputs.
inline void storeSplit(__m128i s0, __m128i s1, __m128i s2, __m128i s3, const Bands<uint8_t*>& out, int i) {
    const __m128i first01 = _mm_unpacklo_epi32(s0, s1), first23 = _mm_unpacklo_epi32(s2, s3);
    const __m128i third01 = _mm_unpackhi_epi32(s0, s1), third23 = _mm_unpackhi_epi32(s2, s3);
    store16(out.b0 + i, _mm_unpacklo_epi64(first01, first23));
    store16(out.b1 + i, _mm_unpackhi_epi64(first01, first23));
    store16(out.b2 + i, _mm_unpacklo_epi64(third01, third23));
}

void split3(const uint8_t* in, uint8_t* const out[3], int n) {
    const Bands<uint8_t*> bands(out);
    int i = 0;
    for (; i + 16 <= n; i += 16, in += 48) {
        prefetchSource<48>(in);
        // The last four pixels are the top 12 of the 16 bytes ending the 48, so nothing past them is read.
        storeSplit(shuffle(load16(in), kSplit3.bytes), shuffle(load16(in + 12), kSplit3.bytes),
                   shuffle(load16(in + 24), kSplit3.bytes), shuffle(load16(in + 32), kSplit3Last.bytes), bands, i);
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split3(in, rest, n - i);
}

void split4(const uint8_t* in, uint8_t* const out[3], int n) {
    const Bands<uint8_t*> bands(out);
    int i = 0;
    for (; i + 16 <= n; i += 16, in += 64) {
        prefetchSource<64>(in);
        storeSplit(shuffle(load16(in), kSplit4.bytes), shuffle(load16(in + 16), kSplit4.bytes),
                   shuffle(load16(in + 32), kSplit4.bytes), shuffle(load16(in + 48), kSplit4.bytes), bands, i);
    }
    uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::split4(in, rest, n - i);
}

// 16 pixels of three bytes, byte j of pixel i from bj's byte i, as 48 bytes at out.
inline void interleave3Shuffled(__m128i b0, __m128i b1, __m128i b2, uint8_t* out) {
    for (int t = 0; t < 3; ++t) {
        const __m128i third = _mm_or_si128(_mm_or_si128(shuffle(b0, kInterleave3.bytes[t][0]), shuffle(b1, kInterleave3.bytes[t][1])),
                                           shuffle(b2, kInterleave3.bytes[t][2]));
        store16(out + 16 * t, third);
    }
}

void merge3(const uint8_t* const in[3], uint8_t* out, int n) {
    const Bands<const uint8_t*> bands(in);
    int i = 0;
    for (; i + 16 <= n; i += 16)
        interleave3Shuffled(load16(bands.b0 + i), load16(bands.b1 + i), load16(bands.b2 + i), out + 3 * i);
    const uint8_t* const rest[3] = {bands.b0 + i, bands.b1 + i, bands.b2 + i};
    plain::merge3(rest, out + 3 * i, n - i);
}

// On the input's grid of registers, 16 pixels a step (see swap3By48): only the bytes of the pixels
// converted are stored, each with its final value.
void swap3(const uint8_t* in, uint8_t* out, int n) { swap3By48<Swap3Shuffled>(in, out, n); }

// ---- Colour: the byte-pair arithmetic in 128-bit registers

struct Lanes128 {
    typedef __m128i V;
    static V madd(V bytes, V weights) { return _mm_maddubs_epi16(bytes, weights); }
    static V add(V a, V b) { return _mm_add_epi16(a, b); }
    static V shift8(V a) { return _mm_srai_epi16(a, 8); }
    static V shiftRight8(V a) { return _mm_srli_epi16(a, 8); }
    static V splat(int value) { return splat16(value); }
    static V pair(int first, int second) { return _mm_set1_epi16(pairedWeights(first, second)); }
    static V interleaveLow(V a, V b) { return _mm_unpacklo_epi8(a, b); }
    static V interleaveHigh(V a, V b) { return _mm_unpackhi_epi8(a, b); }
    static V packBack(V low, V high) { return _mm_packus_epi16(low, high); }
};

// 16 pixels, luma and a chroma byte per pixel, converted and clamped.
inline void yuvPairs16(__m128i y, __m128i u, __m128i v, __m128i& r, __m128i& g, __m128i& b) {
    pairsToRGBPacked<Lanes128>(_mm_unpacklo_epi8(y, u), _mm_unpacklo_epi8(y, v), _mm_unpackhi_epi8(y, u),
                               _mm_unpackhi_epi8(y, v), r, g, b);
}

// 16 pixels from groups (phase 0), converted and clamped: pixels 0-7 from the first `halfBytes`
// bytes, 8-15 from the next, each made into pairs by the same shuffles.
template <typename Pairs>
inline void shuffledPairs16(const uint8_t* groups, int halfBytes, const Pairs& pairs, __m128i& r, __m128i& g, __m128i& b) {
    const __m128i yu = load16(pairs.yu), yv = load16(pairs.yv);
    const __m128i low = load16(groups), high = load16(groups + halfBytes);
    pairsToRGBPacked<Lanes128>(_mm_shuffle_epi8(low, yu), _mm_shuffle_epi8(low, yv), _mm_shuffle_epi8(high, yu),
                               _mm_shuffle_epi8(high, yv), r, g, b);
}

// Lambdas rather than the functions themselves, so that they are inlined into the loops.
const auto pairs16 = [](__m128i y, __m128i u, __m128i v, __m128i& r, __m128i& g, __m128i& b) {
    yuvPairs16(y, u, v, r, g, b);
};

void yuvToRGB(const YUVRow& row, uint8_t* const rgb[3], int n) {
    byShift<YUVToRGBBy16>(row.chromaShift, row, static_cast<uint8_t* const*>(rgb), n, pairs16);
}

const auto interleaveShuffled = [](__m128i b0, __m128i b1, __m128i b2, uint8_t* out) {
    interleave3Shuffled(b0, b1, b2, out);
};

void packed422ToPixels(const Packed422Row& row, uint8_t* pixels, int n, PixelOrder order) {
    const Packed422Pairs pairs(row);
    forPacked422Vectors<16>(
        row, n,
        [&](const uint8_t* groups, int out) {
            __m128i r, g, b;
            shuffledPairs16(groups, 16, pairs, r, g, b);
            interleaveInOrder(interleaveShuffled, order, r, g, b, pixels + 3 * out);
        },
        [&](const Packed422Row& rest, int out, int count) {
            plain::packed422ToPixels(rest, pixels + 3 * out, count, order);
        });
}

void packed422ToRGB(const Packed422Row& row, uint8_t* const rgb[3], int n) {
    const Packed422Pairs pairs(row);
    const Bands<uint8_t*> o(rgb);
    forPacked422Vectors<16>(
        row, n,
        [&](const uint8_t* groups, int out) {
            __m128i r, g, b;
            shuffledPairs16(groups, 16, pairs, r, g, b);
            store16(o.b0 + out, r);
            store16(o.b1 + out, g);
            store16(o.b2 + out, b);
        },
        [&](const Packed422Row& rest, int out, int count) {
            uint8_t* const at[3] = {o.b0 + out, o.b1 + out, o.b2 + out};
            plain::packed422ToRGB(rest, at, count);
        });
}

const auto weightedPairs = [](__m128i r, __m128i g, __m128i b, int wr, int wg, int wb, int offset) {
    return weightedBytesIn<Lanes128>(r, g, b, wr, wg, wb, offset);
};
void rgbToYUV(const uint8_t* const rgb[3], uint8_t* const yuv[3], int n) { rgbToYUVIn<Register128>(rgb, yuv, n, weightedPairs); }
void rgbToMono(const uint8_t* const rgb[3], uint8_t* mono, int n) { rgbToMonoIn<Register128>(rgb, mono, n, weightedPairs); }
void packedRGBToMono(const uint8_t* pixels, int redOffset, uint8_t* mono, int n) {
    packedRGBToMonoInChunks(pixels, redOffset, mono, n, split3, rgbToMono);
}
void packedRGBToYUV(const uint8_t* pixels, int redOffset, uint8_t* const yuv[3], int n) {
    packedRGBToYUVInChunks(pixels, redOffset, yuv, n, split3, rgbToYUV);
}

void yuvToPixels(const YUVRow& row, uint8_t* out, int n, PixelOrder order) {
    byShift<YUVToPixelsBy16>(row.chromaShift, row, out, n, order, pairs16, interleaveShuffled);
}

// Straight from the pixels, 16 a step, as the AVX2 kernel goes: 8 pixels' pairs from two loads
// of their 24 bytes. No load reaches past a step's 48 bytes.
void packed444ToPixels(const Packed444Row& row, uint8_t* out, int n, PixelOrder order) {
    const Packed444Pairs masks(Packed444Pairs::yuv(row));
    const __m128i firstU = load16(masks.first[0]), secondU = load16(masks.second[0]);
    const __m128i firstV = load16(masks.first[1]), secondV = load16(masks.second[1]);
    const uint8_t* in = row.pixels;
    int i = 0;
    for (; i + 16 <= n; i += 16, in += 48) {
        prefetchSource<48>(in);
        __m128i yu[2], yv[2];
        for (int half = 0; half < 2; ++half) {
            const __m128i a = load16(in + 24 * half), b = load16(in + 24 * half + 8);
            yu[half] = _mm_or_si128(_mm_shuffle_epi8(a, firstU), _mm_shuffle_epi8(b, secondU));
            yv[half] = _mm_or_si128(_mm_shuffle_epi8(a, firstV), _mm_shuffle_epi8(b, secondV));
        }
        __m128i r, g, b;
        pairsToRGBPacked<Lanes128>(yu[0], yv[0], yu[1], yv[1], r, g, b);
        interleaveInOrder(interleaveShuffled, order, r, g, b, out + 3 * static_cast<size_t>(i));
    }
    plain::packed444ToPixels(Packed444Row{in, row.yOffset, row.uOffset, row.vOffset}, out + 3 * static_cast<size_t>(i),
                             n - i, order);
}

// Straight from the groups, 16 pixels a step as the packed 4:2:2 kernel goes, from two loads of 8
// pixels' 12 bytes (the second reaches 4 bytes into the next group, which must be the row's). A
// first pixel inside its group goes plain, the row's end through the unpacking kernels. Unpacked into
// bands first, Y411 bitmaps took 2.2-2.5x the AVX2 kernel's time.
void packed411ToPixels(const Packed411Row& row, uint8_t* out, int n, PixelOrder order) {
    const Packed411Format& format = packed411Format(row.layout);
    const Packed411Pairs pairs(format);
    forPacked411Steps<16>(
        row, out, n, order, format.pixels,
        [&](const uint8_t* groups, int i) {
            __m128i r, g, b;
            shuffledPairs16(groups, 12, pairs, r, g, b);
            interleaveInOrder(interleaveShuffled, order, r, g, b, out + 3 * static_cast<size_t>(i));
        },
        [&](const Packed411Row& rest, int i) {
            packed411ToPixelsInChunks(rest, out + 3 * static_cast<size_t>(i), n - i, order, ssse3::unpackY411,
                                      ssse3::unpackY41P, yuvToPixels);
        });
}

}  // namespace

namespace ssse3 {

void unpackY411(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    int g = 0;
    for (; g + 8 <= groups; g += 8) unpack48(in + 6 * g, kY411Luma, kY411Chroma, y + 4 * g, u + g, v + g);
    plain::unpackY411(in + 6 * g, y + 4 * g, u + g, v + g, groups - g);
}

void unpackY41P(const uint8_t* in, uint8_t* y, uint8_t* u, uint8_t* v, int groups) {
    int g = 0;
    for (; g + 4 <= groups; g += 4) unpack48(in + 12 * g, kY41PLuma, kY41PChroma, y + 8 * g, u + 2 * g, v + 2 * g);
    plain::unpackY41P(in + 12 * g, y + 8 * g, u + 2 * g, v + 2 * g, groups - g);
}

}  // namespace ssse3

void addSSSE3Kernels(RowKernels& table) {
    table.yuvToPixels = yuvToPixels;
    table.yuvToRGB = yuvToRGB;
    table.packed422ToPixels = packed422ToPixels;
    table.packed422ToRGB = packed422ToRGB;
    table.rgbToYUV = rgbToYUV;
    table.rgbToMono = rgbToMono;
    table.packedRGBToMono = packedRGBToMono;
    table.packedRGBToYUV = packedRGBToYUV;
    table.packed444ToPixels = packed444ToPixels;
    table.packed411ToPixels = packed411ToPixels;
    table.split3 = split3;
    table.split4 = split4;
    table.unpackY411 = ssse3::unpackY411;
    table.unpackY41P = ssse3::unpackY41P;
    table.swap3 = swap3;
    table.merge3 = merge3;
}

}  // namespace zorvframekit
