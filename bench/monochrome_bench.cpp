// Monochrome frames: copying in, host arrays (native and converted) and bitmaps.
#include <vector>

#include "bench_util.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace {

using zfkbench::BenchFrame;

using zorvframekit::kFamilyMonochrome;

void copyData(benchmark::State& state) {
    BenchFrame f(kFamilyMonochrome, 0, int(state.range(0)), int(state.range(1)));
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] { benchmark::DoNotOptimize(f.frame->copyData(f.raw.data())); });
}

void copyRegion(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    BenchFrame f(kFamilyMonochrome, 0, width, height);
    // The window sits inside a source twice the frame's width and height.
    std::vector<unsigned char> source(size_t(4) * width * height, 0x33);
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] {
        f.frame->copyRegion(source.data(), 2 * width, 2 * height, width / 2, height / 2);
        benchmark::ClobberMemory();
    });
}

void nativeHostArray(benchmark::State& state, int formatIndex) {
    BenchFrame f(kFamilyMonochrome, formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runWithBaselines(state, f.hostArrayBaselines(1, formatIndex == 0 ? 1 : 2),
                               [&] { haFree(f.frame->getNativeHostArray()); });
}
void nativeHostArray8(benchmark::State& state) { nativeHostArray(state, 0); }
void nativeHostArray16(benchmark::State& state) { nativeHostArray(state, 4); }
void nativeHostArray16BE(benchmark::State& state) { nativeHostArray(state, 8); }

void fillBitmap(benchmark::State& state, int formatIndex) {
    BenchFrame f(kFamilyMonochrome, formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runWithBaselines(state, f.bitmapBaselines(), f.fillBitmap());
}
void fillBitmap8(benchmark::State& state) { fillBitmap(state, 0); }
void fillBitmap16(benchmark::State& state) { fillBitmap(state, 4); }
void fillBitmap16BE(benchmark::State& state) { fillBitmap(state, 8); }

void hostArrayAs(benchmark::State& state, int mask) {
    BenchFrame f(kFamilyMonochrome, 0, int(state.range(0)), int(state.range(1)));
    zfkbench::runWithBaselines(state, f.hostArrayBaselines(3), [&] { haFree(f.frame->getHostArray(mask)); });
}
void hostArrayToRGB(benchmark::State& state) { hostArrayAs(state, zorvframekit::kColorSpaceRGB); }
void hostArrayToYUV(benchmark::State& state) { hostArrayAs(state, zorvframekit::kColorSpaceYUV); }

BENCHMARK(copyData)->Name("Mono8/copyData")->ZFK_FRAME_SIZES;
BENCHMARK(copyRegion)->Name("Mono8/copyRegion")->ZFK_FRAME_SIZES;
BENCHMARK(nativeHostArray8)->Name("Mono8/getNativeHostArray")->ZFK_FRAME_SIZES;
BENCHMARK(nativeHostArray16)->Name("Mono16/getNativeHostArray")->ZFK_FRAME_SIZES;
BENCHMARK(nativeHostArray16BE)->Name("Mono16BE/getNativeHostArray")->ZFK_FRAME_SIZES;
BENCHMARK(fillBitmap8)->Name("Mono8/fillBitmap")->ZFK_FRAME_SIZES;
BENCHMARK(fillBitmap16)->Name("Mono16/fillBitmap")->ZFK_FRAME_SIZES;
BENCHMARK(fillBitmap16BE)->Name("Mono16BE/fillBitmap")->ZFK_FRAME_SIZES;
BENCHMARK(hostArrayToRGB)->Name("Mono8/getHostArray_RGB")->ZFK_FRAME_SIZES;
BENCHMARK(hostArrayToYUV)->Name("Mono8/getHostArray_YUV")->ZFK_FRAME_SIZES;

}  // namespace
