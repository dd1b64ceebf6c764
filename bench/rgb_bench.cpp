// RGB frames (packed RGB24/32, RGB16, planar RGB24): host arrays (native and converted), bitmaps and
// copying a window in.
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

#if defined(ZFK_HAVE_LIBYUV)
#include <libyuv.h>
#endif

namespace {

using zfkbench::Baselines;
using zfkbench::BenchFrame;

using zorvframekit::kColorSpaceMonochrome;
using zorvframekit::kColorSpaceYUV;
using zorvframekit::kFamilyRGB16;
using zorvframekit::kFamilyRGB24Packed;
using zorvframekit::kFamilyRGB24Planar;

// The formats measured: each benchmark name starts with the format's name.
struct Format {
    const char* name;
    uint32_t family;
    int formatIndex;
};
const Format kFormats[] = {
    {"RGB24", kFamilyRGB24Packed, 0},    {"BGR24", kFamilyRGB24Packed, 1}, {"RGBX32", kFamilyRGB24Packed, 2},
    {"BGRX32", kFamilyRGB24Packed, 3},   {"RGB555", kFamilyRGB16, 0},      {"RGB565", kFamilyRGB16, 1},
    {"RGB24Planar", kFamilyRGB24Planar, 0},
};

#if defined(ZFK_HAVE_LIBYUV)
// libyuv's way to a column-major host array of a packed RGB frame: split the pixels into three
// planes (a whole-frame intermediate), then transpose each plane into the array.
std::function<void()> splitAndTranspose(const BenchFrame& f, int bytesPerPixel) {
    const int width = f.width, height = f.height;
    auto planes = std::make_shared<std::vector<unsigned char>>(size_t(3) * width * height);
    const unsigned char* raw = f.raw.data();
    return [=] {
        unsigned char *r = planes->data(), *g = r + size_t(width) * height, *b = g + size_t(width) * height;
        if (bytesPerPixel == 3)
            libyuv::SplitRGBPlane(raw, 3 * width, r, width, g, width, b, width, width, height);
        else
            libyuv::SplitARGBPlane(raw, 4 * width, r, width, g, width, b, width, nullptr, 0, width, height);
        const int shape[3] = {height, width, 3};
        HostArray array = haCreateNumericArray(3, shape, haUint8Class, 0);
        unsigned char* out = static_cast<unsigned char*>(haGetData(array));
        for (int p = 0; p < 3; ++p)
            libyuv::TransposePlane(planes->data() + size_t(p) * width * height, width,
                                   out + size_t(p) * width * height, height, width, height);
        benchmark::DoNotOptimize(out);
        haFree(array);
    };
}

// Bitmaps: bottom-up rows (a negative height), blue first.
std::function<void()> bitmapPeer(BenchFrame& f, const Format& format) {
    const int width = f.width, height = f.height;
    unsigned char* const pixels = f.bitmap.data();  // rows of 3 * width bytes: the sizes are multiples of 4
    const unsigned char* raw = f.raw.data();
    if (format.family == kFamilyRGB24Packed && format.formatIndex == 0)
        return [=] { libyuv::RAWToRGB24(raw, 3 * width, pixels, 3 * width, width, -height); };
    if (format.family == kFamilyRGB24Planar) {
        const unsigned char *r = raw, *g = r + size_t(width) * height, *b = g + size_t(width) * height;
        return [=] { libyuv::MergeRGBPlane(b, width, g, width, r, width, pixels, 3 * width, width, -height); };
    }
    return nullptr;
}
#endif

void nativeHostArray(benchmark::State& state, const Format& format) {
    BenchFrame f(format.family, format.formatIndex, int(state.range(0)), int(state.range(1)));
    Baselines baselines = f.hostArrayBaselines(3);
#if defined(ZFK_HAVE_LIBYUV)
    if (format.family == kFamilyRGB24Packed) baselines.peer = splitAndTranspose(f, format.formatIndex < 2 ? 3 : 4);
#endif
    zfkbench::runWithBaselines(state, baselines, [&] { haFree(f.frame->getNativeHostArray()); });
}

void fillBitmap(benchmark::State& state, const Format& format) {
    BenchFrame f(format.family, format.formatIndex, int(state.range(0)), int(state.range(1)));
    Baselines baselines = f.bitmapBaselines();
#if defined(ZFK_HAVE_LIBYUV)
    baselines.peer = bitmapPeer(f, format);
#endif
    zfkbench::runWithBaselines(state, baselines, f.fillBitmap());
}

// The native array comes first and is the floor's shape, whatever the result's.
void hostArrayAs(benchmark::State& state, const Format& format, int mask) {
    BenchFrame f(format.family, format.formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runWithBaselines(state, f.hostArrayBaselines(3), [&] { haFree(f.frame->getHostArray(mask)); });
}

void copyRegion(benchmark::State& state, const Format& format) {
    const int width = int(state.range(0)), height = int(state.range(1));
    BenchFrame f(format.family, format.formatIndex, width, height);
    // The window sits inside a source twice the frame's width and height.
    std::vector<unsigned char> source(size_t(4) * f.bytes(), 0x33);
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] {
        f.frame->copyRegion(source.data(), 2 * width, 2 * height, width / 2, height / 2);
        benchmark::ClobberMemory();
    });
}

int registerAll() {
    for (const Format& format : kFormats) {
        const std::string name = format.name;
        benchmark::RegisterBenchmark((name + "/getNativeHostArray").c_str(),
                                     [&format](benchmark::State& s) { nativeHostArray(s, format); })
            ->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/fillBitmap").c_str(),
                                     [&format](benchmark::State& s) { fillBitmap(s, format); })
            ->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/getHostArray_YUV").c_str(),
                                     [&format](benchmark::State& s) { hostArrayAs(s, format, kColorSpaceYUV); })
            ->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/getHostArray_Mono").c_str(),
                                     [&format](benchmark::State& s) { hostArrayAs(s, format, kColorSpaceMonochrome); })
            ->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/copyRegion").c_str(),
                                     [&format](benchmark::State& s) { copyRegion(s, format); })
            ->ZFK_FRAME_SIZES;
    }
    return 0;
}
const int registered = registerAll();

}  // namespace
