// Every benchmark reports its time per operation as a multiple of a memcpy of the frame's raw bytes,
// measured in the same run on the same machine, so that figures from different machines compare.
#ifndef ZORVFRAMEKIT_BENCH_BENCH_UTIL_H
#define ZORVFRAMEKIT_BENCH_BENCH_UTIL_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "zorvframekit/zorvframekit.h"

namespace zfkbench {

// Nanoseconds for one memcpy of `bytes` bytes: the best of several timed batches.
inline double memcpyNanoseconds(size_t bytes) {
    std::vector<unsigned char> from(bytes, 0x5A), to(bytes);
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    for (int batch = 0; batch < 7; ++batch) {
        int copies = 0;
        const Clock::time_point start = Clock::now();
        Clock::time_point now;
        do {
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
            ++copies;
            now = Clock::now();
        } while (now - start < std::chrono::milliseconds(5));
        best = std::min(best, std::chrono::duration<double, std::nano>(now - start).count() / copies);
    }
    return best;
}

// Runs `operation` in the benchmark loop and reports "x_memcpy": its time per call divided by the
// time of a memcpy of `rawBytes` bytes.
template <typename Operation>
void runAgainstMemcpy(benchmark::State& state, size_t rawBytes, Operation operation) {
    const double baseline = memcpyNanoseconds(rawBytes);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) operation();
    const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    const double perCall = elapsed / static_cast<double>(state.iterations());
    state.counters["x_memcpy"] = perCall / baseline;
    state.counters["memcpy_us"] = baseline / 1000.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rawBytes));
}

// The same pseudo-random bytes every run.
inline std::vector<unsigned char> randomBytes(size_t size) {
    std::vector<unsigned char> bytes(size);
    std::mt19937 random(7);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
    return bytes;
}

// A top-down frame of the given family and format filled with random raw bytes, under a limiter
// that grants it.
struct BenchFrame {
    zorvframekit::MemoryLimiter limiter{0, 2000000000};
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame;
    std::vector<unsigned char> raw;

    BenchFrame(uint32_t family, int formatIndex, int width, int height) {
        limiter.setMemoryLimit(2000000000);
        frame.reset(frameFactory(zorvframekit::makeFrameTypeCode(family, uint32_t(formatIndex), false), width, height));
        frame->setMemoryLimiter(&limiter);
        raw = randomBytes(static_cast<size_t>(frame->getDataSize()));
        frame->copyData(raw.data());
    }
    size_t bytes() const { return raw.size(); }
};

// The frame sizes every benchmark runs at.
#define ZFK_FRAME_SIZES Args({640, 480})->Args({1920, 1080})

}  // namespace zfkbench

#endif  // ZORVFRAMEKIT_BENCH_BENCH_UTIL_H
