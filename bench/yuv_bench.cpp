// Packed and planar YUV frames: host arrays (native and as RGB), bitmaps, and windows copied out of
// a larger image, both on a pixel-group boundary and starting inside a group.
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace {

using zfkbench::BenchFrame;
using zfkbench::randomBytes;

using zorvframekit::kFamilyYUVPacked;
using zorvframekit::kFamilyYUVPlanar;
using zorvframekit::makeFrameTypeCode;

struct Layout {
    const char* name;
    uint32_t family;
    int formatIndex;
    int groupPixels;  // pixels per packed group, or the planar chroma subsampling
    int groupBytes;   // bytes per packed group; 0 for planar layouts
};

const Layout layouts[] = {
    {"YUY2", kFamilyYUVPacked, 0, 2, 4},
    {"UYVY", kFamilyYUVPacked, 1, 2, 4},
    {"Packed411_12", kFamilyYUVPacked, 5, 8, 12},
    {"YV12", kFamilyYUVPlanar, 1, 2, 0},
    {"I420", kFamilyYUVPlanar, 2, 2, 0},
};

// Bytes of a width x height image in the layout, as a device delivers it.
size_t imageBytes(const Layout& layout, int width, int height) {
    if (layout.groupBytes > 0)
        return size_t((width + layout.groupPixels - 1) / layout.groupPixels) * layout.groupBytes * height;
    const size_t luma = size_t(width) * height;
    return luma + 2 * (luma / (layout.groupPixels * layout.groupPixels));
}



void nativeHostArray(benchmark::State& state, const Layout& layout) {
    BenchFrame f(layout.family, layout.formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] { haFree(f.frame->getNativeHostArray()); });
}

void hostArrayToRGB(benchmark::State& state, const Layout& layout) {
    BenchFrame f(layout.family, layout.formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] { haFree(f.frame->getHostArray(zorvframekit::kColorSpaceRGB)); });
}

void fillBitmap(benchmark::State& state, const Layout& layout) {
    BenchFrame f(layout.family, layout.formatIndex, int(state.range(0)), int(state.range(1)));
    std::vector<unsigned char> pixels(static_cast<size_t>(f.frame->getBitmapSize()));
    BITMAPINFOHEADER header;
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] {
        f.frame->fillBitmap(&header, pixels.data());
        benchmark::ClobberMemory();
    });
}

// The window sits in the middle of a source twice the frame's width and height; `offset` pixels past
// a group boundary.
void copyRegion(benchmark::State& state, const Layout& layout, int offset) {
    const int width = int(state.range(0)), height = int(state.range(1));
    BenchFrame f(layout.family, layout.formatIndex, width, height);
    const std::vector<unsigned char> source = randomBytes(imageBytes(layout, 2 * width, 2 * height));
    const int x = width / 2 / layout.groupPixels * layout.groupPixels + offset;
    zfkbench::runAgainstMemcpy(state, f.bytes(), [&] {
        f.frame->copyRegion(source.data(), 2 * width, 2 * height, x, height / 2);
        benchmark::ClobberMemory();
    });
}

int registerAll() {
    for (const Layout& layout : layouts) {
        const std::string name = layout.name;
        benchmark::RegisterBenchmark((name + "/getNativeHostArray").c_str(), nativeHostArray, layout)->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/getHostArray_RGB").c_str(), hostArrayToRGB, layout)->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/fillBitmap").c_str(), fillBitmap, layout)->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/copyRegion_aligned").c_str(), copyRegion, layout, 0)->ZFK_FRAME_SIZES;
        benchmark::RegisterBenchmark((name + "/copyRegion_inGroup").c_str(), copyRegion, layout, 1)->ZFK_FRAME_SIZES;
    }
    return 0;
}

const int registered = registerAll();

}  // namespace
