// Every benchmark reports its time per operation against baselines timed in the same iterations, on
// the same machine, so that figures from different machines (and from a machine others are loading)
// compare (each timed as a warm second run):
//   x_memcpy  a memcpy of the bytes the operation writes (the raw frame for copies, the bitmap for
//             fillBitmap, the host array for host arrays);
//   x_floor   what a host array cannot go below: haCreateNumericArray of the result's shape, a memcpy
//             of the result's bytes into it, and haFree;
//   x_libyuv  the nearest operation of libyuv, where it has one and the benchmarks were built with it;
//   x_yuy2    this library's YUY2 bitmap of the same size, for the YUV layouts libyuv lacks (their
//             goals are set against it, and a ratio of two runs apart would carry the machine's drift).
// A bitmap's baselines write into the bitmap itself: on a virtual machine the same copy can take a
// third longer into one buffer than into another allocated alike.
#ifndef ZORVFRAMEKIT_BENCH_BENCH_UTIL_H
#define ZORVFRAMEKIT_BENCH_BENCH_UTIL_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

namespace zfkbench {

// The same pseudo-random bytes every run.
inline std::vector<unsigned char> randomBytes(size_t size) {
    std::vector<unsigned char> bytes(size);
    std::mt19937 random(7);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
    return bytes;
}

// What an operation is compared with. Empty parts are not measured.
struct Baselines {
    size_t memcpyBytes = 0;
    unsigned char* memcpyTo = nullptr;  // the operation's destination, if it is always the same buffer
    std::vector<int> floorShape;  // the dimensions of the host array the operation returns
    int floorClass = haUint8Class;
    std::function<void()> peer;  // libyuv's nearest operation
    std::function<void()> yuy2;  // the YUY2 bitmap of the same size
};

inline size_t elementsOf(const std::vector<int>& shape) {
    size_t n = 1;
    for (int extent : shape) n *= static_cast<size_t>(extent);
    return n;
}

inline size_t floorBytes(const Baselines& baselines) {
    return elementsOf(baselines.floorShape) * (baselines.floorClass == haUint16Class ? 2 : 1);
}

// Runs `operation` in the benchmark loop. Before each timed call, with the benchmark's clock paused,
// each baseline runs twice, the second time timed, and then the operation runs once untimed: every
// time is of a warm second run, and the operation and its baselines share whatever the machine was
// doing at that moment. The ratios are of the summed times.
template <typename Operation>
void runWithBaselines(benchmark::State& state, const Baselines& baselines, Operation operation) {
    using Clock = std::chrono::steady_clock;
    const size_t copyBytes = std::max(baselines.memcpyBytes, floorBytes(baselines));
    const std::vector<unsigned char> from = randomBytes(copyBytes);
    std::vector<unsigned char> ownTo(baselines.memcpyTo ? 0 : copyBytes);
    unsigned char* const to = baselines.memcpyTo ? baselines.memcpyTo : ownTo.data();
    const int dimensions = static_cast<int>(baselines.floorShape.size());
    const auto timeSecond = [](auto run) {
        run();
        const Clock::time_point start = Clock::now();
        run();
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    };
    double own = 0, memcpyTime = 0, floorTime = 0, peerTime = 0, yuy2Time = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (baselines.memcpyBytes > 0)
            memcpyTime += timeSecond([&] {
                std::memcpy(to, from.data(), baselines.memcpyBytes);
                benchmark::ClobberMemory();
            });
        if (dimensions > 0)
            floorTime += timeSecond([&] {
                HostArray array = haCreateNumericArray(dimensions, baselines.floorShape.data(), baselines.floorClass, 0);
                std::memcpy(haGetData(array), from.data(), floorBytes(baselines));
                benchmark::ClobberMemory();
                haFree(array);
            });
        if (baselines.peer)
            peerTime += timeSecond([&] {
                baselines.peer();
                benchmark::ClobberMemory();
            });
        if (baselines.yuy2)
            yuy2Time += timeSecond([&] {
                baselines.yuy2();
                benchmark::ClobberMemory();
            });
        operation();
        benchmark::ClobberMemory();
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        operation();
        benchmark::ClobberMemory();
        own += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    }
    const double calls = static_cast<double>(state.iterations());
    state.counters["us"] = own / calls / 1000.0;
    if (memcpyTime > 0) {
        state.counters["x_memcpy"] = own / memcpyTime;
        state.counters["memcpy_us"] = memcpyTime / calls / 1000.0;
    }
    if (floorTime > 0) {
        state.counters["x_floor"] = own / floorTime;
        state.counters["floor_us"] = floorTime / calls / 1000.0;
    }
    if (peerTime > 0) {
        state.counters["x_libyuv"] = own / peerTime;
        state.counters["libyuv_us"] = peerTime / calls / 1000.0;
    }
    if (yuy2Time > 0) {
        state.counters["x_yuy2"] = own / yuy2Time;
        state.counters["yuy2_us"] = yuy2Time / calls / 1000.0;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(baselines.memcpyBytes));
}

// Only the memcpy baseline: for copies into a frame.
template <typename Operation>
void runAgainstMemcpy(benchmark::State& state, size_t bytesWritten, Operation operation) {
    Baselines baselines;
    baselines.memcpyBytes = bytesWritten;
    runWithBaselines(state, baselines, operation);
}

// A top-down frame of the given family and format filled with random raw bytes, under a limiter
// that grants it.
struct BenchFrame {
    zorvframekit::MemoryLimiter limiter{0, 2000000000};
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame;
    std::vector<unsigned char> raw;
    std::vector<unsigned char> bitmap;  // fillBitmap's destination, made once
    int width, height;

    BenchFrame(uint32_t family, int formatIndex, int width, int height) : width(width), height(height) {
        limiter.setMemoryLimit(2000000000);
        frame.reset(frameFactory(zorvframekit::makeFrameTypeCode(family, uint32_t(formatIndex), false), width, height));
        frame->setMemoryLimiter(&limiter);
        raw = randomBytes(static_cast<size_t>(frame->getDataSize()));
        frame->copyData(raw.data());
        bitmap.resize(static_cast<size_t>(frame->getBitmapSize()));
    }
    size_t bytes() const { return raw.size(); }

    // Baselines for a host array of `bands` bands of `sampleBytes` bytes a sample.
    Baselines hostArrayBaselines(int bands, int sampleBytes = 1) const {
        Baselines baselines;
        baselines.floorShape = {height, width, bands};
        baselines.floorClass = sampleBytes == 2 ? haUint16Class : haUint8Class;
        baselines.memcpyBytes = floorBytes(baselines);
        return baselines;
    }
    Baselines bitmapBaselines() {
        Baselines baselines;
        baselines.memcpyBytes = bitmap.size();
        baselines.memcpyTo = bitmap.data();
        return baselines;
    }

    std::function<void()> fillBitmap() { return fillBitmapInto(bitmap.data()); }
    // Into another frame's bitmap of the same size, so that a baseline writes where the operation does.
    std::function<void()> fillBitmapInto(unsigned char* pixels) {
        IFrame* target = frame.get();
        return [target, pixels] {
            BITMAPINFOHEADER header;
            target->fillBitmap(&header, pixels);
            benchmark::DoNotOptimize(pixels);
        };
    }
};

// The frame sizes every benchmark runs at.
#define ZFK_FRAME_SIZES Args({640, 480})->Args({1920, 1080})

}  // namespace zfkbench

#endif  // ZORVFRAMEKIT_BENCH_BENCH_UTIL_H
