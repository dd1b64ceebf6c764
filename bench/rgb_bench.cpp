// RGB frames (packed RGB24/32, RGB16, planar RGB24): host arrays (native and converted), bitmaps and
// copying a window in, each against a memcpy of the frame's raw bytes.
#include <memory>
#include <random>
#include <vector>

#include "bench_util.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace {

using zfkbench::BenchFrame;

using zorvframekit::kColorSpaceMonochrome;
using zorvframekit::kColorSpaceYUV;
using zorvframekit::kFamilyRGB16;
using zorvframekit::kFamilyRGB24Packed;
using zorvframekit::kFamilyRGB24Planar;
using zorvframekit::makeFrameTypeCode;

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


void nativeHostArray(benchmark::State& state, const Format& format) {
    BenchFrame f(format.family, format.formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] { haFree(f.frame->getNativeHostArray()); });
}

void fillBitmap(benchmark::State& state, const Format& format) {
    BenchFrame f(format.family, format.formatIndex, int(state.range(0)), int(state.range(1)));
    std::vector<unsigned char> pixels(static_cast<size_t>(f.frame->getBitmapSize()));
    BITMAPINFOHEADER header;
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] {
        f.frame->fillBitmap(&header, pixels.data());
        benchmark::ClobberMemory();
    });
}

void hostArrayAs(benchmark::State& state, const Format& format, int mask) {
    BenchFrame f(format.family, format.formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] { haFree(f.frame->getHostArray(mask)); });
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
