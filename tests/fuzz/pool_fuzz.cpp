// Any sequence of pool operations from one engine thread, with the worker running or not, frames of
// several formats coming and going. At the end every frame is given up and the pool destroyed: the
// limiter must then be credited every byte it was charged.
#include <vector>

#include "fuzz_input.h"
#include "zorvframekit/zorvframekit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const FrameTypeCode codes[] = {0x11000000, 0x11000004, 0x03000000, 0x04000002};
    zorvframekit::MemoryLimiter limiter(0, 1 << 24);
    limiter.setMemoryLimit(static_cast<int>(in.u32() % (1u << 16)));
    FramePool* pool = createFramePool(&limiter);
    std::vector<IFrame*> held;
    for (int step = 0; step < 48 && in.more(); ++step) {
        switch (in.byte() % 8) {
        case 0:
        case 1: {
            IFrame* frame = pool->getFrame(codes[in.byte() % 4], 1 + in.byte() % 16, 1 + in.byte() % 16);
            if (frame == nullptr) break;
            FUZZ_REQUIRE(frame->getOwnerPool() == pool);
            frame->getData();
            held.push_back(frame);
            break;
        }
        case 2:
            if (!held.empty()) {
                const size_t which = in.byte() % held.size();
                IFrame* frame = held[which];
                held.erase(held.begin() + static_cast<long>(which));
                if (in.byte() & 1)
                    frame->release();
                else
                    frame->decRefCount();
            }
            break;
        case 3:
            pool->setFrameCountLimits(static_cast<int>(in.byte() % 6) - 1, static_cast<int>(in.byte() % 8) - 1);
            break;
        case 4:
            pool->stopWorker();
            FUZZ_REQUIRE(pool->getFrameCount() == 0);
            break;
        case 5:
            pool->clearFrames();
            break;
        case 6:
            pool->returnFrame(nullptr);
            FUZZ_REQUIRE(pool->getFrameCount() >= 0);
            break;
        default:
            limiter.setMemoryLimit(static_cast<int>(in.u32() % (1u << 16)));
            break;
        }
    }
    for (IFrame* frame : held) frame->release();
    pool->destroy();
    FUZZ_REQUIRE(limiter.getMemoryUsed() == 0);
    return 0;
}
