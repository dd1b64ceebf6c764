// Helpers shared by the pixel-format tests: frames with a generous limiter, host array and bitmap
// read-back, and sources placed flush against the end of their allocation.
#ifndef ZORVFRAMEKIT_TESTS_FRAME_HELPERS_H
#define ZORVFRAMEKIT_TESTS_FRAME_HELPERS_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

// A frame from the factory with a limiter of its own attached, deleted at the end of the scope.
struct TestFrameHandle {
    std::unique_ptr<zorvframekit::MemoryLimiter> limiter{new zorvframekit::MemoryLimiter(0, 2000000000)};
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame;

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

// The frame's buffer, copied; empty when it has none.
inline std::vector<unsigned char> bufferOf(IFrame* frame) {
    const unsigned char* data = frame->getData();
    return data ? std::vector<unsigned char>(data, data + frame->getDataSize()) : std::vector<unsigned char>();
}

const unsigned char kSentinel = 0xEE;

// A bitmap written into a header and a pixel area that held `sentinel` in every byte; the pixel area
// is exactly getBitmapSize() bytes, so that a write past its end trips AddressSanitizer.
struct Bitmap {
    BITMAPINFOHEADER header;
    std::vector<unsigned char> pixels;
};

inline Bitmap bitmapOf(IFrame* frame, unsigned char sentinel = kSentinel) {
    Bitmap bitmap;
    std::memset(&bitmap.header, sentinel, sizeof bitmap.header);
    bitmap.pixels.assign(static_cast<size_t>(frame->getBitmapSize()), sentinel);
    frame->fillBitmap(&bitmap.header, bitmap.pixels.data());
    return bitmap;
}

// The header of an uncompressed bottom-up bitmap of one plane, every field not named here zero.
inline bool isPlainHeader(const BITMAPINFOHEADER& header, int width, int height, int bitsPerPixel) {
    BITMAPINFOHEADER expected;
    std::memset(&expected, 0, sizeof expected);
    expected.biSize = 40;
    expected.biWidth = width;
    expected.biHeight = height;
    expected.biPlanes = 1;
    expected.biBitCount = static_cast<uint16_t>(bitsPerPixel);
    return std::memcmp(&header, &expected, sizeof expected) == 0;
}

#endif  // ZORVFRAMEKIT_TESTS_FRAME_HELPERS_H
