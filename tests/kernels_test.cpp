// Row kernels: every kernel of every level this machine runs gives the plain C++ kernel's bytes: the
// colour routines over every one of their 2^24 inputs, the others over random rows of every length
// up to 67 and a few longer, every chroma phase, inputs and outputs ending where their allocation
// does (so that AddressSanitizer sees a read or write past them), in place where the kernel allows it;
// and bitmap rows write nothing around their pixels and never show a reader a byte but its result.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "frame/ColorConversion.h"
#include "frame/ZORVFrame.h"
#include "frame_helpers.h"
#include "kernels/RowKernels.h"

using zorvframekit::KernelLevel;
using zorvframekit::Packed411Layout;
using zorvframekit::PixelOrder;
using zorvframekit::RowKernels;
using zorvframekit::YUVRow;

namespace {

typedef std::vector<uint8_t> Bytes;

// The SIMD levels this machine runs (the plain one is the reference).
std::vector<const RowKernels*> simdLevels() {
    std::vector<const RowKernels*> levels;
    for (int level = 1; level < zorvframekit::kKernelLevelCount; ++level)
        if (const RowKernels* kernels = zorvframekit::kernelsAt(static_cast<KernelLevel>(level)))
            levels.push_back(kernels);
    return levels;
}

const RowKernels& plainKernels() { return *zorvframekit::kernelsAt(KernelLevel::Plain); }

std::string nameOf(const RowKernels& kernels) { return zorvframekit::kernelLevelName(kernels.level); }

// Exactly `size` bytes of heap, random, ending where the data ends.
struct Buffer {
    FlushBuffer bytes;
    Buffer(size_t size, std::mt19937& random) : bytes(size) {
        for (size_t i = 0; i < size; ++i) bytes.data()[i] = static_cast<uint8_t>(random());
    }
    uint8_t* data() { return bytes.data(); }
    Bytes copy() const { return Bytes(bytes.bytes.get(), bytes.bytes.get() + bytes.size); }
};

// Outputs start out equal (random, so that a byte a kernel must not write is noticed either way).
struct Output {
    Buffer mine, reference;
    Output(size_t size, std::mt19937& random) : mine(size, random), reference(size, random) {
        std::memcpy(reference.data(), mine.data(), size);
    }
};

TEST(KernelDispatch, EveryLevelUpToTheBestRunsAndCanBeForced) {
    const KernelLevel best = zorvframekit::bestKernelLevel();
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_GE(static_cast<int>(best), static_cast<int>(KernelLevel::SSE2));  // the baseline of both builds
    EXPECT_EQ(best, zorvframekit::processorKernelLevel());                   // all this build has
#endif
    for (int level = 0; level < zorvframekit::kKernelLevelCount; ++level) {
        const KernelLevel wanted = static_cast<KernelLevel>(level);
        const bool runs = level <= static_cast<int>(best);
        EXPECT_EQ(zorvframekit::kernelsAt(wanted) != nullptr, runs);
        EXPECT_EQ(zorvframekit::forceKernelLevel(wanted), runs);
        if (runs) {
            EXPECT_EQ(zorvframekit::rowKernels().level, wanted);
        }
    }
    EXPECT_TRUE(zorvframekit::forceKernelLevel(best));
    EXPECT_EQ(&zorvframekit::rowKernels(), zorvframekit::kernelsAt(best));
}

// Every entry of every SIMD level's table is a kernel of its own or of a level below it, never the
// plain one: the table's entries after `level` are all function pointers, compared slot by slot.
TEST(KernelDispatch, NoSIMDLevelRunsAPlainKernel) {
    const size_t first = offsetof(RowKernels, yuvToPixels), slot = sizeof(RowKernels::yuvToPixels);
    const char* plain = reinterpret_cast<const char*>(&plainKernels());
    for (const RowKernels* kernels : simdLevels())
        for (size_t at = first; at + slot <= sizeof(RowKernels); at += slot)
            EXPECT_NE(std::memcmp(reinterpret_cast<const char*>(kernels) + at, plain + at, slot), 0)
                << nameOf(*kernels) << " runs the plain kernel of entry " << (at - first) / slot;
}

// The reference kernels on small rows worked out by hand: what the SIMD levels are held to.
TEST(PlainKernels, HandCheckedRows) {
    const RowKernels& plain = plainKernels();
    // Black (16, 128, 128) and white (235, 128, 128); with chroma shared by pairs and the row starting
    // on the second pixel of a pair, pixel 0 takes chroma 0 and pixels 1 and 2 chroma 1.
    const uint8_t y[3] = {16, 235, 235}, u[2] = {128, 0}, v[2] = {128, 128};
    uint8_t bgr[9], rgb[9];
    plain.yuvToPixels(YUVRow{y, u, v, 1, 1}, bgr, 3, PixelOrder::BGR);
    EXPECT_EQ(Bytes(bgr, bgr + 9), (Bytes{0, 0, 0, 0, 255, 255, 0, 255, 255}));  // (235, 0, 128): blue clamped to 0
    plain.yuvToPixels(YUVRow{y, u, v, 1, 1}, rgb, 3, PixelOrder::RGB);
    EXPECT_EQ(Bytes(rgb, rgb + 9), (Bytes{0, 0, 0, 255, 255, 0, 255, 255, 0}));

    const uint8_t pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t a[2], b[2], c[2];
    uint8_t* const out[3] = {a, b, c};
    plain.split4(pixels, out, 2);
    EXPECT_EQ(Bytes(a, a + 2), (Bytes{1, 5}));
    EXPECT_EQ(Bytes(c, c + 2), (Bytes{3, 7}));
    uint8_t swapped[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    plain.swap4(pixels, swapped, 2);
    EXPECT_EQ(Bytes(swapped, swapped + 8), (Bytes{3, 2, 1, 9, 7, 6, 5, 9}));  // fourth bytes untouched

    // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
    const uint8_t group[12] = {100, 1, 200, 2, 101, 3, 201, 4, 5, 6, 7, 8};
    uint8_t luma[8], blue[2], red[2];
    plain.unpackY41P(group, luma, blue, red, 1);
    EXPECT_EQ(Bytes(luma, luma + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(Bytes(blue, blue + 2), (Bytes{100, 101}));
    EXPECT_EQ(Bytes(red, red + 2), (Bytes{200, 201}));

    // Rows {1 2 3} and {4 5 6} as columns of a stride of 3: one byte between columns left alone.
    const uint8_t top[3] = {1, 2, 3}, bottom[3] = {4, 5, 6};
    const uint8_t* const rows[2] = {top, bottom};
    uint8_t columns[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    plain.transpose8(rows, 2, 3, columns, 3);
    EXPECT_EQ(Bytes(columns, columns + 8), (Bytes{1, 4, 0, 2, 5, 0, 3, 6}));
    uint8_t twice[11] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    plain.transpose8Doubled(rows, 2, 2, twice, 3);  // each sample to two columns
    EXPECT_EQ(Bytes(twice, twice + 11), (Bytes{1, 4, 0, 1, 4, 0, 2, 5, 0, 2, 5}));
    const uint8_t words[4] = {0x12, 0x34, 0xAB, 0xCD};
    uint8_t bytes[2];
    plain.wordsToBytes(words, bytes, 2, 4, true);  // 0x1234 and 0xABCD, most significant byte first
    EXPECT_EQ(Bytes(bytes, bytes + 2), (Bytes{0x23, 0xBC}));
    uint8_t swappedWords[4];
    plain.swapBytes16(words, swappedWords, 2);
    EXPECT_EQ(Bytes(swappedWords, swappedWords + 4), (Bytes{0x34, 0x12, 0xCD, 0xAB}));
}

// Whether a level brings its own version of a kernel (otherwise it is the level below's, tested there).
template <typename Kernel>
bool newAt(const RowKernels& kernels, Kernel RowKernels::*kernel) {
    if (kernels.level == KernelLevel::Plain) return true;
    const RowKernels* below = zorvframekit::kernelsAt(static_cast<KernelLevel>(static_cast<int>(kernels.level) - 1));
    return kernels.*kernel != below->*kernel;
}

// Every (y, u, v): a row of 65536 pixels for each y, chroma running through every pair.
TEST(KernelExactness, YUVToRGBForEveryInput) {
    const std::vector<const RowKernels*> levels = simdLevels();
    Bytes y(65536), u(65536), v(65536), r(65536), g(65536), b(65536), bgr(3 * 65536), packed(3 * 65536),
        packedBGR(3 * 65536);
    Bytes expectedRGB[3] = {Bytes(65536), Bytes(65536), Bytes(65536)}, expectedBGR(3 * 65536);
    for (int i = 0; i < 65536; ++i) u[i] = uint8_t(i >> 8), v[i] = uint8_t(i);
    const YUVRow row = {y.data(), u.data(), v.data(), 0, 0};
    uint8_t* const rgb[3] = {r.data(), g.data(), b.data()};
    for (int luma = 0; luma < 256; ++luma) {
        std::memset(y.data(), luma, y.size());
        for (int i = 0; i < 65536; ++i) {
            zorvframekit::convertYUVPixelToRGB(uint8_t(luma), u[i], v[i], expectedRGB[0][i], expectedRGB[1][i],
                                               expectedRGB[2][i]);
            expectedBGR[3 * i] = expectedRGB[2][i], expectedBGR[3 * i + 1] = expectedRGB[1][i];
            expectedBGR[3 * i + 2] = expectedRGB[0][i];
        }
        for (int i = 0; i < 65536; ++i) packed[3 * i] = u[i], packed[3 * i + 1] = uint8_t(luma), packed[3 * i + 2] = v[i];
        for (const RowKernels* kernels : levels) {
            if (!newAt(*kernels, &RowKernels::yuvToRGB) && !newAt(*kernels, &RowKernels::yuvToPixels) &&
                !newAt(*kernels, &RowKernels::packed444ToPixels))
                continue;
            kernels->yuvToRGB(row, rgb, 65536);
            kernels->yuvToPixels(row, bgr.data(), 65536, PixelOrder::BGR);
            kernels->packed444ToPixels({packed.data(), 1, 0, 2}, packedBGR.data(), 65536, PixelOrder::BGR);  // U Y V
            if (r != expectedRGB[0] || g != expectedRGB[1] || b != expectedRGB[2] || bgr != expectedBGR ||
                packedBGR != expectedBGR)
                FAIL() << nameOf(*kernels) << " differs for y " << luma;
        }
    }
}

TEST(KernelExactness, RGBToYUVAndMonochromeForEveryInput) {
    const std::vector<const RowKernels*> levels = simdLevels();
    Bytes r(65536), g(65536), b(65536), y(65536), u(65536), v(65536), mono(65536), packedMono(65536);
    Bytes expected[3] = {Bytes(65536), Bytes(65536), Bytes(65536)}, expectedMono(65536);
    Bytes packed[2] = {Bytes(3 * 65536), Bytes(3 * 65536)};  // red first, blue first
    for (int i = 0; i < 65536; ++i) g[i] = uint8_t(i >> 8), b[i] = uint8_t(i);
    const uint8_t* const rgb[3] = {r.data(), g.data(), b.data()};
    uint8_t* const yuv[3] = {y.data(), u.data(), v.data()};
    for (int red = 0; red < 256; ++red) {
        std::memset(r.data(), red, r.size());
        for (int i = 0; i < 65536; ++i) {
            zorvframekit::convertRGBPixelToYUV(uint8_t(red), g[i], b[i], expected[0][i], expected[1][i], expected[2][i]);
            expectedMono[i] = uint8_t((54 * red + 183 * g[i] + 18 * b[i]) >> 8);
            for (int redOffset : {0, 2}) {
                uint8_t* pixel = &packed[redOffset / 2][3 * i];
                pixel[redOffset] = uint8_t(red), pixel[1] = g[i], pixel[2 - redOffset] = b[i];
            }
        }
        for (const RowKernels* kernels : levels) {
            if (newAt(*kernels, &RowKernels::rgbToYUV) || newAt(*kernels, &RowKernels::rgbToMono)) {
                kernels->rgbToYUV(rgb, yuv, 65536);
                kernels->rgbToMono(rgb, mono.data(), 65536);
                if (y != expected[0] || u != expected[1] || v != expected[2] || mono != expectedMono)
                    FAIL() << nameOf(*kernels) << " differs for red " << red;
            }
            if (!newAt(*kernels, &RowKernels::packedRGBToMono) && !newAt(*kernels, &RowKernels::packedRGBToYUV))
                continue;
            for (int redOffset : {0, 2}) {
                kernels->packedRGBToMono(packed[redOffset / 2].data(), redOffset, packedMono.data(), 65536);
                kernels->packedRGBToYUV(packed[redOffset / 2].data(), redOffset, yuv, 65536);
                if (packedMono != expectedMono || y != expected[0] || u != expected[1] || v != expected[2])
                    FAIL() << nameOf(*kernels) << " differs from packed pixels for red " << red << " at byte "
                           << redOffset;
            }
        }
    }
}

const PixelOrder kOrders[2] = {PixelOrder::BGR, PixelOrder::RGB};
const char* orderName(PixelOrder order) { return order == PixelOrder::BGR ? "BGR" : "RGB"; }

// Lengths 0 to 67 reach every tail of every vector width; the longer ones several whole vectors.
std::vector<int> lengths() {
    std::vector<int> all;
    for (int n = 0; n <= 67; ++n) all.push_back(n);
    for (int n : {95, 96, 97, 127, 128, 129, 255, 256, 257, 1000}) all.push_back(n);
    return all;
}

// Runs `check(kernels, n, random)` for every SIMD level and length; check compares one kernel with
// the plain one and says what differs.
template <typename Check>
void forEveryLevelAndLength(Check check) {
    std::mt19937 random(12);
    for (const RowKernels* kernels : simdLevels())
        for (int n : lengths()) {
            SCOPED_TRACE(nameOf(*kernels) + ", " + std::to_string(n) + " pixels");
            check(*kernels, n, random);
        }
}

TEST(KernelExactness, ColourRowsAtEveryChromaSubsamplingAndPhase) {
    forEveryLevelAndLength([](const RowKernels& kernels, int n, std::mt19937& random) {
        for (int shift = 0; shift <= 2; ++shift)
            for (int phase = 0; phase < (1 << shift); ++phase) {
                const size_t chroma = n == 0 ? 0 : static_cast<size_t>(((phase + n - 1) >> shift) + 1);
                Buffer y(static_cast<size_t>(n), random), u(chroma, random), v(chroma, random);
                const YUVRow row = {y.data(), u.data(), v.data(), shift, phase};
                for (PixelOrder order : kOrders) {
                    Output pixels(3 * static_cast<size_t>(n), random);
                    kernels.yuvToPixels(row, pixels.mine.data(), n, order);
                    plainKernels().yuvToPixels(row, pixels.reference.data(), n, order);
                    EXPECT_EQ(pixels.mine.copy(), pixels.reference.copy())
                        << "yuvToPixels, shift " << shift << " phase " << phase << ", " << orderName(order);
                }
                Output r(n, random), g(n, random), b(n, random), eu(n, random), ev(n, random);
                uint8_t* const mine[3] = {r.mine.data(), g.mine.data(), b.mine.data()};
                uint8_t* const reference[3] = {r.reference.data(), g.reference.data(), b.reference.data()};
                kernels.yuvToRGB(row, mine, n);
                plainKernels().yuvToRGB(row, reference, n);
                EXPECT_TRUE(r.mine.copy() == r.reference.copy() && g.mine.copy() == g.reference.copy() &&
                            b.mine.copy() == b.reference.copy())
                    << "yuvToRGB, shift " << shift << " phase " << phase;
                kernels.expandChroma(row, eu.mine.data(), ev.mine.data(), n);
                plainKernels().expandChroma(row, eu.reference.data(), ev.reference.data(), n);
                EXPECT_TRUE(eu.mine.copy() == eu.reference.copy() && ev.mine.copy() == ev.reference.copy())
                    << "expandChroma, shift " << shift << " phase " << phase;
            }
        // Packed 4:4:4 pixels in both their layouts (U Y V and U V Y).
        for (const auto& layout : {std::array<int, 3>{1, 0, 2}, std::array<int, 3>{2, 0, 1}}) {
            Buffer pixels(3 * static_cast<size_t>(n), random);
            const zorvframekit::Packed444Row row = {pixels.data(), layout[0], layout[1], layout[2]};
            for (PixelOrder order : kOrders) {
                Output out(3 * static_cast<size_t>(n), random);
                kernels.packed444ToPixels(row, out.mine.data(), n, order);
                plainKernels().packed444ToPixels(row, out.reference.data(), n, order);
                EXPECT_EQ(out.mine.copy(), out.reference.copy())
                    << "packed444ToPixels, luma at " << layout[0] << ", " << orderName(order);
            }
        }
        // Packed 4:1:1 groups in both their layouts, starting at every pixel of a group.
        for (Packed411Layout layout : {Packed411Layout::Y411, Packed411Layout::Y41P}) {
            const zorvframekit::Packed411Format& format = zorvframekit::packed411Format(layout);
            for (int phase = 0; phase < format.pixels; ++phase) {
                Buffer groups(n == 0 ? 0 : format.bytes * static_cast<size_t>((phase + n + format.pixels - 1) / format.pixels),
                              random);
                const zorvframekit::Packed411Row row = {groups.data(), layout, phase};
                for (PixelOrder order : kOrders) {
                    Output out(3 * static_cast<size_t>(n), random);
                    kernels.packed411ToPixels(row, out.mine.data(), n, order);
                    plainKernels().packed411ToPixels(row, out.reference.data(), n, order);
                    EXPECT_EQ(out.mine.copy(), out.reference.copy()) << "packed411ToPixels, " << format.pixels
                                                                     << " pixels a group, phase " << phase << ", "
                                                                     << orderName(order);
                }
            }
        }
        // Packed 4:2:2 groups in each of their three layouts, starting on a group or inside one.
        const int offsets[3][3] = {{0, 1, 3}, {1, 0, 2}, {0, 3, 1}};  // luma, U, V
        for (const auto& layout : offsets)
            for (int phase = 0; phase <= 1; ++phase) {
                Buffer groups(n == 0 ? 0 : 4 * static_cast<size_t>((phase + n + 1) / 2), random);
                const zorvframekit::Packed422Row row = {groups.data(), layout[0], layout[1], layout[2], phase};
                for (PixelOrder order : kOrders) {
                    Output out(3 * static_cast<size_t>(n), random);
                    kernels.packed422ToPixels(row, out.mine.data(), n, order);
                    plainKernels().packed422ToPixels(row, out.reference.data(), n, order);
                    EXPECT_EQ(out.mine.copy(), out.reference.copy())
                        << "packed422ToPixels, luma at " << layout[0] << ", phase " << phase << ", "
                        << orderName(order);
                }
                Output r(n, random), g(n, random), b(n, random);
                uint8_t* const mine[3] = {r.mine.data(), g.mine.data(), b.mine.data()};
                uint8_t* const reference[3] = {r.reference.data(), g.reference.data(), b.reference.data()};
                kernels.packed422ToRGB(row, mine, n);
                plainKernels().packed422ToRGB(row, reference, n);
                EXPECT_TRUE(r.mine.copy() == r.reference.copy() && g.mine.copy() == g.reference.copy() &&
                            b.mine.copy() == b.reference.copy())
                    << "packed422ToRGB, luma at " << layout[0] << ", phase " << phase;
            }
    });
}

// In place, as the conversions of a whole host array run: the same bytes as out of place.
TEST(KernelExactness, ColourRowsInPlace) {
    forEveryLevelAndLength([](const RowKernels& kernels, int n, std::mt19937& random) {
        Buffer first(n, random), second(n, random), third(n, random);
        const Bytes before[3] = {first.copy(), second.copy(), third.copy()};
        const uint8_t* const in[3] = {before[0].data(), before[1].data(), before[2].data()};
        uint8_t* const bands[3] = {first.data(), second.data(), third.data()};
        Bytes expected[3] = {Bytes(n), Bytes(n), Bytes(n)};
        uint8_t* const out[3] = {expected[0].data(), expected[1].data(), expected[2].data()};
        const auto restore = [&] {
            for (int k = 0; k < 3 && n > 0; ++k) std::memcpy(bands[k], before[k].data(), static_cast<size_t>(n));
        };
        const auto converted = [&] {
            return first.copy() == expected[0] && second.copy() == expected[1] && third.copy() == expected[2];
        };
        plainKernels().yuvToRGB(YUVRow{in[0], in[1], in[2], 0, 0}, out, n);
        kernels.yuvToRGB(YUVRow{bands[0], bands[1], bands[2], 0, 0}, bands, n);
        EXPECT_TRUE(converted()) << "yuvToRGB";
        restore();
        // Subsampled chroma apart: only the luma row is written over, by red.
        for (int shift = 1; shift <= 2; ++shift)
            for (int phase = 0; phase < (1 << shift); ++phase) {
                const YUVRow row = {in[0], in[1], in[2], shift, phase};
                plainKernels().yuvToRGB(row, out, n);
                uint8_t* const redOverLuma[3] = {bands[0], bands[1], bands[2]};
                kernels.yuvToRGB(YUVRow{bands[0], in[1], in[2], shift, phase}, redOverLuma, n);
                EXPECT_TRUE(converted()) << "yuvToRGB, shift " << shift << " phase " << phase;
                restore();
            }
        plainKernels().rgbToYUV(in, out, n);
        kernels.rgbToYUV(bands, bands, n);
        EXPECT_TRUE(converted()) << "rgbToYUV";
        restore();
        plainKernels().rgbToMono(in, expected[0].data(), n);
        kernels.rgbToMono(bands, bands[0], n);
        EXPECT_EQ(first.copy(), expected[0]) << "rgbToMono";
    });
}

bool same(const Output& out) { return out.mine.copy() == out.reference.copy(); }

TEST(KernelExactness, PackedLayoutsToBands) {
    forEveryLevelAndLength([](const RowKernels& kernels, int n, std::mt19937& random) {
        const size_t samples = static_cast<size_t>(n);
        typedef void (*Split)(const uint8_t*, uint8_t* const[3], int);
        const struct {
            Split mine, reference;
            size_t bytes;
            const char* name;
        } splits[] = {
            {kernels.split3, plainKernels().split3, 3, "split3"},
            {kernels.split4, plainKernels().split4, 4, "split4"},
            {kernels.rgb555ToRGB, plainKernels().rgb555ToRGB, 2, "rgb555ToRGB"},
            {kernels.rgb565ToRGB, plainKernels().rgb565ToRGB, 2, "rgb565ToRGB"},
        };
        for (const auto& split : splits) {
            Buffer in(split.bytes * samples, random);
            Output a(samples, random), b(samples, random), c(samples, random);
            uint8_t* const mine[3] = {a.mine.data(), b.mine.data(), c.mine.data()};
            uint8_t* const reference[3] = {a.reference.data(), b.reference.data(), c.reference.data()};
            split.mine(in.data(), mine, n);
            split.reference(in.data(), reference, n);
            EXPECT_TRUE(same(a) && same(b) && same(c)) << split.name;
        }
        for (int redOffset : {0, 2}) {
            Buffer in(3 * samples, random);
            Output mono(samples, random), y(samples, random), u(samples, random), v(samples, random);
            kernels.packedRGBToMono(in.data(), redOffset, mono.mine.data(), n);
            plainKernels().packedRGBToMono(in.data(), redOffset, mono.reference.data(), n);
            uint8_t* const mine[3] = {y.mine.data(), u.mine.data(), v.mine.data()};
            uint8_t* const reference[3] = {y.reference.data(), u.reference.data(), v.reference.data()};
            kernels.packedRGBToYUV(in.data(), redOffset, mine, n);
            plainKernels().packedRGBToYUV(in.data(), redOffset, reference, n);
            EXPECT_TRUE(same(mono) && same(y) && same(u) && same(v)) << "packed RGB, red at byte " << redOffset;
        }
        // Here n counts groups.
        typedef void (*Unpack)(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, int);
        const struct {
            Unpack mine, reference;
            size_t bytes, luma, chroma;
            const char* name;
        } unpacks[] = {
            {kernels.unpackYUYV, plainKernels().unpackYUYV, 4, 2, 1, "unpackYUYV"},
            {kernels.unpackUYVY, plainKernels().unpackUYVY, 4, 2, 1, "unpackUYVY"},
            {kernels.unpackY411, plainKernels().unpackY411, 6, 4, 1, "unpackY411"},
            {kernels.unpackY41P, plainKernels().unpackY41P, 12, 8, 2, "unpackY41P"},
        };
        for (const auto& unpack : unpacks) {
            Buffer in(unpack.bytes * samples, random);
            Output y(unpack.luma * samples, random), u(unpack.chroma * samples, random), v(unpack.chroma * samples, random);
            unpack.mine(in.data(), y.mine.data(), u.mine.data(), v.mine.data(), n);
            unpack.reference(in.data(), y.reference.data(), u.reference.data(), v.reference.data(), n);
            EXPECT_TRUE(same(y) && same(u) && same(v)) << unpack.name;
        }
    });
}

// The bitmap kernels whose input and output have a pixel's bytes alike (bytes a pixel each way).
struct PixelRowKernel {
    typedef void (*Row)(const uint8_t*, uint8_t*, int);
    Row mine, reference;
    size_t bytes;
    const char* name;
};

std::vector<PixelRowKernel> pixelRowKernels(const RowKernels& kernels) {
    return {
        {kernels.swap3, plainKernels().swap3, 3, "swap3"},
        // Every fourth byte of the output must keep what it held.
        {kernels.swap4, plainKernels().swap4, 4, "swap4"},
        {kernels.rgb565To555, plainKernels().rgb565To555, 2, "rgb565To555"},
    };
}

TEST(KernelExactness, BitmapRows) {
    forEveryLevelAndLength([](const RowKernels& kernels, int n, std::mt19937& random) {
        const size_t samples = static_cast<size_t>(n);
        for (const PixelRowKernel& row : pixelRowKernels(kernels)) {
            Buffer in(row.bytes * samples, random);
            Output out(row.bytes * samples, random);
            row.mine(in.data(), out.mine.data(), n);
            row.reference(in.data(), out.reference.data(), n);
            EXPECT_EQ(out.mine.copy(), out.reference.copy()) << row.name;
        }
        Buffer a(samples, random), b(samples, random), c(samples, random);
        const uint8_t* const planes[3] = {a.data(), b.data(), c.data()};
        Output merged(3 * samples, random);
        kernels.merge3(planes, merged.mine.data(), n);
        plainKernels().merge3(planes, merged.reference.data(), n);
        EXPECT_EQ(merged.mine.copy(), merged.reference.copy()) << "merge3";
        Buffer words(2 * samples, random);
        for (int shift : {2, 4, 6, 8})
            for (bool swapped : {false, true}) {
                Output bytes(samples, random);
                kernels.wordsToBytes(words.data(), bytes.mine.data(), n, shift, swapped);
                plainKernels().wordsToBytes(words.data(), bytes.reference.data(), n, shift, swapped);
                EXPECT_EQ(bytes.mine.copy(), bytes.reference.copy()) << "wordsToBytes " << shift << " " << swapped;
            }
        Output swappedWords(2 * samples, random);
        kernels.swapBytes16(words.data(), swappedWords.mine.data(), n);
        plainKernels().swapBytes16(words.data(), swappedWords.reference.data(), n);
        EXPECT_EQ(swappedWords.mine.copy(), swappedWords.reference.copy()) << "swapBytes16";
    });
}

// In place, as a caller may convert a bitmap's rows where they are: the same bytes as out of place.
// (A step that stored past its own pixels would read back what it stored there.)
TEST(KernelExactness, BitmapRowsInPlace) {
    forEveryLevelAndLength([](const RowKernels& kernels, int n, std::mt19937& random) {
        for (const PixelRowKernel& row : pixelRowKernels(kernels)) {
            Buffer pixels(row.bytes * static_cast<size_t>(n), random);
            const Bytes before = pixels.copy();
            Bytes expected = before;  // swap4's fourth bytes stay
            row.reference(before.data(), expected.data(), n);
            row.mine(pixels.data(), pixels.data(), n);
            const Bytes got = pixels.copy();
            const size_t at = std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
            EXPECT_EQ(at, got.size()) << row.name << ": byte " << at << " differs (pixel " << at / row.bytes << ")";
        }
    });
}

// Every kernel that writes bitmap rows, writing `n` pixels of a row (after preparing its inputs from
// `random`) at `out`; how many bytes that is.
struct BitmapRowWriter {
    const char* name;
    size_t bytesPerPixel;
    std::function<void(const RowKernels&, uint8_t* out)> write;
};

std::vector<BitmapRowWriter> bitmapRowWriters(int n, std::mt19937& random) {
    const size_t samples = static_cast<size_t>(n);
    const auto bytes = [&](size_t count) {
        auto made = std::make_shared<Bytes>(count);
        for (uint8_t& byte : *made) byte = static_cast<uint8_t>(random());
        return made;
    };
    const auto pixels3 = bytes(3 * samples), pixels4 = bytes(4 * samples), words = bytes(2 * samples);
    const auto y = bytes(samples), u = bytes(samples), v = bytes(samples);
    const auto groups422 = bytes(2 * samples + 4), groups411 = bytes(12 * (samples / 8 + 2));
    return {
        {"swap3", 3, [=](const RowKernels& k, uint8_t* out) { k.swap3(pixels3->data(), out, n); }},
        {"swap4", 4, [=](const RowKernels& k, uint8_t* out) { k.swap4(pixels4->data(), out, n); }},
        {"rgb565To555", 2, [=](const RowKernels& k, uint8_t* out) { k.rgb565To555(words->data(), out, n); }},
        {"wordsToBytes", 1, [=](const RowKernels& k, uint8_t* out) { k.wordsToBytes(words->data(), out, n, 4, true); }},
        {"merge3", 3,
         [=](const RowKernels& k, uint8_t* out) {
             const uint8_t* const planes[3] = {y->data(), u->data(), v->data()};
             k.merge3(planes, out, n);
         }},
        {"yuvToPixels", 3,
         [=](const RowKernels& k, uint8_t* out) {
             k.yuvToPixels(YUVRow{y->data(), u->data(), v->data(), 1, 1}, out, n, PixelOrder::BGR);
         }},
        {"packed422ToPixels", 3,
         [=](const RowKernels& k, uint8_t* out) {
             k.packed422ToPixels(zorvframekit::Packed422Row{groups422->data(), 0, 1, 3, 1}, out, n, PixelOrder::BGR);
         }},
        {"packed444ToPixels", 3,
         [=](const RowKernels& k, uint8_t* out) {
             k.packed444ToPixels({pixels3->data(), 1, 0, 2}, out, n, PixelOrder::BGR);
         }},
        {"packed411ToPixels", 3,
         [=](const RowKernels& k, uint8_t* out) {
             k.packed411ToPixels(zorvframekit::Packed411Row{groups411->data(), Packed411Layout::Y41P, 3}, out, n,
                                 PixelOrder::BGR);
         }},
    };
}

// A bitmap row has neighbours (the row's padding, the next row): a kernel writes none of the bytes
// before or after its pixels, which hold a pattern here (AddressSanitizer sees no write past the end
// of a row that a larger buffer holds, and the Windows build has none).
TEST(KernelExactness, BitmapRowsWriteNothingAroundTheirPixels) {
    forEveryLevelAndLength([](const RowKernels& kernels, int n, std::mt19937& random) {
        const size_t margin = 64;
        for (const BitmapRowWriter& writer : bitmapRowWriters(n, random)) {
            const size_t size = writer.bytesPerPixel * static_cast<size_t>(n);
            Bytes out(margin + size + margin, 0xA5);
            writer.write(kernels, out.data() + margin);
            EXPECT_EQ(Bytes(out.begin(), out.begin() + margin), Bytes(margin, 0xA5)) << writer.name << ", before";
            EXPECT_EQ(Bytes(out.end() - margin, out.end()), Bytes(margin, 0xA5)) << writer.name << ", after";
        }
    });
}

// A display may show a bitmap while its rows are converted into it: every byte it reads is to be the
// old value or the new one, never one that a step stores for the moment (past the pixels it
// converts) and the next step stores over. Here each kernel converts a row into a bitmap that holds
// the result already, over and over for a while, as another thread reads the row over and over: a
// byte it reads that is not the result is such a value. (A kernel may pass without the reader
// catching it at the moment; one that fails has stored such a value.)
TEST(KernelExactness, BitmapRowsNeverShowATransientValue) {
    std::mt19937 random(21);
    const int n = 640;  // a row of a VGA bitmap
    for (const RowKernels* kernels : simdLevels())
        for (const BitmapRowWriter& writer : bitmapRowWriters(n, random)) {
            SCOPED_TRACE(nameOf(*kernels) + ", " + writer.name);
            const size_t size = writer.bytesPerPixel * static_cast<size_t>(n);
            const size_t words = (size + 7) / 8;
            std::vector<uint64_t> row(words, 0x5A5A5A5A5A5A5A5Aull);
            uint8_t* bytes = reinterpret_cast<uint8_t*>(row.data());
            writer.write(plainKernels(), bytes);
            const std::vector<uint64_t> result = row;
            std::atomic<bool> reading{false}, done{false};
            std::atomic<size_t> wrongAt{SIZE_MAX};
            std::thread display([&] {
                reading = true;
                while (!done.load(std::memory_order_relaxed) && wrongAt.load(std::memory_order_relaxed) == SIZE_MAX)
                    for (size_t w = 0; w < words; ++w)
                        if (__atomic_load_n(&row[w], __ATOMIC_RELAXED) != result[w]) {
                            wrongAt = w;
                            break;
                        }
            });
            while (!reading) std::this_thread::yield();
            const auto start = std::chrono::steady_clock::now();
            while (wrongAt == SIZE_MAX && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(40))
                for (int k = 0; k < 20; ++k) writer.write(*kernels, bytes);
            done = true;
            display.join();
            EXPECT_EQ(wrongAt.load(), SIZE_MAX) << "the display saw bytes " << 8 * wrongAt.load() << " to "
                                               << 8 * wrongAt.load() + 7 << " of the row hold something else";
            EXPECT_TRUE(row == result);
        }
}

// Every level's copy, at every placement of the destination up to 80 bytes past the source modulo
// 4096 (the SSE2 loop's and the C library's, and every alignment of the AVX2 stores), and a few just
// before: the bytes arrive, and nothing around them is touched.
TEST(KernelExactness, CopyAtEveryNearPlacement) {
    std::mt19937 random(5);
    Bytes source(8192 + 4096);
    for (uint8_t& b : source) b = static_cast<uint8_t>(random());
    std::vector<int> placements;
    for (int past = 0; past <= 80; ++past) placements.push_back(past);
    for (int past : {4032, 4088, 4095}) placements.push_back(past);
    std::vector<const RowKernels*> levels = simdLevels();
    levels.push_back(&plainKernels());
    for (const RowKernels* kernels : levels)
        for (size_t n : {0, 1, 31, 32, 33, 63, 64, 65, 127, 129, 4096 + 37, 8192})
            for (int past : placements) {
                Bytes out(n + 8192 + 64, 0xA5);
                // The source from 64 bytes into its page, the result `past` bytes on from that place.
                const uint8_t* in =
                    source.data() + (4096 + 64 - reinterpret_cast<uintptr_t>(source.data()) % 4096) % 4096;
                const size_t at = (4096 + 64 + past - reinterpret_cast<uintptr_t>(out.data()) % 4096) % 4096 + 4096;
                kernels->copy(in, out.data() + at, n);
                const std::string where = nameOf(*kernels) + ", " + std::to_string(n) + " bytes, " +
                                          std::to_string(past) + " past";
                ASSERT_TRUE(std::equal(in, in + n, out.begin() + at)) << where;
                ASSERT_TRUE(std::all_of(out.begin(), out.begin() + at, [](uint8_t b) { return b == 0xA5; }) &&
                            std::all_of(out.begin() + at + n, out.end(), [](uint8_t b) { return b == 0xA5; }))
                    << where << ": a byte around them written";
            }
}

// Every row count a strip can have, with columns as long as the strip or longer; the last column
// ends where the output's allocation does.
TEST(KernelExactness, Transposes) {
    forEveryLevelAndLength([](const RowKernels& kernels, int width, std::mt19937& random) {
        for (int rowCount : {1, 2, 3, 7, 8, 9, 15, 16, 17, 23, 24, 31, 32, 33, 47, 63, 64}) {
            const size_t stride = static_cast<size_t>(rowCount + (width % 3 == 0 ? 0 : width % 5));
            const size_t size = width == 0 ? 0 : (width - 1) * stride + rowCount;
            std::vector<Buffer> rows, wordRows;
            std::vector<const uint8_t*> pointers, wordPointers;
            for (int i = 0; i < rowCount; ++i) {
                rows.emplace_back(static_cast<size_t>(width), random);
                wordRows.emplace_back(2 * static_cast<size_t>(width), random);
            }
            for (int i = 0; i < rowCount; ++i) pointers.push_back(rows[i].data()), wordPointers.push_back(wordRows[i].data());
            Output out(size, random);
            kernels.transpose8(pointers.data(), rowCount, width, out.mine.data(), stride);
            plainKernels().transpose8(pointers.data(), rowCount, width, out.reference.data(), stride);
            EXPECT_EQ(out.mine.copy(), out.reference.copy()) << "transpose8, " << rowCount << " rows";
            Output doubled(width == 0 ? 0 : (2 * width - 1) * stride + rowCount, random);
            kernels.transpose8Doubled(pointers.data(), rowCount, width, doubled.mine.data(), stride);
            plainKernels().transpose8Doubled(pointers.data(), rowCount, width, doubled.reference.data(), stride);
            EXPECT_EQ(doubled.mine.copy(), doubled.reference.copy()) << "transpose8Doubled, " << rowCount << " rows";
            for (bool swapped : {false, true}) {
                Output words(2 * size, random);
                kernels.transpose16(wordPointers.data(), rowCount, width,
                                    reinterpret_cast<uint16_t*>(words.mine.data()), stride, swapped);
                plainKernels().transpose16(wordPointers.data(), rowCount, width,
                                           reinterpret_cast<uint16_t*>(words.reference.data()), stride, swapped);
                EXPECT_EQ(words.mine.copy(), words.reference.copy()) << "transpose16, " << rowCount << " rows";
            }
        }
    });
}

// ---- Whole frames -----------------------------------------------------------------------------

// Everything a frame hands out: its host arrays (native and for every mask), the same images row by
// row, and its bitmap.
struct FrameOutputs {
    std::vector<Bytes> arrays;
    std::vector<std::vector<int>> shapes;
    Bitmap bitmap;

    bool operator==(const FrameOutputs& other) const {
        return arrays == other.arrays && shapes == other.shapes && bitmap.pixels == other.bitmap.pixels &&
               std::memcmp(&bitmap.header, &other.bitmap.header, sizeof bitmap.header) == 0;
    }
};

// The row-major image of `accepted` (its buffer ending where the image does), which must hold the
// host array's samples row after row: sample (r, c, b) at ((r * w + c) * bands + b) * size, where
// the column-major array has it at ((b * w + c) * h + r) * size.
Bytes rowMajorOf(IFrame* frame, int accepted, HostArray array) {
    zorvframekit::RowMajorImage* image = zorvframekit::rowMajorImageOf(frame);
    const zorvframekit::RowMajorLayout layout = image->rowMajorLayout(accepted);
    if (array == nullptr) {
        EXPECT_EQ(layout.colorSpace, 0) << "mask " << accepted;
        return {};
    }
    const std::vector<int> dims = dimensionsOf(array);
    const size_t h = dims[0], w = dims[1], bands = dims.size() > 2 ? dims[2] : 1;
    const size_t size = static_cast<size_t>(haGetElementSize(array));
    EXPECT_TRUE(layout.colorSpace != 0 && size_t(layout.bands) == bands && size_t(layout.sampleBytes) == size)
        << "mask " << accepted;
    FlushBuffer rows(h * w * bands * size);
    if (!image->fillRowMajor(accepted, rows.data())) {
        ADD_FAILURE() << "no row-major image for mask " << accepted;
        return {};
    }
    const uint8_t* columns = static_cast<const uint8_t*>(haGetData(array));
    for (size_t b = 0; b < bands; ++b)
        for (size_t c = 0; c < w; ++c)
            for (size_t r = 0; r < h; ++r)
                if (std::memcmp(rows.data() + ((r * w + c) * bands + b) * size, columns + ((b * w + c) * h + r) * size,
                                size) != 0) {
                    ADD_FAILURE() << "mask " << accepted << ": the row-major image differs at row " << r << ", column "
                                  << c << ", band " << b;
                    return {};
                }
    return Bytes(rows.data(), rows.data() + rows.size);
}

FrameOutputs outputsOf(IFrame* frame) {
    FrameOutputs outputs;
    // One mask for each colour space; which one a mask of several chooses is the conversion suite's.
    for (int mask : {0, 1, 2, 4}) {
        // Mask 0 stands for the native array.
        HostArray array = mask == 0 ? frame->getNativeHostArray() : frame->getHostArray(mask);
        outputs.arrays.push_back(rowMajorOf(frame, mask == 0 ? frame->getColorSpace() : mask, array));
        if (array == nullptr) {
            outputs.shapes.push_back({});
            outputs.arrays.push_back({});
            continue;
        }
        outputs.shapes.push_back(dimensionsOf(array));
        outputs.shapes.back().push_back(haGetClassID(array));
        const uint8_t* data = static_cast<const uint8_t*>(haGetData(array));
        outputs.arrays.emplace_back(data, data + haGetNumberOfElements(array) * haGetElementSize(array));
        haFree(array);
    }
    outputs.bitmap = bitmapOf(frame);
    return outputs;
}

struct FrameFormat {
    uint32_t family;
    int formats;
    bool rowOrders;  // the family honours the bottom-up bit
    int groupPixels;  // packed YUV: pixels a group, for windows starting inside one
};

const FrameFormat kFrameFormats[] = {
    {zorvframekit::kFamilyMonochrome, 9, true, 1},  {zorvframekit::kFamilyRGB24Packed, 4, true, 1},
    {zorvframekit::kFamilyRGB16, 2, true, 1},       {zorvframekit::kFamilyRGB24Planar, 1, false, 1},
    {zorvframekit::kFamilyYUVPacked, 7, false, 0},  {zorvframekit::kFamilyYUVPlanar, 3, false, 1},
};
const int kPackedGroupPixels[7] = {2, 2, 2, 4, 1, 8, 1};
const int kPackedGroupBytes[7] = {4, 4, 4, 6, 3, 12, 3};

// Sets every level in turn and restores the best when done.
struct EveryLevel {
    ~EveryLevel() { zorvframekit::forceKernelLevel(zorvframekit::bestKernelLevel()); }
};

// A frame of random bytes: packed YUV frames cut as a window from a wider source, starting
// `width % groupPixels` pixels into a group, so that every offset comes up across the widths.
void fillFrame(IFrame* frame, const FrameFormat& format, int formatIndex, int width, int height, std::mt19937& random) {
    if (format.family != zorvframekit::kFamilyYUVPacked) {
        FlushBuffer raw(static_cast<size_t>(frame->getDataSize()));
        raw.randomise(random());
        frame->copyData(raw.data());
        return;
    }
    const int pixels = kPackedGroupPixels[formatIndex], offset = width % pixels;
    const int sourceWidth = width + offset + pixels, groups = (sourceWidth + pixels - 1) / pixels;
    FlushBuffer source(static_cast<size_t>(groups) * kPackedGroupBytes[formatIndex] * (height + 1));
    source.randomise(random());
    frame->copyRegion(source.data(), sourceWidth, height + 1, offset, 1);
}

void expectEveryLevelMatchesPlain(const FrameFormat& format, int formatIndex, bool bottomUp, int width, int height,
                                  std::mt19937& random) {
    const FrameTypeCode code = zorvframekit::makeFrameTypeCode(format.family, uint32_t(formatIndex), bottomUp);
    TestFrameHandle frame(code, width, height);
    ASSERT_TRUE(frame);
    fillFrame(frame.frame.get(), format, formatIndex, width, height, random);
    ASSERT_TRUE(frame->hasData());
    ASSERT_TRUE(zorvframekit::forceKernelLevel(KernelLevel::Plain));
    const FrameOutputs reference = outputsOf(frame.frame.get());
    for (const RowKernels* kernels : simdLevels()) {
        zorvframekit::forceKernelLevel(kernels->level);
        if (!(outputsOf(frame.frame.get()) == reference)) {
            ADD_FAILURE() << std::hex << "code 0x" << code << std::dec << ", " << width << "x" << height << ": "
                          << nameOf(*kernels) << " differs from the plain kernels";
            return;
        }
    }
}

// A frame without data has no row-major image, and asking for one gives it no buffer.
TEST(FrameKernels, NoRowMajorImageWithoutData) {
    for (const FrameFormat& format : kFrameFormats) {
        TestFrameHandle frame(zorvframekit::makeFrameTypeCode(format.family, 0, false), 4, 4);
        ASSERT_TRUE(frame);  // with a limiter that would grant a buffer, were one asked for
        uint8_t image[4 * 4 * 3 * 2];
        for (int mask : {1, 2, 4}) EXPECT_FALSE(zorvframekit::rowMajorImageOf(frame.frame.get())->fillRowMajor(mask, image));
        EXPECT_FALSE(frame->hasData());
    }
}

TEST(FrameKernels, EveryFormatSizeAndRowOrderGivesThePlainResultAtEveryLevel) {
    EveryLevel restore;
    std::mt19937 random(77);
    for (const FrameFormat& format : kFrameFormats)
        for (int formatIndex = 0; formatIndex < format.formats; ++formatIndex)
            for (bool bottomUp : {false, true}) {
                if (bottomUp && !format.rowOrders) continue;
                // 1 to 67 columns reach every vector tail; strips are 64 rows, transposed in blocks of
                // 8 or 16, and rows are made in chunks of 1024 or 2048 columns.
                for (int height : {1, 3, 17})
                    for (int width = 1; width <= 67; ++width)
                        expectEveryLevelMatchesPlain(format, formatIndex, bottomUp, width, height, random);
                for (int width : {1, 2, 15, 16, 17, 31, 32, 33, 47, 64, 67})
                    expectEveryLevelMatchesPlain(format, formatIndex, bottomUp, width, 66, random);
                for (int width : {255, 256, 257, 600, 2047, 2048, 2049, 2100})
                    expectEveryLevelMatchesPlain(format, formatIndex, bottomUp, width, 2, random);
            }
}

}  // namespace
