// The pool's steady state against building every frame afresh: what the engine pays per image.
#include <vector>

#include "bench_util.h"
#include "zorvframekit/zorvframekit.h"

namespace {

const FrameTypeCode kMono8 = zorvframekit::makeFrameTypeCode(zorvframekit::kFamilyMonochrome, 0, false);

using zfkbench::randomBytes;

// getFrame hands out the held frame, copyData fills its existing buffer, release gives it back;
// the held count stays within the bounds, so neither wakes the worker.
void pooledCycle(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    zorvframekit::MemoryLimiter limiter(0, 2000000000);
    limiter.setMemoryLimit(2000000000);
    FramePool* pool = createFramePool(&limiter);
    pool->setFrameCountLimits(0, 4);  // keep what comes back, make nothing
    const std::vector<unsigned char> raw = randomBytes(size_t(width) * height);
    IFrame* first = pool->getFrame(kMono8, width, height);
    first->copyData(raw.data());
    first->release();
    bool reused = true;
    zfkbench::runAgainstMemcpy(state, raw.size(), [&] {
        IFrame* frame = pool->getFrame(kMono8, width, height);
        reused &= frame == first;
        benchmark::DoNotOptimize(frame->copyData(raw.data()));
        frame->release();
    });
    if (!reused) state.SkipWithError("the pool built a frame instead of reusing its held one");
    pool->destroy();
}

// frameFactory builds the frame, copyData's first getData allocates and charges its buffer, delete
// frees it.
void freshCycle(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    zorvframekit::MemoryLimiter limiter(0, 2000000000);
    limiter.setMemoryLimit(2000000000);
    const std::vector<unsigned char> raw = randomBytes(size_t(width) * height);
    zfkbench::runAgainstMemcpy(state, raw.size(), [&] {
        IFrame* frame = frameFactory(kMono8, width, height);
        frame->setMemoryLimiter(&limiter);
        benchmark::DoNotOptimize(frame->copyData(raw.data()));
        frame->release();  // no pool: deleted
    });
}

BENCHMARK(pooledCycle)->Name("Pool/getFrame_copyData_release")->ZFK_FRAME_SIZES;
BENCHMARK(freshCycle)->Name("Pool/frameFactory_copyData_delete")->ZFK_FRAME_SIZES;

}  // namespace
