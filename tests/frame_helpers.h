// Helpers shared by the pixel-format tests: frames with a generous limiter, host array and bitmap
// read-back, and sources placed flush against the end of their allocation.
#ifndef ZORVFRAMEKIT_TESTS_FRAME_HELPERS_H
#define ZORVFRAMEKIT_TESTS_FRAME_HELPERS_H

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

// A frame from the factory with a limiter of its own attached, deleted at the end of the scope.
struct TestFrameHandle {
    std::unique_ptr<zorvframekit::MemoryLimiter> limiter{new zorvframekit::MemoryLimiter(0, 2000000000)};
    std::unique_ptr<IFrame> frame;

    TestFrameHandle(FrameTypeCode code, int width, int height) : frame(frameFactory(code, width, height)) {
        limiter->setMemoryLimit(2000000000);
        if (frame) frame->setMemoryLimiter(limiter.get());
    }
    IFrame* operator->() const { return frame.get(); }
    explicit operator bool() const { return frame != nullptr; }
};

// The elements of a host array, widened, then freed.
template <typename Sample>
std::vector<int> hostElements(HostArray array) {
    std::vector<int> out;
    if (array == nullptr) return out;
    const Sample* data = static_cast<const Sample*>(haGetData(array));
    out.assign(data, data + haGetNumberOfElements(array));
    haFree(array);
    return out;
}

inline std::vector<int> dimensionsOf(HostArray array) {
    const int* dims = haGetDimensions(array);
    return std::vector<int>(dims, dims + haGetNumberOfDimensions(array));
}

// Exactly `size` bytes on the heap, so that reading one byte past the end trips AddressSanitizer.
struct FlushBuffer {
    std::unique_ptr<unsigned char[]> bytes;
    size_t size;
    explicit FlushBuffer(size_t size) : bytes(new unsigned char[size == 0 ? 1 : size]), size(size) {}
    unsigned char* data() { return bytes.get(); }
    void randomise(unsigned seed) {
        std::mt19937 random(seed);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(random());
    }
};

const unsigned char kSentinel = 0xEE;

#endif  // ZORVFRAMEKIT_TESTS_FRAME_HELPERS_H
