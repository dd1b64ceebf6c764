// Uses the installed library through its public header only: a frame under a limiter, filled and
// rendered, and a pool. Exits 0 when every figure is as expected.
#include <zorvframekit/zorvframekit.h>

#include <cstdio>
#include <memory>
#include <vector>

int main() {
    zorvframekit::MemoryLimiter limiter(0, 1 << 20);
    std::unique_ptr<IFrame, zorvframekit::FrameRelease> frame(frameFactory(0x01000000, 5, 3));  // RGB24
    if (!frame) return 1;
    frame->setMemoryLimiter(&limiter);
    std::vector<unsigned char> raw(45, 200);
    if (frame->copyData(raw.data()) != 45 || limiter.getMemoryUsed() != 45) return 2;
    BITMAPINFOHEADER header;
    std::vector<unsigned char> pixels(static_cast<size_t>(frame->getBitmapSize()));
    frame->fillBitmap(&header, pixels.data());
    if (header.biWidth != 5 || header.biHeight != 3 || pixels.size() != 48) return 3;
    frame.reset();
    if (limiter.getMemoryUsed() != 0) return 4;

    FramePool* pool = createFramePool(&limiter);
    IFrame* pooled = pool->getFrame(0x11000000, 8, 8);
    if (pooled == nullptr || pooled->getOwnerPool() != pool || pooled->getData() == nullptr) return 5;
    pooled->release();
    pool->destroy();
    if (limiter.getMemoryUsed() != 0) return 6;
    std::printf("consumer: ok (%s)\n", getFrameTypeColorSpace(0x03000000) == zorvframekit::kColorSpaceYUV ? "yuv" : "?");
    return 0;
}
