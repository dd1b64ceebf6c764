// Allocation failure at every site. One engine's session (a limiter, a pool and its worker, frames of
// all six families through the pool and the factory, windows, metadata, host arrays, bitmaps, the
// clock, then clear, stop and destroy) is run once to count what it asks for and to record what each
// step gives, then again with the k-th request failing, for every k: the library's allocations, the
// host library's arrays and the worker's thread start. Every step must then either give what it gave
// with nothing failing, or fail the interface's way (null, nothing copied, nothing added; a C++
// caller on Linux may get std::bad_alloc where the interface lets it through), and work when asked
// again; at the end nothing is charged, no host array is left, and nothing leaked. The program runs
// against the shared library as an engine does (on Windows the DLL, which nothing may leave by an
// exception).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "ha.h"
#include "zorvframekit/zorvframekit.h"

extern "C" {
ZORVFRAMEKIT_API void zfkTestFailAttempt(int site, long k);
ZORVFRAMEKIT_API long zfkTestAttempts(int site);
ZORVFRAMEKIT_API long zfkTestOperatorNewCalls();
}

namespace {

using zorvframekit::MemoryLimiter;

const int kAllocation = 0, kThreadStart = 1;  // the library's failure sites
const int kWidth = 8, kHeight = 4;

#if defined(_WIN32)
const bool kMayThrow = false;
#else
const bool kMayThrow = true;
#endif

std::string bytesOf(HostArray array) {
    std::string bytes;
    if (array == nullptr) return bytes;
    const int* dims = haGetDimensions(array);
    for (int i = 0; i < haGetNumberOfDimensions(array); ++i) bytes += std::to_string(dims[i]) + "x";
    bytes.append(static_cast<const char*>(haGetData(array)), haGetNumberOfElements(array) * haGetElementSize(array));
    haFree(array);
    return bytes;
}

// The session's steps, each giving a record of what it produced, or failing.
class Session {
public:
    explicit Session(std::vector<std::string>* reference) : reference(reference), limiter(1 << 26, 1 << 26) {}

    void run() {
        step("createFramePool", true, [&] {
            pool = createFramePool(&limiter);
            return std::string(pool != nullptr ? "pool" : "");
        });
        if (pool == nullptr) return;
        // Pooling on; a worker that cannot start leaves it off, which no step below can tell apart
        // but by the frames it keeps.
        pool->setFrameCountLimits(1, 2);
        const uint32_t families[] = {zorvframekit::kFamilyRGB24Packed, zorvframekit::kFamilyRGB24Planar,
                                     zorvframekit::kFamilyYUVPacked,   zorvframekit::kFamilyYUVPlanar,
                                     zorvframekit::kFamilyRGB16,       zorvframekit::kFamilyMonochrome};
        for (uint32_t family : families) {
            const FrameTypeCode code = zorvframekit::makeFrameTypeCode(family, 0, family == zorvframekit::kFamilyRGB16);
            pooledFrame(code);
            factoryFrame(code);
        }
        step("getTimestamp", false, [&] { return std::string(getTimestamp() > 1.0e9 ? "now" : ""); });
        step("convertSysTimeToLocalTime", false,
             [&] { return std::string(convertSysTimeToLocalTime(1000) > 1.0e9 ? "then" : ""); });
        pool->clearFrames();
        pool->stopWorker();
        pool->destroy();
    }

    int failedSteps = 0;
    MemoryLimiter& memoryLimiter() { return limiter; }

private:
    // A frame from the pool: filled, given metadata, read back every way, given back twice over.
    void pooledFrame(FrameTypeCode code) {
        IFrame* frame = nullptr;
        step("getFrame", true, [&] {
            frame = pool->getFrame(code, kWidth, kHeight);
            return std::string(frame != nullptr ? "frame" : "");
        });
        if (frame == nullptr) return;
        use(frame, code);
        step("release", true, [&] {
            frame->release();
            return std::string("released");
        }, false);
        // Taken again (the one just given back, or one the worker made) and let go by its count.
        step("getFrame again", true, [&] {
            frame = pool->getFrame(code, kWidth, kHeight);
            return std::string(frame != nullptr ? "frame" : "");
        });
        if (frame == nullptr) return;
        frame->incRefCount();
        step("decRefCount", true, [&] {
            frame->decRefCount();
            return std::string("let go");
        }, false);
    }

    // A frame of the engine's own, without a pool.
    void factoryFrame(FrameTypeCode code) {
        IFrame* frame = nullptr;
        step("frameFactory", true, [&] {
            frame = frameFactory(code, kWidth, kHeight);
            return std::string(frame != nullptr ? "frame" : "");
        });
        if (frame == nullptr) return;
        frame->setMemoryLimiter(&limiter);
        use(frame, code);
        frame->release();
    }

