// Packed and planar YUV frames: host arrays (native and as RGB), bitmaps, and windows copied out of
// a larger image, both on a pixel-group boundary and starting inside a group.
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
using zfkbench::randomBytes;

using zorvframekit::kFamilyYUVPacked;
using zorvframekit::kFamilyYUVPlanar;

struct Layout {
    const char* name;
    uint32_t family;
    int formatIndex;
    int groupPixels;  // pixels per packed group, or the planar chroma subsampling
    int groupBytes;   // bytes per packed group; 0 for planar layouts
};

const Layout layouts[] = {
    {"YUY2", kFamilyYUVPacked, 0, 2, 4},  {"UYVY", kFamilyYUVPacked, 1, 2, 4}, {"YVYU", kFamilyYUVPacked, 2, 2, 4},
    {"Y411", kFamilyYUVPacked, 3, 4, 6},  {"IYU2", kFamilyYUVPacked, 4, 1, 3}, {"Y41P", kFamilyYUVPacked, 5, 8, 12},
    {"UVY", kFamilyYUVPacked, 6, 1, 3},   {"YVU9", kFamilyYUVPlanar, 0, 4, 0}, {"YV12", kFamilyYUVPlanar, 1, 2, 0},
    {"I420", kFamilyYUVPlanar, 2, 2, 0},
};

// Bytes of a width x height image in the layout, as a device delivers it.
size_t imageBytes(const Layout& layout, int width, int height) {
    if (layout.groupBytes > 0)
        return size_t((width + layout.groupPixels - 1) / layout.groupPixels) * layout.groupBytes * height;
    const size_t luma = size_t(width) * height;
    return luma + 2 * (luma / (layout.groupPixels * layout.groupPixels));
}

#if defined(ZFK_HAVE_LIBYUV)
// libyuv's nearest bitmap: bottom-up rows, blue first. It has no packed YUV to 24-bit conversion, so
// a packed row goes to a 32-bit row in cache and on to the bitmap row.
std::function<void()> bitmapPeer(BenchFrame& f, const Layout& layout) {
    const int width = f.width, height = f.height, stride = (3 * width + 3) & ~3;
    unsigned char* const pixels = f.bitmap.data();
    auto argb = std::make_shared<std::vector<unsigned char>>(size_t(4) * width);
    const unsigned char* raw = f.raw.data();
    if (layout.family == kFamilyYUVPacked && layout.formatIndex <= 1) {
        const bool yuy2 = layout.formatIndex == 0;
        const int rowBytes = (width + 1) / 2 * 4;
        return [=] {
            for (int r = 0; r < height; ++r) {
                const unsigned char* row = raw + size_t(r) * rowBytes;
                if (yuy2)
                    libyuv::YUY2ToARGB(row, rowBytes, argb->data(), 4 * width, width, 1);
                else
                    libyuv::UYVYToARGB(row, rowBytes, argb->data(), 4 * width, width, 1);
                libyuv::ARGBToRGB24(argb->data(), 4 * width, pixels + size_t(height - 1 - r) * stride, stride,
                                    width, 1);
            }
        };
    }
    if (layout.family == kFamilyYUVPlanar && layout.formatIndex >= 1) {
        // Both padded to even sizes; the benchmark sizes are even.
        const unsigned char* y = raw;
        const unsigned char* second = y + size_t(width) * height;
        const unsigned char* third = second + size_t(width / 2) * (height / 2);
        const unsigned char *u = layout.formatIndex == 2 ? second : third, *v = layout.formatIndex == 2 ? third : second;
        return [=] { libyuv::I420ToRGB24(y, width, u, width / 2, v, width / 2, pixels, stride, width, -height); };
    }
    return nullptr;
}
#endif

void nativeHostArray(benchmark::State& state, const Layout& layout) {
    BenchFrame f(layout.family, layout.formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runWithBaselines(state, f.hostArrayBaselines(3), [&] { haFree(f.frame->getNativeHostArray()); });
}

void hostArrayToRGB(benchmark::State& state, const Layout& layout) {
    BenchFrame f(layout.family, layout.formatIndex, int(state.range(0)), int(state.range(1)));
    zfkbench::runWithBaselines(state, f.hostArrayBaselines(3),
                               [&] { haFree(f.frame->getHostArray(zorvframekit::kColorSpaceRGB)); });
}

void fillBitmap(benchmark::State& state, const Layout& layout) {
    BenchFrame f(layout.family, layout.formatIndex, int(state.range(0)), int(state.range(1)));
    Baselines baselines = f.bitmapBaselines();
#if defined(ZFK_HAVE_LIBYUV)
    baselines.peer = bitmapPeer(f, layout);
#endif
    if (!baselines.peer && !(layout.family == kFamilyYUVPacked && layout.formatIndex == 0)) {
        const auto yuy2 = std::make_shared<BenchFrame>(kFamilyYUVPacked, 0, f.width, f.height);
        const std::function<void()> fill = yuy2->fillBitmapInto(f.bitmap.data());
        baselines.yuy2 = [yuy2, fill] { fill(); };
    }
    zfkbench::runWithBaselines(state, baselines, f.fillBitmap());
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
        if (layout.groupPixels > 1)
            benchmark::RegisterBenchmark((name + "/copyRegion_inGroup").c_str(), copyRegion, layout, 1)->ZFK_FRAME_SIZES;
    }
    return 0;
}

const int registered = registerAll();

}  // namespace
