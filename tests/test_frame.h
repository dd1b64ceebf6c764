// A minimal concrete frame for testing the common frame base: one 8-bit band, rows top down.
#ifndef ZORVFRAMEKIT_TESTS_TEST_FRAME_H
#define ZORVFRAMEKIT_TESTS_TEST_FRAME_H

#include <atomic>
#include <vector>

#include "frame/ZORVFrame.h"
#include "ha.h"

class TestFrame : public zorvframekit::ZORVFrame {
public:
    TestFrame(int width, int height, std::atomic<int>* destroyed = nullptr)
        : ZORVFrame(width * height), width(width), height(height), bands(1), destroyed(destroyed) {
        setColorSpace(zorvframekit::kColorSpaceMonochrome);
    }
    ~TestFrame() override {
        if (destroyed) ++*destroyed;
    }

    void copyRegion(const unsigned char*, int, int, int, int) override {}
    HostArray getNativeHostArray() override {
        if (!hasData()) return nullptr;
        const int dims[3] = {height, width, bands};
        HostArray array = haCreateNumericArray(3, dims, getHostClassID(), 0);
        auto* out = static_cast<unsigned char*>(haGetData(array));
        const unsigned char* in = getData();
        for (int c = 0; c < width; ++c)
            for (int r = 0; r < height; ++r) *out++ = in[r * width + c];
        return array;
    }
    int getHostClassID() override { return haUint8Class; }
    int getBitmapSize() override { return 0; }
    void fillBitmap(BITMAPINFOHEADER*, unsigned char*) override {}
    int* getDimensions() override { return &width; }
    bool fillRowMajor(int, void*) override { return false; }  // the format classes' own, tested with them

    // Lets a test change the size while no buffer is held, as a format class may.
    void resize(int size) { setDataSize(size); }

private:
    int width, height, bands;
    std::atomic<int>* destroyed;
};

// A pool that only records what comes back to it.
class RecordingPool : public FramePool {
public:
    IFrame* getFrame(FrameTypeCode, int, int) override { return nullptr; }
    void returnFrame(IFrame* frame) override {
        ++returns;
        returned.push_back(frame);
    }
    int getFrameCount() override { return static_cast<int>(returned.size()); }
    void clearFrames() override {
        for (IFrame* frame : returned) zorvframekit::deleteFrame(frame);
        returned.clear();
    }
    void setFrameCountLimits(int, int) override {}
    void stopWorker() override {}
    void destroy() override { delete this; }
#if defined(ZORVFRAMEKIT_MSVC_VTABLES)
    void* scalarDeletingDestructor(unsigned int flags) override { return zorvframekit::scalarDelete(this, flags); }
#endif
    virtual ~RecordingPool() { clearFrames(); }

    std::atomic<int> returns{0};
    std::vector<IFrame*> returned;
};

#endif  // ZORVFRAMEKIT_TESTS_TEST_FRAME_H