    void use(IFrame* frame, FrameTypeCode code) {
        std::vector<unsigned char> raw(static_cast<size_t>(frame->getDataSize()));
        for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<unsigned char>(i * 37 + code);
        // Packed layouts are cut as a window out of a larger image; the others copied whole.
        if ((code >> 24) == zorvframekit::kFamilyRGB24Packed || (code >> 24) == zorvframekit::kFamilyMonochrome) {
            const int bytesPerPixel = frame->getDataSize() / (kWidth * kHeight);
            std::vector<unsigned char> sensor(static_cast<size_t>(bytesPerPixel) * (kWidth + 3) * (kHeight + 2));
            for (size_t i = 0; i < sensor.size(); ++i) sensor[i] = static_cast<unsigned char>(i * 11);
            step("copyRegion", true, [&] {
                frame->copyRegion(sensor.data(), kWidth + 3, kHeight + 2, 2, 1);
                return std::string(frame->hasData() ? "copied" : "");
            });
        } else {
            step("copyData", true, [&] { return std::string(frame->copyData(raw.data()) == frame->getDataSize() ? "copied" : ""); });
        }
        addMetaData(frame, "exposure", [&] { frame->addDoubleMetaData("exposure", 0.008); });
        addMetaData(frame, "vendor of the camera that took this frame", [&] {
            frame->addCStrMetaData("vendor of the camera that took this frame", "a vendor with a long name");
        });
        addMetaData(frame, "arrival", [&] { frame->addTimeVectorMetaData("arrival", 1.5e9); });
        step("getNativeHostArray", true, [&] { return bytesOf(frame->getNativeHostArray()); });
        for (int space : {zorvframekit::kColorSpaceMonochrome, zorvframekit::kColorSpaceRGB, zorvframekit::kColorSpaceYUV})
            step("getHostArray", true, [&] { return bytesOf(frame->getHostArray(space)); });
        step("fillBitmap", false, [&] {
            std::vector<unsigned char> bitmap(sizeof(BITMAPINFOHEADER) + static_cast<size_t>(frame->getBitmapSize()));
            frame->fillBitmap(reinterpret_cast<BITMAPINFOHEADER*>(bitmap.data()), bitmap.data() + sizeof(BITMAPINFOHEADER));
            return std::string(bitmap.begin(), bitmap.end());
        });
    }

    // An add that fails leaves the table as it was: the name absent, or with its older value.
    template <typename Add>
    void addMetaData(IFrame* frame, const char* name, Add add) {
        step("add metadata", true, [&] {
            const int count = frame->getMetaDataCount();
            try {
                add();
            } catch (const std::bad_alloc&) {
                EXPECT_EQ(frame->getMetaDataCount(), count) << name;
                throw;
            }
            std::string value = bytesOf(frame->getMetaData(name));
            if (value.empty()) value = bytesOf(frame->getMetaData(name));  // that read was the one refused
            if (value.empty()) {
                EXPECT_EQ(frame->getMetaDataCount(), count) << name;
            }
            return value;
        });
    }

    // Runs a step; one that fails must fail the interface's way, and work when asked again (only
    // one request fails in a session). A step without an answer to check is run once.
    void step(const char* name, bool mayThrow, const std::function<std::string()>& body, bool answers = true) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::string got;
            bool threw = false;
            try {
                got = body();
            } catch (const std::bad_alloc&) {
                threw = true;
                EXPECT_TRUE(kMayThrow && mayThrow) << name << " threw";
            }
            if (!answers) {
                if (threw) ++failedSteps;
                return;
            }
            const size_t at = position++;
            if (reference->size() < position) {
                EXPECT_FALSE(threw || got.empty()) << name << " failed with nothing failing";
                reference->push_back(got);
                return;
            }
            if (!threw && !got.empty()) {
                EXPECT_EQ(got, (*reference)[at]) << name << " gave another answer";
                return;
            }
            ++failedSteps;
            --position;
            EXPECT_EQ(attempt, 0) << name << " failed again";
        }
    }

    std::vector<std::string>* reference;
    size_t position = 0;
    MemoryLimiter limiter;
    FramePool* pool = nullptr;
};

struct Site {
    const char* name;
    std::function<void(long)> fail;
    std::function<long()> attempts;
};

TEST(AllocationFailure, EverySessionSurvivesAnyOneFailureAndLeavesNothingBehind) {
    const Site sites[] = {
        {"library allocation", [](long k) { zfkTestFailAttempt(kAllocation, k); },
         [] { return zfkTestAttempts(kAllocation); }},
        {"host array", [](long k) { haTestFailCreation(k); }, [] { return haTestCreations(); }},
        {"thread start", [](long k) { zfkTestFailAttempt(kThreadStart, k); },
         [] { return zfkTestAttempts(kThreadStart); }},
    };
    const long newCallsBefore = zfkTestOperatorNewCalls();
    std::vector<std::string> reference;
    for (const Site& site : sites) {
        site.fail(0);
        {
            Session session(&reference);
            session.run();
            EXPECT_EQ(session.failedSteps, 0);
        }
        const long count = site.attempts();
        ASSERT_GT(count, 0) << site.name;
        int failures = 0;
        for (long k = 1; k <= count; ++k) {
            site.fail(k);
            Session session(&reference);
            session.run();
            EXPECT_EQ(session.memoryLimiter().getMemoryUsed(), 0) << site.name << " " << k;
            EXPECT_EQ(haTestLiveArrays(), 0) << site.name << " " << k;
            failures += session.failedSteps;
            site.fail(0);
            if (HasFailure()) {
                ADD_FAILURE() << "with " << site.name << " " << k << " of " << count << " failing";
                return;
            }
        }
        std::printf("%s: %ld requests, each failed in turn; %d steps failed the interface's way\n", site.name, count, failures);
    }
    // Nothing in the DLL asks its runtime's operator new (which could only fail by throwing).
    if (newCallsBefore >= 0) {
        EXPECT_EQ(zfkTestOperatorNewCalls(), newCallsBefore);
    }
}

}  // namespace
